// The self-extractor builder (resource 206) and its picker of a file inside the archive open
// in the main window (resource 210).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace rezui {

// Runs the builder modally; 1 after a build, 0 when cancelled.
INT_PTR show_sfx_builder(HWND owner);
INT_PTR CALLBACK sfx_builder_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK sfx_pick_entry_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The background image chosen for the next build; every opening of the builder starts
// without one.
extern std::wstring sfx_background_path;
// Where the picker puts its choice; null while no picker runs.
extern std::wstring* sfx_pick_result;

// Standard Base64 with "=" padding and no line breaks.
std::string base64_encode(const uint8_t* data, size_t size);
// The output a build writes to: the field's text, or beside the host program as
// "<host without extension>_sfx.exe" when it is empty; ".exe" added when missing.
std::wstring sfx_output_path(const std::wstring& output_field, const std::wstring& host);

}  // namespace rezui
