// Jobs on an open ZIP or 7z archive (extraction, rewrites, password) and the password
// dialogue that comes before reading encrypted content. The jobs themselves are not built
// yet and report that they are not available.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

// True when the list shows an archive (not a local folder), one is loaded, and its path's
// extension is zip or 7z.
bool is_zip_or_7z_open();

// Makes sure the held password reads the archive at path, asking for it (up to four
// prompts) when it does not. True to go on: the password works, the archive needs none or
// is not a ZIP/7z, or the user gave up with the prompt's Cancel, which sets the main
// window's cancel flag for the caller to test. False after a damaged archive or too many
// wrong answers, each explained in a message box.
bool ask_extract_password(HWND owner, const std::wstring& path);

void extract_zip_7z(const std::vector<std::wstring>& keys);
void delete_zip_7z();
void add_files_zip_7z();
void add_dir_zip_7z();
void set_archive_password(const std::wstring& new_password);

}  // namespace rezui
