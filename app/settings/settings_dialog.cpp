#include "app/settings/settings_dialog.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/settings/settings.h"
#include "archive/rez_model.h"
#include "resources/resource.h"

namespace rezui {
namespace {

const int kMenuPage[] = {IDC_SET_CONTEXT_MENU,    IDC_SET_SHELLNEW,        IDC_SET_ASSOC_REZ,       IDC_SET_ASSOC_ZIP,
                         IDC_SET_ASSOC_7Z,        IDC_SET_CONTEXT_STATE,   IDC_SET_SHELLNEW_STATE,  IDC_SET_ASSOC_REZ_STATE,
                         IDC_SET_ASSOC_ZIP_STATE, IDC_SET_ASSOC_7Z_STATE,  IDC_SET_ASSOC_GROUP,     IDC_SET_APPLY};
const int kThemePage[] = {IDC_SET_THEME_LABEL, IDC_SET_THEME,     IDC_SET_DRAG_LABEL, IDC_SET_DRAG_FOLDER,
                          IDC_SET_BROWSE,      IDC_SET_UPPER_REZ, IDC_SET_UPPER_ZIP,  IDC_SET_UPPER_7Z,
                          IDC_SET_CLOSE_TO_TRAY, IDC_SET_SHOW_LOG};
const int kClassicChecks[] = {IDC_SET_UPPER_REZ, IDC_SET_UPPER_ZIP, IDC_SET_UPPER_7Z, IDC_SET_CLOSE_TO_TRAY,
                              IDC_SET_SHOW_LOG,  IDC_SET_CONTEXT_MENU, IDC_SET_SHELLNEW, IDC_SET_ASSOC_REZ,
                              IDC_SET_ASSOC_ZIP, IDC_SET_ASSOC_7Z};

struct FlagControl {
    int id;
    bool AppState::*field;
};
const FlagControl kFlags[] = {
    {IDC_SET_UPPER_REZ, &AppState::uppercase_rez}, {IDC_SET_UPPER_ZIP, &AppState::uppercase_zip},
    {IDC_SET_UPPER_7Z, &AppState::uppercase_7z},   {IDC_SET_CLOSE_TO_TRAY, &AppState::close_to_tray},
    {IDC_SET_SHOW_LOG, &AppState::show_log_box},
};

const wchar_t* const kThemes[] = {L"浅色", L"蓝色"};

template <size_t N>
void show_set(HWND dialog, const int (&ids)[N], bool show) {
    for (int id : ids) ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
}

void show_page(HWND dialog, int page) {
    show_set(dialog, kMenuPage, page == 0);
    show_set(dialog, kThemePage, page == 1);
}

// The record in force, as the settings file keeps it.
Settings settings_in_force() {
    Settings s;
    s.copyright = app.copyright;
    s.description = app.description;
    s.theme = app.theme;
    s.last_drag_out_folder = app.last_drag_out_folder;
    s.uppercase_rez = app.uppercase_rez;
    s.uppercase_zip = app.uppercase_zip;
    s.uppercase_7z = app.uppercase_7z;
    s.close_to_tray = app.close_to_tray;
    s.show_log_box = app.show_log_box;
    return s;
}

void fill_theme_list(HWND dialog) {
    HWND combo = GetDlgItem(dialog, IDC_SET_THEME);
    for (const wchar_t* theme : kThemes) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(theme));
    // An exact match: a hand-edited theme that is not in the list selects nothing.
    const LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(app.theme.c_str()));
    SendMessageW(combo, CB_SETCURSEL, index == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(index), 0);
}

BOOL on_init(HWND dialog) {
    HWND tabs = GetDlgItem(dialog, IDC_SET_TABS);
    const wchar_t* captions[] = {L"菜单系统", L"主题"};
    for (int i = 0; i < 2; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(captions[i]);
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    set_window_text(GetDlgItem(dialog, IDC_SET_DRAG_FOLDER), app.last_drag_out_folder);
    fill_theme_list(dialog);
    for (int id : kClassicChecks) switch_off_visual_style(GetDlgItem(dialog, id));
    for (const FlagControl& flag : kFlags) CheckDlgButton(dialog, flag.id, app.*flag.field ? BST_CHECKED : BST_UNCHECKED);
    refresh_integration_state(dialog);
    show_page(dialog, 0);
    // The labels draw on the dialog's own background, which a clipped dialog would not
    // repaint under them.
    SetWindowLongPtrW(dialog, GWL_STYLE, GetWindowLongPtrW(dialog, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CLIPCHILDREN));
    apply_dialog_look(dialog);
    return TRUE;
}

INT_PTR on_notify(HWND dialog, const NMHDR* header) {
    if (header->idFrom != IDC_SET_TABS || header->code != TCN_SELCHANGE) return 0;
    const int page = static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0));
    show_page(dialog, page);
    if (page == 0) refresh_integration_state(dialog);
    return 0;
}

std::wstring combo_text(HWND combo) {
    wchar_t text[64] = {};
    SendMessageW(combo, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    return text;
}


void save(HWND dialog) {
    apply_changed_integration(dialog);
    app.last_drag_out_folder = get_window_text(GetDlgItem(dialog, IDC_SET_DRAG_FOLDER));
    app.theme = combo_text(GetDlgItem(dialog, IDC_SET_THEME));
    for (const FlagControl& flag : kFlags) app.*flag.field = IsDlgButtonChecked(dialog, flag.id) == BST_CHECKED;
    // Jobs started from now on name new REZ entries by the new choice.
    rez::uppercase_rez_names = app.uppercase_rez;
    if (!save_settings(settings_in_force()))
        message_box(dialog,
                    L"设置未能写入设置文件：\r\n" + settings_path() +
                        L"\r\n\r\n新的设置在本次运行中有效；原有的设置文件保持不变，下次启动时仍使用原来的设置。",
                    L"错误", MB_OK | MB_ICONERROR);
    apply_view_colors();
    EndDialog(dialog, 1);
}

void browse(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择默认解压目录");
    if (!folder.empty()) set_window_text(GetDlgItem(dialog, IDC_SET_DRAG_FOLDER), folder);
}

void apply_and_tell(HWND dialog) {
    const bool ok = apply_shell_integration(dialog);
    message_box(dialog, ok ? L"右键菜单设置已应用。" : L"部分设置未成功，请确认是否以管理员运行。", L"完成",
                MB_OK | MB_ICONINFORMATION);
}

BOOL on_command(HWND dialog, WORD id) {
    switch (id) {
    case IDOK: save(dialog); return TRUE;
    case IDCANCEL: EndDialog(dialog, 0); return TRUE;
    case IDC_SET_BROWSE: browse(dialog); return TRUE;
    case IDC_SET_APPLY: apply_and_tell(dialog); return TRUE;
    default: return FALSE;
    }
}

// Labels and check boxes on the tab's page take the page's colour; elsewhere they draw
// straight on the dialog's face.
INT_PTR transparent_control(HWND dialog, WPARAM wparam, LPARAM lparam) {
    HDC dc = reinterpret_cast<HDC>(wparam);
    INT_PTR page = 0;
    if (tab_page_ctlcolor(GetDlgItem(dialog, IDC_SET_TABS), dc, reinterpret_cast<HWND>(lparam), &page)) return page;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

INT_PTR erase_background(HWND dialog, WPARAM wparam) {
    RECT rc{};
    GetClientRect(dialog, &rc);
    FillRect(reinterpret_cast<HDC>(wparam), &rc, GetSysColorBrush(COLOR_BTNFACE));
    fill_tab_page_background(dialog, GetDlgItem(dialog, IDC_SET_TABS), reinterpret_cast<HDC>(wparam));
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
    return TRUE;
}

}  // namespace

int show_settings(HWND owner) { return static_cast<int>(run_dialog(IDD_SETTINGS, owner, settings_proc)); }

INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: return transparent_control(dialog, wparam, lparam);
    case WM_ERASEBKGND: return erase_background(dialog, wparam);
    default: break;
    }
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG: return on_init(dialog);
    case WM_NOTIFY: return on_notify(dialog, reinterpret_cast<const NMHDR*>(lparam));
    case WM_COMMAND: return on_command(dialog, LOWORD(wparam));
    default: return FALSE;
    }
}

}  // namespace rezui
