// The runner's one top-level window: its class, its procedure and its creation.
#pragma once

#include <windows.h>

namespace rezui {

LRESULT CALLBACK runner_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Registers the class (once per process) and creates the window for the layout in the
// state, with its controls; null when either step fails.
HWND create_runner_window(int show_command);

}  // namespace rezui
