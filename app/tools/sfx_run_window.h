// The self-extract window of the main program (resource 209): shown at start-up when the
// program's own file carries an archive. It extracts on a detached worker that only posts
// to the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/tools/sfx_container.h"
#include "app/tools/sfx_progress.h"

namespace rezui {

// The payload the program entry read; set only while the window runs.
extern SfxPayload* g_sfx_payload;
// The open window, null otherwise; the worker's progress stops posting once it changes.
extern std::atomic<HWND> g_sfx_run_id;

constexpr UINT WM_SFX_WORKER_ITEM = WM_APP + 30;  // steps wait in the run's control
constexpr UINT WM_SFX_WORKER_DONE = WM_APP + 31;  // lParam SfxRunResult*

// Shared by the window and its worker: hold makes the worker wait at its next step while
// the user is asked whether to stop; stop ends the extraction there; progress carries the
// steps to the window.
struct SfxRunControl {
    std::atomic<bool> hold{false};
    std::atomic<bool> stop{false};
    SfxProgressBox progress;
};

struct SfxRunJob {
    std::wstring dest;
    std::wstring archive;
    SfxConfig config;
    HWND dialog = nullptr;
    std::shared_ptr<SfxRunControl> control;  // may be null: nothing stops or shows the run
};

constexpr wchar_t kSfxStopQuestion[] =
    L"正在解压文件。确定要停止解压并关闭吗？\n已解压完整的文件将保留，未写完的文件会被删除。";

struct SfxRunResult {
    bool ok = false;
    std::wstring error;
};

INT_PTR CALLBACK sfx_run_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Thread entry: runs the job, then frees it.
void sfx_run_thread(SfxRunJob* job);
void sfx_run_worker(SfxRunJob& job);
// Starts sfx_run_thread with the job on a detached thread; throws std::system_error when
// no thread starts (the job then stays the caller's). Replaceable, so that a failed start
// can be seen.
extern void (*sfx_start_run_thread)(SfxRunJob* job);

// Appends text and CR LF at the end of the window's log.
void append_edit_text(HWND dialog, const std::wstring& text);

}  // namespace rezui
