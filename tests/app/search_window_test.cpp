// The search window from its real template next to the real main window: keywords typed
// into its fields, its buttons and tabs clicked, its result lists read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/app_state.h"
#include "app/operations/open_archive.h"
#include "app/tools/search_window.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "search_test_support.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

using qvltest::read_text;

// The search window opened by the main window's Find route, driven like a user would.
struct SearchWindow {
    HWND dialog = nullptr;
    explicit SearchWindow(HWND owner) {
        rezui::show_search_window(owner);
        dialog = rezui::current_modeless_dialog;
    }
    // Opened by the main window's Find command, as Ctrl+F and the menu do.
    explicit SearchWindow(h4test::MainWindow& w) {
        w.command(IDM_FIND);
        dialog = rezui::current_modeless_dialog;
    }
    ~SearchWindow() {
        if (IsWindow(dialog)) SendMessageW(dialog, WM_CLOSE, 0, 0);
        h4test::pump();
    }
    HWND item(int id) const { return GetDlgItem(dialog, id); }
    void click(int id, bool pump = true) const {
        HWND button = item(id);
        RECT rc{};
        GetClientRect(button, &rc);
        const LPARAM at = MAKELPARAM(rc.right / 2, rc.bottom / 2);
        SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(button, WM_LBUTTONUP, 0, at);
        if (pump) h4test::pump();
    }
    void type(int id, const std::wstring& text) const {
        HWND edit = item(id);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SendMessageW(edit, WM_CHAR, VK_BACK, 0);
        for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
    }
    void select_tab(int tab) const {
        HWND tabs = item(IDC_SEARCH_TABS);
        RECT rc{};
        SendMessageW(tabs, TCM_GETITEMRECT, tab, reinterpret_cast<LPARAM>(&rc));
        const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(tabs, WM_LBUTTONUP, 0, at);
    }
    int rows(int list) const { return static_cast<int>(SendMessageW(item(list), LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring cell(int list, int row, int column) const { return appprobe::item_text(row, column, item(list)); }
    std::vector<std::wstring> names(int list) const {
        std::vector<std::wstring> out;
        for (int i = 0; i < rows(list); ++i) out.push_back(cell(list, i, 0));
        return out;
    }
    bool wait_enabled(int id) const {
        return h4test::pump_until([&] { return IsWindowEnabled(item(id)) != FALSE; });
    }
    POINT row_point(int list, int row) const {
        RECT rc{};
        rc.left = LVIR_LABEL;
        SendMessageW(item(list), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rc));
        return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    }
    void right_click_row(int list, int row) const {
        const POINT p = row_point(list, row);
        // The list view may wait for the button's release inside its button-down handler.
        PostMessageW(item(list), WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
        SendMessageW(item(list), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
        h4test::pump();
    }
    void double_click_row(int list, int row) const {
        ListView_SetItemState(item(list), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        const POINT p = row_point(list, row);
        SendMessageW(item(list), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        SendMessageW(item(list), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
        h4test::pump();
    }
    // Tab 1 with these archives imported through its add button.
    void import(const std::vector<std::wstring>& archives) {
        select_tab(1);
        h4test::open_many_answer = archives;
        click(IDC_S1_ADD);
    }
};

void open_in_main_window(const std::wstring& path) {
    rezui::open_file(path);
    ASSERT_TRUE(h4test::pump_until([] { return !rezui::app.busy && !rezui::task_running.load(); }));
    ASSERT_TRUE(rezui::app.archive_loaded);
}

TEST(SearchWindow, TypedKeywordOnTheOpenArchiveListsItsHits) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"swopen");
    const std::wstring path = dir / L"game.rez";
    stest::make_rez(path, {{"Maps", L"tree.dat", "t"}, {"", L"readme.txt", "r"}, {"", L"street.dat", "s"}});
    open_in_main_window(path);
    SearchWindow s(w);
    ASSERT_TRUE(IsWindow(s.dialog));
    EXPECT_TRUE(IsWindowVisible(s.dialog));
    EXPECT_EQ(rezui::get_window_text(s.dialog), L"查找");
    EXPECT_EQ(rezui::get_window_text(s.item(IDC_S0_STATUS)), L"当前文件：game.rez");

    s.type(IDC_S0_KEYWORD, L"TREE  ");
    s.click(IDC_S0_FIND, false);
    EXPECT_FALSE(IsWindowEnabled(s.item(IDC_S0_FIND)));
    // The main window may take the open archive away at once: the search has its own copy.
    const rez::RezFile kept = rezui::app.archive;
    rezui::app.archive = rez::RezFile();
    ASSERT_TRUE(s.wait_enabled(IDC_S0_FIND));
    rezui::app.archive = kept;
    ASSERT_EQ(s.rows(IDC_S0_RESULTS), 2);
    EXPECT_EQ(rez::to_lower_ascii(rez::to_utf8(s.cell(IDC_S0_RESULTS, 0, 0))), "tree.dat");
    EXPECT_EQ(rez::to_lower_ascii(rez::to_utf8(s.cell(IDC_S0_RESULTS, 0, 4))), "maps\\tree");
    EXPECT_EQ(s.cell(IDC_S0_RESULTS, 0, 3), L"1 B");
    EXPECT_EQ(rezui::get_window_text(s.item(IDC_S0_STATUS)), L"搜索完成，找到 2 个结果");

    // Whole word, typed through the check box click, leaves only the exact name.
    s.click(IDC_S0_WHOLE);
    s.click(IDC_S0_FIND);
    ASSERT_TRUE(s.wait_enabled(IDC_S0_FIND));
    ASSERT_EQ(s.rows(IDC_S0_RESULTS), 1);

    // Blanks only and no scope are refused with the window's hints.
    s.type(IDC_S0_KEYWORD, L"   ");
    s.click(IDC_S0_FIND);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"请输入搜索关键字。");
    s.type(IDC_S0_KEYWORD, L"tree");
    for (int id : {IDC_S0_NAME, IDC_S0_TYPE, IDC_S0_ID}) s.click(id);
    s.click(IDC_S0_FIND);
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_EQ(h4test::boxes[1].text, L"请至少选择一个搜索范围（名称/类型/ID）。");
    EXPECT_TRUE(IsWindowEnabled(s.item(IDC_S0_FIND)));
}

TEST(SearchWindow, ImportedArchivesAreSearchedAndSameNamedHitsUnpackSideBySide) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"swunpack");
    const std::wstring a = dir / L"one.rez", b = dir / L"two.rez", out = dir / L"out";
    stest::make_rez(a, {{"Sub", L"same.txt", "from one"}});
    stest::make_rez(b, {{"", L"same.txt", "from two"}, {"", L"other.txt", "o"}});
    CreateDirectoryW(out.c_str(), nullptr);
    SearchWindow s(w.hwnd());
    s.import({a, b, a});
    ASSERT_EQ(s.rows(IDC_S1_ARCHIVES), 2);  // the repeated one is left out
    EXPECT_EQ(rezui::get_window_text(s.item(IDC_S1_STATUS)), L"已导入 2 个rez文件");

    s.type(IDC_S1_KEYWORD, L"same");
    s.click(IDC_S1_FIND);
    ASSERT_TRUE(s.wait_enabled(IDC_S1_FIND));
    ASSERT_EQ(s.rows(IDC_S1_RESULTS), 2);
    EXPECT_EQ(s.cell(IDC_S1_RESULTS, 0, 5), a);
    EXPECT_EQ(s.cell(IDC_S1_RESULTS, 1, 5), b);
    EXPECT_EQ(rezui::get_window_text(s.item(IDC_S1_STATUS)), L"搜索完成，在 2 个文件中找到 2 个结果");

    h4test::menu_answer = IDM_SEARCH_UNPACK_ALL;
    h4test::folder_answers = {out};
    h4test::box_answer = IDNO;
    s.right_click_row(IDC_S1_RESULTS, 0);
    ASSERT_FALSE(h4test::last_menu.empty());
    EXPECT_EQ(h4test::last_menu[0].second, L"定位文件");
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"解包完成");
    EXPECT_EQ(h4test::boxes[0].text, L"解包完成！\n\n共 2 个文件已解包到：\n" + out + L"\n\n是否打开目标文件夹？");
    const std::wstring first_name = s.cell(IDC_S1_RESULTS, 0, 0);
    const size_t dot = first_name.rfind(L'.');
    EXPECT_EQ(read_text(out + L"\\" + first_name), "from one");
    EXPECT_EQ(read_text(out + L"\\" + first_name.substr(0, dot) + L" (2)" + first_name.substr(dot)), "from two");
}

TEST(SearchWindow, ASupersededSearchGivesItsTabTheFindButtonBack) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"swsuper");
    const std::wstring a = dir / L"one.rez";
    stest::make_rez(a, {{"", L"hit.txt", "x"}});
    SearchWindow s(w.hwnd());
    s.import({a});
    s.type(IDC_S1_KEYWORD, L"hit");
    h4test::folder_answers = {dir.path()};
    s.select_tab(2);
    s.click(IDC_S2_BROWSE);
    ASSERT_EQ(SendMessageW(s.item(IDC_S2_ARCHIVES), LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(rezui::get_window_text(s.item(IDC_S2_STATUS)), L"扫描到 1 个rez文件");
    s.type(IDC_S2_KEYWORD, L"hit");

    // Tab 1's search starts, and tab 2's starts before tab 1 could report back.
    s.select_tab(1);
    s.click(IDC_S1_FIND, false);
    s.select_tab(2);
    s.click(IDC_S2_FIND, false);
    EXPECT_FALSE(IsWindowEnabled(s.item(IDC_S2_FIND)));
    ASSERT_TRUE(s.wait_enabled(IDC_S2_FIND));
    h4test::pump(100);
    EXPECT_EQ(s.rows(IDC_S2_RESULTS), 1);
    EXPECT_FALSE(IsWindowVisible(s.item(IDC_S2_PROGRESS)));
    EXPECT_TRUE(IsWindowEnabled(s.item(IDC_S1_FIND)));
    EXPECT_EQ(s.rows(IDC_S1_RESULTS), 0);
}

TEST(SearchWindow, LocatingAHitInAnotherArchiveWaitsForItsOpen) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"swlocate");
    const std::wstring a = dir / L"one.rez";
    stest::make_rez(a, {{"Maps", L"tree.dat", "t"}, {"Maps", L"bush.dat", "b"}});
    SearchWindow s(w.hwnd());
    s.import({a});
    s.type(IDC_S1_KEYWORD, L"tree");
    s.click(IDC_S1_FIND);
    ASSERT_TRUE(s.wait_enabled(IDC_S1_FIND));
    ASSERT_EQ(s.rows(IDC_S1_RESULTS), 1);

    s.double_click_row(IDC_S1_RESULTS, 0);
    ASSERT_TRUE(h4test::pump_until([] {
        return rezui::app.archive_loaded && !rezui::app.busy && rez::to_lower_ascii(rez::to_utf8(rezui::app.current_folder)) == "maps";
    })) << rez::to_utf8(rezui::app.current_folder);
    const int selected = static_cast<int>(SendMessageW(rezui::app.list_view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    ASSERT_GE(selected, 0);
    EXPECT_EQ(rez::to_lower_ascii(rez::to_utf8(appprobe::item_text(selected))), "tree.dat");
}

}  // namespace
