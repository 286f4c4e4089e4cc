// The common look of every dialog: themed push buttons and fixed system colours.
// Each dialog procedure offers every message to dialog_ctlcolor first and, at WM_INITDIALOG,
// calls apply_dialog_look (owner-drawn buttons, then the UI font on every descendant).
#pragma once

#include <windows.h>

namespace rezui {

BOOL CALLBACK owner_draw_buttons_cb(HWND child, LPARAM);
bool dialog_ctlcolor(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result);
// The WM_INITDIALOG step: EnumChildWindows with owner_draw_buttons_cb, then the UI font.
void apply_dialog_look(HWND dialog);
// Gives a control the classic look (SetWindowTheme with two empty strings), so check boxes
// draw their text in the colour the dialog sets. Does nothing where visual styles are missing.
void switch_off_visual_style(HWND control);

}  // namespace rezui
