// The list answering the user's keys and clicks as they reach the control: Enter opens the
// selected folder or entry (archive and local folder), a single click on the load-more row
// shows the next rows, and while a job runs such requests are refused where the user can
// see it.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <initializer_list>
#include <iterator>
#include <vector>

#include "app/browser/browser.h"
#include "app/main_window/main_window.h"
#include "app/main_window/task_ui.h"
#include "app/startup.h"
#include "app/operations/open_archive.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

std::wstring make_archive(const qvltest::ScratchDir& dir) { return h4test::make_small_rez(dir, L"keys.rez"); }

using h4test::open_and_wait;

// Enter pressed with the list focused, through the thread's queue like a real key.
void press_enter() {
    SetFocus(rezui::app.list_view);
    PostMessageW(rezui::app.list_view, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(rezui::app.list_view, WM_KEYUP, VK_RETURN, 0xC01C0001);
    h4test::pump(30);
}

// A left click in the middle of a list row, scrolled into view first.
void click_row(int item) {
    HWND list = rezui::app.list_view;
    SendMessageW(list, LVM_ENSUREVISIBLE, item, FALSE);
    RECT rc{};
    rc.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&rc)));
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    h4test::pump(30);
}

// An archive model of n files in memory, shown in the list.
void show_big_listing(int n) {
    rez::RezFile model(L"C:\\nowhere\\big.rez");
    for (int i = 0; i < n; ++i) {
        rez::Entry e;
        e.name = "file" + std::to_string(10000 + i);
        e.ext = "BIN";
        e.size = 1;
        e.id = static_cast<uint32_t>(i + 1);
        model.root.children.push_back(e);
    }
    rezui::app.archive = model;
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::app.current_folder.clear();
    rezui::refresh_list();
}

// Keys typed on the real keyboard: they reach the focused window through the thread's queue
// and the program's own message-loop step, which turns the accelerator keys into commands.
bool type_keys(HWND window, std::initializer_list<WORD> keys) {
    SetForegroundWindow(window);
    h4test::pump(50);
    if (GetForegroundWindow() != window) return false;
    SetFocus(rezui::app.list_view);
    std::vector<INPUT> input;
    for (WORD k : keys) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        input.push_back(i);
    }
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = *it;
        i.ki.dwFlags = KEYEVENTF_KEYUP;
        input.push_back(i);
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 400) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (rezui::pre_translate_message(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
    return true;
}

bool item_selected(int item) {
    return SendMessageW(rezui::app.list_view, LVM_GETITEMSTATE, item, LVIS_SELECTED) != 0;
}

// A local folder of n small text files, shown in the list.
void show_local_files(const qvltest::ScratchDir& dir, int n) {
    for (int i = 0; i < n; ++i)
        rez::write_file(dir / (L"f" + std::to_wstring(1000 + i) + L".txt"), reinterpret_cast<const uint8_t*>("n"), 1);
    rezui::open_local_folder(dir.path());
}

bool has_load_more_row() {
    const int n = appprobe::item_count();
    const rezui::ListRow* last = n > 0 ? rezui::row_of_item(n - 1) : nullptr;
    return last && last->is_load_more;
}

}  // namespace

TEST(ListKeys, EnterOpensTheSelectedFolderOrEntryOfTheArchive) {
    qvltest::ScratchDir dir(L"listkeys");
    const std::wstring path = make_archive(dir);
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    ASSERT_TRUE(open_and_wait(path));

    ASSERT_TRUE(h4test::select_first_row_named(L"Textures"));
    press_enter();
    EXPECT_EQ(rezui::app.current_folder, L"Textures");
    ASSERT_TRUE(h4test::select_first_row_named(L"[..]"));
    press_enter();
    EXPECT_EQ(rezui::app.current_folder, L"");
    ASSERT_TRUE(h4test::select_first_row_named(L"readme"));
    press_enter();
    EXPECT_NE(rezui::get_window_text(rezui::app.preview_edit).find(L"hello"), std::wstring::npos);
    EXPECT_TRUE(h4test::boxes.empty());
}

TEST(ListKeys, EnterOpensTheSelectedFolderOrFileOfALocalFolder) {
    qvltest::ScratchDir dir(L"listkeys");
    ASSERT_TRUE(CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    rez::write_file(dir / L"note.txt", reinterpret_cast<const uint8_t*>("n"), 1);
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    rezui::open_local_folder(dir.path());

    ASSERT_TRUE(h4test::select_first_row_named(L"note.txt"));
    press_enter();
    ASSERT_EQ(h4test::shell_launches.size(), 1u);
    EXPECT_EQ(h4test::shell_launches[0], L"open|" + (dir / L"note.txt") + L"|");
    ASSERT_TRUE(h4test::select_first_row_named(L"sub"));
    press_enter();
    EXPECT_EQ(rezui::app.local_subdir, L"sub");
}

TEST(ListKeys, ASingleClickOnTheLoadMoreRowShowsTheNextRows) {
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    show_big_listing(static_cast<int>(rezui::kListPageSize) + 20);
    const int shown = appprobe::item_count();
    ASSERT_EQ(shown, static_cast<int>(rezui::kListPageSize) + 2);  // "[..]", a page, load-more
    ASSERT_TRUE(has_load_more_row());

    click_row(1);  // an ordinary row: nothing more is loaded
    EXPECT_EQ(appprobe::item_count(), shown);
    click_row(shown - 1);
    EXPECT_EQ(appprobe::item_count(), static_cast<int>(rezui::kListPageSize) + 21);
    EXPECT_FALSE(has_load_more_row());
}

TEST(ListKeys, RequestsWhileAJobRunsAreRefusedVisibly) {
    qvltest::ScratchDir dir(L"listkeys");
    const std::wstring path = make_archive(dir);
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    ASSERT_TRUE(open_and_wait(path));
    ASSERT_TRUE(h4test::select_first_row_named(L"Textures"));
    rezui::set_status_bar_text(L"");
    rezui::app.busy = true;

    // The log box changes with every line; that is no request of the user's.
    rezui::append_log(L"a line while busy");
    EXPECT_EQ(h4test::status_part(0), L"");

    press_enter();
    EXPECT_EQ(rezui::app.current_folder, L"");
    EXPECT_EQ(h4test::status_part(0), rezui::kBusyRefusalText);

    const struct {
        const char* what;
        std::function<void()> act;
    } requests[] = {
        {"menu command", [&] { w.command(IDM_ARCHIVE_INFO); }},
        {"accelerator F5",
         [&] {
             MSG msg{w.hwnd(), WM_KEYDOWN, VK_F5, 0x003F0001, 0, {}};
             TranslateAcceleratorW(w.hwnd(), rezui::app.accelerators, &msg);
         }},
        {"context menu", [&] { w.notify_list(NM_RCLICK); }},
        {"double click", [&] { w.notify_list(NM_DBLCLK); }},
    };
    for (const auto& r : requests) {
        rezui::set_status_bar_text(L"");
        r.act();
        EXPECT_EQ(h4test::status_part(0), rezui::kBusyRefusalText) << r.what;
    }
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_TRUE(h4test::last_menu.empty());
    EXPECT_EQ(rezui::app.current_folder, L"");
    rezui::app.busy = false;
}

// Select-all left "[..]" selected first, and every command then saw no selection.
TEST(ListKeys, ForegroundCtrlASelectsEveryEntryButTheParentRow) {
    qvltest::ScratchDir dir(L"listkeys");
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    show_local_files(dir, 3);
    ASSERT_TRUE(h4test::select_first_row_named(L"f1001"));
    ASSERT_TRUE(type_keys(w.hwnd(), {VK_CONTROL, 'A'})) << "the main window did not take the foreground";
    const int n = appprobe::item_count();
    ASSERT_EQ(n, 4);
    EXPECT_EQ(appprobe::item_text(0).rfind(L"[..]", 0), 0u);
    EXPECT_FALSE(item_selected(0));
    for (int i = 1; i < n; ++i) EXPECT_TRUE(item_selected(i)) << i;
    EXPECT_EQ(rezui::selected_item_paths().size(), 3u);

    // "[..]" selected together with entries (a range from the top) leaves the commands on the entries.
    appprobe::set_item_state(0, LVIS_SELECTED, LVIS_SELECTED);
    HMENU menu = rezui::build_list_context_menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuState(menu, IDM_LOCAL_DELETE, MF_BYCOMMAND) & MF_GRAYED, 0u);
    DestroyMenu(menu);
    EXPECT_FALSE(rezui::first_selected_is_parent_row());
}

TEST(ListKeys, ForegroundAltEnterOpensTheSelectedFileInNotepad) {
    qvltest::ScratchDir dir(L"listkeys");
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    show_local_files(dir, 2);
    ASSERT_TRUE(h4test::select_first_row_named(L"f1001"));
    ASSERT_TRUE(type_keys(w.hwnd(), {VK_MENU, VK_RETURN})) << "the main window did not take the foreground";
    ASSERT_EQ(h4test::shell_launches.size(), 1u);
    EXPECT_EQ(h4test::shell_launches[0], L"open|notepad.exe|" + (dir / L"f1001.txt"));
}

// The second click of a double click on the load-more row lands on a row the new page put
// under the pointer; it must not open that row.
TEST(ListKeys, ADoubleClickOnTheLoadMoreRowOnlyLoads) {
    qvltest::ScratchDir dir(L"listkeys");
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    show_local_files(dir, static_cast<int>(rezui::kListPageSize) + 20);
    const int shown = appprobe::item_count();
    ASSERT_EQ(shown, static_cast<int>(rezui::kListPageSize) + 2);  // "[..]", a page, load-more
    HWND list = rezui::app.list_view;
    ASSERT_TRUE(h4test::select_first_row_named(L"f1003"));  // an earlier choice, not to be opened now
    SendMessageW(list, LVM_ENSUREVISIBLE, shown - 1, FALSE);
    RECT rc{};
    rc.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, shown - 1, reinterpret_cast<LPARAM>(&rc)));
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    h4test::pump(100);
    EXPECT_EQ(appprobe::item_count(), static_cast<int>(rezui::kListPageSize) + 21);
    EXPECT_TRUE(h4test::shell_launches.empty()) << rez::to_utf8(h4test::shell_launches[0]);
    EXPECT_EQ(rezui::app.local_subdir, L"");

    // A later double click on an ordinary row still opens it.
    SendMessageW(list, LVM_ENSUREVISIBLE, 5, FALSE);
    rc.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 5, reinterpret_cast<LPARAM>(&rc)));
    const LPARAM row = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, row);
    PostMessageW(list, WM_LBUTTONUP, 0, row);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, row);
    PostMessageW(list, WM_LBUTTONUP, 0, row);
    h4test::pump(100);
    EXPECT_EQ(h4test::shell_launches.size(), 1u);
}
