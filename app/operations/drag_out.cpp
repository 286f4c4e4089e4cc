#include "app/operations/drag_out.h"

namespace rezui {

WNDPROC list_drag_previous = nullptr;

// Dragging out arrives later; the list behaves as a plain list view meanwhile.
LRESULT CALLBACK list_drag_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!list_drag_previous) return DefWindowProcW(window, message, wparam, lparam);
    return CallWindowProcW(list_drag_previous, window, message, wparam, lparam);
}

}  // namespace rezui
