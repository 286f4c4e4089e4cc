// The library's process-wide state: its module handle and the counts that decide whether
// COM may unload it.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

// {8B4A5C33-6E2D-4E08-9F1A-2C7B0D9E5A41}: the one class served, as the main program registers it.
extern const CLSID CLSID_LumbrelTarget;

HMODULE lumbrel_module();
// Every live target and factory holds one count, and so does each running report; LockServer
// holds the other. DllCanUnloadNow answers S_OK only when both are zero.
void module_add_object();
void module_release_object();
void module_lock(bool lock);

// The library's folder with its trailing "\"; empty when the path cannot be had.
std::wstring module_directory();

}  // namespace rezui
