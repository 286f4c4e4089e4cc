// Jobs on an open ZIP or 7z archive (extraction, rewrites, password) and the password
// dialogue that comes before reading encrypted content. The browsing model is never edited
// by these jobs: each one reads the archive file, writes a new one beside it and moves it
// into place, and the main window then opens the archive again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/operations/zip_7z_rewrite.h"

namespace rezui {

// True when the list shows an archive (not a local folder), one is loaded, and its path's
// extension is zip or 7z.
bool is_zip_or_7z_open();

// Makes sure the held password reads the archive at path, asking for it (up to four
// prompts) when it does not. True to go on: the password works, the archive needs none or
// is not a ZIP/7z, or the user gave up with the prompt's Cancel, which sets the main
// window's cancel flag for the caller to test (the flag is cleared first, so only this
// question's answer is in it). False after a damaged archive or too many wrong answers,
// each explained in a message box.
bool ask_extract_password(HWND owner, const std::wstring& path);

// The members that the given archive paths of the open model stand for: a file's listed
// member name, a folder's member path. Entries that exist only in the model are left out.
void collect_selection(const std::vector<std::wstring>& keys, MemberSelection& selection);

// The files chosen in the system's multi-select open dialog (any number); empty on cancel.
std::vector<std::wstring> pick_files_to_add(HWND owner);
// Replaced by tests to script the choice.
extern std::vector<std::wstring> (*files_to_add_picker)(HWND owner);

void extract_zip_7z(const std::vector<std::wstring>& keys);
void delete_zip_7z();
void add_files_zip_7z();
void add_dir_zip_7z();
void set_archive_password(const std::wstring& new_password);

}  // namespace rezui
