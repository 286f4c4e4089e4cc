// The extraction the runner window starts: a detached thread extracts the temporary
// archive into the chosen folder, makes the desktop shortcut and starts the program the
// settings name; the window then shows the outcome.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/tools/sfx_container.h"

namespace rezui {

// Starts the thread that runs body; throws std::system_error when it cannot (the
// standard library's way). Tests put a failing one in its place.
using ThreadLauncher = void (*)(std::function<void()> body);
extern ThreadLauncher runner_thread_launcher;
void launch_detached_thread(std::function<void()> body);

// Main button on the folder or ready page: takes the folder and the shortcut choice and
// starts the thread.
void start_extraction(HWND window);
// WM_RUNNER_PROGRESS: the steps since the last one shown, on the progress bar, the status
// line and in the log.
void on_extraction_progress();
// WM_RUNNER_DONE: the finished or failed state, or closing after the program was started
// or after the user stopped the extraction to close.
void on_extraction_done(HWND window);

constexpr wchar_t kStopQuestion[] =
    L"正在解压文件。确定要停止解压并退出吗？\n已解压完整的文件将保留，未写完的文件会被删除。";
// WM_CLOSE (the close box, Alt+F4): closes at once when nothing is extracting; else asks,
// and on yes stops the extraction and closes when it has ended.
void request_close(HWND window);

// The desktop shortcut after an extraction into dest, when the settings ask for one; its
// outcome is not reported.
void create_result_shortcut(const std::wstring& dest, const SfxConfig& config);

}  // namespace rezui
