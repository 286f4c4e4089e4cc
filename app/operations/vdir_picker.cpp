#include "app/operations/vdir_picker.h"

#include <functional>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/common/small_dialogs.h"
#include "app/common/window_helpers.h"
#include "app/operations/entry_edits.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {

std::wstring* vdir_result = nullptr;

namespace {

constexpr wchar_t kRootText[] = L"(根目录)";
constexpr wchar_t kForbidden[] = L"\\/:*?\"<>|";

HTREEITEM insert_node(HWND tree, HTREEITEM parent, const std::wstring& name, const std::wstring& path) {
    auto* node = new VdirNode{name, path};
    TVINSERTSTRUCTW tis = {};
    tis.hParent = parent;
    tis.hInsertAfter = TVI_LAST;
    tis.item.mask = TVIF_TEXT | TVIF_PARAM;
    tis.item.pszText = const_cast<wchar_t*>(node->name.c_str());
    tis.item.lParam = reinterpret_cast<LPARAM>(node);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tis)));
    if (!item) delete node;
    return item;
}

HTREEITEM child_of(HWND tree, HTREEITEM item) { return TreeView_GetChild(tree, item); }
HTREEITEM next_of(HWND tree, HTREEITEM item) { return TreeView_GetNextSibling(tree, item); }

bool same_ignoring_case(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

HTREEITEM find_child_named(HWND tree, HTREEITEM parent, const std::wstring& piece) {
    for (HTREEITEM c = child_of(tree, parent); c; c = next_of(tree, c)) {
        const VdirNode* n = vdir_node(tree, c);
        if (n && n->name == piece) return c;
    }
    for (HTREEITEM c = child_of(tree, parent); c; c = next_of(tree, c)) {
        const VdirNode* n = vdir_node(tree, c);
        if (n && same_ignoring_case(n->name, piece)) return c;
    }
    return nullptr;
}

void show_item(HWND tree, HTREEITEM item) {
    TreeView_SelectItem(tree, item);
    TreeView_EnsureVisible(tree, item);
    SetFocus(tree);
}

bool has_folder_named(const std::wstring& parent_path, const std::wstring& name) {
    const rez::Entry* parent = app.archive.find_entry_const(rez::to_utf8(parent_path));
    if (!parent) return false;
    const std::string wanted = rez::to_utf8(name);
    for (const rez::Entry& c : parent->children)
        if (c.is_dir && rez::iequals_ascii(c.name, wanted)) return true;
    return false;
}

void init_picker(HWND dialog) {
    apply_dialog_look(dialog);
    HWND tree = GetDlgItem(dialog, IDC_VDIR_TREE);
    if (!tree) return;
    // Folders below ones the browser never opened are in the file only until now.
    std::wstring ignored;
    app.archive.load_all_directories(ignored);
    HTREEITEM root = insert_node(tree, TVI_ROOT, kRootText, L"");
    if (root) fill_vdir_tree(tree, root, app.archive.root, L"");
    select_vdir_path(tree, app.current_folder);
}

// "新建目录": a folder below the selected one, made in the open model at once.
void add_folder_here(HWND dialog) {
    HWND tree = GetDlgItem(dialog, IDC_VDIR_TREE);
    HTREEITEM parent = TreeView_GetSelection(tree);
    if (!parent) parent = TreeView_GetRoot(tree);
    const VdirNode* parent_node = vdir_node(tree, parent);
    if (!parent_node) return;
    std::wstring name = L"新建文件夹";
    if (!ask_text(dialog, L"", L"请输入新文件夹名称：", name) || name.empty()) return;
    if (name.find_first_of(kForbidden) != std::wstring::npos) {
        message_box(dialog, L"目录名中不能包含下列字符：\\ / : * ? \" < > |", L"错误", MB_ICONERROR);
        return;
    }
    const std::wstring full = parent_node->path.empty() ? name : parent_node->path + L"\\" + name;
    // The model reuses a folder of that name; a second node for it would show it twice.
    if (!is_plain_entry_name(name) || has_folder_named(parent_node->path, name)) {
        message_box(dialog, L"无法创建目录（名称无效或已存在）：" + name, L"错误", MB_ICONERROR);
        return;
    }
    const std::wstring made = create_model_folder(full);
    const size_t cut = made.rfind(L'\\');
    const std::wstring shown = cut == std::wstring::npos ? made : made.substr(cut + 1);
    HTREEITEM item = insert_node(tree, parent, shown, made);
    if (!item) return;
    TreeView_Expand(tree, parent, TVE_EXPAND);
    show_item(tree, item);
}

void finish_picker(HWND dialog, bool ok) {
    HWND tree = GetDlgItem(dialog, IDC_VDIR_TREE);
    if (ok && vdir_result) {
        const VdirNode* n = vdir_node(tree, TreeView_GetSelection(tree));
        *vdir_result = n ? n->path : std::wstring();
    }
    vdir_clear(tree);
    EndDialog(dialog, ok ? 1 : 0);
}

void on_picker_command(HWND dialog, WORD id) {
    switch (id) {
    case IDC_VDIR_CURRENT: select_vdir_path(GetDlgItem(dialog, IDC_VDIR_TREE), app.current_folder); break;
    case IDC_VDIR_NEW: add_folder_here(dialog); break;
    case IDOK: finish_picker(dialog, true); break;
    case IDCANCEL: finish_picker(dialog, false); break;
    default: break;
    }
}

}  // namespace

const VdirNode* vdir_node(HWND tree, HTREEITEM item) {
    if (!tree || !item) return nullptr;
    TVITEMW tv = {};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return nullptr;
    return reinterpret_cast<const VdirNode*>(tv.lParam);
}

void fill_vdir_tree(HWND tree, HTREEITEM parent, const rez::Entry& dir, const std::wstring& parent_path) {
    for (const rez::Entry& child : dir.children) {
        if (!child.is_dir) continue;
        const std::wstring name = rez::from_utf8(child.name);
        const std::wstring path = parent_path.empty() ? name : parent_path + L"\\" + name;
        HTREEITEM item = insert_node(tree, parent, name, path);
        if (item && !child.children.empty()) fill_vdir_tree(tree, item, child, path);
    }
}

std::vector<std::wstring> split_vdir_path(const std::wstring& path) {
    std::vector<std::wstring> pieces;
    if (path.empty()) return pieces;
    size_t start = 0;
    for (;;) {
        const size_t sep = path.find(L'\\', start);
        pieces.push_back(path.substr(start, sep == std::wstring::npos ? std::wstring::npos : sep - start));
        if (sep == std::wstring::npos) break;
        start = sep + 1;
    }
    return pieces;
}

void select_vdir_path(HWND tree, const std::wstring& path) {
    HTREEITEM current = TreeView_GetRoot(tree);
    if (!current) return;
    for (const std::wstring& piece : split_vdir_path(path)) {
        HTREEITEM match = find_child_named(tree, current, piece);
        if (!match) break;
        TreeView_Expand(tree, current, TVE_EXPAND);
        current = match;
    }
    TreeView_Expand(tree, current, TVE_EXPAND);
    show_item(tree, current);
}

void vdir_clear(HWND tree) {
    if (!tree) return;
    std::function<void(HTREEITEM)> free_below = [&](HTREEITEM item) {
        for (HTREEITEM c = child_of(tree, item); c; c = next_of(tree, c)) free_below(c);
        TVITEMW tv = {};
        tv.mask = TVIF_PARAM;
        tv.hItem = item;
        if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return;
        delete reinterpret_cast<VdirNode*>(tv.lParam);
        tv.lParam = 0;
        SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    };
    for (HTREEITEM top = TreeView_GetRoot(tree); top; top = next_of(tree, top)) free_below(top);
}

INT_PTR CALLBACK vdir_pick_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG:
        init_picker(dialog);
        return FALSE;  // the focus went to the tree
    case WM_COMMAND:
        on_picker_command(dialog, LOWORD(wparam));
        return TRUE;
    case WM_DESTROY:
        // Closed some other way (its owner went): the nodes must not outlive it.
        vdir_clear(GetDlgItem(dialog, IDC_VDIR_TREE));
        return FALSE;
    default:
        return FALSE;
    }
}

bool pick_virtual_dir(HWND owner, std::wstring& destination) {
    destination.clear();
    vdir_result = &destination;
    const INT_PTR r = run_dialog(IDD_VDIR_PICKER, owner, vdir_pick_proc, 0);
    vdir_result = nullptr;
    return r == 1;
}

}  // namespace rezui
