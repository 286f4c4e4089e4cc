// The main window procedure: a router from each message to the operation that handles it,
// and the small handlers of the frame itself (close, colours, splitter, tray, hand-over).
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <memory>

#include "app/app_state.h"
#include "app/tools/convert_dialog.h"
#include "app/operations/dropped_files.h"
#include "app/operations/autosave.h"
#include "app/operations/handover_queue.h"
#include "app/operations/header_editor.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/operations/open_archive.h"
#include "app/common/owner_buttons.h"
#include "app/tools/pack_dialog.h"
#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"
#include "app/operations/job_workers.h"
#include "resources/resource.h"

namespace rezui {
namespace {

void toggle_tray(HWND window) {
    if (IsWindowVisible(window)) {
        if (app.tray_icon_added || add_tray_icon(window)) ShowWindow(window, SW_HIDE);
    } else {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
    }
}

void on_close(HWND window) {
    if (app.close_to_tray) {
        if (!app.tray_icon_added && !add_tray_icon(window)) return;
        ShowWindow(window, SW_HIDE);
        return;
    }
    exit_program(window);
}

bool is_side_panel_child(HWND control) {
    if (!app.comment_panel || !control) return false;
    return control == app.comment_panel || GetParent(control) == app.comment_panel;
}

LRESULT on_ctlcolor(UINT message, WPARAM wparam, LPARAM lparam) {
    HDC dc = reinterpret_cast<HDC>(wparam);
    HWND control = reinterpret_cast<HWND>(lparam);
    if (message == WM_CTLCOLORBTN) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, app.text_colour);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX ||
        (message == WM_CTLCOLORSTATIC && is_side_panel_child(control))) {
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, app.text_colour);
        SetBkColor(dc, app.background_colour);
        return reinterpret_cast<LRESULT>(app.background_brush ? app.background_brush : GetStockObject(WHITE_BRUSH));
    }
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, app.text_colour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// Nothing may reach the destroyed children through the state afterwards.
void forget_main_window_handles() {
    AppState& a = app;
    for (HWND* h : {&a.main_window, &a.tree_view, &a.list_view, &a.log_view, &a.path_combo, &a.status_bar, &a.toolbar,
                    &a.comment_panel, &a.preview_tabs, &a.comment_box, &a.preview_table, &a.preview_edit,
                    &a.preview_image, &a.splitter, &a.progress_bar, &a.log_box, &a.pause_button, &a.resume_button,
                    &a.cancel_button, &a.clear_log_button})
        *h = nullptr;
    a.tools_menu = nullptr;
    a.layout_done = false;
}

void on_size(HWND window, LPARAM lparam) {
    app.client_width = LOWORD(lparam);
    app.client_height = HIWORD(lparam);
    layout_main_window(window, app.client_width, app.client_height);
}

void on_get_min_max_info(HWND window, MINMAXINFO* info) {
    if (!info) return;
    POINT least = main_window_min_track_size(window);
    info->ptMinTrackSize.x = std::max(info->ptMinTrackSize.x, least.x);
    info->ptMinTrackSize.y = std::max(info->ptMinTrackSize.y, least.y);
}

void on_splitter_press(HWND window, LPARAM lparam) {
    if (!app.comment_panel_visible || !splitter_hit_test(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam))) return;
    splitter_dragging = true;
    SetCapture(window);
}

void on_splitter_drag(HWND window, LPARAM lparam) {
    if (!splitter_dragging) return;
    int width = clamp_side_panel_width(app.client_width - GET_X_LPARAM(lparam), app.client_width);
    if (width != side_panel_width) {
        side_panel_width = width;
        layout_main_window(window, app.client_width, app.client_height);
    }
}

void on_splitter_release() {
    if (!splitter_dragging) return;
    splitter_dragging = false;
    ReleaseCapture();
}

// The worker's text is deleted whatever happens to it.
void on_task_progress(WPARAM percent, LPARAM lparam) {
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lparam));
    progress_received();
    if (text) set_progress(static_cast<int>(percent), *text);
}

bool on_set_cursor(HWND window, WPARAM wparam) {
    if (reinterpret_cast<HWND>(wparam) != window || !app.comment_panel_visible) return false;
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(window, &pt);
    if (!splitter_hit_test(pt.x, pt.y)) return false;
    SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
    return true;
}

}  // namespace

void exit_program(HWND window) {
    // The tray menu stays usable while a job winds down: a second exit is the same exit.
    static bool leaving = false;
    if (leaving) return;
    if (!unsaved_changes_settled(window)) return;
    leaving = true;
    stop_workers(window, true);
    leaving = false;
    DestroyWindow(window);
}

std::vector<std::wstring> split_hand_over_lines(const std::wstring& text) { return split_nonempty(text, L'\n'); }

void on_copy_data(HWND window, const COPYDATASTRUCT* cds) {
    std::wstring text;
    if (!copydata_text(cds, text)) {
        raise_window(window);
        return;
    }
    ULONG_PTR code = cds->dwData;
    if (code == COPYDATA_OPEN || (code == 0 && !text.empty())) raise_window(window);
    switch (code) {
    case COPYDATA_PACK:
        run_pack_dialog(window, {text});
        break;
    case COPYDATA_CONVERT:
        queue_archive_for_batch(window, text);
        break;
    case COPYDATA_EXTRACT_HERE:
        extract_here(window, text);
        break;
    case COPYDATA_EDIT_HEADER:
        edit_rez_header(window, text);
        break;
    case COPYDATA_ADD_TO_REZ: {
        std::vector<std::wstring> pieces = split_hand_over_lines(text);
        if (!pieces.empty())
            start_add_dropped(window, pieces.front(), std::vector<std::wstring>(pieces.begin() + 1, pieces.end()));
        break;
    }
    default:
        // Opening replaces the archive a running job may be reading: it waits for the job.
        if (text.empty()) break;
        if (app.busy)
            queue_hand_over(code, text, L"打开");
        else
            open_named_path(text);
        break;
    }
}

void on_tray_notify(HWND window, LPARAM lparam) {
    UINT event = LOWORD(lparam);
    if (HIWORD(lparam) != 0 && LOWORD(lparam) == 1) event = HIWORD(lparam);
    if (event == WM_CONTEXTMENU || event == WM_RBUTTONUP) {
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"Marrowind Quarvel - 资源管理器");
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_TRAY_SHOW, L"显示主窗口");
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_TRAY_EXIT, L"退出");
        POINT pt;
        GetCursorPos(&pt);
        SetForegroundWindow(window);
        PostMessageW(window, WM_NULL, 0, 0);
        UINT choice = track_popup_menu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, window);
        PostMessageW(window, WM_NULL, 0, 0);
        DestroyMenu(menu);
        if (choice == IDM_TRAY_SHOW) toggle_tray(window);
        else if (choice == IDM_TRAY_EXIT) exit_program(window);
    } else if (event == WM_LBUTTONDBLCLK) {
        toggle_tray(window);
    }
}

void on_batch_timer(HWND window) {
    if (app.batch_timer) {
        KillTimer(window, app.batch_timer);
        app.batch_timer = 0;
    }
    std::vector<std::wstring> list = std::move(app.pending_convert);
    app.pending_convert.clear();
    if (list.empty()) return;
    show_convert_for_list(window, list);
    if (headless) PostQuitMessage(0);
}

LRESULT CALLBACK main_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: create_main_children(window); break;
    case WM_DESTROY: destroy_main_window_resources(window); break;
    case WM_NCDESTROY: forget_main_window_handles(); break;
    case WM_SIZE: on_size(window, lparam); break;
    case WM_GETMINMAXINFO: on_get_min_max_info(window, reinterpret_cast<MINMAXINFO*>(lparam)); return 0;
    case WM_CLOSE: on_close(window); return 0;
    case WM_SETCURSOR:
        if (on_set_cursor(window, wparam)) return TRUE;
        break;
    case WM_DRAWITEM:
        if (draw_owner_button(window, reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return TRUE;
        break;
    case WM_COPYDATA: on_copy_data(window, reinterpret_cast<const COPYDATASTRUCT*>(lparam)); return TRUE;
    case WM_NOTIFY: {
        bool handled = false;
        LRESULT r = on_notify(window, reinterpret_cast<const NMHDR*>(lparam), handled);
        if (handled) return r;
        break;
    }
    case WM_COMMAND: on_command(window, wparam, lparam); break;
    case WM_TIMER:
        if (wparam == ID_TIMER_BATCH) on_batch_timer(window);
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: return on_ctlcolor(message, wparam, lparam);
    case WM_LBUTTONDOWN: on_splitter_press(window, lparam); break;
    case WM_MOUSEMOVE: on_splitter_drag(window, lparam); break;
    case WM_LBUTTONUP: on_splitter_release(); break;
    case WM_CAPTURECHANGED: splitter_dragging = false; break;
    case WM_DROPFILES: on_drop_files(window, reinterpret_cast<HDROP>(wparam)); break;
    case WM_TRAY_NOTIFY: on_tray_notify(window, lparam); break;
    case WM_TASK_PROGRESS: on_task_progress(wparam, lparam); break;
    case WM_TASK_RESULT: on_task_result(window, lparam); break;
    case WM_TEST_DONE: on_test_done(window, lparam); break;
    case WM_RUN_HANDED_OVER: run_waiting_hand_over(window); break;
    case WM_PASSWORD_REQUEST: on_password_request(window); break;
    default: break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace rezui
