// Two read-only boxes of the main window: the details of the selected entry and the
// information on the open archive with its statistics.
#pragma once

#include <string>

#include "archive/rez_model.h"

namespace rezui {

// Command 2032: nothing without an open archive.
void show_archive_info();
// Command 2033: nothing unless the first selected row is an entry of the open archive.
void show_entry_details();

// The texts of the two boxes (lines ended by a line feed; the last info line has none).
std::wstring entry_details_text(const rez::Entry& entry, const std::wstring& key);
std::wstring archive_info_text(const rez::RezFile& archive, const rez::Stats& stats);

}  // namespace rezui
