// Messages the main window receives from the notification area, its workers and a second
// start of the program. Every heap payload is allocated by the sender and deleted by the
// main window once handled (also on the failure paths).
#pragma once

#include <windows.h>

namespace rezui {

// wParam icon id (1), lParam the mouse or notification event.
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 3;  // 0x8003
// wParam percent, lParam new std::wstring (status text).
constexpr UINT WM_TASK_PROGRESS = WM_APP + 20;  // 0x8014
// wParam 0, lParam new rezui::TaskResult (app/operations/open_archive.h).
constexpr UINT WM_TASK_RESULT = WM_APP + 21;  // 0x8015
// wParam 1 when every entry passed, lParam new rezui::TestDoneMsg (app/operations/integrity_test.h).
constexpr UINT WM_TEST_DONE = WM_APP + 22;  // 0x8016
// wParam 0, lParam 0: the request waits in rezui::pending_password_request.
constexpr UINT WM_PASSWORD_REQUEST = WM_APP + 23;  // 0x8017
// wParam 0, lParam 0: a hand-over that waited for a job may run now (handover_queue.h).
constexpr UINT WM_RUN_HANDED_OVER = WM_APP + 24;  // 0x8018
// Private to the about box: applies its two fonts after the common set-up.
constexpr UINT WM_ABOUT_FONTS = WM_APP + 50;  // 0x8032
// Consumed by the pump loop of rezui::run_with_pump; never dispatched.
constexpr UINT WM_PUMP_DONE = WM_APP + 99;  // 0x8063

// dwData of the WM_COPYDATA hand-over of a second start.
constexpr ULONG_PTR COPYDATA_OPEN = 1;
constexpr ULONG_PTR COPYDATA_PACK = 2;
constexpr ULONG_PTR COPYDATA_CONVERT = 3;
constexpr ULONG_PTR COPYDATA_EXTRACT_HERE = 4;
constexpr ULONG_PTR COPYDATA_EDIT_HEADER = 5;
constexpr ULONG_PTR COPYDATA_ADD_TO_REZ = 6;

// Timer of the handed-over conversion batch.
constexpr UINT_PTR ID_TIMER_BATCH = 4242;

// Identity shared by the running instance and a second start.
inline constexpr wchar_t kMainWindowClass[] = L"MarrowindRezMainWindow";
inline constexpr wchar_t kSingleInstanceMutex[] = L"MarrowindRez_SingleInstance_Mutex";
inline constexpr wchar_t kProductName[] = L"Marrowind Quarvel";

}  // namespace rezui
