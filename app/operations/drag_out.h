// Dragging entries out of the list into Explorer.
#pragma once

#include <windows.h>

namespace rezui {

// The list view's previous window procedure, kept when it is subclassed.
extern WNDPROC list_drag_previous;
LRESULT CALLBACK list_drag_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace rezui
