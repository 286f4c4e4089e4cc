// Format conversion between REZ and ZIP/7z (resource 203).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

void show_convert_for_file(HWND owner, const std::wstring& path);
void show_convert_for_list(HWND owner, const std::vector<std::wstring>& paths);

}  // namespace rezui
