// Edit commands on the open archive's entries.
#pragma once

namespace rezui {

void extract_selected();
void add_files();
void add_folder();
void replace_entry();
void add_or_replace_files();
void remove_selected();
void rename_entry();
void new_folder();

}  // namespace rezui
