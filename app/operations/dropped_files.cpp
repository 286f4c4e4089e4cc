// What a drop on the main window means. The first dropped item decides: an archive is
// opened; other items go into the open archive when they land on its list, into the shown
// folder when they land on a folder's list, and into a new archive anywhere else.
#include "app/operations/dropped_files.h"

#include <shellapi.h>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/browser/local_view.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/operations/autosave.h"
#include "app/operations/open_archive.h"
#include "archive/util.h"

namespace rezui {
namespace {

// Longer dropped paths are left out.
constexpr UINT kDroppedPathLimit = 1040;

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_file(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_archive_path(const std::wstring& path) {
    const std::string ext = archive_ext_lower(path);
    return ext == "rez" || ext == "zip" || ext == "7z";
}

std::wstring name_of(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::vector<std::wstring> dropped_items(HDROP drop) {
    std::vector<std::wstring> items;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        if (DragQueryFileW(drop, i, nullptr, 0) >= kDroppedPathLimit) continue;
        wchar_t buf[kDroppedPathLimit] = {};
        DragQueryFileW(drop, i, buf, kDroppedPathLimit);
        items.push_back(buf);
    }
    return items;
}

// The drop point (client coordinates of window) lies on the list, which is what the user
// sees there: in the tree view the list is hidden behind the tree.
bool on_list(HWND window, POINT point) {
    HWND list = app.list_view;
    if (!list || !(GetWindowLongPtrW(list, GWL_STYLE) & WS_VISIBLE)) return false;
    RECT rect{};
    if (!ClientToScreen(window, &point) || !GetWindowRect(list, &rect)) return false;
    return PtInRect(&rect, point) != FALSE;
}

// The list shows the open archive (not a folder on disk).
bool archive_shown() { return app.archive_loaded && !app.fs_mode; }

void archive_changed(const std::wstring& status) {
    fill_tree();
    refresh_list();
    set_status_bar_text(status);
    start_autosave();
}

void add_items_to_open_archive(const std::vector<std::wstring>& items) {
    if (refuse_drop_while_busy(L"拖放添加")) return;
    const std::string folder = rez::to_utf8(app.current_folder);
    const size_t replaced_before = app.archive.entries_replaced;
    int added = 0;
    for (const std::wstring& item : items) {
        std::string entry;
        if (is_file(item)) {
            if (!app.archive.add_file(folder, item, entry)) continue;
            append_log(L"拖入添加：" + rez::from_utf8(entry));
        } else if (is_folder(item)) {
            if (!app.archive.add_directory_tree(folder, item, entry)) continue;
            append_log(L"拖入添加目录：" + item);
        } else {
            continue;
        }
        ++added;
    }
    const size_t replaced = app.archive.entries_replaced - replaced_before;
    if (added > 0)
        archive_changed(L"已拖入 " + std::to_wstring(added) + L" 个项目" +
                        (replaced ? L"（替换同名 " + std::to_wstring(replaced) + L" 项）" : L""));
}

void add_folders_to_open_archive(const std::vector<std::wstring>& items) {
    if (refuse_drop_while_busy(L"拖放添加")) return;
    const std::string folder = rez::to_utf8(app.current_folder);
    int added = 0;
    for (const std::wstring& item : items) {
        std::string entry;
        if (is_folder(item) && app.archive.add_directory_tree(folder, item, entry)) ++added;
    }
    if (added > 0) archive_changed(L"已拖入 " + std::to_wstring(added) + L" 个目录");
}

// Into the folder the list shows, replacing files of the same name.
void copy_files_to_shown_folder(const std::vector<std::wstring>& items) {
    const std::wstring folder = current_local_path();
    for (const std::wstring& item : items) {
        if (!is_file(item)) continue;
        CopyFileW(item.c_str(), (folder + L"\\" + name_of(item)).c_str(), FALSE);
    }
    refresh_list();
}

void copy_folders_to_shown_folder(HWND window, const std::vector<std::wstring>& items) {
    const std::wstring to = current_local_path();
    for (const std::wstring& item : items)
        if (is_folder(item)) copy_folder_into(window, item, to);
    refresh_list();
}

void drop_led_by_file(const std::vector<std::wstring>& items, bool inside) {
    if (is_archive_path(items.front())) {
        if (refuse_drop_while_busy(L"拖放打开")) return;
        open_file(items.front());
    } else if (archive_shown() && inside) {
        add_items_to_open_archive(items);
    } else if (app.fs_mode && inside) {
        copy_files_to_shown_folder(items);
    } else {
        do_pack_drop(items);
    }
}

void drop_led_by_folder(HWND window, const std::vector<std::wstring>& items, bool inside) {
    if (archive_shown() && inside)
        add_folders_to_open_archive(items);
    else if (app.fs_mode && inside)
        copy_folders_to_shown_folder(window, items);
    else
        do_pack_drop(items);
}

}  // namespace

bool refuse_drop_while_busy(const std::wstring& what) {
    if (!app.busy) return false;
    const std::wstring text = what + L"：正在执行其他任务，已拒绝（请等当前任务结束后再试）";
    append_log(text);
    set_status_bar_text(text);
    return true;
}

void on_drop_files(HWND window, HDROP drop) {
    const std::vector<std::wstring> items = dropped_items(drop);
    POINT point{};
    bool inside = DragQueryPoint(drop, &point) != FALSE;
    DragFinish(drop);
    if (items.empty()) return;
    if (inside) inside = on_list(window, point);
    const DWORD first = GetFileAttributesW(items.front().c_str());
    if (first == INVALID_FILE_ATTRIBUTES) return;
    if (first & FILE_ATTRIBUTE_DIRECTORY)
        drop_led_by_folder(window, items, inside);
    else
        drop_led_by_file(items, inside);
}

}  // namespace rezui
