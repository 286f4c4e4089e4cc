// Push buttons drawn by the program: rounded gradient body, shadow, border and centred text
// in a colour chosen from the caption, with hover, pressed, focus and disabled looks.
#pragma once

#include <windows.h>

#include <map>

namespace rezui {

struct ButtonState {
    bool hot = false;      // the mouse is over the button
    bool pressed = false;  // the left button is held on it
};

// Entry created when the hover procedure first sees the button, erased when it is destroyed.
extern std::map<HWND, ButtonState> button_states;

// Base colour of a caption ("暂停", "继续", "停止", "清空日志" have their own).
COLORREF button_base_colour(const wchar_t* caption);
// Corner radius by button height.
int button_corner_radius(int height);

struct ButtonColours {
    COLORREF text, top, bottom, border;
    bool shadow;
};
// The colours paint_button uses for one state (disabled wins, then pressed, then hot).
ButtonColours button_colours(COLORREF base, bool enabled, bool hot, bool pressed);

// Draws the item when it is an owner-drawn button; false (nothing drawn) otherwise.
bool draw_owner_button(HWND window, const DRAWITEMSTRUCT* dis);
void paint_button(HDC dc, const RECT& rc, const wchar_t* text, bool enabled, bool hot, bool pressed, bool focus,
                  COLORREF base);
void paint_gradient_round_rect(HDC dc, int x, int y, int w, int h, COLORREF top, COLORREF bottom, int r);

// Subclass procedures: id 1 on every owner-drawn push button, id 2 on the task-button panel.
LRESULT CALLBACK button_hover_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                   DWORD_PTR ref);
LRESULT CALLBACK button_host_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                  DWORD_PTR ref);

// EnumChildWindows callback: WM_SETFONT (no redraw) to the window and all its descendants.
BOOL CALLBACK set_font_recursive(HWND window, LPARAM font);

}  // namespace rezui
