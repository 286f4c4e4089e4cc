// Starting a drag from the list and carrying it to its end: the list's subclass arms a
// drag on a press and starts it once the mouse has moved far enough; the drag itself runs
// in the platform's modal loop, after which the program finds the target folder and
// copies or extracts there.
#include "app/operations/drag_out.h"

#include <windowsx.h>
#include <commctrl.h>

#include <cstdlib>
#include <utility>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/operations/drop_target.h"
#include "app/operations/dropped_files.h"
#include "app/operations/open_archive.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {

WNDPROC list_drag_previous = nullptr;

namespace {

// Summed horizontal and vertical travel above which a press becomes a drag.
constexpr int kDragDistance = 4;

// Set when the last press loaded rows: the second click of that double click would land on
// whatever row the page brought under the pointer, and must not open it.
bool press_loaded_rows = false;

// A press on the load-more row loads the next rows instead (true: the press is used up).
bool on_list_press(HWND list, UINT message, LPARAM lparam) {
    LVHITTESTINFO hit{};
    hit.pt = POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    const int item = static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (item >= 0) {
        const ListRow* row = row_of_item(item);
        if (row && row->is_load_more) {
            drag_state.armed = false;
            press_loaded_rows = true;
            load_more_rows();
            return true;
        }
    }
    if (message == WM_LBUTTONDBLCLK && std::exchange(press_loaded_rows, false)) {
        drag_state.armed = false;
        return true;
    }
    press_loaded_rows = false;
    if (message == WM_LBUTTONDOWN) {
        drag_state.arm_x = hit.pt.x;
        drag_state.arm_y = hit.pt.y;
        drag_state.armed = true;
    }
    return false;
}

void on_list_mouse_move(WPARAM wparam, LPARAM lparam) {
    if (!drag_state.armed || !(wparam & MK_LBUTTON)) return;
    const int travel = abs(GET_X_LPARAM(lparam) - drag_state.arm_x) + abs(GET_Y_LPARAM(lparam) - drag_state.arm_y);
    if (travel <= kDragDistance) return;
    drag_state.armed = false;
    begin_drag_out();
}

// A dragged folder takes everything below it along.
bool holds_encrypted(const rez::Entry& e) {
    if (e.encrypted) return true;
    for (const rez::Entry& child : e.children)
        if (holds_encrypted(child)) return true;
    return false;
}

bool any_encrypted(const std::vector<std::wstring>& keys) {
    for (const std::wstring& key : keys) {
        const rez::Entry* e = app.archive.find_entry_const(rez::to_utf8(key));
        if (e && holds_encrypted(*e)) return true;
    }
    return false;
}

void cancelled(const wchar_t* why) {
    append_log(why);
    set_progress(0, L"拖出：已取消");
}

// File-system mode: Explorer copied or moved the files itself unless it reports that
// nothing was dropped; then the program copies them.
bool finish_file_drop(const std::vector<std::wstring>& paths, DWORD effect, const std::wstring& folder) {
    if (effect != DROPEFFECT_NONE) {
        append_log(L"拖出：已放置（effect=" + std::to_wstring(effect) + L"） -> " + folder);
        return true;
    }
    append_log(L"拖出：回退复制 " + std::to_wstring(paths.size()) + L" 项 -> " + folder);
    const CopyOutcome outcome = copy_to_drop_folder(paths, folder);
    if (outcome.failed > 0) {
        append_log(L"拖出：" + std::to_wstring(outcome.failed) + L" 项复制失败 -> " + folder);
        set_progress(0, L"拖出：复制未完成");
        return false;
    }
    append_log(L"拖出：已复制到 " + folder);
    return true;
}

// Archive mode: the drop was cancelled at release; the entries are extracted into the
// folder under the cursor, after the password when encrypted members are among them.
bool finish_archive_drop(const std::vector<std::wstring>& keys, const std::wstring& folder) {
    append_log(L"拖出：目标目录 " + folder);
    if (is_zip_or_7z_path(app.archive.path) && any_encrypted(keys)) {
        const bool go_on = ask_extract_password(app.main_window, app.archive.path);
        if (!go_on || app.cancel.load()) {
            app.cancel.exchange(false);
            cancelled(L"拖出：已取消（密码未提供），未写入任何文件");
            return false;
        }
    }
    if (!extract_keys_to_dir(keys, folder)) return false;
    append_log(L"拖出：已解压到 " + folder);
    return true;
}

bool finish_drop(bool fs_mode, const std::vector<std::wstring>& paths, DWORD effect) {
    const std::wstring folder = find_drop_folder();
    if (!drag_state.target_seen) {
        cancelled(L"拖出：松开的窗口不是可解压的路径（仅接受 Explorer 文件夹/桌面），已取消，未写入任何文件");
        return false;
    }
    if (folder.empty()) {
        cancelled(L"拖出：无法确定目标目录（可能是虚拟文件夹），已取消，未写入任何文件");
        return false;
    }
    return fs_mode ? finish_file_drop(paths, effect, folder) : finish_archive_drop(paths, folder);
}

std::wstring progress_text() {
    HWND text = app.main_window ? GetDlgItem(app.main_window, IDC_PROGRESS_TEXT) : nullptr;
    return text ? get_window_text(text) : L"";
}

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

LRESULT CALLBACK list_drag_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (on_list_press(window, message, lparam)) return 0;
        break;
    case WM_LBUTTONUP: drag_state.armed = false; break;
    case WM_MOUSEMOVE: on_list_mouse_move(wparam, lparam); break;
    default: break;
    }
    if (!list_drag_previous) return DefWindowProcW(window, message, wparam, lparam);
    return CallWindowProcW(list_drag_previous, window, message, wparam, lparam);
}

void begin_drag_out() {
    const std::vector<std::wstring> paths = selected_item_paths();
    if (paths.empty()) return;
    const bool fs_mode = app.fs_mode;
    if (!fs_mode && !app.archive_loaded) return;
    // A running job owns the archive and the busy state the drag would take over.
    if (refuse_drop_while_busy(L"拖出")) return;
    set_progress_marquee(false);
    const std::wstring folder = fs_mode ? L"" : dragout_folder_path();
    drag_state.target_seen = false;
    begin_busy();
    HGLOBAL block = make_hdrop(paths, fs_mode, folder);
    if (!block) {
        append_log(L"拖出：无法构建拖放数据");
        if (!folder.empty() && is_folder(folder)) remove_dragout_folder(folder);
        end_busy();
        return;
    }
    set_progress(0, L"拖出：拖放中…");
    append_log(L"拖出：开始拖放 " + std::to_wstring(paths.size()) + L" 个条目" +
               (fs_mode ? L"（文件系统）" : L"（REZ 临时提取）"));
    IDataObject* data = new_drag_data_object(block);
    IDropSource* source = new_drop_source(fs_mode);
    ReleaseCapture();
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data, source, fs_mode ? DROPEFFECT_COPY | DROPEFFECT_MOVE : DROPEFFECT_COPY, &effect);
    source->Release();
    data->Release();

    const bool done = finish_drop(fs_mode, paths, effect);
    if (!folder.empty() && is_folder(folder)) remove_dragout_folder(folder);
    drag_state.target_seen = false;
    // Ending the busy state shows "就绪"; a drag that did not complete keeps saying why.
    const std::wstring outcome = progress_text();
    end_busy();
    if (done) {
        set_progress(0, L"拖出完成");
        append_log(L"拖出：完成");
    } else if (!outcome.empty()) {
        set_progress(0, outcome);
    }
}

}  // namespace rezui
