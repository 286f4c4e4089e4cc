// Format conversion dialog (resource 203): a list of archives converted one after the other
// by a detached worker (convert_job.h), with pause and stop between sources.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

void show_convert_for_file(HWND owner, const std::wstring& path);
void show_convert_for_list(HWND owner, const std::vector<std::wstring>& paths);

INT_PTR CALLBACK convert_proc_v2(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// Appends one row for path and path to the open dialog's source list.
void add_convert_sources(HWND list, const std::wstring& path);

}  // namespace rezui
