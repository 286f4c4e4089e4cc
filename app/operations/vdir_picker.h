// Picker of a folder inside the open archive (resource 208).
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

// True with destination set (empty = root) when the user chose a folder.
bool pick_virtual_dir(HWND owner, std::wstring& destination);

}  // namespace rezui
