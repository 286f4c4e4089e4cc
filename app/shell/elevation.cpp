#include "app/shell/elevation.h"

namespace rezui {

// No elevated verb is known yet, so every command line goes on to the normal start.
int handle_elevate_command(int, wchar_t**) { return -1; }

}  // namespace rezui
