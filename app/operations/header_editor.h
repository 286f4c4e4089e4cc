// The REZ header editor (resource 213).
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

void edit_rez_header(HWND owner, const std::wstring& path);

}  // namespace rezui
