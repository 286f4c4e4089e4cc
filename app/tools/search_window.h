// The modeless search window (resource 201).
#pragma once

#include <windows.h>

namespace rezui {

void show_search_window(HWND owner);

}  // namespace rezui
