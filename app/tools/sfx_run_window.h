// The self-extract window of the main program (resource 209).
#pragma once

#include <windows.h>

#include "app/tools/sfx_container.h"

namespace rezui {

extern SfxPayload* g_sfx_payload;
extern UINT_PTR g_sfx_run_id;

INT_PTR CALLBACK sfx_run_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace rezui
