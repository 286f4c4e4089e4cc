// Work handed over by a second start (an archive to open, items to add to a REZ archive)
// while a job owns the archive waits here, in arrival order, and runs when that job has
// ended: a hand-over is never dropped for being early.
#pragma once

#include <windows.h>

#include <string>

namespace rezui {

// Keeps one hand-over (its WM_COPYDATA code and text) for later; the log and the status
// bar say that it waits. `what` names it there.
void queue_hand_over(ULONG_PTR code, const std::wstring& text, const std::wstring& what);
bool hand_over_waiting();
// Called when a job has ended: asks the main window to run what waits (posted, so that
// the ended job's own result is handled first).
void schedule_waiting_hand_over();
// WM_RUN_HANDED_OVER: while no job runs, takes the oldest waiting hand-over and runs it
// as if it had just arrived (the next one waits for the job this one starts).
void run_waiting_hand_over(HWND window);

}  // namespace rezui
