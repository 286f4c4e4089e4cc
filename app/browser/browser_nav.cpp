// Folder tree, navigation inside the archive and on disk, the status summaries and the
// selection queries of the list.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window/main_window.h"
#include "app/browser/browser.h"
#include "app/browser/folder_tree.h"
#include "app/browser/preview_pane.h"
#include "app/common/window_helpers.h"
#include "archive/rez_model.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"

namespace rezui {

namespace {

std::wstring file_part(const std::wstring& path) {
    size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool is_folder(const std::wstring& path) {
    DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

HTREEITEM tree_next(HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(app.tree_view, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// The row of the first selected item, or null. "[..]" and the load-more row count only when
// no other row is selected with them: a selection that also holds entries is about those.
ListRow* first_selected_row() {
    if (!app.list_view) return nullptr;
    ListRow* special = nullptr;
    int item = -1;
    while ((item = static_cast<int>(SendMessageW(app.list_view, LVM_GETNEXTITEM, static_cast<WPARAM>(item),
                                                 LVNI_SELECTED))) >= 0) {
        ListRow* row = row_of_item(item);
        if (row && !row->is_parent_row && !row->is_load_more) return row;
        if (!special) special = row;
    }
    return special;
}

std::wstring row_path(const ListRow* row) {
    if (!row || row->is_parent_row || row->is_load_more) return L"";
    return row->is_local ? row->local_path : row->key;
}

std::wstring archive_kind_text(const std::wstring& path) {
    std::string ext = rez::to_lower_ascii(rez::extension_of(rez::to_utf8(path)));
    if (ext == "rez") return L"REZ 资源包";
    if (ext == "zip") return L"ZIP 压缩包";
    if (ext == "7z") return L"7Z 压缩包";
    return L"资源包";
}

}  // namespace

void fill_tree() {
    if (tree_filling || (app.busy && !app.fs_mode)) return;
    tree_filling = true;
    HWND tv = app.tree_view;
    if (!tv) {
        tree_filling = false;
        return;
    }
    SendMessageW(tv, WM_SETREDRAW, FALSE, 0);
    auto finish = [&] {
        SendMessageW(tv, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(tv, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        tree_filling = false;
    };
    if (app.fs_mode) {
        fill_fs_tree();
        finish();
        return;
    }
    clear_tree();
    if (!app.archive_loaded) {
        finish();
        return;
    }
    std::wstring title = rez::from_utf8(rez::file_name_of(rez::to_utf8(app.archive.path)));
    if (title.empty()) title = L"(根目录)";
    auto* data = new TreeNodeData{};
    data->text = title;
    HTREEITEM root = insert_tree_node(TVI_ROOT, data);
    if (!root) {
        finish();
        return;
    }
    add_archive_tree_nodes(root, app.archive.root, L"");
    SendMessageW(tv, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));

    HTREEITEM at = root;
    std::wstring acc;
    for (const std::wstring& part : split_nonempty(app.current_folder, L'\\')) {
        acc = acc.empty() ? part : acc + L"\\" + part;
        HTREEITEM found = nullptr;
        for (HTREEITEM c = tree_next(at, TVGN_CHILD); c; c = tree_next(c, TVGN_NEXT)) {
            TreeNodeData* d = tree_node_data(c);
            if (d && d->key == acc) {
                found = c;
                break;
            }
        }
        if (!found) break;
        SendMessageW(tv, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(found));
        at = found;
    }
    SendMessageW(tv, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(at));
    finish();
}

void navigate_vdir(const std::wstring& folder) {
    if (!app.archive_loaded || app.busy) return;
    const std::string utf8 = rez::to_utf8(folder);
    std::wstring err;
    rez::Entry* dir = app.archive.find_entry(utf8);
    if (!dir) {
        std::wstring acc;
        for (const std::wstring& part : split_nonempty(folder, L'\\')) {
            acc = acc.empty() ? part : acc + L"\\" + part;
            if (!app.archive.load_directory(rez::to_utf8(acc), err)) break;
        }
        dir = app.archive.find_entry(utf8);
    }
    if (!dir || !dir->is_dir) return;
    err.clear();
    if (!app.archive.load_directory(utf8, err)) {
        message_box(app.main_window, err, L"错误", MB_ICONERROR);
        return;
    }
    app.current_folder = folder;
    if (app.path_combo) SetWindowTextW(app.path_combo, folder.c_str());
    refresh_list();
    fill_tree();
}

void navigate_local(const std::wstring& sub_path) {
    if (app.busy) return;
    std::wstring full = sub_path.empty() ? app.local_root : app.local_root + L"\\" + sub_path;
    if (!is_folder(full)) return;
    app.local_subdir = sub_path;
    if (app.path_combo) SetWindowTextW(app.path_combo, current_local_path().c_str());
    refresh_list();
    fill_tree();
}

void open_local_folder(const std::wstring& given) {
    std::wstring path = given;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    // Leaving the archive while a job works on it would show a view the job then changes.
    if (app.busy || !is_folder(path)) return;
    app.fs_mode = true;
    app.local_root = path;
    app.local_subdir.clear();
    app.archive_loaded = false;
    clear_side_panel();
    rez::sevenzip_drop_cache();  // the archive is closed; its decoded folder goes with it
    if (app.path_combo) SetWindowTextW(app.path_combo, current_local_path().c_str());
    if (app.main_window) SetWindowTextW(app.main_window, (L"Marrowind Quarvel - " + path).c_str());
    fill_tree();
    refresh_list();
    update_status_summary();
}

void reveal_archive_path(const std::wstring& given) {
    if (!app.archive_loaded || app.busy) return;
    std::wstring path = given;
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    if (path.empty()) return;
    std::wstring err;
    app.archive.load_all_directories(err, nullptr);
    const rez::Entry* e = app.archive.find_entry(rez::to_utf8(path));
    if (e && e->is_dir) {
        navigate_vdir(path);
        return;
    }
    size_t cut = path.rfind(L'\\');
    std::wstring folder = cut == std::wstring::npos ? L"" : path.substr(0, cut);
    std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    navigate_vdir(folder);
    if (name.empty() || !app.list_view) return;
    const std::string want = rez::to_lower_ascii(rez::to_utf8(name));
    const int n = static_cast<int>(SendMessageW(app.list_view, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t buf[1040] = {};
        LVITEMW it{};
        it.pszText = buf;
        it.cchTextMax = 1040;
        SendMessageW(app.list_view, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&it));
        std::wstring text = buf;
        while (!text.empty() && text.back() == L'\\') text.pop_back();
        if (rez::to_lower_ascii(rez::to_utf8(text)) != want) continue;
        LVITEMW st{};
        st.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        st.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(app.list_view, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&st));
        SendMessageW(app.list_view, LVM_ENSUREVISIBLE, i, FALSE);
        break;
    }
}

void update_status_summary() {
    if (!app.status_bar) return;
    std::wstring part0;
    if (app.fs_mode) {
        part0 = L"本地目录：" + current_local_path();
    } else if (app.archive_loaded) {
        if (app.busy) return;  // a job is changing the model: keep the last summary
        rez::Stats st = app.archive.stats();
        part0 = archive_kind_text(app.archive.path) + L"：" + file_part(app.archive.path) + L"  |  目录 " +
                std::to_wstring(st.dirs) + L" 个，文件 " + std::to_wstring(st.files) + L" 个，总大小 " +
                format_size(st.bytes);
    }
    SendMessageW(app.status_bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(part0.c_str()));
    fit_status_parts();
    uint64_t folders = 0, files = 0, bytes = 0;
    for (const ListRow* row : list_rows) {
        if (!row) continue;
        if (row->is_dir) {
            ++folders;
        } else {
            ++files;
            bytes += row->size;
        }
    }
    std::wstring part2 = L"当前目录：" + std::to_wstring(folders) + L" 个目录，" + std::to_wstring(files) +
                         L" 个文件，共" + format_size(bytes);
    SendMessageW(app.status_bar, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(part2.c_str()));
}

std::wstring first_selected_path() { return row_path(first_selected_row()); }

std::vector<std::wstring> selected_item_paths() {
    std::vector<std::wstring> out;
    if (!app.list_view) return out;
    int item = -1;
    while ((item = static_cast<int>(SendMessageW(app.list_view, LVM_GETNEXTITEM, static_cast<WPARAM>(item),
                                                 LVNI_SELECTED))) >= 0) {
        std::wstring p = row_path(row_of_item(item));
        if (!p.empty()) out.push_back(p);
    }
    return out;
}

bool first_selected_is_dir() {
    ListRow* row = first_selected_row();
    if (!row || row->is_parent_row || row->is_load_more) return false;
    if (row->is_local) return row->local_is_dir;
    if (!app.archive_loaded || app.busy) return false;
    const rez::Entry* e = app.archive.find_entry(rez::to_utf8(row->key));
    return e && e->is_dir;
}

bool first_selected_is_load_more() {
    ListRow* row = first_selected_row();
    return row && row->is_load_more;
}

bool first_selected_is_parent_row() {
    ListRow* row = first_selected_row();
    return row && row->is_parent_row;
}

}  // namespace rezui
