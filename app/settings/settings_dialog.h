// The settings dialog (resource 204): page 0 switches the Explorer integration on and off,
// page 1 edits the settings record, which Save writes to the settings file.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

// 1 after a save, 0 after a cancel.
int show_settings(HWND owner);
INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Applies the five integration check boxes and shows the registry's state afterwards;
// false when the elevation was declined or an item failed.
bool apply_shell_integration(HWND dialog);
// The same for the check boxes whose state differs from the registry's; nothing else is
// touched, and with no difference nothing runs.
bool apply_changed_integration(HWND dialog);
// Sets a label's text and repaints the dialog behind it: the labels draw no background, so
// the old text would otherwise stay visible under the new one.
void set_label_text(HWND dialog, int control_id, const wchar_t* text);
// Reads the installed state of the five items into their check boxes and labels.
void refresh_integration_state(HWND dialog);

// How an integration mask reaches the registry: in this process when it is elevated, else
// through an elevated copy of the program that the call waits for. Tests put a recorder
// here, since an elevated copy of a test program would run its tests.
// `touch` names the items to apply (the integration bits); the others are left as they are.
extern bool (*integration_apply)(int mask, int touch);
bool apply_integration_as_needed(int mask, int touch);

}  // namespace rezui
