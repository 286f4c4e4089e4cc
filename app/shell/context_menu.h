// The cascading Explorer context menu and the "New" menu entry for REZ archives.
// Registry writes go straight to HKCR; nothing here shows a message, and only
// uninstall_pack_verbs asks for elevation itself.
#pragma once

#include <string>

namespace rezui {

bool install_menu_subcommands();
void remove_menu_subcommands();
// class_key is "*", "Directory" or "Directory\\Background".
bool install_cascade_menu(const std::wstring& class_key);
void remove_cascade_menu(const std::wstring& class_key);
bool install_context_menus();
bool uninstall_context_menus();  // always true
bool uninstall_pack_verbs();

// The program's directory without a trailing backslash; empty when unknown.
std::wstring module_directory();
// Writes the 168-byte empty-archive template "template.tao" beside the program.
bool write_shellnew_template(std::wstring& path_out);
bool install_shellnew();
bool uninstall_shellnew();  // always true

bool is_context_menu_installed();  // looks at the "*" class only
bool is_shellnew_installed();

}  // namespace rezui
