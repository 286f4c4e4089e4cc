#include "app/shell/context_menu.h"

namespace rezui {

bool install_menu_subcommands() { return false; }
void remove_menu_subcommands() {}
bool install_cascade_menu(const std::wstring&) { return false; }
void remove_cascade_menu(const std::wstring&) {}
bool install_context_menus() { return false; }
bool uninstall_context_menus() { return true; }
bool uninstall_pack_verbs() { return true; }
std::wstring module_directory() { return {}; }
bool write_shellnew_template(std::wstring&) { return false; }
bool install_shellnew() { return false; }
bool uninstall_shellnew() { return true; }
bool is_context_menu_installed() { return false; }
bool is_shellnew_installed() { return false; }

}  // namespace rezui
