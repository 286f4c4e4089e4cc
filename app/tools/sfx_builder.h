// The self-extractor builder (resource 206).
#pragma once

#include <windows.h>

namespace rezui {

void show_sfx_builder(HWND owner);

}  // namespace rezui
