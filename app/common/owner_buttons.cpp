#include "app/common/owner_buttons.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace rezui {

std::map<HWND, ButtonState> button_states;

namespace {

COLORREF lighten(COLORREF c, double f) {
    auto ch = [f](int v) { return static_cast<int>(v + (255 - v) * f); };
    return RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
}

COLORREF darken(COLORREF c, double f) {
    auto ch = [f](int v) { return static_cast<int>(v - v * f); };
    return RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
}

void redraw_now(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }

}  // namespace

COLORREF button_base_colour(const wchar_t* caption) {
    if (!caption) return 0xECE5E1;
    if (wcscmp(caption, L"暂停") == 0) return 0x66D6FF;
    if (wcscmp(caption, L"继续") == 0) return 0xA0DC8C;
    if (wcscmp(caption, L"停止") == 0) return 0x9696F5;
    if (wcscmp(caption, L"清空日志") == 0) return 0xF5C8AA;
    return 0xECE5E1;
}

int button_corner_radius(int height) {
    if (height < 23) return 4;
    if (height < 32) return 5;
    return 6;
}

ButtonColours button_colours(COLORREF base, bool enabled, bool hot, bool pressed) {
    if (!enabled) return {0xA0A0A0, 0xF5F5F5, 0xECECEC, 0xD2D2D2, false};
    if (pressed) return {0x1E1E1E, darken(base, 0.18), darken(base, 0.06), darken(base, 0.30), false};
    if (hot) return {0x141414, lighten(base, 0.08), base, darken(base, 0.20), true};
    return {0x1E1E1E, lighten(base, 0.22), base, darken(base, 0.18), true};
}

bool draw_owner_button(HWND, const DRAWITEMSTRUCT* dis) {
    if (!dis || dis->CtlType != ODT_BUTTON) return false;
    HWND button = dis->hwndItem;
    wchar_t text[512] = {};
    GetWindowTextW(button, text, 512);
    bool enabled = IsWindowEnabled(button) != FALSE;
    bool pressed = (dis->itemState & ODS_SELECTED) != 0;
    bool hot = false;
    auto it = button_states.find(button);
    if (it != button_states.end()) {
        pressed = pressed || it->second.pressed;
        hot = it->second.hot;
    }
    bool focus = (dis->itemState & ODS_FOCUS) != 0;
    paint_button(dis->hDC, dis->rcItem, text, enabled, hot, pressed, focus, button_base_colour(text));
    return true;
}

void paint_gradient_round_rect(HDC dc, int x, int y, int w, int h, COLORREF top, COLORREF bottom, int r) {
    if (w <= 0 || h <= 0) return;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return;
    HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
    if (!bitmap) {
        DeleteDC(mem);
        return;
    }
    HGDIOBJ old_bitmap = SelectObject(mem, bitmap);
    TRIVERTEX v[2] = {};
    v[0].x = 0;
    v[0].y = 0;
    v[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
    v[0].Alpha = 0xFF00;
    v[1].x = w;
    v[1].y = h;
    v[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
    v[1].Alpha = 0xFF00;
    GRADIENT_RECT gr = {0, 1};
    GradientFill(mem, v, 2, &gr, 1, GRADIENT_FILL_RECT_V);
    // The clip region is in device coordinates of the target.
    POINT origin = {x, y};
    LPtoDP(dc, &origin, 1);
    HRGN round = CreateRoundRectRgn(origin.x, origin.y, origin.x + w, origin.y + h, 2 * r, 2 * r);
    HRGN box = CreateRectRgn(origin.x, origin.y, origin.x + w, origin.y + h);
    if (round && box) CombineRgn(round, round, box, RGN_AND);
    SelectClipRgn(dc, round);
    BitBlt(dc, x, y, w, h, mem, 0, 0, SRCCOPY);
    SelectClipRgn(dc, nullptr);
    if (round) DeleteObject(round);
    if (box) DeleteObject(box);
    SelectObject(mem, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(mem);
}

void paint_button(HDC dc, const RECT& rc, const wchar_t* text, bool enabled, bool hot, bool pressed, bool focus,
                  COLORREF base) {
    int w = rc.right - rc.left;
    int h = rc.bottom - rc.top;
    int r = button_corner_radius(h);
    ButtonColours c = button_colours(base, enabled, hot, pressed);
    // The rounded face leaves the corners to whatever the button's surface held: after a
    // resize or on a fresh window that is black. Every host of these buttons has the face
    // colour behind them.
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    if (c.shadow) {
        int d = 2 * std::min({h / 2, r, w / 2});
        HRGN shadow = CreateRoundRectRgn(rc.left + 1, rc.top + 1, rc.left + 1 + w, rc.top + 1 + h, d, d);
        HBRUSH brush = CreateSolidBrush(0xD2CBC8);
        if (shadow && brush) FillRgn(dc, shadow, brush);
        if (brush) DeleteObject(brush);
        if (shadow) DeleteObject(shadow);
    }
    paint_gradient_round_rect(dc, rc.left, rc.top, w, h, c.top, c.bottom, r);

    HPEN pen = CreatePen(PS_SOLID, 1, c.border);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, rc.left, rc.top, rc.right - 1, rc.bottom - 1, 2 * r, 2 * r);
    SelectObject(dc, old_pen);
    DeleteObject(pen);
    if (focus && enabled) {
        HPEN dotted = CreatePen(PS_DOT, 1, 0xDC825A);
        old_pen = SelectObject(dc, dotted);
        RoundRect(dc, rc.left + 3, rc.top + 3, rc.right - 3, rc.bottom - 3, 2 * r - 2, 2 * r - 2);
        SelectObject(dc, old_pen);
        DeleteObject(dotted);
    }
    SelectObject(dc, old_brush);

    if (text && *text) {
        HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        int old_mode = SetBkMode(dc, TRANSPARENT);
        COLORREF old_colour = SetTextColor(dc, c.text);
        RECT tr = rc;
        if (pressed && enabled) {
            tr.left += 1;
            tr.top += 1;
        }
        DrawTextW(dc, text, -1, &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, old_colour);
        SetBkMode(dc, old_mode);
        SelectObject(dc, old_font);
    }
}

LRESULT CALLBACK button_hover_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                   DWORD_PTR) {
    ButtonState& state = button_states[window];
    switch (message) {
    case WM_MOUSEMOVE:
        if (!state.hot) {
            state.hot = true;
            TRACKMOUSEEVENT tme = {};
            tme.cbSize = sizeof(tme);
            tme.dwFlags = TME_LEAVE;
            tme.hwndTrack = window;
            tme.dwHoverTime = HOVER_DEFAULT;
            TrackMouseEvent(&tme);
            redraw_now(window);
        }
        break;
    case WM_MOUSELEAVE:
        state.hot = false;
        redraw_now(window);
        break;
    case WM_LBUTTONDOWN:
        state.pressed = true;
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_LBUTTONUP:
        state.pressed = false;
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_ENABLE:
        InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_NCDESTROY:
        button_states.erase(window);
        RemoveWindowSubclass(window, button_hover_proc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wparam, lparam);
}

LRESULT CALLBACK button_host_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                  DWORD_PTR) {
    switch (message) {
    case WM_DRAWITEM:
        if (draw_owner_button(window, reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return TRUE;
        break;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(window, &rc);
        FillRect(reinterpret_cast<HDC>(wparam), &rc, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_COMMAND:
        SendMessageW(GetParent(window), WM_COMMAND, wparam, lparam);
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, button_host_proc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wparam, lparam);
}

BOOL CALLBACK set_font_recursive(HWND window, LPARAM font) {
    SendMessageW(window, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    EnumChildWindows(window, set_font_recursive, font);
    return TRUE;
}

}  // namespace rezui
