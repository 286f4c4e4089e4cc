// The main window's WM_COMMAND branch: every menu, toolbar, accelerator and button
// command, refused while a job owns the archive unless it leaves the archive alone.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/operations/comment_editor.h"
#include "app/tools/convert_dialog.h"
#include "app/operations/entry_edits.h"
#include "app/operations/entry_info.h"
#include "app/operations/header_editor.h"
#include "app/operations/integrity_test.h"
#include "app/browser/local_view.h"
#include "app/main_window/main_window.h"
#include "app/operations/open_archive.h"
#include "app/operations/rez_jobs.h"
#include "app/tools/search_window.h"
#include "app/settings/settings_dialog.h"
#include "app/tools/sfx_builder.h"
#include "app/common/small_dialogs.h"
#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"
#include "app/tools/wizard.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {
namespace {

constexpr wchar_t kArchiveFilter[] = L"REZ 资源包 (*.rez;*.zip;*.7z)\0*.rez;*.zip;*.7z\0\0";

bool local_row_selected() { return app.fs_mode && !first_selected_path().empty(); }

void select_all_rows() {
    if (!app.list_view) return;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageW(app.list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    // "[..]" and the load-more row stand for no entry: selected, they would make the
    // selection look like no selection to every command.
    item.state = 0;
    const int count = static_cast<int>(SendMessageW(app.list_view, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const ListRow* row = row_of_item(i);
        if (row && (row->is_parent_row || row->is_load_more))
            SendMessageW(app.list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
}

void pack_one_file(HWND window) {
    std::wstring source = pick_open_file(window, L"所有文件 (*.*)\0*.*\0\0", L"选择要压缩的文件");
    if (source.empty()) return;
    std::wstring target = pick_save_file(window, L"REZ 资源包 (*.rez)\0*.rez\0\0", L"输出 REZ", L"single.rez");
    if (target.empty()) return;
    // Written over, the open archive would no longer be where its model says its data is.
    if (app.archive_loaded && !app.archive.path.empty() && same_file(target, app.archive.path)) {
        message_box(window, L"不能覆盖当前打开的压缩包，请选择其他输出文件: " + target, L"错误", MB_ICONERROR);
        return;
    }
    rez::RezFile archive(target);
    std::string entry_path;
    std::wstring error;
    bool ok = archive.add_file("", source, entry_path);
    if (!ok) error = L"无法添加文件: " + source;
    if (ok) ok = archive.save(target, error);
    if (ok)
        set_status_bar_text(L"已压缩单文件: " + target);
    else
        message_box(window, error, L"错误", MB_ICONERROR);
}

void go_to_typed_path(HWND window) {
    std::wstring text = app.path_combo ? get_window_text(app.path_combo) : L"";
    if (app.fs_mode) {
        open_local_folder(text);
        return;
    }
    std::string path = rez::to_utf8(text);
    size_t start = path.find_first_not_of("\\/");
    path = start == std::string::npos ? std::string() : path.substr(start);
    const rez::Entry* entry = app.archive_loaded ? app.archive.find_entry_const(path) : nullptr;
    if (entry && entry->is_dir) {
        navigate_vdir(rez::from_utf8(path));
        return;
    }
    message_box(window, L"路径不存在: " + text, L"跳转失败", MB_ICONWARNING);
}

void show_view(int mode) {
    app.view_mode = mode;
    if (app.tree_view) ShowWindow(app.tree_view, mode == 0 ? SW_SHOW : SW_HIDE);
    if (app.list_view) ShowWindow(app.list_view, mode == 1 ? SW_SHOW : SW_HIDE);
    if (mode == 0)
        fill_tree();
    else
        refresh_list();
}

void set_list_style(int style) {
    app.list_style = style;
    if (app.list_view) {
        LONG_PTR s = GetWindowLongPtrW(app.list_view, GWL_STYLE);
        s = (s & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | (style == 0 ? LVS_ICON : LVS_REPORT);
        SetWindowLongPtrW(app.list_view, GWL_STYLE, s);
    }
    refresh_list();
}

void open_desktop() {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0])
        open_local_folder(path);
}

void open_picked_archive(HWND window) {
    std::wstring path = pick_open_file(window, kArchiveFilter, L"打开资源包");
    if (!path.empty()) open_file(path);
}

// The settings dialog may switch the log box on or off.
void run_settings(HWND window) {
    show_settings(window);
    apply_log_box_setting();
}

void toggle_side_panel(HWND window) {
    app.comment_panel_visible = !app.comment_panel_visible;
    if (app.comment_panel) ShowWindow(app.comment_panel, app.comment_panel_visible ? SW_SHOW : SW_HIDE);
    layout_main_window(window, app.client_width, app.client_height);
}

void refresh_views() {
    fill_tree();
    refresh_list();
}

void change_archive_password(HWND window) {
    std::wstring answer;
    if (ask_new_password(window, answer)) set_archive_password(answer);
}

}  // namespace

const wchar_t kBusyRefusalText[] = L"正在执行任务，请等待完成或停止后再试。";

void refuse_while_busy() {
    append_log(kBusyRefusalText);
    set_status_bar_text(kBusyRefusalText);
    MessageBeep(MB_ICONWARNING);
}

bool command_allowed_while_busy(UINT id) {
    switch (id) {
    case IDM_EXIT:
    case IDM_HIDE_TO_TRAY:
    case IDM_ABOUT:
    case IDM_SIDE_PANEL:
    case IDM_PAUSE:
    case IDM_RESUME:
    case IDM_STOP:
    case IDM_CLEAR_LOG:
    case IDM_TRAY_SHOW:
    case IDM_TRAY_EXIT:
        return true;
    default:
        return false;
    }
}

void on_command(HWND window, WPARAM wparam, LPARAM lparam) {
    UINT id = LOWORD(wparam);
    if (id == IDC_PATH_COMBO && lparam != 0) {
        if (app.busy) {
            if (HIWORD(wparam) == CBN_DROPDOWN || HIWORD(wparam) == CBN_SELCHANGE) refuse_while_busy();
            return;
        }
        if (HIWORD(wparam) == CBN_DROPDOWN) fill_path_combo();
        else if (HIWORD(wparam) == CBN_SELCHANGE) on_path_combo_select();
        return;
    }
    // A running job owns the archive: everything that reads or changes it waits.
    if (app.busy && !command_allowed_while_busy(id)) {
        // Only what the user asked for is answered: the child controls' own notifications
        // (the log box changes with every line) carry ids outside the command range.
        if (id >= IDM_OPEN && id <= IDM_SET_PASSWORD) refuse_while_busy();
        return;
    }
    switch (id) {
    case IDM_OPEN: open_picked_archive(window); break;
    case IDM_SAVE: save_archive(); break;
    case IDM_NEW_ARCHIVE: show_wizard(window, L""); break;
    case IDM_EXIT: exit_program(window); break;
    case IDM_EXTRACT_ALL: extract_all(); break;
    case IDM_EXTRACT_SELECTED: extract_selected(); break;
    case IDM_ADD_FILES: add_files(); break;
    case IDM_ADD_FOLDER: add_folder(); break;
    case IDM_REPLACE_CONTENT: replace_entry(); break;
    case IDM_REMOVE: remove_selected(); break;
    case IDM_RENAME:
    case IDM_LOCAL_RENAME:
        if (app.fs_mode)
            rename_local_item(window);
        else
            rename_entry();
        break;
    case IDM_FIND:
        if (can_search()) show_search_window(window);
        break;
    case IDM_WIZARD: show_wizard(window, app.archive_loaded && !app.fs_mode ? app.archive.path : L""); break;
    case IDM_CONVERT: show_convert_for_file(window, L""); break;
    case IDM_SFX: show_sfx_builder(window); break;
    case IDM_PACK_ONE: pack_one_file(window); break;
    case IDM_SETTINGS: run_settings(window); break;
    case IDM_COMMENT: show_comment_editor(window); break;
    case IDM_ARCHIVE_INFO: show_archive_info(); break;
    case IDM_ENTRY_DETAILS: show_entry_details(); break;
    case IDM_VIEW_TREE: show_view(0); break;
    case IDM_VIEW_LIST: show_view(1); break;
    case IDM_LARGE_ICONS: set_list_style(0); break;
    case IDM_DETAILS: set_list_style(1); break;
    case IDM_UP: go_up(); break;
    case IDM_REFRESH: refresh_views(); break;
    case IDM_DESKTOP: open_desktop(); break;
    case IDM_SIDE_PANEL: toggle_side_panel(window); break;
    case IDM_HIDE_TO_TRAY: hide_to_tray(window); break;
    case IDM_ABOUT: show_about(window); break;
    case IDM_SELECT_ALL:
        if (is_zip_or_7z_open() || local_row_selected()) select_all_rows();
        break;
    case IDM_LOCAL_NOTEPAD:
        // Alt+Enter, as the local-folder menu offers it: a selected file, not a folder.
        if (local_row_selected() && !first_selected_is_dir()) run_list_menu_choice(window, IDM_LOCAL_NOTEPAD);
        break;
    case IDM_LOCAL_DELETE:
        if (local_row_selected()) delete_local_items(window);
        break;
    case IDM_LOCAL_COPY:
        if (local_row_selected()) copy_to_clipboard(window);
        break;
    case IDM_LOCAL_PASTE:
        if (local_row_selected()) paste_from_clipboard(window);
        break;
    case IDM_PAUSE: pause_task(); break;
    case IDM_RESUME: resume_task(); break;
    case IDM_STOP: stop_task(); break;
    case IDM_CLEAR_LOG: clear_log(); break;
    case IDM_GO_PATH: go_to_typed_path(window); break;
    case IDM_REPLACE_FILES: add_or_replace_files(); break;
    case IDM_TEST: do_test(); break;
    case IDM_VIEW_DEFAULT: view_with_default_program(); break;
    case IDM_SET_PASSWORD: change_archive_password(window); break;
    default:
        break;
    }
}

}  // namespace rezui
