// The pack/extract wizard (resource 202).
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

void show_wizard(HWND owner, const std::wstring& path);

}  // namespace rezui
