// Small registry steps shared by the Explorer-integration files. Each opens and closes
// its own key, so a failed step never leaves a handle behind or stops the next one.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

// Creates the key when needed and writes one REG_SZ value (NUL counted in the size).
bool reg_write_string(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& data);
// Reads one REG_SZ value into a 1024-byte buffer; any other type counts as unreadable.
bool reg_read_string(HKEY root, const std::wstring& subkey, const std::wstring& name, std::wstring& out);
// Removes the key with everything below it; a missing key is no error.
void reg_delete_tree(HKEY root, const std::wstring& subkey);
void reg_delete_value(HKEY root, const std::wstring& subkey, const std::wstring& name);
bool reg_key_exists(HKEY root, const std::wstring& subkey);

// Tells Explorer that associations and verbs changed so it drops its cached menus.
void notify_shell_assoc_changed();

}  // namespace rezui
