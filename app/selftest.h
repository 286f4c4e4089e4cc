// Headless navigation check run by "--selftest <archive>".
#pragma once

#include <string>

namespace rezui {

// The log file in the temporary folder.
std::wstring selftest_log_path();
void selftest_log_line(const std::wstring& log_path, const std::wstring& line);
// Opens the archive, walks REZ\BUTES and up three times; true when it ends beside the
// archive file. Shows no window and no message box.
bool run_selftest(const std::wstring& rez_path);

}  // namespace rezui
