#include "app/shell/elevation.h"

namespace rezui {

bool is_elevated() { return false; }
bool run_elevated(const std::wstring&) { return false; }
bool apply_integration_mask(int) { return false; }
bool install_associations_elevated() { return false; }
bool uninstall_associations_elevated() { return false; }
bool install_context_menu_elevated(const std::wstring&) { return false; }
bool uninstall_context_menu_elevated(const std::wstring&) { return false; }

// No elevated verb is handled yet, so every command line goes on to the normal start.
int handle_elevate_command(int, wchar_t**) { return -1; }

}  // namespace rezui
