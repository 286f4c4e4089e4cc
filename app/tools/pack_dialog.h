// The pack/extract progress dialog (resource 211): one modal dialog at a time, its job on
// a worker thread that the opener joins once the dialog has gone. Dialogs asked for while
// one is up wait their turn and run, in order, when it has closed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

constexpr UINT WM_PACK_PROGRESS = WM_APP + 12;  // 0x800C: the shared progress record holds news
constexpr UINT WM_PACK_DONE = WM_APP + 13;      // 0x800D: lParam = the finished PackJob
constexpr UINT_PTR ID_TIMER_COLLECT = 8;
constexpr UINT_PTR ID_TIMER_PROGRESS = 9;  // shows the progress that came in without a message

// Adds the sources to the pending pack list and runs the dialog: a pack dialog that is still
// collecting takes them at its next tick; while any other one is up, a pack dialog is queued
// for them. Returns once the dialog and those queued behind it have closed, or at once when
// queued.
void run_pack_dialog(HWND owner, const std::vector<std::wstring>& sources);
// Runs the dialog in extract mode, or queues it behind the one that is up.
void run_extract_dialog(HWND owner, const std::wstring& archive, const std::wstring& destination);

INT_PTR CALLBACK pack_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
void post_pack_progress(HWND dialog, int percent, int done, int total, bool save_phase, const std::wstring& current,
                        const std::wstring& log);
void append_pack_log(HWND dialog, const std::wstring& text);

// "剩余时间：..." for the seconds left, in seconds, minutes and seconds, or hours and minutes.
std::wstring remaining_time_text(double seconds);

// Paths waiting for the next pack dialog.
const std::vector<std::wstring>& pending_pack_sources();

}  // namespace rezui
