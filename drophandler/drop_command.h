// The command line a drop turns into, and starting the main program with it.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace rezui {

// Longest parameter text handed to the main program: CreateProcess takes at most 32767
// characters for the whole command line, the program's own path included.
constexpr size_t kMaxDropParameters = 30000;
// Dropped names this long or longer are not passed.
constexpr UINT kMaxDroppedName = 1024;

struct DropCommand {
    std::wstring parameters;  // " --add-to-rez" and the quoted target and names
    size_t passed = 0;        // dropped names in the parameters
    size_t left_out = 0;      // dropped names that did not fit or were too long
};

// The path between double quotes, its trailing backslashes doubled so that the closing
// quote still ends the argument when the program splits its command line.
std::wstring quote_path(const std::wstring& path);
DropCommand build_drop_command(const std::wstring& target, HDROP drop);
// Quarvel.exe from this library's folder; nothing waits for it.
void start_main_program(const std::wstring& parameters);
// Tells the user, without holding up the shell, that some dropped files were not passed on.
void report_left_out(const std::wstring& target, const DropCommand& command);

}  // namespace rezui
