// Jobs on an open ZIP or 7z archive (extraction, rewrites, password). Only the archive-kind
// test is available so far; the jobs themselves report that they are not available yet.
#pragma once

#include <string>
#include <vector>

namespace rezui {

// True when the list shows an archive (not a local folder), one is loaded, and its path's
// extension is zip or 7z.
bool is_zip_or_7z_open();

void extract_zip_7z(const std::vector<std::wstring>& keys);
void delete_zip_7z();
void add_files_zip_7z();
void add_dir_zip_7z();
void set_archive_password(const std::wstring& new_password);

}  // namespace rezui
