#include "app/common/dialog_look.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "app/common/owner_buttons.h"

namespace rezui {

BOOL CALLBACK owner_draw_buttons_cb(HWND child, LPARAM) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"BUTTON") != 0) return TRUE;
    LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if ((style & 0x0F) > 1) return TRUE;
    // A default push button has bit 0x01 set and so keeps the system look.
    style = GetWindowLongPtrW(child, GWL_STYLE);
    if (!(style & 0x0B)) SetWindowLongPtrW(child, GWL_STYLE, style | 0x0B);
    button_states[child];
    SetWindowSubclass(child, button_hover_proc, 1, 0);
    return TRUE;
}

bool dialog_ctlcolor(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) {
    HDC dc = reinterpret_cast<HDC>(wparam);
    switch (message) {
    case WM_CTLCOLORDLG:
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        *result = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    case WM_CTLCOLORSTATIC:
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        *result = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    case WM_CTLCOLORBTN:
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        *result = reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        return true;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        *result = reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        return true;
    case WM_DRAWITEM:
        if (!draw_owner_button(nullptr, reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return false;
        *result = 1;
        return true;
    default:
        return false;
    }
}

namespace {

using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);

// Looked up once per process; a missing library or function is not looked for again.
SetWindowThemeFn set_window_theme() {
    static SetWindowThemeFn fn = [] {
        HMODULE lib = LoadLibraryW(L"uxtheme.dll");
        return lib ? reinterpret_cast<SetWindowThemeFn>(reinterpret_cast<void*>(GetProcAddress(lib, "SetWindowTheme")))
                   : nullptr;
    }();
    return fn;
}

}  // namespace

void switch_off_visual_style(HWND control) {
    if (SetWindowThemeFn theme = set_window_theme()) theme(control, L"", L"");
}

void apply_dialog_look(HWND dialog) {
    EnumChildWindows(dialog, owner_draw_buttons_cb, 0);
    if (HFONT font = app.ui_font) {
        SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        EnumChildWindows(dialog, set_font_recursive, reinterpret_cast<LPARAM>(font));
    }
}

}  // namespace rezui
