// Elevated maintenance verbs ("--elevate-...").
#pragma once

namespace rezui {

// -1 when argv[1] is none of the verbs; else 0 on success, 1 on failure.
int handle_elevate_command(int argc, wchar_t** argv);

}  // namespace rezui
