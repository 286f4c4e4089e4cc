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
// Whether a temporary entry is a leftover of an earlier run: a work folder of a job
// ("qvl_<tag>_<pid>" or "qvl_<tag>_<pid>_<n>": drag-out, pack drop, conversion, wizard,
// autosave) or a self-extract archive ("rez_sfx_<pid>.rez") whose owning process is not
// running any more.
bool is_stale_temp_name(const std::wstring& name);
bool process_is_running(DWORD pid);
// Removes the leftovers from folder (the temporary folder when empty), and the temporary
// files beside users' files that the notes of ended runs name ("qvl_tmpnote_<pid>_<n>.txt");
// stops at the first folder it cannot remove.
void cleanup_stale_temp(const std::wstring& folder = L"");

struct CommandLine;
// The single-instance rule. Returns the owned mutex of the instance this process is now,
// or null with handed_over set when the command line went to the running instance. A
// start that finds the mutex taken waits for that instance's window (it may still be
// starting) or for the mutex (it may be closing); two starts at once never both run.
HANDLE take_single_instance(const CommandLine& cl, bool& handed_over);

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
