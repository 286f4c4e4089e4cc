// How a long task shows itself in the main window: the time-stamped log, the progress bar
// and its text, the busy state with Pause/Resume/Stop, the progress relay that workers
// call, and a runner that keeps the UI thread pumping while a job runs on its own thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace rezui {

// UI thread (also the run_with_pump job thread: its messages are delivered by the pump).
// Nothing happens while the log box does not exist.
void append_log(const std::wstring& text);
// Restores a hidden (non-headless) window and flashes it.
void notify_task_done();
// percent is clamped to 0..100; the text goes to the progress text control.
void set_progress(int percent, const std::wstring& text);
void set_progress_marquee(bool on);
void begin_busy();
void end_busy();
// The task buttons: Pause and Resume swap which of the two is enabled; Stop asks the job
// to end (a paused job is let go so it can see the request).
void pause_task();
void resume_task();
void stop_task();
void clear_log();
// Worker threads: waits while paused (50 ms steps), posts WM_TASK_PROGRESS at most once per
// 50 ms for an unchanged percent and never while the last one waits unread (100 always
// passes); false once cancel is set.
bool post_progress(int percent, const std::wstring& text);
// UI thread: a WM_TASK_PROGRESS has been taken from the queue (shown or dropped); the relay
// may send the next one.
void progress_received();
// UI thread: runs job on its own thread while this thread pumps messages with the main
// window disabled; returns when the job has ended. A WM_QUIT seen meanwhile is posted again
// afterwards so the message loop still ends. Throws std::system_error when no thread starts.
void run_with_pump(std::function<void()> job);

// Resets the relay's rate-limit memory (tests and the integrity test's own relay).
void reset_progress_relay();

}  // namespace rezui
