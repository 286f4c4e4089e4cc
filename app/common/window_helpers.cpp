#include "app/common/window_helpers.h"

#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <vector>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/main_window/main_window.h"
#include "app/operations/open_archive.h"
#include "archive/util.h"
#include "archive/win_handle.h"
#include "resources/resource.h"

namespace rezui {
namespace {

int real_message_box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

// What the classic open and save dialogs are asked, with the result going to buffer (which
// must outlive the dialog).
OPENFILENAMEW file_dialog_request(HWND owner, const wchar_t* filter, const wchar_t* title,
                                  std::vector<wchar_t>& buffer, DWORD flags) {
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = title;
    ofn.Flags = flags;
    return ofn;
}

// Runs the open or save dialog on a path buffer of 1040 characters that starts with
// initial; the chosen path, or empty on cancel.
std::wstring run_file_dialog(HWND owner, const wchar_t* filter, const wchar_t* title, const std::wstring& initial,
                             DWORD flags, BOOL(WINAPI* dialog)(LPOPENFILENAMEW)) {
    std::vector<wchar_t> buffer(1040, L'\0');
    size_t n = std::min(initial.size(), buffer.size() - 1);
    std::copy_n(initial.begin(), n, buffer.begin());
    OPENFILENAMEW ofn = file_dialog_request(owner, filter, title, buffer, flags);
    if (!dialog(&ofn)) return L"";
    return buffer.data();
}

std::wstring real_pick_open_file(HWND owner, const wchar_t* filter, const wchar_t* title) {
    return run_file_dialog(owner, filter, title, L"", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, GetOpenFileNameW);
}

std::wstring real_pick_save_file(HWND owner, const wchar_t* filter, const wchar_t* title,
                                 const std::wstring& suggested_name) {
    return run_file_dialog(owner, filter, title, suggested_name, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY,
                           GetSaveFileNameW);
}

// The filter's NUL-separated (name, pattern) pairs as the item dialog takes them.
std::vector<COMDLG_FILTERSPEC> file_types(const wchar_t* filter) {
    std::vector<COMDLG_FILTERSPEC> types;
    while (filter && *filter) {
        const wchar_t* name = filter;
        const wchar_t* pattern = name + wcslen(name) + 1;
        if (!*pattern) break;
        types.push_back({name, pattern});
        filter = pattern + wcslen(pattern) + 1;
    }
    return types;
}

// The item dialog keeps no buffer of its own to outgrow. False when it cannot be had,
// so the classic dialog is used instead.
bool pick_files_with_item_dialog(HWND owner, const wchar_t* filter, const wchar_t* title,
                                 std::vector<std::wstring>& out) {
    rez::com_ptr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                dialog.put_void())))
        return false;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
    const std::vector<COMDLG_FILTERSPEC> types = file_types(filter);
    if (!types.empty()) dialog->SetFileTypes(static_cast<UINT>(types.size()), types.data());
    if (title) dialog->SetTitle(title);
    const HRESULT shown = dialog->Show(owner);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return true;
    if (FAILED(shown)) return false;
    rez::com_ptr<IShellItemArray> items;
    DWORD count = 0;
    if (FAILED(dialog->GetResults(items.put())) || FAILED(items->GetCount(&count))) return true;
    for (DWORD i = 0; i < count; ++i) {
        rez::com_ptr<IShellItem> item;
        wchar_t* path = nullptr;
        if (FAILED(items->GetItemAt(i, item.put())) || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)))
            continue;
        out.emplace_back(path);
        CoTaskMemFree(path);
    }
    return true;
}

// The classic dialog reports a result too long for its buffer only after it closed, so the
// question is asked again with a buffer of the size it asked for.
std::vector<std::wstring> pick_files_with_classic_dialog(HWND owner, const wchar_t* filter, const wchar_t* title) {
    std::vector<wchar_t> buffer(32768, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        OPENFILENAMEW ofn = file_dialog_request(
            owner, filter, title, buffer,
            OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR);
        if (GetOpenFileNameW(&ofn)) return split_open_files_result(buffer.data(), buffer.size());
        if (CommDlgExtendedError() != FNERR_BUFFERTOOSMALL) return {};
        // The first two bytes hold the size needed, cut to 16 bits: grow by at least four.
        const size_t needed = static_cast<size_t>(*reinterpret_cast<const WORD*>(buffer.data())) + 2;
        buffer.assign(std::max(needed, buffer.size() * 4), L'\0');
    }
    return {};
}

std::vector<std::wstring> real_pick_open_files(HWND owner, const wchar_t* filter, const wchar_t* title) {
    std::vector<std::wstring> paths;
    if (pick_files_with_item_dialog(owner, filter, title, paths)) return paths;
    return pick_files_with_classic_dialog(owner, filter, title);
}

std::wstring real_pick_folder(HWND owner, const std::wstring& title) {
    BROWSEINFOW bi = {};
    bi.hwndOwner = owner;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&bi);
    if (!item) return L"";
    wchar_t path[MAX_PATH * 2] = {};
    bool ok = SHGetPathFromIDListW(item, path) != FALSE;
    CoTaskMemFree(item);
    return ok ? std::wstring(path) : std::wstring();
}

UINT real_track_popup_menu(HMENU menu, UINT flags, int x, int y, HWND owner) {
    return static_cast<UINT>(TrackPopupMenu(menu, flags | TPM_RETURNCMD, x, y, 0, owner, nullptr));
}

HINSTANCE real_shell_execute(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                             const wchar_t* directory, int show) {
    return ShellExecuteW(owner, verb, file, parameters, directory, show);
}

INT_PTR real_run_dialog(int resource_id, HWND owner, DLGPROC proc, LPARAM param) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource_id), owner, proc, param);
}

// Applies one enabled state to the toolbar button and the menu item of a command.
void enable_command(HMENU menu, int id, bool enabled) {
    if (app.toolbar) SendMessageW(app.toolbar, TB_ENABLEBUTTON, id, MAKELPARAM(enabled ? TRUE : FALSE, 0));
    if (menu) EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void add_combo_item(const std::wstring& text, const std::wstring& data) {
    LRESULT index = SendMessageW(app.path_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index < 0) return;
    SendMessageW(app.path_combo, CB_SETITEMDATA, index, reinterpret_cast<LPARAM>(new std::wstring(data)));
}

}  // namespace

UiSeams default_ui_seams() {
    return UiSeams{real_message_box, real_pick_open_file, real_pick_save_file, real_pick_folder,
                   real_track_popup_menu, real_shell_execute, real_run_dialog, real_pick_open_files};
}

UiSeams ui_seams = default_ui_seams();
WNDPROC path_edit_previous = nullptr;

std::wstring get_window_text(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return L"";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(0, std::min(got, length))));
    return text;
}

void set_window_text(HWND window, const std::wstring& text) { SetWindowTextW(window, text.c_str()); }

// The edit control moves its pixels up at once when it scrolls, and paints the lines it
// uncovered only when its window next gets to painting: a box appended to while a job keeps
// its window busy showed the last lines twice, over a blank line, until then. The box is
// painted before the window shows anything else.
void append_log_text(HWND box, const std::wstring& text) {
    if (!box || text.empty()) return;
    const WPARAM end = static_cast<WPARAM>(GetWindowTextLengthW(box));
    SendMessageW(box, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
    UpdateWindow(box);
}

int message_box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
    return ui_seams.message_box(owner, text, caption, flags);
}

std::wstring pick_open_file(HWND owner, const wchar_t* filter, const wchar_t* title) {
    return ui_seams.pick_open_file(owner, filter, title);
}

std::wstring pick_save_file(HWND owner, const wchar_t* filter, const wchar_t* title,
                            const std::wstring& suggested_name) {
    return ui_seams.pick_save_file(owner, filter, title, suggested_name);
}

std::vector<std::wstring> pick_open_files(HWND owner, const wchar_t* filter, const wchar_t* title) {
    return ui_seams.pick_open_files(owner, filter, title);
}

std::vector<std::wstring> split_open_files_result(const wchar_t* buffer, size_t size) {
    std::vector<std::wstring> pieces;
    size_t at = 0;
    while (at < size && buffer[at]) {
        size_t end = at;
        while (end < size && buffer[end]) ++end;
        pieces.emplace_back(buffer + at, end - at);
        at = end + 1;
    }
    if (pieces.size() <= 1) return pieces;
    std::wstring folder = pieces[0];
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    std::vector<std::wstring> paths;
    for (size_t i = 1; i < pieces.size(); ++i) paths.push_back(folder + pieces[i]);
    return paths;
}

std::wstring pick_folder(HWND owner, const std::wstring& title) { return ui_seams.pick_folder(owner, title); }

UINT track_popup_menu(HMENU menu, UINT flags, int x, int y, HWND owner) {
    return ui_seams.track_popup_menu(menu, flags, x, y, owner);
}

HINSTANCE shell_execute(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                        const wchar_t* directory, int show) {
    return ui_seams.shell_execute(owner, verb, file, parameters, directory, show);
}

INT_PTR run_dialog(int resource_id, HWND owner, DLGPROC proc, LPARAM param) {
    return ui_seams.run_dialog(resource_id, owner, proc, param);
}

bool pump_pending_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void raise_window(HWND window) {
    ShowWindow(window, SW_RESTORE);
    // While the window shows a box it is disabled: raising the window alone would put the
    // box behind it and leave the program looking frozen.
    HWND front = GetLastActivePopup(window);
    if (!front || !IsWindowVisible(front) || !IsWindowEnabled(front)) front = window;
    SetForegroundWindow(front);
    BringWindowToTop(front);
}

std::vector<std::wstring> split_nonempty(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::wstring::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

void set_status_bar_text(const std::wstring& text) {
    if (!app.status_bar) return;
    SetWindowTextW(app.status_bar, text.c_str());
    fit_status_parts();
}

bool can_search() { return app.archive_loaded && !app.fs_mode && archive_ext_lower(app.archive.path) == "rez"; }

void update_command_states() {
    bool in_archive = app.archive_loaded && !app.fs_mode;
    std::wstring first = first_selected_path();
    bool any_sel = !first.empty() && !first_selected_is_parent_row();
    bool has_sel = in_archive && any_sel;
    bool file_sel = has_sel && !first_selected_is_dir();
    HMENU menu = app.main_window ? GetMenu(app.main_window) : nullptr;
    const struct {
        int id;
        bool on;
    } states[] = {{IDM_SAVE, in_archive},          {IDM_EXTRACT_ALL, in_archive},    {IDM_EXTRACT_SELECTED, has_sel},
                  {IDM_ADD_FILES, in_archive},     {IDM_ADD_FOLDER, in_archive},     {IDM_REPLACE_CONTENT, file_sel},
                  {IDM_REPLACE_FILES, file_sel},   {IDM_REMOVE, has_sel},            {IDM_RENAME, has_sel},
                  {IDM_ARCHIVE_INFO, in_archive},  {IDM_COMMENT, in_archive},        {IDM_ENTRY_DETAILS, has_sel},
                  {IDM_MOVE_TO, has_sel},          {IDM_COPY_TO, has_sel},           {IDM_PACK_ONE, true},
                  {IDM_SFX, true},                 {IDM_TEST, in_archive},           {IDM_VIEW_DEFAULT, any_sel},
                  {IDM_WIZARD, true}};
    for (const auto& s : states) enable_command(menu, s.id, s.on);

    bool search = can_search();
    if (app.toolbar) {
        SendMessageW(app.toolbar, TB_HIDEBUTTON, IDM_FIND, MAKELPARAM(search ? FALSE : TRUE, 0));
        if (search) SendMessageW(app.toolbar, TB_ENABLEBUTTON, IDM_FIND, MAKELPARAM(TRUE, 0));
    }
    if (HMENU tools = app.tools_menu) {
        bool present = GetMenuState(tools, IDM_FIND, MF_BYCOMMAND) != static_cast<UINT>(-1);
        bool changed = false;
        if (!search && present) {
            RemoveMenu(tools, IDM_FIND, MF_BYCOMMAND);
            RemoveMenu(tools, 0, MF_BYPOSITION);  // the separator that followed it
            changed = true;
        } else if (search && !present) {
            InsertMenuW(tools, 0, MF_BYPOSITION | MF_STRING, IDM_FIND, L"查找(&F)...\tCtrl+F");
            InsertMenuW(tools, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
            changed = true;
        }
        if (changed && app.main_window) DrawMenuBar(app.main_window);
    }
}

std::wstring current_local_path() {
    if (app.local_subdir.empty()) return app.local_root;
    return app.local_root + L"\\" + app.local_subdir;
}

std::wstring parent_local_dir() {
    std::wstring s = app.local_root;
    while (s.size() > 3 && s.back() == L'\\') s.pop_back();
    if (s.empty()) return L"";
    size_t cut = s.rfind(L'\\');
    if (cut == std::wstring::npos || cut == 0) return L"";
    std::wstring parent = s.substr(0, cut);
    if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
    if (parent == s) return L"";
    DWORD attributes = GetFileAttributesW(parent.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"";
    return parent;
}

void apply_view_colors() {
    if (!app.theme.empty() && app.theme.find(L"蓝") != std::wstring::npos) {
        app.background_colour = 0xFAF2EB;
        app.text_colour = 0x372319;
    } else {
        app.background_colour = 0xFCFCFC;
        app.text_colour = 0x1E1E1E;
    }
    if (app.background_brush) DeleteObject(app.background_brush);
    app.background_brush = CreateSolidBrush(app.background_colour);
    if (app.tree_view) {
        SendMessageW(app.tree_view, TVM_SETBKCOLOR, 0, static_cast<LPARAM>(app.background_colour));
        SendMessageW(app.tree_view, TVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(app.text_colour));
    }
    if (app.list_view) {
        SendMessageW(app.list_view, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(app.background_colour));
        SendMessageW(app.list_view, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(app.text_colour));
        SendMessageW(app.list_view, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(app.background_colour));
    }
    if (app.main_window) RedrawWindow(app.main_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

LRESULT CALLBACK path_edit_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_KEYDOWN && wparam == VK_RETURN) {
        if (app.main_window) PostMessageW(app.main_window, WM_COMMAND, IDM_GO_PATH, 0);
        return 0;
    }
    // Enter would otherwise beep in a single-line edit.
    if (message == WM_CHAR && wparam == L'\r') return 0;
    if (!path_edit_previous) return DefWindowProcW(window, message, wparam, lparam);
    return CallWindowProcW(path_edit_previous, window, message, wparam, lparam);
}

void clear_path_combo() {
    if (!app.path_combo) return;
    LRESULT count = SendMessageW(app.path_combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT data = SendMessageW(app.path_combo, CB_GETITEMDATA, i, 0);
        if (data != CB_ERR && data != 0) delete reinterpret_cast<std::wstring*>(data);
        SendMessageW(app.path_combo, CB_SETITEMDATA, i, 0);
    }
    SendMessageW(app.path_combo, CB_RESETCONTENT, 0, 0);
}

void fill_path_combo() {
    if (!app.path_combo) return;
    clear_path_combo();
    if (app.fs_mode) {
        wchar_t drives[512] = {};
        DWORD n = GetLogicalDriveStringsW(511, drives);
        if (n > 0 && n < 512) {
            for (const wchar_t* d = drives; *d; d += wcslen(d) + 1) {
                std::wstring text = d;
                while (!text.empty() && text.back() == L'\\') text.pop_back();
                add_combo_item(text, d);
            }
            add_combo_item(L"---", L"");
        }
        add_combo_item(app.local_root, app.local_root);
        std::wstring so_far = app.local_root;
        for (const std::wstring& part : split_nonempty(app.local_subdir, L'\\')) {
            so_far += L"\\" + part;
            add_combo_item(so_far, so_far);
        }
        return;
    }
    if (!app.archive_loaded) return;
    std::wstring name = app.archive.path;
    size_t cut = name.rfind(L'\\');
    if (cut != std::wstring::npos) name = name.substr(cut + 1);
    add_combo_item(name.empty() ? L"(根目录)" : name, L"");
    std::wstring so_far;
    for (const std::wstring& part : split_nonempty(app.current_folder, L'\\')) {
        so_far = so_far.empty() ? part : so_far + L"\\" + part;
        add_combo_item(so_far, so_far);
    }
}

void on_path_combo_select() {
    if (!app.path_combo) return;
    LRESULT index = SendMessageW(app.path_combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    LRESULT data = SendMessageW(app.path_combo, CB_GETITEMDATA, index, 0);
    if (data == CB_ERR || data == 0) return;
    std::wstring target = *reinterpret_cast<std::wstring*>(data);
    if (target.empty()) return;
    if (app.fs_mode)
        open_local_folder(target);
    else if (app.archive_loaded)
        navigate_vdir(target);
}

std::wstring* list_row_path(HWND list, int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<std::wstring*>(item.lParam);
}

RECT window_rect_in_work_area(int width, int height, const RECT& work) {
    const int w = std::min(width, static_cast<int>(work.right - work.left));
    const int h = std::min(height, static_cast<int>(work.bottom - work.top));
    const int x = work.left + (work.right - work.left - w) / 2;
    const int y = work.top + (work.bottom - work.top - h) / 2;
    return RECT{x, y, x + w, y + h};
}

}  // namespace rezui
