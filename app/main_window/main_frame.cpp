// The main window's frame: window class, the children that WM_CREATE builds, the tray
// icon, what WM_DESTROY frees, and the creation that runs the command line's first verb.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/operations/dropped_files.h"
#include "app/operations/drag_out.h"
#include "app/browser/folder_tree.h"
#include "app/operations/header_editor.h"
#include "app/browser/list_icons.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/operations/open_archive.h"
#include "app/common/owner_buttons.h"
#include "app/tools/pack_dialog.h"
#include "app/browser/preview_pane.h"
#include "app/settings/settings.h"
#include "app/common/window_helpers.h"
#include "app/operations/job_workers.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {
namespace {

constexpr wchar_t kCaption[] = L"Marrowind Quarvel - LithTech .rez 资源管理器 (C++ 移植版)";

HWND make_child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex_style, int x, int y, int w,
                int h, int id) {
    return CreateWindowExW(ex_style, cls, text, WS_CHILD | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

int toolbar_height() {
    if (!app.toolbar) return 0;
    RECT rc;
    GetWindowRect(app.toolbar, &rc);
    return std::max<int>(rc.bottom - rc.top, 36);
}

void create_side_panel(HWND window, int th) {
    HMODULE module = GetModuleHandleW(nullptr);
    app.comment_panel = make_child(window, L"STATIC", L"", 0, 0, 0, th + 38, 260, 300, IDC_SIDE_PANEL);
    HWND panel = app.comment_panel;
    if (panel) SetWindowSubclass(panel, side_panel_proc, 3, 0);
    app.preview_tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | TCS_HOTTRACK, 2, 2, 256, 24, panel,
                                       reinterpret_cast<HMENU>(IDC_PREVIEW_TABS), module, nullptr);
    if (app.preview_tabs) {
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(L"文件注释");
        SendMessageW(app.preview_tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        item.pszText = const_cast<wchar_t*>(L"预览");
        SendMessageW(app.preview_tabs, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&item));
    }
    DWORD edit_style = WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
    app.comment_box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"(无注释)", WS_CHILD | WS_VISIBLE | edit_style, 2, 28,
                                      254, 268, panel, reinterpret_cast<HMENU>(IDC_COMMENT_BOX), module, nullptr);
    app.preview_table = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 2, 28, 254, 268,
                                        panel, reinterpret_cast<HMENU>(IDC_PREVIEW_TABLE), module, nullptr);
    app.preview_edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | edit_style, 2, 28, 254, 268, panel,
                                       reinterpret_cast<HMENU>(IDC_PREVIEW_EDIT), module, nullptr);
    app.preview_image = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_BITMAP | SS_CENTERIMAGE, 2, 28, 254, 268, panel,
                                        reinterpret_cast<HMENU>(IDC_PREVIEW_IMAGE), module, nullptr);
}

void create_task_area(HWND window) {
    make_child(window, L"STATIC", L"就绪", WS_VISIBLE, 0, 4, 0, 300, 20, IDC_PROGRESS_TEXT);
    HWND host = make_child(window, L"STATIC", L"", WS_VISIBLE, 0, 0, 0, 400, 28, IDC_BUTTON_HOST);
    if (host) SetWindowSubclass(host, button_host_proc, 2, 0);
    HWND parent = host ? host : window;
    app.pause_button = create_button(parent, IDM_PAUSE, L"暂停", 0, 2, 52);
    app.resume_button = create_button(parent, IDM_RESUME, L"继续", 56, 2, 52);
    app.cancel_button = create_button(parent, IDM_STOP, L"停止", 112, 2, 52);
    app.clear_log_button = create_button(parent, IDM_CLEAR_LOG, L"清空日志", 168, 2, 72);
    for (HWND b : {app.pause_button, app.resume_button, app.cancel_button})
        if (b) ShowWindow(b, SW_HIDE);
    if (app.resume_button) EnableWindow(app.resume_button, FALSE);
    if (app.cancel_button) EnableWindow(app.cancel_button, FALSE);
    app.progress_bar = make_child(window, PROGRESS_CLASSW, L"", WS_VISIBLE, 0, 0, 0, 800, 18,
                                  IDC_PROGRESS_BAR);
    if (app.progress_bar) SendMessageW(app.progress_bar, PBM_SETRANGE32, 0, 100);
    app.log_box = make_child(window, L"EDIT", L"", WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                             WS_EX_CLIENTEDGE, 0, 0, 800, 130, IDC_LOG);
    app.log_view = app.log_box;
    app.status_bar = make_child(window, STATUSCLASSNAMEW, L"就绪", WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, 0, IDC_STATUS);
}

void insert_list_columns() {
    const struct {
        const wchar_t* title;
        int width;
    } columns[] = {{L"名称", 240}, {L"类型", 70}, {L"ID", 80}, {L"大小", 70}, {L"修改日期", 130}, {L"创建日期", 130}};
    int index = 0;
    for (const auto& c : columns) {
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        col.pszText = const_cast<wchar_t*>(c.title);
        col.cx = c.width;
        col.iSubItem = index;
        SendMessageW(app.list_view, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&col));
        ++index;
    }
    SendMessageW(app.list_view, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
}

// Runs the first non-empty verb of the command line; a headless run quits when its
// dialog has closed.
void run_command_line_work(HWND window, const CommandLine& cl) {
    if (!cl.pack_list.empty()) {
        run_pack_dialog(window, cl.pack_list);
        if (headless) PostQuitMessage(0);
        return;
    }
    if (!cl.extract_here_list.empty()) {
        for (const auto& p : cl.extract_here_list) extract_here(window, p);
        if (headless) PostQuitMessage(0);
        return;
    }
    if (!cl.convert_list.empty()) {
        for (const auto& p : cl.convert_list) queue_archive_for_batch(window, p);
        return;
    }
    if (!cl.edit_header_list.empty()) {
        edit_rez_header(window, cl.edit_header_list.front());
        if (headless) PostQuitMessage(0);
        return;
    }
    if (!cl.add_to_rez_target.empty()) {
        start_add_dropped(window, cl.add_to_rez_target, cl.add_to_rez_files);
        return;
    }
    if (!cl.files.empty()) {
        open_named_path(cl.files.front());
        return;
    }
    open_local_folder(rez::exe_directory());
}

}  // namespace

void open_named_path(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        open_local_folder(path);
    else
        open_file(path);
}

bool register_main_window_class(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    if (GetClassInfoExW(instance, kMainWindowClass, &wc)) return true;
    wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_wnd_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_LARGE));
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_SMALL));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&wc) != 0;
}


HWND create_button(HWND parent, int id, const wchar_t* text, int x, int y, int width) {
    HWND b = make_child(parent, L"BUTTON", text, WS_VISIBLE | BS_OWNERDRAW, 0, x, y, width, 24, id);
    if (!b) return nullptr;
    button_states[b];
    SetWindowSubclass(b, button_hover_proc, 1, 0);
    return b;
}


bool add_tray_icon(HWND window) {
    if (app.tray_icon_added) return true;
    if (!app.tray_icon)
        app.tray_icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_SMALL),
                                                      IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    NOTIFYICONDATAW nid = {};
    nid.cbSize = sizeof(nid);
    nid.hWnd = window;
    nid.uID = 1;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAY_NOTIFY;
    nid.hIcon = app.tray_icon;
    wcscpy_s(nid.szTip, kProductName);
    if (!Shell_NotifyIconW(NIM_ADD, &nid)) return false;
    app.tray_icon_added = true;
    return true;
}

void hide_to_tray(HWND window) {
    if (app.tray_icon_added || add_tray_icon(window)) ShowWindow(window, SW_HIDE);
}

void apply_log_box_setting() {
    int show = app.show_log_box ? SW_SHOW : SW_HIDE;
    if (app.log_box) ShowWindow(app.log_box, show);
    if (app.clear_log_button) ShowWindow(app.clear_log_button, show);
    if (app.layout_done && app.main_window) layout_main_window(app.main_window, app.client_width, app.client_height);
}

void create_main_children(HWND window) {
    app.main_window = window;
    SetMenu(window, build_main_menu());
    create_toolbar(window);
    int th = toolbar_height();
    create_button(window, IDM_UP, L"上一级", 2, th + 8, 60);
    create_button(window, IDM_DESKTOP, L"桌面", 66, th + 8, 60);
    create_button(window, IDM_REFRESH, L"刷新", 130, th + 8, 60);
    app.path_combo = make_child(window, WC_COMBOBOXW, L"", WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0,
                                194, th + 8, 600, 300, IDC_PATH_COMBO);
    if (app.path_combo) {
        COMBOBOXINFO info = {};
        info.cbSize = sizeof(info);
        if (GetComboBoxInfo(app.path_combo, &info) && info.hwndItem)
            path_edit_previous = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(info.hwndItem, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(path_edit_proc)));
    }
    app.tree_view = make_child(window, WC_TREEVIEWW, L"",
                               WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                               WS_EX_CLIENTEDGE, 0, th + 38, 500, 300, IDC_TREE);
    // The image lists belong to the main window (freed in WM_DESTROY), so the list must not
    // destroy them too.
    app.list_view = make_child(window, WC_LISTVIEWW, L"",
                               WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS, WS_EX_CLIENTEDGE, 0,
                               th + 38, 500, 300, IDC_LIST);
    if (app.list_view)
        list_drag_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(app.list_view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list_drag_proc)));
    create_side_panel(window, th);
    app.splitter = make_child(window, L"STATIC", L"", 0, WS_EX_STATICEDGE, 0, th + 38, 5, 300, IDC_SPLITTER);
    create_task_area(window);
    if (app.list_view) insert_list_columns();
    init_image_lists();
    DragAcceptFiles(window, TRUE);
    if (app.ui_font) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(app.ui_font), FALSE);
        EnumChildWindows(window, set_font_recursive, reinterpret_cast<LPARAM>(app.ui_font));
    }
    HFONT fixed = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
    if (app.preview_edit) SendMessageW(app.preview_edit, WM_SETFONT, reinterpret_cast<WPARAM>(fixed), FALSE);
    if (app.log_box) SendMessageW(app.log_box, WM_SETFONT, reinterpret_cast<WPARAM>(fixed), FALSE);
    apply_view_colors();
    update_command_states();
}

void destroy_main_window_resources(HWND window) {
    // The exits stop jobs before they get here; whatever else takes the window down must not
    // leave a worker reading the model either.
    stop_workers(window, false);
    // Before the quit is posted: the drain would otherwise meet the quit first.
    free_queued_payloads(window);
    if (app.tray_icon_added) {
        NOTIFYICONDATAW nid = {};
        nid.cbSize = sizeof(nid);
        nid.hWnd = window;
        nid.uID = 1;
        Shell_NotifyIconW(NIM_DELETE, &nid);
        app.tray_icon_added = false;
    }
    clear_list_rows();
    clear_tree();
    clear_path_combo();
    if (app.toolbar) {
        auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(app.toolbar, TB_SETIMAGELIST, 0, 0));
        if (images) ImageList_Destroy(images);
    }
    if (app.small_images) ImageList_Destroy(app.small_images);
    if (app.large_images) ImageList_Destroy(app.large_images);
    app.small_images = nullptr;
    app.large_images = nullptr;
    icon_cache.clear();
    thumb_cache.clear();
    free_preview_bitmap();
    if (app.background_brush) DeleteObject(app.background_brush);
    app.background_brush = nullptr;
    if (app.accelerators) DestroyAcceleratorTable(app.accelerators);
    app.accelerators = nullptr;
    if (app.batch_timer) KillTimer(window, app.batch_timer);
    app.batch_timer = 0;
    PostQuitMessage(0);
}

bool create_main_window(HINSTANCE instance, int show_command, const CommandLine& cl) {
    Settings s = load_settings();
    app.copyright = s.copyright;
    app.description = s.description;
    app.theme = s.theme;
    app.last_drag_out_folder = s.last_drag_out_folder;
    app.uppercase_rez = s.uppercase_rez;
    app.uppercase_zip = s.uppercase_zip;
    app.uppercase_7z = s.uppercase_7z;
    app.close_to_tray = s.close_to_tray;
    app.show_log_box = s.show_log_box;
    rez::uppercase_rez_names = s.uppercase_rez;

    if (!register_main_window_class(instance)) return false;
    // 1080 x 820 where the screen has room; on a laptop screen the whole frame stays on it.
    RECT work{0, 0, 1080, 820};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const RECT frame = window_rect_in_work_area(1080, 820, work);
    HWND window = CreateWindowExW(0, kMainWindowClass, kCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, frame.left,
                                  frame.top, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) return false;
    headless = is_headless_run(cl);
    ShowWindow(window, headless ? SW_HIDE : show_command);
    UpdateWindow(window);
    apply_log_box_setting();
    apply_view_colors();
    if (!headless) add_tray_icon(window);
    app.accelerators = build_accelerators();
    run_command_line_work(window, cl);
    if (app.tree_view) ShowWindow(app.tree_view, app.view_mode == 0 ? SW_SHOW : SW_HIDE);
    if (app.list_view) ShowWindow(app.list_view, app.view_mode == 1 ? SW_SHOW : SW_HIDE);
    return true;
}

}  // namespace rezui
