// Entry details and archive information.
#pragma once

namespace rezui {

void show_archive_info();
void show_entry_details();

}  // namespace rezui
