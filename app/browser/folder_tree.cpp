#include "app/browser/folder_tree.h"

#include "app/app_state.h"
#include "archive/util.h"

namespace rezui {
namespace {

// Inserts one directory node for every sub-folder of a real folder, each with a placeholder
// so that it can be expanded later. Names starting with "." are never listed.
void add_local_children(HTREEITEM parent, const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (fd.cFileName[0] == L'.') continue;
        auto* data = new TreeNodeData;
        data->text = fd.cFileName;
        data->local_path = folder + L"\\" + fd.cFileName;
        data->key = data->local_path;
        data->is_local = true;
        HTREEITEM item = insert_tree_node(parent, data);
        if (item) insert_tree_placeholder(item, true);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

std::wstring child_key(const std::wstring& parent_key, const std::wstring& name) {
    return parent_key.empty() ? name : parent_key + L"\\" + name;
}

// Below an expanded archive node: sub-folders that are not loaded or empty get no
// placeholder at this depth.
void add_expanded_children(HTREEITEM parent, const rez::Entry& dir, const std::wstring& key, bool top) {
    for (const rez::Entry& child : dir.children) {
        if (!child.is_dir || child.hidden) continue;
        std::wstring name = rez::from_utf8(child.name);
        auto* data = new TreeNodeData;
        data->key = child_key(key, name);
        data->text = name;
        HTREEITEM item = insert_tree_node(parent, data);
        if (!item) continue;
        if (!child.loaded || child.children.empty()) {
            if (top) insert_tree_placeholder(item, false);
        } else {
            add_expanded_children(item, child, data->key, false);
        }
    }
}

}  // namespace

HTREEITEM insert_tree_node(HTREEITEM parent, TreeNodeData* data) {
    if (!app.tree_view) {
        delete data;
        return nullptr;
    }
    TVINSERTSTRUCTW tvi = {};
    tvi.hParent = parent ? parent : TVI_ROOT;
    tvi.hInsertAfter = TVI_LAST;
    tvi.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    tvi.item.pszText = const_cast<wchar_t*>(data->text.c_str());
    tvi.item.iImage = 0;
    tvi.item.iSelectedImage = 0;
    tvi.item.lParam = reinterpret_cast<LPARAM>(data);
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(app.tree_view, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tvi)));
    if (!item) delete data;
    return item;
}

HTREEITEM insert_tree_placeholder(HTREEITEM parent, bool is_local) {
    if (!app.tree_view) return nullptr;
    auto* data = new TreeNodeData;
    data->is_local = is_local;
    TVINSERTSTRUCTW tvi = {};
    tvi.hParent = parent;
    tvi.hInsertAfter = TVI_LAST;
    tvi.item.mask = TVIF_TEXT | TVIF_PARAM;
    tvi.item.pszText = const_cast<wchar_t*>(L"");
    tvi.item.lParam = reinterpret_cast<LPARAM>(data);
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(app.tree_view, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tvi)));
    if (!item) delete data;
    return item;
}

TreeNodeData* tree_node_data(HTREEITEM item) {
    if (!app.tree_view || !item) return nullptr;
    TVITEMW tv = {};
    tv.mask = TVIF_PARAM | TVIF_HANDLE;
    tv.hItem = item;
    if (!SendMessageW(app.tree_view, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return nullptr;
    return reinterpret_cast<TreeNodeData*>(tv.lParam);
}

void free_tree_items(HTREEITEM first) {
    if (!app.tree_view) return;
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(app.tree_view, item)) {
        TVITEMW tv = {};
        tv.mask = TVIF_PARAM | TVIF_HANDLE;
        tv.hItem = item;
        if (SendMessageW(app.tree_view, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) && tv.lParam) {
            delete reinterpret_cast<TreeNodeData*>(tv.lParam);
            tv.mask = TVIF_PARAM | TVIF_HANDLE;
            tv.lParam = 0;
            SendMessageW(app.tree_view, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        }
        free_tree_items(TreeView_GetChild(app.tree_view, item));
    }
}

void clear_tree() {
    if (!app.tree_view) return;
    free_tree_items(TreeView_GetRoot(app.tree_view));
    TreeView_DeleteAllItems(app.tree_view);
}

void delete_tree_children(HTREEITEM item) {
    if (!app.tree_view || !item) return;
    free_tree_items(TreeView_GetChild(app.tree_view, item));
    HTREEITEM child = TreeView_GetChild(app.tree_view, item);
    while (child) {
        HTREEITEM next = TreeView_GetNextSibling(app.tree_view, child);
        TreeView_DeleteItem(app.tree_view, child);
        child = next;
    }
}

void add_archive_tree_nodes(HTREEITEM parent, const rez::Entry& dir, const std::wstring& parent_key) {
    for (const rez::Entry& child : dir.children) {
        if (!child.is_dir || child.hidden) continue;
        std::wstring name = rez::from_utf8(child.name);
        auto* data = new TreeNodeData;
        data->key = child_key(parent_key, name);
        data->text = name;
        if (child.encrypted && !archive_unlocked) data->text += L" (*已加密)";
        std::wstring key = data->key;
        HTREEITEM item = insert_tree_node(parent, data);
        if (!item) continue;
        if (!child.loaded && child.children.empty())
            insert_tree_placeholder(item, false);
        else
            add_archive_tree_nodes(item, child, key);
    }
}

void fill_fs_tree() {
    if (!app.tree_view) return;
    clear_tree();
    auto* root = new TreeNodeData;
    root->key = app.local_root;
    root->text = app.local_root;
    root->local_path = app.local_root;
    root->is_local = true;
    HTREEITEM item = insert_tree_node(nullptr, root);
    if (!item) return;
    add_local_children(item, app.local_root);
    TreeView_Expand(app.tree_view, item, TVE_EXPAND);
}

void list_local_folder(HTREEITEM item) {
    TreeNodeData* data = tree_node_data(item);
    if (!data || !data->is_local || data->local_path.empty()) return;
    std::wstring folder = data->local_path;
    delete_tree_children(item);
    add_local_children(item, folder);
}

void expand_rez_node(HTREEITEM item) {
    if (app.busy) return;
    TreeNodeData* data = tree_node_data(item);
    if (!data || data->is_local) return;
    std::wstring key = data->key;
    delete_tree_children(item);
    std::string path = rez::to_utf8(key);
    std::wstring error;
    if (!app.archive.load_directory(path, error)) return;
    const rez::Entry* dir = app.archive.find_entry(path);
    if (!dir) return;
    add_expanded_children(item, *dir, key, true);
}

}  // namespace rezui
