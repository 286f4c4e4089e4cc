// Drag-out from the main window's list: the drag's data, the press-and-move gesture the
// list receives, whole drags released over shell-like windows (the desktop, an Explorer
// window, another program), and the program's own copy and extraction at the target.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/browser/browser.h"
#include "app/common/small_dialogs.h"
#include "app/operations/drag_out.h"
#include "app/operations/drop_target.h"
#include "app/operations/open_archive.h"
#include "archive/password.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "shell_like_windows.h"
#include "test_support.h"

namespace {

using rezui::app;

std::string log_dump() { return rez::to_utf8(h4test::log_text()); }

using qvltest::path_exists;

std::wstring progress_text() { return rezui::get_window_text(GetDlgItem(app.main_window, IDC_PROGRESS_TEXT)); }

std::wstring tag() { return L"qvldrag" + std::to_wstring(GetCurrentProcessId()); }

std::wstring desktop_folder() {
    wchar_t buf[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, buf, CSIDL_DESKTOPDIRECTORY, FALSE) ? buf : L"";
}

// Removes what a test may drop on the desktop, before and after it.
struct DesktopLeftovers {
    std::vector<std::wstring> names;
    explicit DesktopLeftovers(std::vector<std::wstring> n) : names(std::move(n)) { clear(); }
    ~DesktopLeftovers() { clear(); }
    void clear() const {
        for (const std::wstring& name : names) {
            const std::wstring p = desktop_folder() + L"\\" + name;
            qvltest::ScratchDir::remove_tree(p);
            DeleteFileW(p.c_str());
        }
    }
};

// The row whose name starts with name (an encrypted entry's name carries a mark after it).
int row_named(const std::wstring& name) {
    for (int i = 0; i < appprobe::item_count(); ++i)
        if (appprobe::item_text(i).rfind(name, 0) == 0) return i;
    return -1;
}

// A point on a row, scrolled into view first as the user would.
POINT row_point(int item) {
    SendMessageW(app.list_view, LVM_ENSUREVISIBLE, item, FALSE);
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageW(app.list_view, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&r));
    return POINT{r.left + 4, (r.top + r.bottom) / 2};
}

// The gesture as the list receives it: the button pressed on the first row, the rows
// selected, the mouse moved by (dx, dy) with the button held, and released.
void press_and_move(const std::vector<std::wstring>& rows, int dx, int dy) {
    const int first = row_named(rows.front());
    ASSERT_GE(first, 0) << rez::to_utf8(rows.front());
    const POINT at = row_point(first);
    SendMessageW(app.list_view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    appprobe::select_none();
    for (const std::wstring& name : rows) appprobe::set_item_state(row_named(name), LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(app.list_view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x + dx, at.y + dy));
    SendMessageW(app.list_view, WM_LBUTTONUP, 0, MAKELPARAM(at.x + dx, at.y + dy));
}

using h4test::open_and_wait;

// The main window with OLE started, as the program runs it.
struct DragWindow {
    h4test::MainWindow window;
    DragWindow() {
        OleInitialize(nullptr);
        rezui::drag_state = rezui::DragOutState{};
    }
    ~DragWindow() {
        rezui::drag_state = rezui::DragOutState{};
        OleUninitialize();
    }
};

// ---- the drag's data ------------------------------------------------------------------

TEST(DragOutData, DropFileBlockListsThePathsInOrder) {
    const std::vector<std::wstring> paths = {L"C:\\a.txt", L"D:\\\u4e2d\u6587\\b"};
    HGLOBAL block = rezui::build_drop_block(paths);
    ASSERT_NE(block, nullptr);
    ASSERT_GE(GlobalSize(block), 20u + (8 + 1) * 2 + (6 + 1) * 2 + 2);
    const auto* header = static_cast<const DROPFILES*>(GlobalLock(block));
    EXPECT_EQ(header->pFiles, 20u);
    EXPECT_EQ(header->pt.x, 0);
    EXPECT_EQ(header->pt.y, 0);
    EXPECT_FALSE(header->fNC);
    EXPECT_TRUE(header->fWide);
    const auto* text = reinterpret_cast<const wchar_t*>(reinterpret_cast<const char*>(header) + 20);
    EXPECT_EQ(std::wstring(text), paths[0]);
    EXPECT_EQ(std::wstring(text + 9), paths[1]);
    EXPECT_EQ(text[9 + 6 + 1], L'\0');  // the list's closing NUL
    GlobalUnlock(block);
    HDROP drop = static_cast<HDROP>(block);
    ASSERT_EQ(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 2u);
    wchar_t buf[MAX_PATH];
    DragQueryFileW(drop, 1, buf, MAX_PATH);
    EXPECT_EQ(std::wstring(buf), paths[1]);
    GlobalFree(block);
}

TEST(DragOutData, DataObjectOffersExactlyOneFileList) {
    HGLOBAL block = rezui::build_drop_block({L"C:\\a"});
    IDataObject* data = rezui::new_drag_data_object(block);
    FORMATETC hdrop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    FORMATETC text{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    FORMATETC stream{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    EXPECT_EQ(data->QueryGetData(&hdrop), S_OK);
    EXPECT_EQ(data->QueryGetData(&text), S_FALSE);
    EXPECT_EQ(data->QueryGetData(nullptr), E_INVALIDARG);

    STGMEDIUM medium{};
    EXPECT_EQ(data->GetData(&text, &medium), DV_E_FORMATETC);
    EXPECT_EQ(data->GetData(&stream, &medium), DV_E_FORMATETC);
    ASSERT_EQ(data->GetData(&hdrop, &medium), S_OK);
    EXPECT_EQ(medium.hGlobal, block);  // lent, kept alive by the medium's reference
    EXPECT_NE(medium.pUnkForRelease, nullptr);

    IEnumFORMATETC* formats = nullptr;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    FORMATETC got[5]{};
    ULONG fetched = 99;
    EXPECT_EQ(formats->Next(5, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0].cfFormat, CF_HDROP);
    EXPECT_EQ(got[0].tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(formats->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    IEnumFORMATETC* copy = nullptr;
    EXPECT_EQ(formats->Reset(), S_OK);
    ASSERT_EQ(formats->Clone(&copy), S_OK);
    EXPECT_EQ(copy->Next(1, got, nullptr), S_OK);
    copy->Release();
    formats->Release();

    IUnknown* other = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(data->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    data->Release();
    ReleaseStgMedium(&medium);  // the last reference: the block goes with the object
}

TEST(DragOutPointer, ReleaseOverExplorerOrTheDesktopIsTheOnlyTarget) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    IDropSource* files = rezui::new_drop_source(true);
    IDropSource* entries = rezui::new_drop_source(false);
    EXPECT_EQ(files->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(files->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(files->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
    {
        shelltest::ShellChain desktop(L"Progman", true, true);
        ASSERT_TRUE(shelltest::point_at(desktop.list));
        rezui::drag_state = rezui::DragOutState{};
        EXPECT_EQ(files->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
        EXPECT_TRUE(rezui::drag_state.target_seen);
        EXPECT_TRUE(rezui::drag_state.on_desktop);
        // Archive entries: Explorer must never copy the placeholders.
        EXPECT_EQ(entries->QueryContinueDrag(FALSE, 0), DRAGDROP_S_CANCEL);
        EXPECT_TRUE(rezui::drag_state.target_seen);
        POINT now{};
        GetCursorPos(&now);
        EXPECT_EQ(rezui::drag_state.drop_point.x, now.x);
        EXPECT_EQ(rezui::drag_state.drop_point.y, now.y);
    }
    shelltest::ShellChain other(L"QvlOtherProgram", false, true);
    ASSERT_TRUE(shelltest::point_at(other.top));
    rezui::drag_state = rezui::DragOutState{};
    EXPECT_EQ(files->QueryContinueDrag(FALSE, 0), DRAGDROP_S_CANCEL);
    EXPECT_FALSE(rezui::drag_state.target_seen);
    files->Release();
    entries->Release();
}

// ---- the gesture ----------------------------------------------------------------------

class DragOutLocal : public ::testing::Test {
protected:
    DragWindow w;
    qvltest::ScratchDir dir{L"dragout"};
    std::wstring file_name = tag() + L".txt";
    void SetUp() override {
        EXPECT_TRUE(qvltest::write_text(dir / file_name, "local file"));
        rezui::open_local_folder(dir.path());
        ASSERT_TRUE(app.fs_mode);
        ASSERT_GE(row_named(file_name), 0);
    }
};

TEST_F(DragOutLocal, PointerADragStartsOnlyAfterMoreThanFourPixels) {
    shelltest::ShellChain other(L"QvlOtherProgram", false, true);
    ASSERT_TRUE(shelltest::point_at(other.top));
    press_and_move({file_name}, 2, 2);
    press_and_move({file_name}, 0, -4);
    EXPECT_FALSE(h4test::log_has(L"拖出：开始拖放"));
    press_and_move({file_name}, -3, 2);
    EXPECT_TRUE(h4test::log_has(L"拖出：开始拖放 1 个条目（文件系统）"));
    // Released over another program: nothing is copied anywhere.
    EXPECT_TRUE(h4test::log_has(L"拖出：松开的窗口不是可解压的路径（仅接受 Explorer 文件夹/桌面），已取消，未写入任何文件"));
    EXPECT_EQ(progress_text(), L"拖出：已取消");
    EXPECT_FALSE(app.busy);
    EXPECT_FALSE(h4test::log_has(L"拖出：完成"));
}

TEST_F(DragOutLocal, RefusedWhileAJobRuns) {
    app.busy = true;
    press_and_move({file_name}, 10, 0);
    EXPECT_FALSE(h4test::log_has(L"拖出：开始拖放"));
    EXPECT_TRUE(h4test::log_has(L"拖出：正在执行其他任务，已拒绝"));
    EXPECT_NE(h4test::status_part(0).find(L"已拒绝"), std::wstring::npos);
    EXPECT_TRUE(app.busy);  // the job's busy state is left alone
    app.busy = false;
}

TEST_F(DragOutLocal, PointerFilesDroppedOnTheDesktopAreCopiedAndNeverOverwrittenSilently) {
    DesktopLeftovers leftovers({file_name});
    shelltest::ShellChain desktop(L"Progman", true, true);
    ASSERT_TRUE(shelltest::point_at(desktop.list));
    press_and_move({file_name}, 6, 0);
    // No drop target takes the files under Wine's desktop stand-in: the program copies.
    EXPECT_TRUE(h4test::log_has(L"拖出：回退复制 1 项 -> " + desktop_folder())) << log_dump();
    EXPECT_EQ(qvltest::read_text(desktop_folder() + L"\\" + file_name), "local file");
    EXPECT_TRUE(h4test::log_has(L"拖出：完成"));
    EXPECT_EQ(progress_text(), L"拖出完成");

    EXPECT_TRUE(qvltest::write_text(dir / file_name, "changed"));
    h4test::box_answer = IDNO;
    press_and_move({file_name}, 6, 0);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_NE(h4test::boxes[0].text.find(L"已存在，是否覆盖？"), std::wstring::npos);
    EXPECT_EQ(qvltest::read_text(desktop_folder() + L"\\" + file_name), "local file");
    EXPECT_TRUE(h4test::log_has(L"拖出：目标已存在，已跳过 " + file_name));

    h4test::box_answer = IDYES;
    press_and_move({file_name}, 6, 0);
    EXPECT_EQ(qvltest::read_text(desktop_folder() + L"\\" + file_name), "changed");
}

TEST(DragOutList, ClickOnTheLoadMoreRowLoadsRowsAndNeverDrags) {
    DragWindow w;
    qvltest::ScratchDir dir(L"loadmore");
    for (int i = 0; i < 1002; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"f%04d.txt", i);
        HANDLE f = CreateFileW((dir / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        CloseHandle(f);
    }
    rezui::open_local_folder(dir.path());
    const int shown = appprobe::item_count();
    ASSERT_LT(shown, 1002);
    const auto load_more_row = [] {
        const int last = appprobe::item_count() - 1;
        const rezui::ListRow* row = rezui::row_of_item(last);
        return row && row->is_load_more ? last : -1;
    };
    int more = load_more_row();
    ASSERT_GE(more, 0);
    POINT at = row_point(more);
    SendMessageW(app.list_view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageW(app.list_view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x + 20, at.y));
    SendMessageW(app.list_view, WM_LBUTTONUP, 0, MAKELPARAM(at.x + 20, at.y));
    EXPECT_GT(appprobe::item_count(), shown);
    EXPECT_FALSE(rezui::drag_state.armed);

    const int second = appprobe::item_count();
    more = load_more_row();
    ASSERT_GE(more, 0);
    at = row_point(more);
    SendMessageW(app.list_view, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageW(app.list_view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x + 20, at.y));
    SendMessageW(app.list_view, WM_LBUTTONUP, 0, MAKELPARAM(at.x + 20, at.y));
    EXPECT_GT(appprobe::item_count(), second);
    EXPECT_EQ(load_more_row(), -1);
    EXPECT_FALSE(h4test::log_has(L"拖出：开始拖放"));
}

// ---- archive entries ------------------------------------------------------------------

// An archive holding <tag>_a.txt and the folder <tag>_dir with inner.txt.
class DragOutArchive : public ::testing::Test {
protected:
    DragWindow w;
    qvltest::ScratchDir dir{L"dragrez"};
    std::wstring file_key, dir_key;
    void SetUp() override {
        const std::wstring source = dir / (tag() + L"_dir");
        CreateDirectoryW(source.c_str(), nullptr);
        EXPECT_TRUE(qvltest::write_text(source + L"\\inner.txt", "inner bytes"));
        EXPECT_TRUE(qvltest::write_text(dir / (tag() + L"_a.txt"), "file bytes"));
        const std::wstring path = dir / L"drag.rez";
        rez::RezFile model(path);
        std::string out_file, out_dir;
        ASSERT_TRUE(model.add_file("", dir / (tag() + L"_a.txt"), out_file));
        ASSERT_TRUE(model.add_directory_tree("", source, out_dir));
        std::wstring err;
        ASSERT_TRUE(model.save(path, err)) << rez::to_utf8(err);
        ASSERT_TRUE(open_and_wait(path));
        file_key = rezui::entry_file_name(rez::from_utf8(out_file));
        dir_key = rez::from_utf8(out_dir);
        ASSERT_GE(row_named(file_key), 0);
    }
    std::vector<std::wstring> dropped() const { return {file_key, dir_key}; }
};

TEST_F(DragOutArchive, PointerEntriesDroppedOnTheDesktopAreExtractedThere) {
    DesktopLeftovers leftovers(dropped());
    shelltest::ShellChain desktop(L"Progman", true, true);
    ASSERT_TRUE(shelltest::point_at(desktop.list));
    press_and_move({file_key, dir_key}, 5, 0);
    EXPECT_TRUE(h4test::log_has(L"拖出：开始拖放 2 个条目（REZ 临时提取）"));
    const std::wstring target = desktop_folder();
    EXPECT_TRUE(h4test::log_has(L"拖出：目标目录 " + target)) << log_dump();
    EXPECT_EQ(qvltest::read_text(target + L"\\" + file_key), "file bytes");
    EXPECT_EQ(qvltest::read_text(target + L"\\" + dir_key + L"\\INNER.txt"), "inner bytes");
    EXPECT_TRUE(h4test::log_has(L"拖出：落点校验通过 -> " + target));
    EXPECT_TRUE(h4test::log_has(L"拖出：完成"));
    EXPECT_FALSE(path_exists(rezui::dragout_folder_path()));  // the placeholders are gone
    EXPECT_FALSE(app.busy);
}

TEST_F(DragOutArchive, PointerAnExplorerWindowWithoutAFolderPathGetsNothing) {
    shelltest::ShellChain explorer(L"CabinetWClass", true, true);
    ASSERT_TRUE(shelltest::point_at(explorer.list));
    press_and_move({file_key}, 5, 0);
    EXPECT_TRUE(h4test::log_has(L"拖出：开始拖放 1 个条目（REZ 临时提取）"));
    EXPECT_TRUE(h4test::log_has(L"拖出：无法确定目标目录（可能是虚拟文件夹），已取消，未写入任何文件")) << log_dump();
    EXPECT_EQ(progress_text(), L"拖出：已取消");
    EXPECT_FALSE(path_exists(rezui::dragout_folder_path()));
    EXPECT_FALSE(app.busy);
}

TEST_F(DragOutArchive, UnsafeEntryNamesAreSkippedAndReported) {
    // A folder entry named ".." would put its content beside the target folder.
    const std::wstring source = dir / L"escape_source.bin";
    EXPECT_TRUE(qvltest::write_text(source, "escaped"));
    rez::Entry up;
    up.is_dir = true;
    up.name = "..";
    rez::Entry inner;
    inner.name = "ESCAPE";
    inner.ext = "TXT";
    inner.size = 7;
    inner.source_path = source;
    up.children.push_back(inner);
    app.archive.root.children.push_back(up);

    const std::wstring target = dir / L"out";
    EXPECT_TRUE(rezui::extract_keys_to_dir({L"..", file_key}, target));
    EXPECT_EQ(qvltest::read_text(target + L"\\" + file_key), "file bytes");
    EXPECT_FALSE(path_exists(dir / L"ESCAPE.txt"));
    EXPECT_FALSE(path_exists(target + L"\\ESCAPE.txt"));
    EXPECT_TRUE(h4test::log_has(L"拖出：条目名会离开目标目录，已跳过 .."));
    EXPECT_TRUE(h4test::log_has(L"拖出：1 个条目因名称不安全未提取"));
}

TEST(DragOutEncrypted, PointerCancelledPasswordWritesNothing) {
    DragWindow w;
    rez::set_current_password(L"");
    ASSERT_TRUE(open_and_wait(qvltest::fixture(L"app\\locked.zip")));
    rezui::navigate_vdir(L"a\\b");
    DesktopLeftovers leftovers({L"c.txt"});
    int prompts = 0;
    h4test::dialog_script = [&prompts](int, DLGPROC) -> INT_PTR {
        ++prompts;
        return 0;
    };
    shelltest::ShellChain desktop(L"Progman", true, true);
    ASSERT_TRUE(shelltest::point_at(desktop.list));
    press_and_move({L"c.txt"}, 5, 0);
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(h4test::log_has(L"拖出：已取消（密码未提供），未写入任何文件")) << log_dump();
    EXPECT_FALSE(path_exists(desktop_folder() + L"\\c.txt"));
    EXPECT_FALSE(path_exists(rezui::dragout_folder_path()));
    EXPECT_FALSE(app.cancel.load());
    EXPECT_FALSE(app.busy);
    h4test::dialog_script = nullptr;
}

// A folder goes out with everything below it: the password is asked for when any file
// below it is encrypted, and the files arrive whole.
TEST(DragOutEncrypted, PointerAFolderWithEncryptedFilesBelowAsksForThePassword) {
    for (const wchar_t* name : {L"app\\locked.zip", L"app\\data_locked.7z"}) {
        SCOPED_TRACE(rez::to_utf8(name));
        DragWindow w;
        rez::set_current_password(L"");
        ASSERT_TRUE(open_and_wait(qvltest::fixture(name)));
        DesktopLeftovers leftovers({L"a"});
        int prompts = 0;
        h4test::dialog_script = [&prompts](int id, DLGPROC) -> INT_PTR {
            if (id != IDD_PASSWORD_PROMPT) return 0;
            ++prompts;
            *rezui::pwd_prompt_result = L"pw";
            return 1;
        };
        shelltest::ShellChain desktop(L"Progman", true, true);
        ASSERT_TRUE(shelltest::point_at(desktop.list));
        press_and_move({L"a"}, 5, 0);
        EXPECT_EQ(prompts, 1) << log_dump();
        EXPECT_EQ(qvltest::read_text(desktop_folder() + L"\\a\\b\\c.txt"), "c text") << log_dump();
        EXPECT_TRUE(h4test::log_has(L"拖出：完成")) << log_dump();
        EXPECT_FALSE(app.busy);
        h4test::dialog_script = nullptr;
        rez::set_current_password(L"");
    }
}

// ---- the program's own copy -------------------------------------------------------------

TEST(DragOutCopy, FoldersNeverGoIntoThemselvesAndFailuresAreReported) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"dragcopy");
    const std::wstring folder = dir / L"tree";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
    EXPECT_TRUE(qvltest::write_text(folder + L"\\f.txt", "f"));
    EXPECT_TRUE(qvltest::write_text(dir / L"same.txt", "same"));

    // Into a folder inside itself, or into itself: refused, nothing written there.
    rezui::CopyOutcome inside = rezui::copy_to_drop_folder({folder}, folder + L"\\sub");
    EXPECT_EQ(inside.failed, 1);
    EXPECT_FALSE(path_exists(folder + L"\\sub\\tree"));
    EXPECT_TRUE(h4test::log_has(L"拖出：复制失败 tree (不能把文件夹复制到它自身之内)"));
    rezui::CopyOutcome onto_itself = rezui::copy_to_drop_folder({folder}, folder);
    EXPECT_EQ(onto_itself.failed, 1);
    EXPECT_FALSE(path_exists(folder + L"\\tree"));

    // A file dropped on its own folder is left as it is, without a question.
    rezui::CopyOutcome same = rezui::copy_to_drop_folder({dir / L"same.txt"}, dir.path());
    EXPECT_EQ(same.skipped, 1);
    EXPECT_EQ(qvltest::read_text(dir / L"same.txt"), "same");
    EXPECT_TRUE(h4test::boxes.empty());

    // A source that cannot be read is reported with the system's reason; the rest is copied.
    const std::wstring out = dir / L"out";
    CreateDirectoryW(out.c_str(), nullptr);
    rezui::CopyOutcome mixed = rezui::copy_to_drop_folder({dir / L"missing.txt", folder}, out);
    EXPECT_EQ(mixed.failed, 1);
    EXPECT_EQ(mixed.copied, 1);
    EXPECT_TRUE(h4test::log_has(L"拖出：复制失败 missing.txt ("));
    EXPECT_EQ(qvltest::read_text(out + L"\\tree\\f.txt"), "f");
    EXPECT_TRUE(path_exists(out + L"\\tree\\sub"));

    // Moved by Explorer before it reported no drop: the moved file is not offered for
    // replacement by a source that is gone.
    EXPECT_TRUE(qvltest::write_text(out + L"\\moved.txt", "moved"));
    rezui::CopyOutcome moved = rezui::copy_to_drop_folder({dir / L"moved.txt"}, out);
    EXPECT_EQ(moved.copied, 1);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_EQ(qvltest::read_text(out + L"\\moved.txt"), "moved");
}

}  // namespace
