// Process start-up and the message loop: OLE and common controls, the UI font, removal of
// stale temporary files, the single-instance rule, the self-extract check, the main window,
// and then the self-test or the message loop.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

void load_ui_font();
void unload_ui_font();

// The platform's temporary folder with a trailing "\" ("C:\Windows\Temp\" as fallback).
std::wstring temp_folder();
// Whether a temporary entry is a leftover of an earlier run: a drag-out folder
// ("qvl_dragout_...") or a self-extract archive ("rez_sfx_....rez") whose owning process,
// named by the number in it, is not running any more.
bool is_stale_temp_name(const std::wstring& name);
bool process_is_running(DWORD pid);
// Removes the leftovers from folder (the temporary folder when empty); stops at the first
// error.
void cleanup_stale_temp(const std::wstring& folder = L"");

// True when the main window's accelerator table may see this key: keys typed into an edit
// field (Backspace, Delete, F2, Ctrl+A/C/V/X/Z) and everything typed into the modeless
// search window stay with their control.
bool accelerator_allowed(HWND target, UINT message, WPARAM key, bool ctrl_down);
// Offers one message to the accelerators and the modeless dialog; false when neither took it.
bool pre_translate_message(MSG& msg);
// Runs until WM_QUIT.
void run_message_loop();

// The whole start of the program; returns the process exit code.
int run_quarvel(HINSTANCE instance, int show_command);

}  // namespace rezui
