// The folder tree's per-item record and the operations that fill, expand and free the tree
// for an archive and for a real folder.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "archive/rez_model.h"

namespace rezui {

// Owned by its tree item (lParam). A placeholder child has an empty text and exists only to
// give its parent an expand button.
struct TreeNodeData {
    std::wstring key;         // archive: folder path inside it; local: the real path
    std::wstring text;
    bool is_local = false;
    std::wstring local_path;  // local nodes only
};

// Inserts a node (last under parent) with image 0 owning data; returns the item.
HTREEITEM insert_tree_node(HTREEITEM parent, TreeNodeData* data);
// Inserts a placeholder child under parent.
HTREEITEM insert_tree_placeholder(HTREEITEM parent, bool is_local);
TreeNodeData* tree_node_data(HTREEITEM item);
// Frees the records of first, its siblings and all descendants; the items stay.
void free_tree_items(HTREEITEM first);
// Frees every record and deletes every item.
void clear_tree();
// Frees and deletes the children of item.
void delete_tree_children(HTREEITEM item);
void add_archive_tree_nodes(HTREEITEM parent, const rez::Entry& dir, const std::wstring& parent_key);
void fill_fs_tree();
void list_local_folder(HTREEITEM item);
void expand_rez_node(HTREEITEM item);

}  // namespace rezui
