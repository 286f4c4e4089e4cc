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

namespace {

// The page of a tab control, in the coordinates of the control.
RECT tab_page_rect(HWND tabs) {
    RECT page{};
    GetClientRect(tabs, &page);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    return page;
}

// The colour the control paints its page with: white under the visual style, the face
// colour without one. Read from its own painting, once per control.
COLORREF tab_page_colour(HWND tabs) {
    static HWND last_tabs = nullptr;
    static COLORREF last_colour = 0;
    if (tabs == last_tabs) return last_colour;
    COLORREF colour = GetSysColor(COLOR_BTNFACE);
    RECT client{};
    GetClientRect(tabs, &client);
    const RECT page = tab_page_rect(tabs);
    if (client.right > 0 && client.bottom > 0 && page.right > page.left + 8 && page.bottom > page.top + 8) {
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
        ReleaseDC(nullptr, screen);
        if (mem && bitmap) {
            HGDIOBJ old = SelectObject(mem, bitmap);
            FillRect(mem, &client, GetSysColorBrush(COLOR_BTNFACE));
            SendMessageW(tabs, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT | PRF_ERASEBKGND);
            const COLORREF seen = GetPixel(mem, (page.left + page.right) / 2, page.top + 4);
            if (seen != CLR_INVALID) colour = seen;
            SelectObject(mem, old);
        }
        if (bitmap) DeleteObject(bitmap);
        if (mem) DeleteDC(mem);
    }
    last_tabs = tabs;
    last_colour = colour;
    return colour;
}

HBRUSH page_brush(COLORREF colour) {
    static COLORREF brush_colour = CLR_INVALID;
    static HBRUSH brush = nullptr;
    if (!brush || colour != brush_colour) {
        if (brush) DeleteObject(brush);
        brush = CreateSolidBrush(colour);
        brush_colour = colour;
    }
    return brush;
}

// The page in the coordinates of another window (the dialog, or a control on it).
RECT tab_page_in(HWND tabs, HWND window) {
    RECT page = tab_page_rect(tabs);
    MapWindowPoints(tabs, window, reinterpret_cast<POINT*>(&page), 2);
    return page;
}

}  // namespace

bool tab_page_ctlcolor(HWND tabs, HDC dc, HWND control, INT_PTR* result) {
    if (!tabs || !control || !IsWindowVisible(tabs)) return false;
    RECT rc{};
    GetWindowRect(control, &rc);
    MapWindowPoints(nullptr, tabs, reinterpret_cast<POINT*>(&rc), 2);
    const RECT page = tab_page_rect(tabs);
    if (rc.left < page.left || rc.top < page.top || rc.right > page.right || rc.bottom > page.bottom) return false;
    const COLORREF colour = tab_page_colour(tabs);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, colour);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    *result = reinterpret_cast<INT_PTR>(page_brush(colour));
    return true;
}

void fill_tab_page_background(HWND dialog, HWND tabs, HDC dc) {
    if (!tabs || !IsWindowVisible(tabs)) return;
    const RECT page = tab_page_in(tabs, dialog);
    FillRect(dc, &page, page_brush(tab_page_colour(tabs)));
}

}  // namespace rezui
