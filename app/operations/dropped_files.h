// Files dropped on the main window and the work handed over by a second start.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace rezui {

void on_drop_files(HWND window, HDROP drop);
// Adds the archive to the pending conversion list and (re)arms the batch timer.
void queue_archive_for_batch(HWND window, const std::wstring& path);
void extract_here(HWND window, const std::wstring& path);
void start_add_dropped(HWND window, const std::wstring& target, const std::vector<std::wstring>& files);

}  // namespace rezui
