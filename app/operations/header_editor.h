// The REZ header editor (resource 213): the signature text and the user title of a REZ
// file's header, patched in place on disk.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

// The modal editor for a path whose extension is rez (any case); otherwise a warning that
// only REZ files can be edited.
void edit_rez_header(HWND owner, const std::wstring& path);
// The dialog procedure; its creation parameter is the file path's characters.
INT_PTR CALLBACK header_editor_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// "长度：N / 60", N counting UTF-16 units as the edit shows them.
std::wstring header_counter_text(size_t length);
// True when both paths name the same file on disk (or, when either cannot be opened, the
// same full path regardless of case).
bool same_file(const std::wstring& a, const std::wstring& b);

}  // namespace rezui
