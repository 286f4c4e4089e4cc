// Whole-archive jobs on a REZ archive: save and extract everything.
#pragma once

#include <string>

namespace rezui {

void save_archive();
void start_save(const std::wstring& path);
void extract_all();
void save_worker(const std::wstring& path);
void extract_all_worker(const std::wstring& folder);

}  // namespace rezui
