// The local-folder file manager with scripted dialogs: rename, new folder, delete answered
// No, copies that never overwrite, send-to, show in Explorer and the selection message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/browser/local_view.h"
#include "app/common/small_dialogs.h"
#include "archive/util.h"
#include "browser_test_window.h"
#include "test_support.h"

namespace {

using h5test::BrowserWindow;
using h5test::item_count;

std::wstring g_answer;
bool g_ok = true;
std::vector<std::wstring> g_launches;
std::wstring g_folder;

INT_PTR scripted_text(int id, HWND, DLGPROC, LPARAM) {
    if (id != 207 || !g_ok) return 0;
    if (rezui::input_text) *rezui::input_text = g_answer;
    return IDOK;
}

HINSTANCE scripted_shell(HWND, const wchar_t* verb, const wchar_t* file, const wchar_t* params, const wchar_t*, int) {
    g_launches.push_back(std::wstring(verb) + L"|" + file + L"|" + (params ? params : L""));
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

std::wstring g_box;
int answer_no(HWND, const std::wstring& text, const std::wstring&, UINT) {
    g_box = text;
    return IDNO;
}

std::wstring pick(HWND, const std::wstring&) { return g_folder; }

int find_item(const std::wstring& text) {
    for (int i = 0; i < item_count(); ++i)
        if (h5test::item_text(i) == text) return i;
    return -1;
}

struct LocalFixture : ::testing::Test {
    BrowserWindow w;
    qvltest::ScratchDir dir{L"h5lv"};
    void SetUp() override {
        rezui::ui_seams.run_dialog = scripted_text;
        rezui::ui_seams.shell_execute = scripted_shell;
        rezui::ui_seams.pick_folder = pick;
        g_ok = true;
        g_launches.clear();
        g_box.clear();
        EXPECT_TRUE(qvltest::write_text(dir / L"a.txt", "alpha"));
        rezui::open_local_folder(dir.path());
    }
};

TEST_F(LocalFixture, RenameKeepsTheItemInItsFolder) {
    h5test::select_item(find_item(L"a.txt"));
    g_answer = L"b.txt";
    rezui::rename_local_item(w.parent());
    EXPECT_EQ(qvltest::read_text(dir / L"b.txt"), "alpha");
    EXPECT_NE(find_item(L"b.txt"), -1);

    h5test::select_item(find_item(L"b.txt"));
    g_answer = L"..\\escaped.txt";
    rezui::rename_local_item(w.parent());
    EXPECT_EQ(h5test::last_box_text, L"错误: 重命名失败");
    EXPECT_EQ(qvltest::read_text(dir / L"b.txt"), "alpha");

    g_answer = L"";
    h5test::last_box_text.clear();
    rezui::rename_local_item(w.parent());  // empty text: nothing happens
    EXPECT_EQ(h5test::last_box_text, L"");
    EXPECT_EQ(qvltest::read_text(dir / L"b.txt"), "alpha");
}

TEST_F(LocalFixture, NewFolderWithTheProposedNameAndNoEscape) {
    g_ok = true;
    g_answer = L"新建文件夹";
    rezui::new_local_folder(w.parent());
    EXPECT_NE(find_item(L"新建文件夹"), -1);
    rezui::new_local_folder(w.parent());  // already there: no message
    EXPECT_EQ(h5test::last_box_text, L"");
    g_answer = L"..\\outside";
    rezui::new_local_folder(w.parent());
    EXPECT_EQ(h5test::last_box_text, L"错误: 创建失败");
}

TEST_F(LocalFixture, DeleteAnsweredNoTouchesNothingAndDoesNotRefresh) {
    h5test::select_item(find_item(L"a.txt"));
    const int before = item_count();
    EXPECT_TRUE(qvltest::write_text(dir / L"late.txt", "x"));
    rezui::ui_seams.message_box = answer_no;
    rezui::delete_local_items(w.parent());
    EXPECT_EQ(g_box, L"确定要删除选中的 1 个项目吗？");
    EXPECT_EQ(qvltest::read_text(dir / L"a.txt"), "alpha");
    EXPECT_EQ(item_count(), before);
}

TEST_F(LocalFixture, SendToAFolderNeverOverwrites) {
    qvltest::ScratchDir target(L"h5lvt");
    EXPECT_TRUE(qvltest::write_text(target / L"a.txt", "kept"));
    g_folder = target.path();
    h5test::select_item(find_item(L"a.txt"));
    rezui::send_to_folder(w.parent(), 2065);
    EXPECT_EQ(qvltest::read_text(target / L"a.txt"), "kept");
    DeleteFileW((target / L"a.txt").c_str());
    rezui::send_to_folder(w.parent(), 2065);
    EXPECT_EQ(qvltest::read_text(target / L"a.txt"), "alpha");
}

TEST_F(LocalFixture, ClipboardCopyThenPasteKeepsExistingFiles) {
    qvltest::ScratchDir other(L"h5lvc");
    EXPECT_TRUE(qvltest::write_text(other / L"a.txt", "kept"));
    EXPECT_TRUE(qvltest::write_text(dir / L"new.txt", "new"));
    rezui::refresh_list();
    h5test::select_item(find_item(L"a.txt"));
    LVITEMW st{};
    st.stateMask = st.state = LVIS_SELECTED;
    SendMessageW(rezui::app.list_view, LVM_SETITEMSTATE, find_item(L"new.txt"), reinterpret_cast<LPARAM>(&st));
    rezui::copy_to_clipboard(w.parent());
    rezui::open_local_folder(other.path());
    rezui::paste_from_clipboard(w.parent());
    EXPECT_EQ(qvltest::read_text(other / L"a.txt"), "kept");
    EXPECT_EQ(qvltest::read_text(other / L"new.txt"), "new");
}

TEST_F(LocalFixture, ExplorerOpensTheContainingFolderAndViewNeedsASelection) {
    h5test::select_item(find_item(L"a.txt"));
    rezui::show_in_explorer(w.parent());
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0], L"open|explorer.exe|" + dir.path());
    rezui::view_with_default_program();
    ASSERT_EQ(g_launches.size(), 2u);
    EXPECT_EQ(g_launches[1], L"open|" + (dir / L"a.txt") + L"|");

    h5test::select_item(0);  // the "[..]" row is no selection
    rezui::view_with_default_program();
    EXPECT_EQ(h5test::last_box_text, L"查看: 请先在列表中选中一个条目。");
}

}  // namespace
