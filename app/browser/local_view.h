// Small file manager over the real folder the list shows, and going up one level in
// both browsing modes.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

// Copies a folder into dest with the shell (no questions, undo kept).
void copy_folder_into(HWND owner, const std::wstring& source, const std::wstring& dest);

void go_up();
void view_with_default_program();
void delete_local_items(HWND owner);
void rename_local_item(HWND owner);
void new_local_folder(HWND owner);
void copy_to_clipboard(HWND owner);
void paste_from_clipboard(HWND owner);
// command: 2063 desktop, 2064 documents, anything else asks for a folder.
void send_to_folder(HWND owner, UINT command);
void show_in_explorer(HWND owner);

}  // namespace rezui
