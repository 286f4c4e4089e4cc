// Edits of an open REZ reach its file, and leaving with edits that could not be saved asks
// what to do with them. Driven through the real main window: the context menu's 移动到/复制到,
// the edit commands, and the close box answered by a click on the real message box.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/operations/vdir_picker.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

using h4test::MainWindow;

// Answers the virtual-folder picker (208) with OK and a destination.
void answer_picker_with(const std::wstring& destination) {
    static std::wstring chosen;
    chosen = destination;
    h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
        if (id != IDD_VDIR_PICKER) return 0;
        *rezui::vdir_result = chosen;
        return 1;
    };
}

void select_row(const std::wstring& name) {
    h4test::select_none();
    for (int i = 0; i < appprobe::item_count(); ++i)
        if (appprobe::item_text(i) == name) appprobe::set_item_state(i, LVIS_SELECTED, LVIS_SELECTED);
}

// A right click on the list and a choice in its context menu.
void context_menu_choice(MainWindow& w, UINT choice) {
    h4test::menu_answer = choice;
    w.notify_list(NM_RCLICK);
    h4test::pump();
}

// The program's real message boxes, each answered by a click on one of its buttons.
struct RealBoxes {
    struct Seen {
        std::wstring caption, text;
    };
    static inline std::vector<int> answers;
    static inline std::vector<Seen> seen;
    UINT_PTR timer = 0;

    explicit RealBoxes(std::vector<int> clicks) {
        answers = std::move(clicks);
        seen.clear();
        rezui::ui_seams.message_box = rezui::default_ui_seams().message_box;
        timer = SetTimer(nullptr, 0, 50, tick);
    }
    ~RealBoxes() {
        KillTimer(nullptr, timer);
        rezui::ui_seams.message_box = h4test::scripted_box;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND box = qvltest::visible_dialog_of_this_thread();
        if (!box || answers.empty()) return;
        HWND button = GetDlgItem(box, answers.front());
        if (!button) return;
        Seen s;
        s.caption = rezui::get_window_text(box);
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[16] = {};
            GetClassNameW(child, cls, 16);
            if (std::wstring(cls) == L"Static") s.text += rezui::get_window_text(child);
        }
        seen.push_back(s);
        answers.erase(answers.begin());
        SendMessageW(button, BM_CLICK, 0, 0);
    }
};

// A REZ archive on disk (Textures\wall.dtx, readme.txt, x.dat) opened in the main window.
struct OpenRez {
    qvltest::ScratchDir dir{L"unsaved"};
    MainWindow w;
    std::wstring path = dir / L"edit.rez";

    OpenRez() {
        rez::uppercase_rez_names = false;
        EXPECT_TRUE(qvltest::write_text(dir / L"readme.txt", "hello"));
        EXPECT_TRUE(qvltest::write_text(dir / L"wall.dtx", "texture"));
        EXPECT_TRUE(qvltest::write_text(dir / L"x.dat", "xx"));
        rez::RezFile archive(path);
        std::string out;
        archive.create_directory("Textures", out);
        archive.add_file("Textures", dir / L"wall.dtx", out);
        archive.add_file("", dir / L"readme.txt", out);
        archive.add_file("", dir / L"x.dat", out);
        std::wstring err;
        EXPECT_TRUE(archive.save(path, err)) << rez::to_utf8(err);
        EXPECT_TRUE(h4test::open_and_wait(path));
    }
    // Whether the archive as it is on disk has the entry.
    bool on_disk(const std::string& entry) const {
        rez::RezFile read;
        std::wstring err;
        if (!rez::RezFile::open(path, read, err)) return false;
        read.load_all_directories(err);
        return read.find_entry_const(entry) != nullptr;
    }
    // From here on every save of the archive fails: another program holds it open without
    // letting it be deleted, so the new one written beside it cannot take its place.
    void block_saves() {
        holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    }
    void unblock_saves() {
        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
        holder = INVALID_HANDLE_VALUE;
    }
    ~OpenRez() { unblock_saves(); }
    HANDLE holder = INVALID_HANDLE_VALUE;
};

bool box_said(const std::wstring& what) {
    for (const auto& b : h4test::boxes)
        if (b.text.find(what) != std::wstring::npos) return true;
    return false;
}

TEST(UnsavedEdits, MoveToAndCopyToFromTheContextMenuReachTheFile) {
    OpenRez r;
    select_row(L"readme.txt");
    answer_picker_with(L"Textures");
    context_menu_choice(r.w, IDM_MOVE_TO);
    ASSERT_TRUE(h4test::wait_idle());
    select_row(L"x.dat");
    context_menu_choice(r.w, IDM_COPY_TO);
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_TRUE(r.on_disk("Textures\\readme.txt"));
    EXPECT_FALSE(r.on_disk("readme.txt"));
    EXPECT_TRUE(r.on_disk("Textures\\x.dat"));
    EXPECT_TRUE(r.on_disk("x.dat"));
    // Everything is saved: leaving asks nothing.
    RealBoxes none({});
    SendMessageW(r.w.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(r.w.hwnd()));
    EXPECT_TRUE(RealBoxes::seen.empty());
}

TEST(UnsavedEdits, LeavingAfterAFailedSaveAsksAndCancelStaysSaveWritesThenLeaves) {
    OpenRez r;
    r.block_saves();
    select_row(L"readme.txt");
    answer_picker_with(L"Textures");
    context_menu_choice(r.w, IDM_MOVE_TO);
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(box_said(L"移动临时文件到目标失败"));
    EXPECT_TRUE(r.on_disk("readme.txt"));
    {
        RealBoxes boxes({IDCANCEL});
        SendMessageW(r.w.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(IsWindow(r.w.hwnd())) << "the edit was thrown away without a question";
        ASSERT_EQ(RealBoxes::seen.size(), 1u);
        EXPECT_EQ(RealBoxes::seen[0].caption, L"退出");
        EXPECT_NE(RealBoxes::seen[0].text.find(r.path), std::wstring::npos);
        EXPECT_NE(RealBoxes::seen[0].text.find(L"未保存"), std::wstring::npos);
    }
    r.unblock_saves();
    {
        RealBoxes boxes({IDYES});
        SendMessageW(r.w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        EXPECT_EQ(RealBoxes::seen.size(), 1u);
        ASSERT_TRUE(h4test::pump_until([&] { return !IsWindow(r.w.hwnd()); }));
    }
    EXPECT_TRUE(r.on_disk("Textures\\readme.txt"));
    EXPECT_FALSE(r.on_disk("readme.txt"));
}

TEST(UnsavedEdits, DiscardingAtExitLeavesTheFileAsItWas) {
    OpenRez r;
    r.block_saves();
    select_row(L"x.dat");
    h4test::box_answer = IDYES;
    r.w.command(IDM_REMOVE);
    ASSERT_TRUE(h4test::wait_idle());
    r.unblock_saves();
    RealBoxes boxes({IDNO});
    SendMessageW(r.w.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(RealBoxes::seen.size(), 1u);
    EXPECT_FALSE(IsWindow(r.w.hwnd()));
    EXPECT_TRUE(r.on_disk("x.dat"));
}

// A file another program holds shut cannot be stored: it is refused when added, by name,
// instead of making every later save fail.
TEST(UnsavedEdits, AFileThatCannotBeReadIsRefusedWhenAddedAndLaterEditsStillSave) {
    OpenRez r;
    const std::wstring locked = r.dir / L"locked.bin";
    ASSERT_TRUE(qvltest::write_text(locked, "held"));
    {
        rez::FileHandle hold(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(hold);
        answer_picker_with(L"");
        h4test::open_many_answer = {locked};
        r.w.command(IDM_ADD_FILES);
        ASSERT_TRUE(h4test::wait_idle());
    }
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_NE(h4test::boxes[0].text.find(L"无法读取文件"), std::wstring::npos) << rez::to_utf8(h4test::boxes[0].text);
    EXPECT_NE(h4test::boxes[0].text.find(locked), std::wstring::npos);
    EXPECT_EQ(rezui::app.archive.find_entry_const("locked.bin"), nullptr);
    EXPECT_FALSE(h4test::log_has(L"读取资源失败"));
    select_row(L"x.dat");
    h4test::box_answer = IDYES;
    r.w.command(IDM_REMOVE);
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_FALSE(r.on_disk("x.dat"));
}

}  // namespace
