// Picker of a folder inside the open archive (resource 208): the archive's directory tree
// under a root node, opened at the browser's current folder, with a button that makes a
// new folder in the archive on the spot.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rezui {

// Held by each tree item (its lParam): the text shown and the folder's path inside the
// archive ("\"-joined; empty for the root).
struct VdirNode {
    std::wstring name;
    std::wstring path;
};

// Receives the chosen path on OK while the dialog runs; null: nothing is returned.
extern std::wstring* vdir_result;

// True with destination set (empty = root) when the user chose a folder with OK.
bool pick_virtual_dir(HWND owner, std::wstring& destination);

INT_PTR CALLBACK vdir_pick_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Adds the directory children of dir (recursively, model order) below parent.
void fill_vdir_tree(HWND tree, HTREEITEM parent, const rez::Entry& dir, const std::wstring& parent_path);
// The pieces between "\" characters, empty pieces included; an empty path gives none.
std::vector<std::wstring> split_vdir_path(const std::wstring& path);
// Expands the tree along path (exact name first, then ignoring case) and selects the
// deepest node reached.
void select_vdir_path(HWND tree, const std::wstring& path);
// Frees the node of every item; the items keep a null parameter, so a second call is harmless.
void vdir_clear(HWND tree);
// The node of an item, or null.
const VdirNode* vdir_node(HWND tree, HTREEITEM item);

}  // namespace rezui
