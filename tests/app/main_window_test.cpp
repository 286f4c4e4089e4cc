#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/operations/open_archive.h"
#include "app/common/small_dialogs.h"
#include "app/startup.h"
#include "app/common/window_helpers.h"
#include "archive/password.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

using h4test::MainWindow;

namespace {

std::wstring make_archive(const qvltest::ScratchDir& dir, const std::wstring& name = L"test.rez") {
    return h4test::make_small_rez(dir, name);
}

bool open_and_wait(HWND window, const std::wstring& path) {
    h4test::send_copydata(window, rezui::COPYDATA_OPEN, path);
    return h4test::wait_idle() && rezui::app.archive_loaded;
}

void post_result(HWND window, bool ok, uint32_t kind, const std::wstring& path, const std::wstring& error = L"") {
    auto* r = new rezui::TaskResult;
    r->ok = ok;
    r->kind = kind;
    r->path = path;
    r->error = error;
    PostMessageW(window, rezui::WM_TASK_RESULT, 0, reinterpret_cast<LPARAM>(r));
    h4test::pump();
}

}  // namespace

TEST(MainLayout, RectanglesFollowTheClientSize) {
    // Log box off: the progress bar's top is 54 above the bottom; on: 184, the log 158..28.
    auto off = rezui::compute_main_layout(1080, 720, 78, true, true, false, false, 300);
    EXPECT_EQ(off.progress_bar, (rezui::Box{0, 720 - 54, 1080, 18}));
    EXPECT_FALSE(off.log_visible);
    auto on = rezui::compute_main_layout(1080, 720, 78, true, true, true, false, 300);
    EXPECT_EQ(on.progress_bar.y, 720 - 184);
    EXPECT_EQ(on.log, (rezui::Box{0, 720 - 158, 1080, 130}));
    EXPECT_EQ(on.log.y + on.log.h, 720 - 28);
    // Toolbar at least 36 high, then the navigation row adds 30.
    auto small_tb = rezui::compute_main_layout(800, 600, 20, true, true, false, false, 300);
    EXPECT_EQ(small_tb.toolbar, (rezui::Box{0, 0, 800, 36}));
    EXPECT_EQ(small_tb.up, (rezui::Box{2, 42, 64, 24}));
    EXPECT_EQ(small_tb.path, (rezui::Box{200, 42, 598, 24}));
    EXPECT_EQ(small_tb.browser, (rezui::Box{0, 66, 800, 600 - 76 - 66 - 24}));
    EXPECT_EQ(small_tb.status, (rezui::Box{0, 576, 800, 24}));
    EXPECT_EQ(small_tb.status_parts[1], 380);
    EXPECT_EQ(small_tb.host, (rezui::Box{400, 600 - 76 - 12, 394, 28}));
    EXPECT_EQ(small_tb.pause.x, 400 - 242);
}

TEST(MainLayout, SidePanelWidthIsClamped) {
    const struct {
        int stored, client, shown;
    } cases[] = {{700, 1080, 600}, {100, 1080, 180}, {300, 1080, 300}, {300, 450, 210}, {300, 230, 0}, {0, 1080, 180}};
    for (const auto& c : cases) {
        auto l = rezui::compute_main_layout(c.client, 700, 40, true, true, false, true, c.stored);
        EXPECT_EQ(l.panel_width, c.shown) << c.stored << " in " << c.client;
        EXPECT_EQ(l.splitter.x, c.client - c.shown);
        EXPECT_EQ(l.browser.w, c.client - c.shown);
    }
    auto hidden = rezui::compute_main_layout(1080, 700, 40, true, true, false, false, 700);
    EXPECT_EQ(hidden.panel_width, 0);
    EXPECT_FALSE(hidden.splitter_visible);
}

TEST(MainWindow, CreatesItsChildrenMenuToolbarAndColumns) {
    MainWindow w;
    HWND h = w.hwnd();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(rezui::app.main_window, h);
    for (int id : {IDC_TREE, IDC_LIST, IDC_LOG, IDC_PATH_COMBO, IDC_STATUS, IDC_TOOLBAR, IDC_PROGRESS_TEXT,
                   IDC_BUTTON_HOST, IDC_SIDE_PANEL, IDC_SPLITTER, IDC_PROGRESS_BAR, IDM_UP, IDM_DESKTOP, IDM_REFRESH})
        EXPECT_NE(GetDlgItem(h, id), nullptr) << id;
    EXPECT_EQ(GetMenuItemCount(GetMenu(h)), 6);
    EXPECT_EQ(SendMessageW(rezui::app.toolbar, TB_BUTTONCOUNT, 0, 0), 11);
    HWND header = reinterpret_cast<HWND>(SendMessageW(rezui::app.list_view, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 6);
    // The window frees the image lists itself; the list must only borrow them.
    EXPECT_TRUE(GetWindowLongPtrW(rezui::app.list_view, GWL_STYLE) & LVS_SHAREIMAGELISTS);
    EXPECT_EQ(rezui::get_window_text(rezui::app.comment_box), L"(无注释)");
    EXPECT_FALSE(GetWindowLongPtrW(rezui::app.pause_button, GWL_STYLE) & WS_VISIBLE);
    EXPECT_NE(rezui::app.accelerators, nullptr);
    // Find is not offered with no REZ archive open.
    EXPECT_EQ(GetMenuState(rezui::app.tools_menu, IDM_FIND, MF_BYCOMMAND), static_cast<UINT>(-1));
    DestroyWindow(h);
    EXPECT_EQ(rezui::app.main_window, nullptr);
    EXPECT_EQ(rezui::app.log_box, nullptr);
}

TEST(MainWindow, ToolbarPicturesComeFromTheResources) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the program runs with OLE initialised
    HICON icon = rezui::load_toolbar_icon(GetModuleHandleW(nullptr), IDP_TB_ADD);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 48);
    EXPECT_EQ(bm.bmHeight, 48);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    EXPECT_EQ(rezui::load_toolbar_icon(GetModuleHandleW(nullptr), 9999), nullptr);
    CoUninitialize();
}

TEST(MainWindow, SecondStartOpensAnArchiveAndTheBrowserNavigates) {
    qvltest::ScratchDir dir(L"mainwin");
    std::wstring path = make_archive(dir);
    MainWindow w;
    ShowWindow(w.hwnd(), SW_HIDE);
    ASSERT_TRUE(open_and_wait(w.hwnd(), path));
    EXPECT_TRUE(IsWindowVisible(w.hwnd()));  // code 1 raises the window
    EXPECT_FALSE(rezui::app.fs_mode);
    EXPECT_EQ(rezui::get_window_text(w.hwnd()), L"Marrowind Quarvel - " + path);
    std::wstring log = h4test::log_text();
    EXPECT_NE(log.find(L"已打开：" + path), std::wstring::npos);
    EXPECT_NE(log.find(L"描述：LithTech Resource File"), std::wstring::npos);
    EXPECT_NE(log.find(L"根条目数：2"), std::wstring::npos);
    EXPECT_NE(h4test::status_part(0).find(L"test.rez"), std::wstring::npos);
    // Find appears for a REZ archive.
    EXPECT_NE(GetMenuState(rezui::app.tools_menu, IDM_FIND, MF_BYCOMMAND), static_cast<UINT>(-1));

    // Typing a folder into the path box and pressing Enter goes there; a file does not.
    SetWindowTextW(rezui::app.path_combo, L"\\Textures");
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    GetComboBoxInfo(rezui::app.path_combo, &info);
    SendMessageW(info.hwndItem, WM_KEYDOWN, VK_RETURN, 0);
    h4test::pump();
    EXPECT_EQ(rezui::app.current_folder, L"Textures");
    SetWindowTextW(rezui::app.path_combo, L"readme.txt");
    w.command(IDM_GO_PATH);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"路径不存在: readme.txt");
    EXPECT_EQ(h4test::boxes[0].caption, L"跳转失败");

    // Up twice: the archive root, then the folder holding the archive.
    w.command(IDM_UP);
    EXPECT_EQ(rezui::app.current_folder, L"");
    w.command(IDM_UP);
    EXPECT_TRUE(rezui::app.fs_mode);
    EXPECT_EQ(rezui::app.local_root, dir.path());
}

TEST(MainWindow, CommandsAndNotificationsWaitWhileAJobRuns) {
    qvltest::ScratchDir dir(L"mainwin");
    std::wstring path = make_archive(dir);
    MainWindow w;
    ASSERT_TRUE(open_and_wait(w.hwnd(), path));
    int opens_asked = 0;
    rezui::ui_seams.pick_open_file = [](HWND, const wchar_t*, const wchar_t*) -> std::wstring {
        h4test::boxes.push_back({L"asked", L"", 0});
        return L"";
    };
    rezui::app.busy = true;
    w.command(IDM_OPEN);
    w.command(IDM_VIEW_LIST);
    w.command(IDM_UP);
    SetWindowTextW(rezui::app.path_combo, L"Textures");
    w.command(IDM_GO_PATH);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_EQ(rezui::app.current_folder, L"");
    EXPECT_FALSE(rezui::app.fs_mode);
    NMHDR dbl{rezui::app.list_view, IDC_LIST, static_cast<UINT>(NM_DBLCLK)};
    h4test::select_first_row_named(L"Textures");
    SendMessageW(w.hwnd(), WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&dbl));
    EXPECT_EQ(rezui::app.current_folder, L"");
    // Pause and Stop still answer.
    w.command(IDM_PAUSE);
    EXPECT_TRUE(rezui::app.paused.load());
    rezui::app.busy = false;
    SendMessageW(w.hwnd(), WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&dbl));
    EXPECT_EQ(rezui::app.current_folder, L"Textures");
    (void)opens_asked;
}

TEST(MainWindow, TaskResultsAreLoggedAndFailuresExplained) {
    MainWindow w;
    post_result(w.hwnd(), true, rezui::TASK_SAVED, L"C:\\s.rez");
    EXPECT_NE(h4test::log_text().find(L"保存完成: C:\\s.rez"), std::wstring::npos);
    EXPECT_EQ(rezui::get_window_text(w.hwnd()), L"Marrowind Quarvel - C:\\s.rez");

    post_result(w.hwnd(), false, rezui::TASK_EXTRACTED, L"", L"密码不正确");
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"密码错误");
    EXPECT_EQ(h4test::status_part(1), L"操作失败: 密码不正确");
    post_result(w.hwnd(), false, rezui::TASK_SAVED, L"", L"磁盘已满");
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_EQ(h4test::boxes[1].caption, L"操作失败");
    EXPECT_TRUE(h4test::boxes[1].flags & MB_ICONERROR);

    // A cancelled job is logged, not shown in a box.
    rezui::app.cancel = true;
    post_result(w.hwnd(), false, rezui::TASK_AUTOSAVED, L"", L"操作已取消");
    post_result(w.hwnd(), false, rezui::TASK_EXTRACTED, L"", L"操作已取消");
    EXPECT_EQ(h4test::boxes.size(), 2u);
    EXPECT_NE(h4test::log_text().find(L"自动保存已取消。"), std::wstring::npos);
    EXPECT_NE(h4test::log_text().find(L"操作已取消。"), std::wstring::npos);
    EXPECT_TRUE(rezui::app.cancel.load());  // left for the next job to clear
}

TEST(MainWindow, WorkerPayloadsStillQueuedAreFreedWhenTheWindowGoes) {
    MainWindow w;
    auto model = std::make_shared<rez::RezFile>();
    std::weak_ptr<rez::RezFile> watch = model;
    auto* r = new rezui::TaskResult;
    r->ok = true;
    r->kind = rezui::TASK_OPENED;
    r->archive = std::move(model);
    ASSERT_TRUE(PostMessageW(w.hwnd(), rezui::WM_TASK_RESULT, 0, reinterpret_cast<LPARAM>(r)));
    ASSERT_TRUE(PostMessageW(w.hwnd(), rezui::WM_TASK_PROGRESS, 5, reinterpret_cast<LPARAM>(new std::wstring(L"x"))));
    DestroyWindow(w.hwnd());
    EXPECT_TRUE(watch.expired());
}

TEST(MainWindow, DroppedItemsAddedResultNamesItsCounts) {
    qvltest::ScratchDir dir(L"mainwin");
    std::wstring path = make_archive(dir);
    MainWindow w;
    post_result(w.hwnd(), true, rezui::TASK_DROP_ADDED, path + L"|3|0");
    EXPECT_NE(h4test::log_text().find(L"拖放加入完成: " + path + L"（加入 3，跳过 0）"), std::wstring::npos);
    h4test::wait_idle();
    EXPECT_TRUE(rezui::app.archive_loaded);  // the archive is opened again
    post_result(w.hwnd(), true, rezui::TASK_DROP_ADDED, L"C:\\missing.rez|3|2");
    std::wstring log = h4test::log_text();
    EXPECT_NE(log.find(L"（加入 3，跳过 2）"), std::wstring::npos);
    h4test::wait_idle();
}

TEST(MainWindow, CopyDataEdgeCases) {
    MainWindow w;
    ShowWindow(w.hwnd(), SW_HIDE);
    SendMessageW(w.hwnd(), WM_COPYDATA, 0, 0);  // no data still raises and succeeds
    EXPECT_TRUE(IsWindowVisible(w.hwnd()));
    ShowWindow(w.hwnd(), SW_HIDE);
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_ADD_TO_REZ, L"");  // nothing to add: nothing happens
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_CONVERT, L"C:\\a.rez");
    EXPECT_FALSE(IsWindowVisible(w.hwnd()));
    EXPECT_EQ(rezui::app.pending_convert.size(), 1u);
    EXPECT_NE(rezui::app.batch_timer, 0u);
    SendMessageW(w.hwnd(), WM_TIMER, rezui::ID_TIMER_BATCH, 0);
    EXPECT_TRUE(rezui::app.pending_convert.empty());
    EXPECT_EQ(rezui::app.batch_timer, 0u);
}

TEST(MainWindow, AHandedOverFolderIsShownNotOpenedAsAnArchive) {
    qvltest::ScratchDir dir(L"mainwin");
    std::wstring path = make_archive(dir);
    MainWindow w;
    ASSERT_TRUE(open_and_wait(w.hwnd(), path));
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_OPEN, dir.path());
    EXPECT_FALSE(rezui::app.busy);
    EXPECT_TRUE(rezui::app.fs_mode);
    EXPECT_EQ(rezui::app.local_root, dir.path());
    h4test::pump(100);
    EXPECT_TRUE(h4test::boxes.empty());
}

TEST(MainWindow, PasswordRequestIsAnsweredFromThePasswordPrompt) {
    MainWindow w;
    for (bool accept : {true, false}) {
        auto request = std::make_shared<rezui::OpenPwdRequest>();
        request->prompt = L"归档已加密，请输入密码以打开：";
        request->title = L"密码";
        rezui::pending_password_request.store(request);
        std::wstring seen_prompt, seen_title;
        h4test::dialog_script = [&](int id, DLGPROC proc) -> INT_PTR {
            EXPECT_EQ(id, IDD_PASSWORD_PROMPT);
            EXPECT_EQ(proc, &rezui::password_prompt_proc);
            if (!rezui::pwd_prompt_text || !rezui::pwd_prompt_title || !rezui::pwd_prompt_result) return 0;
            seen_prompt = *rezui::pwd_prompt_text;
            seen_title = *rezui::pwd_prompt_title;
            *rezui::pwd_prompt_result = L"s3cret";
            return accept ? 1 : 0;
        };
        rez::set_current_password(L"");
        PostMessageW(w.hwnd(), rezui::WM_PASSWORD_REQUEST, 0, 0);
        h4test::pump();
        EXPECT_EQ(seen_prompt, request->prompt);
        EXPECT_EQ(seen_title, request->title);
        EXPECT_TRUE(request->done);
        EXPECT_EQ(request->cancelled, !accept);
        EXPECT_EQ(request->password, accept ? L"s3cret" : L"");
        EXPECT_EQ(rez::get_current_password(), accept ? L"s3cret" : L"");
        rezui::pending_password_request.store(nullptr);
    }
    PostMessageW(w.hwnd(), rezui::WM_PASSWORD_REQUEST, 0, 0);  // empty slot: ignored
    h4test::pump();
    rez::set_current_password(L"");
}

// Shrinking the window stops where the list and the status bar are still usable, with the
// log box shown or not.
TEST(MainWindow, ShrinkingStopsWhereTheListAndStatusPartsStayReadable) {
    const struct {
        int w, h;
    } sizes[] = {{100, 100}, {450, 700}, {900, 220}};
    for (bool log : {true, false}) {
        MainWindow w;
        rezui::app.show_log_box = log;
        rezui::apply_log_box_setting();
        ShowWindow(w.hwnd(), SW_SHOWNOACTIVATE);
        for (bool move : {false, true}) {
            for (const auto& s : sizes) {
                SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + (log ? " log" : "") +
                             (move ? " MoveWindow" : " SetWindowPos"));
                MoveWindow(w.hwnd(), 0, 0, 1080, 820, TRUE);  // each shrink starts from the usual size
                h4test::pump();
                if (move)
                    MoveWindow(w.hwnd(), 0, 0, s.w, s.h, TRUE);
                else
                    SetWindowPos(w.hwnd(), nullptr, 0, 0, s.w, s.h, SWP_NOZORDER | SWP_NOACTIVATE);
                h4test::pump();
                RECT list{}, client{};
                GetClientRect(w.hwnd(), &client);
                ASSERT_TRUE(GetWindowRect(rezui::app.list_view, &list));
                EXPECT_TRUE(IsWindowVisible(rezui::app.list_view));
                EXPECT_GE(list.right - list.left, 300);
                EXPECT_GE(list.bottom - list.top, 100);
                int parts[3] = {};
                ASSERT_EQ(SendMessageW(rezui::app.status_bar, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(parts)), 3);
                EXPECT_GE(parts[0], 100);
                EXPECT_GE(parts[1] - parts[0], 100);  // the middle part keeps room for its text
                EXPECT_GE(client.right - parts[1], 100);
                // The task buttons stay inside their host.
                RECT host{}, pause{};
                GetWindowRect(GetDlgItem(w.hwnd(), IDC_BUTTON_HOST), &host);
                GetWindowRect(rezui::app.pause_button, &pause);
                EXPECT_GE(pause.left, host.left);
            }
        }
    }
}

TEST(MainWindow, CloseToTrayHidesAndDoubleClickShows) {
    MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    rezui::app.close_to_tray = true;
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(w.hwnd()));
    // Without a notification area the window must stay visible instead of vanishing.
    EXPECT_EQ(!IsWindowVisible(w.hwnd()), rezui::app.tray_icon_added);
    if (rezui::app.tray_icon_added) {
        SendMessageW(w.hwnd(), rezui::WM_TRAY_NOTIFY, 1, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(IsWindowVisible(w.hwnd()));
    }
    h4test::menu_answer = IDM_TRAY_EXIT;
    SendMessageW(w.hwnd(), rezui::WM_TRAY_NOTIFY, 1, WM_RBUTTONUP);
    ASSERT_GE(h4test::last_menu.size(), 5u);
    EXPECT_EQ(h4test::last_menu[0].second, L"Marrowind Quarvel - 资源管理器 [grey]");
    EXPECT_EQ(h4test::last_menu[2].first, static_cast<UINT>(IDM_TRAY_SHOW));
    EXPECT_FALSE(IsWindow(w.hwnd()));  // the tray's exit destroys the window
    rezui::app.close_to_tray = false;
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
}

TEST(MainWindow, SplitterDragAndMinimiseKeepThePanelWithinItsLimits) {
    MainWindow w;
    w.command(IDM_SIDE_PANEL);
    EXPECT_TRUE(rezui::app.comment_panel_visible);
    SendMessageW(w.hwnd(), WM_SIZE, 0, MAKELPARAM(1000, 700));
    rezui::splitter_dragging = true;
    SendMessageW(w.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1000 - 50, 300));
    EXPECT_EQ(rezui::side_panel_width, 180);
    SendMessageW(w.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(100, 300));
    EXPECT_EQ(rezui::side_panel_width, 600);
    SendMessageW(w.hwnd(), WM_CAPTURECHANGED, 0, 0);
    EXPECT_FALSE(rezui::splitter_dragging);
    SendMessageW(w.hwnd(), WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(rezui::side_panel_width, 0);
    SendMessageW(w.hwnd(), WM_SIZE, 0, MAKELPARAM(1000, 700));
    EXPECT_EQ(rezui::side_panel_width, 180);
    RECT rc;
    GetWindowRect(rezui::app.splitter, &rc);
    POINT pt{rc.left + 1, rc.top + 5};
    ScreenToClient(w.hwnd(), &pt);
    EXPECT_TRUE(rezui::splitter_hit_test(pt.x, pt.y));
    EXPECT_FALSE(rezui::splitter_hit_test(pt.x - 40, pt.y));
}

TEST(MainWindow, ListContextMenusFollowWhatTheListShows) {
    qvltest::ScratchDir dir(L"mainwin");
    std::wstring path = make_archive(dir);
    MainWindow w;
    ASSERT_TRUE(open_and_wait(w.hwnd(), path));

    // REZ archive, nothing selected: the view menu.
    h4test::select_none();
    w.notify_list(NM_RCLICK);
    ASSERT_FALSE(h4test::last_menu.empty());
    EXPECT_EQ(h4test::last_menu[0].first, static_cast<UINT>(IDM_UP));

    // A file selected: decode preview first, every entry command present.
    h4test::select_first_row_named(L"readme");
    h4test::last_menu.clear();
    w.notify_list(NM_RCLICK);
    ASSERT_FALSE(h4test::last_menu.empty());
    EXPECT_EQ(h4test::last_menu[0].first, static_cast<UINT>(IDM_DECODE_PREVIEW));

    // A local folder with nothing selected: no menu at all.
    rezui::open_local_folder(dir.path());
    h4test::select_none();
    h4test::last_menu.clear();
    w.notify_list(NM_RCLICK);
    EXPECT_TRUE(h4test::last_menu.empty());
}

TEST(MainWindow, ListMenuChoicesRunTheirCommands) {
    qvltest::ScratchDir dir(L"mainwin");
    std::wstring path = make_archive(dir);
    MainWindow w;
    ASSERT_TRUE(open_and_wait(w.hwnd(), path));
    auto list_type = [] { return GetWindowLongPtrW(rezui::app.list_view, GWL_STYLE) & LVS_TYPEMASK; };

    h4test::select_none();
    h4test::menu_answer = IDM_LARGE_ICONS;
    w.notify_list(NM_RCLICK);
    EXPECT_EQ(rezui::app.list_style, 0);
    EXPECT_EQ(list_type(), LVS_ICON);
    h4test::menu_answer = IDM_DETAILS;
    w.notify_list(NM_RCLICK);
    EXPECT_EQ(rezui::app.list_style, 1);
    EXPECT_EQ(list_type(), LVS_REPORT);

    ASSERT_TRUE(h4test::select_first_row_named(L"readme"));
    h4test::menu_answer = IDM_DECODE_PREVIEW;
    w.notify_list(NM_RCLICK);
    EXPECT_NE(rezui::get_window_text(rezui::app.preview_edit).find(L"hello"), std::wstring::npos);
    EXPECT_TRUE(h4test::boxes.empty());
}

TEST(MainWindow, CanSearchOnlyInARezArchive) {
    const struct {
        const wchar_t* path;
        bool fs_mode, search;
    } cases[] = {{L"C:\\a.rez", false, true},     {L"C:\\a.Rez", false, true}, {L"C:\\a.REZ.bak", false, false},
                 {L"C:\\a.zip", false, false},    {L"C:\\a.rez", true, false}, {L"C:\\noext", false, false}};
    for (const auto& c : cases) {
        rezui::app.archive.path = c.path;
        rezui::app.archive_loaded = true;
        rezui::app.fs_mode = c.fs_mode;
        EXPECT_EQ(rezui::can_search(), c.search) << rez::to_utf8(c.path);
    }
    h4test::reset_app_state();
    EXPECT_FALSE(rezui::can_search());
}

TEST(MainWindow, CommandStatesFollowTheSelection) {
    qvltest::ScratchDir dir(L"mainwin");
    std::wstring path = make_archive(dir);
    MainWindow w;
    HMENU menu = GetMenu(w.hwnd());
    auto enabled = [&](UINT id) { return !(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED); };
    EXPECT_FALSE(enabled(IDM_SAVE));  // local folder shown
    EXPECT_TRUE(enabled(IDM_PACK_ONE));
    ASSERT_TRUE(open_and_wait(w.hwnd(), path));
    h4test::select_none();
    rezui::update_command_states();
    EXPECT_TRUE(enabled(IDM_SAVE));
    EXPECT_TRUE(enabled(IDM_EXTRACT_ALL));
    EXPECT_FALSE(enabled(IDM_REMOVE));
    ASSERT_TRUE(h4test::select_first_row_named(L"readme"));
    h4test::pump();  // the list's item-changed notification updates the states
    EXPECT_TRUE(enabled(IDM_REMOVE));
    EXPECT_TRUE(enabled(IDM_REPLACE_CONTENT));
    ASSERT_TRUE(h4test::select_first_row_named(L"Textures"));
    h4test::pump();
    EXPECT_TRUE(enabled(IDM_REMOVE));
    EXPECT_FALSE(enabled(IDM_REPLACE_CONTENT));  // a folder has no content to replace
}

TEST(MainWindow, ZipListMenuGreysSelectionCommandsWithoutSelection) {
    MainWindow w;
    rez::RezFile model(L"C:\\x.zip");
    rez::Entry file;
    file.name = "a";
    file.ext = "txt";
    file.size = 3;
    model.root.children.push_back(file);
    rezui::app.archive = model;
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::refresh_list();
    h4test::select_none();
    w.notify_list(NM_RCLICK);
    std::vector<std::wstring> texts;
    for (const auto& item : h4test::last_menu) texts.push_back(item.second);
    const std::vector<std::wstring> expected = {L"解压全部", L"解压选中 [grey]", L"-", L"添加文件", L"添加目录", L"-",
                                                L"删除项目 [grey]", L"-", L"注释(&M)...", L"设置密码(&P)...", L"-",
                                                L"全选(A)\tCtrl+A"};
    EXPECT_EQ(texts, expected);
    // Ctrl+A selects every entry of a ZIP listing, not "[..]"; Ctrl+C there does nothing.
    w.command(IDM_SELECT_ALL);
    int count = static_cast<int>(SendMessageW(rezui::app.list_view, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(SendMessageW(rezui::app.list_view, LVM_GETSELECTEDCOUNT, 0, 0), count - 1);
    EXPECT_EQ(rezui::selected_item_paths().size(), 1u);
    w.command(IDM_LOCAL_COPY);
    EXPECT_TRUE(h4test::boxes.empty());
}
