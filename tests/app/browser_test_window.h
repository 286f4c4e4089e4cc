// A bare parent window with the browser's controls (tree, six-column list, status bar,
// path box and the side panel's panes), wired into rezui::app for the browser tests, and
// a few helpers to read the list back.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/browser/list_icons.h"
#include "app/main_window/messages.h"
#include "app/operations/open_archive.h"
#include "app/browser/preview_pane.h"
#include "app/common/window_helpers.h"
#include "window_probe.h"

namespace h5test {

// Message boxes raised during a test: recorded, never shown.
inline std::wstring last_box_text;
inline int scripted_box(HWND, const std::wstring& text, const std::wstring& caption, UINT) {
    last_box_text = caption + L": " + text;
    return IDCANCEL;
}

// What the stand-in main window received from the workers.
inline std::unique_ptr<rezui::TaskResult> last_result;
inline int progress_messages = 0;
inline bool password_cancels = false;
inline std::wstring password_answer;
inline int password_requests = 0;

inline LRESULT CALLBACK parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == rezui::WM_TASK_PROGRESS) {
        delete reinterpret_cast<std::wstring*>(lp);
        ++progress_messages;
        return 0;
    }
    if (m == rezui::WM_TASK_RESULT) {
        // The main window ends the busy state first, then handles the result.
        rezui::app.busy = false;
        last_result.reset(reinterpret_cast<rezui::TaskResult*>(lp));
        return 0;
    }
    if (m == rezui::WM_PASSWORD_REQUEST) {
        ++password_requests;
        std::shared_ptr<rezui::OpenPwdRequest> req = rezui::pending_password_request.load();
        if (!req) return 0;
        {
            std::lock_guard<std::mutex> lock(req->mutex);
            req->cancelled = password_cancels;
            req->password = password_cancels ? L"" : password_answer;
            req->done = true;
        }
        req->cv.notify_all();
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

// Dispatches messages until a task result arrived and the open flag is released.
inline bool wait_for_result(DWORD timeout_ms = 30000) {
    const DWORD start = GetTickCount();
    while (!last_result || rezui::task_running.load()) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (last_result && !rezui::task_running.load()) break;
        if (GetTickCount() - start > timeout_ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

class BrowserWindow {
public:
    BrowserWindow() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES |
                                                 ICC_TAB_CLASSES | ICC_USEREX_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSW wc{};
        wc.lpfnWndProc = parent_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"H5BrowserTestParent";
        RegisterClassW(&wc);
        parent_ = CreateWindowExW(0, wc.lpszClassName, L"t", WS_OVERLAPPEDWINDOW, 0, 0, 900, 600, nullptr, nullptr,
                                  wc.hInstance, nullptr);
        auto child = [&](const wchar_t* cls, DWORD style, int id) {
            return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 600, 400, parent_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
        };
        rezui::app.main_window = parent_;
        rezui::app.tree_view = child(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, 1001);
        rezui::app.list_view = child(WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS, 1002);
        rezui::app.path_combo = child(WC_COMBOBOXW, CBS_DROPDOWN, 1004);
        rezui::app.status_bar = child(STATUSCLASSNAMEW, 0, 1005);
        int parts[3] = {300, 500, -1};
        SendMessageW(rezui::app.status_bar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
        rezui::app.comment_panel = child(WC_STATICW, 0, 4202);
        rezui::app.preview_tabs = child(WC_TABCONTROLW, 0, 4203);
        rezui::app.comment_box = child(WC_EDITW, ES_MULTILINE | ES_READONLY, 4204);
        rezui::app.preview_table = child(WC_LISTVIEWW, LVS_REPORT, 4205);
        rezui::app.preview_edit = child(WC_EDITW, ES_MULTILINE | ES_READONLY, 4207);
        rezui::app.preview_image = child(WC_STATICW, SS_BITMAP | SS_CENTERIMAGE, 4208);
        TCITEMW tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<wchar_t*>(L"文件注释");
        SendMessageW(rezui::app.preview_tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));
        tab.pszText = const_cast<wchar_t*>(L"预览");
        SendMessageW(rezui::app.preview_tabs, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&tab));
        const wchar_t* titles[] = {L"名称", L"类型", L"ID", L"大小", L"修改日期", L"创建日期"};
        for (int i = 0; i < 6; ++i) {
            LVCOLUMNW col{};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.cx = 100;
            col.pszText = const_cast<wchar_t*>(titles[i]);
            SendMessageW(rezui::app.list_view, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
        }
        rezui::init_image_lists();
        rezui::ui_seams.message_box = scripted_box;
        last_box_text.clear();
        last_result.reset();
        password_requests = 0;
        password_cancels = false;
        password_answer.clear();
        reset_state();
    }

    ~BrowserWindow() {
        rezui::clear_list_rows();
        rezui::free_preview_bitmap();
        DestroyWindow(parent_);
        if (rezui::app.small_images) ImageList_Destroy(rezui::app.small_images);
        if (rezui::app.large_images) ImageList_Destroy(rezui::app.large_images);
        rezui::AppState& a = rezui::app;
        a.small_images = a.large_images = nullptr;
        a.main_window = a.tree_view = a.list_view = a.path_combo = a.status_bar = nullptr;
        a.comment_panel = a.preview_tabs = a.comment_box = a.preview_table = a.preview_edit = a.preview_image = nullptr;
        reset_state();
        rezui::ui_seams = rezui::default_ui_seams();
    }

    static void reset_state() { appprobe::reset_browser_state(); }

    HWND parent() const { return parent_; }

private:
    HWND parent_ = nullptr;
};

using appprobe::item_count;
using appprobe::item_text;
using appprobe::status_part;

inline int column_width(int column) {
    return static_cast<int>(SendMessageW(rezui::app.list_view, LVM_GETCOLUMNWIDTH, column, 0));
}

// Selects exactly one row.
inline void select_item(int item) {
    appprobe::set_item_state(-1, 0, LVIS_SELECTED);
    appprobe::set_item_state(item, LVIS_SELECTED, LVIS_SELECTED);
}

}  // namespace h5test
