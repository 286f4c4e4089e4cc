// The runner's start: its own file's container, the window, the message loop and the exit
// code.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

constexpr wchar_t kRunnerCaption[] = L"自解压程序";
constexpr wchar_t kNoContainerText[] = L"这不是有效的自解压程序（未找到内嵌数据）。";
constexpr wchar_t kNoWindowText[] = L"无法创建自解压程序窗口。";

// Runs the self-extractor carried by program_file; the process exit code: 0 after a
// successful extraction that started no program, else 1.
int run_runner(HINSTANCE instance, int show_command, const std::wstring& program_file);

// The whole program: its own module file as program_file.
int run_hobbleton(HINSTANCE instance, int show_command);

}  // namespace rezui
