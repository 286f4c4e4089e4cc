// The pack/extract progress dialog (resource 211).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

// Adds the sources to the pending pack list and runs the dialog unless it is showing.
void run_pack_dialog(HWND owner, const std::vector<std::wstring>& sources);
void run_extract_dialog(HWND owner, const std::wstring& archive, const std::wstring& destination);

}  // namespace rezui
