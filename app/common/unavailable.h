// Operations that a later version of the program provides log that they are not there yet.
#pragma once

#include <string>

namespace rezui {

// Logs "<what> 尚未提供" and shows it in the status bar.
void report_unavailable(const std::wstring& what);

}  // namespace rezui
