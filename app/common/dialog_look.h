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

// Labels and check boxes that lie on a tab control's page: WM_CTLCOLORSTATIC and
// WM_CTLCOLORBTN answered with the page's own colour, opaque, so a label repaints its old
// text away and a check box shows no patch of the dialog's face on the page. False (nothing
// set) for a control outside the page.
bool tab_page_ctlcolor(HWND tabs, HDC dc, HWND control, INT_PTR* result);
// Fills the part of a dialog's background that a tab control's page covers with the page's
// colour, for controls that draw their background from the dialog's.
void fill_tab_page_background(HWND dialog, HWND tabs, HDC dc);

}  // namespace rezui
