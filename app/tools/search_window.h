// The modeless search window (resource 201): three tabs that search the open archive, a
// list of imported REZ files and every REZ file under a folder, with jumps to a hit in the
// main window and unpacking of hits.
#pragma once

#include <windows.h>

namespace rezui {

// Shows the existing search window or creates it (it becomes the current modeless dialog).
void show_search_window(HWND owner);
INT_PTR CALLBACK search_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace rezui
