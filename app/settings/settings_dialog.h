// The settings dialog (resource 204).
#pragma once

#include <windows.h>

namespace rezui {

void show_settings(HWND owner);

}  // namespace rezui
