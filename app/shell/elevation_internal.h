// Shared by the shell-integration files and their tests, not by other callers.
#pragma once

#include <string>

namespace rezui {

// True when an integration step should hand its work to an elevated copy of the program.
bool should_rerun_elevated();

// A test process can neither drop its own elevation nor answer a "runas" prompt, so tests
// stand in for the token's answer and for the start of the elevated copy. nullptr puts
// the real ones back.
using ElevationProbe = bool (*)();
using ElevatedRunner = bool (*)(const std::wstring& arguments);
void set_elevation_hooks_for_tests(ElevationProbe probe, ElevatedRunner runner);

}  // namespace rezui
