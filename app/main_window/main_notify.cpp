// The main window's WM_NOTIFY branch: tree selection and expansion, the preview tabs, and
// the list's double click, selection changes and context menus with their choices.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/operations/entry_edits.h"
#include "app/browser/folder_tree.h"
#include "app/browser/local_view.h"
#include "app/main_window/main_window.h"
#include "app/operations/open_archive.h"
#include "app/browser/preview_pane.h"
#include "app/main_window/task_ui.h"
#include "app/operations/vdir_picker.h"
#include "app/common/window_helpers.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {
namespace {

std::wstring strip_local_root(const std::wstring& path) {
    if (path.size() < app.local_root.size()) return path;
    std::wstring rest = path.substr(app.local_root.size());
    size_t start = rest.find_first_not_of(L'\\');
    return start == std::wstring::npos ? std::wstring() : rest.substr(start);
}

bool is_archive_file(const std::wstring& path) { return archive_ext_lower(path) == "rez" || is_zip_or_7z_path(path); }

void open_local_file(HWND window, const std::wstring& path) {
    if (is_archive_file(path))
        open_file(path);
    else
        shell_execute(window, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void on_tree_selection(const NMTREEVIEWW* tv) {
    if (tree_filling) return;
    TreeNodeData* data = reinterpret_cast<TreeNodeData*>(tv->itemNew.lParam);
    if (!data) return;
    if (app.fs_mode)
        navigate_local(strip_local_root(data->local_path));
    else
        navigate_vdir(data->key);
}

// The password question of a double-clicked encrypted entry; false when the user
// declined it or it could not be answered.
bool unlock_for_preview(HWND window) {
    const std::wstring archive_path = app.archive.path;
    if (ask_extract_password(window, archive_path) && !app.cancel.load()) return true;
    app.cancel.store(false);
    return false;
}

// Opens the path of a list row: a folder is entered, an archive on disk opened, another
// disk file handed to its program, an entry of the open archive previewed. The double
// click asks for the password of an encrypted entry first and ignores a path that is gone
// from the disk; the Open menu item does neither.
void open_row_path(HWND window, const std::wstring& path, bool double_click) {
    if (path.empty()) return;
    if (app.fs_mode) {
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES && double_click) return;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            navigate_local(strip_local_root(path));
        else
            open_local_file(window, path);
        return;
    }
    if (!app.archive_loaded) return;
    const std::string key = rez::to_utf8(path);
    const rez::Entry* entry = app.archive.find_entry_const(key);
    if (!entry) return;
    if (entry->is_dir) {
        navigate_vdir(path);
        return;
    }
    // The dialog pumps messages and may see the archive replaced: only the key is kept.
    if (double_click && entry->encrypted && !unlock_for_preview(window)) return;
    preview_entry(key);
}

void activate_row(HWND window) {
    if (first_selected_is_load_more()) {
        load_more_rows();
        return;
    }
    if (first_selected_is_parent_row()) {
        go_up();
        return;
    }
    open_row_path(window, first_selected_path(), true);
}

// True when a list click landed on the load-more row (the notification names the row).
bool clicked_load_more_row(const NMHDR* header) {
    const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
    const ListRow* row = row_of_item(click->iItem);
    return row && row->is_load_more;
}

// The notifications that are a user's request (a click, key or menu on the tree or the
// list), as opposed to the ones the controls raise while they change.
bool asks_for_action(const NMHDR* header) {
    if (header->idFrom == IDC_TREE) {
        const auto* tv = reinterpret_cast<const NMTREEVIEWW*>(header);
        if (header->code == TVN_SELCHANGEDW) return tv->action == TVC_BYMOUSE || tv->action == TVC_BYKEYBOARD;
        return header->code == TVN_ITEMEXPANDINGW && (tv->action & TVE_EXPAND);
    }
    if (header->idFrom != IDC_LIST) return false;
    switch (header->code) {
    case NM_DBLCLK:
    case NM_RETURN:
    case NM_RCLICK: return true;
    case NM_CLICK: return clicked_load_more_row(header);
    default: return false;
    }
}

void add(HMENU menu, UINT id, const wchar_t* text, bool enabled = true) {
    AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), id, text);
}

void separator(HMENU menu) { AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); }

}  // namespace

// The context menu that applies to what the list shows and what is selected; null when
// none applies.
HMENU build_list_context_menu() {
    std::wstring first = first_selected_path();
    bool selected = !first.empty() && !first_selected_is_parent_row();
    int count = app.list_view ? static_cast<int>(SendMessageW(app.list_view, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
    bool folder = first_selected_is_dir();
    bool archive_view = app.archive_loaded && !app.fs_mode;
    bool zip_view = archive_view && is_zip_or_7z_open();
    HMENU menu = nullptr;
    if (zip_view) {
        menu = CreatePopupMenu();
        add(menu, IDM_EXTRACT_ALL, L"解压全部");
        add(menu, IDM_EXTRACT_SELECTED, L"解压选中", selected);
        separator(menu);
        add(menu, IDM_ADD_FILES, L"添加文件");
        add(menu, IDM_ADD_FOLDER, L"添加目录");
        separator(menu);
        add(menu, IDM_REMOVE, L"删除项目", selected);
        separator(menu);
        add(menu, IDM_COMMENT, L"注释(&M)...");
        add(menu, IDM_SET_PASSWORD, L"设置密码(&P)...");
        separator(menu);
        add(menu, IDM_SELECT_ALL, L"全选(A)\tCtrl+A");
    } else if (archive_view && !selected) {
        menu = CreatePopupMenu();
        add(menu, IDM_UP, L"上一级(U)\tBackspace");
        separator(menu);
        HMENU sub = CreatePopupMenu();
        AppendMenuW(sub, MF_STRING | (app.list_style == 0 ? MF_CHECKED : 0), IDM_LARGE_ICONS, L"大图标(G)");
        AppendMenuW(sub, MF_STRING | (app.list_style == 1 ? MF_CHECKED : 0), IDM_DETAILS, L"列表(D)");
        AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), L"查看方式(S)");
        separator(menu);
        add(menu, IDM_REFRESH, L"刷新(R)\tF5");
    } else if (archive_view) {
        menu = CreatePopupMenu();
        if (count == 1 && !folder) {
            add(menu, IDM_DECODE_PREVIEW, L"解码预览");
            separator(menu);
        }
        add(menu, IDM_EXTRACT_SELECTED, L"解压选中", selected);
        add(menu, IDM_EXTRACT_ALL, L"解压全部");
        separator(menu);
        add(menu, IDM_ADD_FILES, L"添加文件");
        add(menu, IDM_ADD_FOLDER, L"添加目录");
        add(menu, IDM_REPLACE_CONTENT, L"替换内容", count == 1 && !folder);
        add(menu, IDM_REPLACE_FILES, L"替换文件", !folder);
        add(menu, IDM_MOVE_TO, L"移动到...", selected);
        add(menu, IDM_COPY_TO, L"复制到...", selected);
        add(menu, IDM_RENAME, L"重命名(R)", count == 1);
        add(menu, IDM_REMOVE, L"执行删除", selected);
        separator(menu);
        add(menu, IDM_ENTRY_DETAILS, L"查看信息", count == 1);
    } else if (app.fs_mode && selected) {
        menu = CreatePopupMenu();
        add(menu, IDM_LOCAL_OPEN, L"打开(O)\tEnter");
        add(menu, IDM_LOCAL_NOTEPAD, L"用记事本打开(N)\tAlt+Enter", !folder);
        separator(menu);
        add(menu, IDM_SELECT_ALL, L"全选(A)\tCtrl+A");
        add(menu, IDM_LOCAL_DELETE, L"删除(D)\tDel");
        add(menu, IDM_LOCAL_RENAME, L"重命名(R)\tF2", count == 1);
        add(menu, IDM_NEW_FOLDER, L"新建文件夹(F)");
        separator(menu);
        add(menu, IDM_LOCAL_COPY, L"复制(C)\tCtrl+C");
        add(menu, IDM_LOCAL_PASTE, L"粘贴(P)\tCtrl+V");
        HMENU send = CreatePopupMenu();
        add(send, IDM_SEND_DESKTOP, L"桌面", !folder);
        add(send, IDM_SEND_DOCUMENTS, L"我的文档", !folder);
        add(send, IDM_SEND_OTHER, L"其他位置...", !folder);
        AppendMenuW(menu, MF_POPUP | (folder ? MF_GRAYED : 0), reinterpret_cast<UINT_PTR>(send), L"发送到(N)");
        separator(menu);
        add(menu, IDM_SHOW_IN_EXPLORER, L"打开所在文件夹(S)");
    }
    return menu;
}

void show_list_context_menu(HWND window) {
    HMENU menu = build_list_context_menu();
    if (!menu) return;
    POINT pt;
    GetCursorPos(&pt);
    UINT choice = track_popup_menu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, window);
    DestroyMenu(menu);
    if (choice) run_list_menu_choice(window, choice);
}

void run_list_menu_choice(HWND window, UINT choice) {
    switch (choice) {
    case IDM_MOVE_TO: move_or_copy_selected(true); break;
    case IDM_COPY_TO: move_or_copy_selected(false); break;
    case IDM_LOCAL_OPEN: open_row_path(window, first_selected_path(), false); break;
    case IDM_LOCAL_NOTEPAD: {
        std::wstring path = first_selected_path();
        if (!path.empty()) shell_execute(window, L"open", L"notepad.exe", path.c_str(), nullptr, SW_SHOWNORMAL);
        break;
    }
    case IDM_NEW_FOLDER:
        if (app.fs_mode)
            new_local_folder(window);
        else
            new_folder();
        break;
    case IDM_SEND_DESKTOP:
    case IDM_SEND_DOCUMENTS:
    case IDM_SEND_OTHER: send_to_folder(window, choice); break;
    case IDM_SHOW_IN_EXPLORER: show_in_explorer(window); break;
    case IDM_DECODE_PREVIEW: {
        std::wstring path = first_selected_path();
        if (!path.empty()) preview_entry(rez::to_utf8(path));
        break;
    }
    default:
        // Every other item is a command of the menu bar or the accelerators and does
        // the same from here.
        on_command(window, MAKEWPARAM(choice, 0), 0);
        break;
    }
}

LRESULT on_notify(HWND window, const NMHDR* header, bool& handled) {
    handled = false;
    if (!header) return 0;
    UINT code = header->code;
    // The tabs only swap which pane of the side panel shows; they read nothing.
    if (header->idFrom == IDC_PREVIEW_TABS) {
        if (code == TCN_SELCHANGE) show_preview_tab();
        return 0;
    }
    // While a job runs the archive belongs to it: nothing here may read or change it, and
    // what the user asked for is answered with the reason.
    if (app.busy) {
        if (asks_for_action(header)) refuse_while_busy();
        return 0;
    }
    switch (header->idFrom) {
    case IDC_TREE:
        if (code == TVN_SELCHANGEDW) {
            on_tree_selection(reinterpret_cast<const NMTREEVIEWW*>(header));
        } else if (code == TVN_ITEMEXPANDINGW) {
            auto* tv = reinterpret_cast<const NMTREEVIEWW*>(header);
            if (tv->action & TVE_EXPAND) {
                if (app.fs_mode)
                    list_local_folder(tv->itemNew.hItem);
                else
                    expand_rez_node(tv->itemNew.hItem);
            }
        }
        break;
    case IDC_LIST:
        if (code == NM_DBLCLK || code == NM_RETURN) {
            activate_row(window);
        } else if (code == NM_CLICK) {
            // The load-more row says a single click shows the next rows.
            if (clicked_load_more_row(header)) load_more_rows();
        } else if (code == LVN_ITEMCHANGED) {
            update_command_states();
        } else if (code == NM_RCLICK) {
            show_list_context_menu(window);
        }
        break;
    default:
        break;
    }
    return 0;
}

}  // namespace rezui
