#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <memory>

#include "app/app_state.h"
#include "app/browser.h"
#include "app/convert_dialog.h"
#include "app/dropped_files.h"
#include "app/header_editor.h"
#include "app/integrity_test.h"
#include "app/list_icons.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/open_archive.h"
#include "app/owner_buttons.h"
#include "app/pack_dialog.h"
#include "app/preview_pane.h"
#include "app/small_dialogs.h"
#include "app/task_ui.h"
#include "app/window_helpers.h"
#include "archive/password.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {
namespace {

void raise_main(HWND window) {
    ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
}

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
    DestroyWindow(window);
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

void on_splitter_move(HWND window, int x) {
    int width = clamp_side_panel_width(app.client_width - x, app.client_width);
    if (width != side_panel_width) {
        side_panel_width = width;
        layout_main_window(window, app.client_width, app.client_height);
    }
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

void report_failure(HWND window, const TaskResult& r) {
    if (app.cancel.load()) {
        append_log(r.kind == TASK_AUTOSAVED ? L"自动保存已取消。" : L"操作已取消。");
        set_status_bar_text(L"已取消");
        return;
    }
    append_log(L"操作失败: " + r.error);
    set_status_bar_text(L"操作失败: " + r.error);
    const wchar_t* title = r.error.find(L"密码") != std::wstring::npos ? L"密码错误" : L"操作失败";
    message_box(window, r.error, title, MB_ICONERROR);
}

void on_opened(HWND window, TaskResult& r) {
    if (r.archive) {
        app.archive = std::move(*r.archive);
        app.archive_loaded = true;
        app.fs_mode = false;
        app.current_folder.clear();
        // Display paths repeat across archives, so old thumbnails would show wrong pictures.
        clear_thumbnail_cache();
        append_log(L"描述：" + rez::from_utf8(app.archive.user_title));
        append_log(L"根条目数：" + std::to_wstring(app.archive.root.children.size()));
    }
    append_log(L"已打开：" + r.path);
    if (app.path_combo) SetWindowTextW(app.path_combo, L"");
    SetWindowTextW(window, (std::wstring(kProductName) + L" - " + r.path).c_str());
    fill_tree();
    refresh_list();
    show_comment_box();
    if (!r.folder_to_show.empty()) navigate_vdir(r.folder_to_show);
    set_status_bar_text(L"已打开: " + r.path);
    update_status_summary();
    notify_task_done();
}

void on_drop_added(TaskResult& r) {
    std::wstring archive, added, skipped;
    split_drop_added(r.path, archive, added, skipped);
    append_log(L"拖放加入完成: " + archive + L"（加入 " + added + L"，跳过 " + skipped + L"）");
    std::wstring status = L"已加入 " + added + L" 项";
    if (skipped != L"0") status += L"（跳过重复 " + skipped + L" 项）";
    set_status_bar_text(status);
    open_file(archive);
    notify_task_done();
}

}  // namespace

std::vector<std::wstring> split_hand_over_lines(const std::wstring& text) {
    std::vector<std::wstring> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

void split_drop_added(const std::wstring& text, std::wstring& archive, std::wstring& added, std::wstring& skipped) {
    size_t bar = text.find(L'|');
    archive = text.substr(0, bar);
    std::wstring rest = bar == std::wstring::npos ? L"" : text.substr(bar + 1);
    size_t bar2 = rest.find(L'|');
    added = rest.substr(0, bar2);
    skipped = bar2 == std::wstring::npos ? L"0" : rest.substr(bar2 + 1);
}

void on_task_result(HWND window, LPARAM lparam) {
    std::unique_ptr<TaskResult> r(reinterpret_cast<TaskResult*>(lparam));
    if (!r) return;
    end_busy();
    if (!r->ok) {
        report_failure(window, *r);
    } else {
        switch (r->kind) {
        case TASK_SAVED:
            SetWindowTextW(window, (std::wstring(kProductName) + L" - " + r->path).c_str());
            append_log(L"保存完成: " + r->path);
            set_status_bar_text(L"保存完成");
            notify_task_done();
            break;
        case TASK_EXTRACTED:
            append_log(L"解压完成: " + r->path);
            set_status_bar_text(L"解压完成");
            break;
        case TASK_AUTOSAVED:
            append_log(L"自动保存完成: " + r->path);
            set_status_bar_text(L"自动保存完成");
            notify_task_done();
            break;
        case TASK_PACKED:
            append_log(L"打包完成: " + r->path);
            set_status_bar_text(L"打包完成");
            open_file(r->path);
            break;
        case TASK_REWRITTEN:
            archive_unlocked = true;
            reopen_archive();
            append_log(L"归档已更新: " + r->path);
            set_status_bar_text(L"归档已更新");
            break;
        case TASK_OPENED:
            on_opened(window, *r);
            break;
        case TASK_DROP_ADDED:
            on_drop_added(*r);
            break;
        default:
            report_failure(window, *r);
            break;
        }
    }
    r.reset();
    update_status_summary();
}

void on_test_done(HWND window, LPARAM lparam) {
    std::unique_ptr<TestDoneMsg> msg(reinterpret_cast<TestDoneMsg*>(lparam));
    end_busy();
    if (msg) {
        set_status_bar_text(msg->all_passed ? L"测试通过" : L"测试失败，详见日志");
        message_box(window, msg->summary, L"测试结果", msg->all_passed ? MB_ICONINFORMATION : MB_ICONWARNING);
    }
    update_status_summary();
}

void on_password_request(HWND window) {
    std::shared_ptr<OpenPwdRequest> request = pending_password_request.load();
    if (!request) return;
    std::wstring answer;
    // The request's title is not shown: the question keeps the dialog's own caption.
    const bool ok = ask_text(window, L"", request->prompt, answer);
    {
        std::lock_guard<std::mutex> lock(request->mutex);
        request->cancelled = !ok;
        request->password = ok ? answer : std::wstring();
        request->done = true;
    }
    request->cv.notify_one();
    if (ok && !answer.empty()) rez::set_current_password(answer);
}

void on_copy_data(HWND window, const COPYDATASTRUCT* cds) {
    std::wstring text;
    if (!copydata_text(cds, text)) {
        raise_main(window);
        return;
    }
    ULONG_PTR code = cds->dwData;
    if (code == COPYDATA_OPEN || (code == 0 && !text.empty())) raise_main(window);
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
        if (!text.empty()) open_file(text);
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
        else if (choice == IDM_TRAY_EXIT) DestroyWindow(window);
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
    case WM_CREATE:
        create_main_children(window);
        break;
    case WM_DESTROY:
        destroy_main_window_resources(window);
        break;
    case WM_NCDESTROY: {
        // Nothing may reach the destroyed children through the state afterwards.
        AppState& a = app;
        for (HWND* h : {&a.main_window, &a.tree_view, &a.list_view, &a.log_view, &a.path_combo, &a.status_bar,
                        &a.toolbar, &a.comment_panel, &a.preview_tabs, &a.comment_box, &a.preview_table,
                        &a.preview_edit, &a.preview_image, &a.splitter, &a.progress_bar, &a.log_box, &a.pause_button,
                        &a.resume_button, &a.cancel_button, &a.clear_log_button})
            *h = nullptr;
        a.tools_menu = nullptr;
        a.layout_done = false;
        break;
    }
    case WM_SIZE:
        app.client_width = LOWORD(lparam);
        app.client_height = HIWORD(lparam);
        layout_main_window(window, app.client_width, app.client_height);
        break;
    case WM_CLOSE:
        on_close(window);
        return 0;
    case WM_SETCURSOR:
        if (on_set_cursor(window, wparam)) return TRUE;
        break;
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (dis && dis->CtlType == ODT_BUTTON) {
            draw_owner_button(window, dis);
            return TRUE;
        }
        break;
    }
    case WM_COPYDATA:
        on_copy_data(window, reinterpret_cast<const COPYDATASTRUCT*>(lparam));
        return TRUE;
    case WM_NOTIFY: {
        bool handled = false;
        LRESULT r = on_notify(window, reinterpret_cast<const NMHDR*>(lparam), handled);
        if (handled) return r;
        break;
    }
    case WM_COMMAND:
        on_command(window, wparam, lparam);
        break;
    case WM_TIMER:
        if (wparam == ID_TIMER_BATCH) on_batch_timer(window);
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        return on_ctlcolor(message, wparam, lparam);
    case WM_LBUTTONDOWN:
        if (app.comment_panel_visible && splitter_hit_test(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam))) {
            splitter_dragging = true;
            SetCapture(window);
        }
        break;
    case WM_MOUSEMOVE:
        if (splitter_dragging) on_splitter_move(window, GET_X_LPARAM(lparam));
        break;
    case WM_LBUTTONUP:
        if (splitter_dragging) {
            splitter_dragging = false;
            ReleaseCapture();
        }
        break;
    case WM_CAPTURECHANGED:
        splitter_dragging = false;
        break;
    case WM_DROPFILES:
        on_drop_files(window, reinterpret_cast<HDROP>(wparam));
        break;
    default:
        if (message == WM_TRAY_NOTIFY) {
            on_tray_notify(window, lparam);
        } else if (message == WM_TASK_PROGRESS) {
            std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lparam));
            if (text) set_progress(static_cast<int>(wparam), *text);
        } else if (message == WM_TASK_RESULT) {
            on_task_result(window, lparam);
        } else if (message == WM_TEST_DONE) {
            on_test_done(window, lparam);
        } else if (message == WM_PASSWORD_REQUEST) {
            on_password_request(window);
        }
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace rezui
