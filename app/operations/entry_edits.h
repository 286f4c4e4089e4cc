// Edit commands on the open archive's entries: extract the selection, add files or a
// folder, replace, add-or-replace, remove, rename and new folder. A REZ archive (and the
// model of a ZIP or 7z archive, for the commands that have no ZIP/7z job) is edited in
// memory on the user-interface thread and then autosaved.
#pragma once

#include <string>

namespace rezui {

void extract_selected();
void add_files();
void add_folder();
void replace_entry();
void add_or_replace_files();
void remove_selected();
void rename_entry();
void new_folder();
// Moves or copies the selected entries into a folder chosen in the picker, then autosaves.
void move_or_copy_selected(bool move);

// While a job owns the archive: says so in the log and the status bar and returns true.
bool refused_while_busy();

// A name that stays one entry wherever it is written out: not empty, no "\", "/" or ":",
// and not one Windows reads as "." or ".." (dots and spaces only).
bool is_plain_entry_name(const std::wstring& name);

// Makes a folder chain in the open model (an existing folder is reused) and returns its
// path as stored. In a ZIP/7z model each new folder also gets its path inside the archive.
std::wstring create_model_folder(const std::wstring& path);

}  // namespace rezui
