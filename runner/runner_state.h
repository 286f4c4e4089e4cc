// The runner's one window and what it knows: the settings read from its own file, the
// temporary archive, the layout and page, the state of the extraction, and its GDI objects.
// Used on the user-interface thread; the extraction thread only posts to the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/tools/sfx_container.h"
#include "app/tools/sfx_progress.h"
#include "archive/win_handle.h"

namespace rezui {

// Messages of the runner window.
constexpr UINT WM_RUNNER_PROGRESS = WM_APP + 1;  // steps wait in the outcome's progress
constexpr UINT WM_RUNNER_DONE = WM_APP + 2;      // outcome in the state

constexpr wchar_t kRunnerClass[] = L"RezHobbletonWnd";

// Control ids; both layouts use one set.
enum RunnerControl : int {
    kIdIntro = 103,
    kIdLicense = 104,
    kIdFolderLabel = 105,
    kIdFolder = 106,
    kIdBrowse = 107,
    kIdShortcut = 108,
    kIdProgress = 110,
    kIdLog = 112,
    kIdStatus = 113,
    kIdBack = 115,
    kIdMain = 116,
    kIdCancel = 117,
    kIdSidePanel = 118,
    kIdHeading = 119,
    kIdIcon = 120,
    kIdWelcome = 121,
    kIdFolderHint = 123,
    kIdReady = 124,
    kIdInstalling = 125,
    kIdFinishedHeading = 127,
    kIdFinishedText = 128,
};

// What one extraction thread found out, written by the thread before it posts
// WM_RUNNER_DONE and read by the window only in that message's handler. Shared with the
// thread so that a thread still running when the process ends writes into live memory.
struct ExtractionOutcome {
    // Set by the window: hold waits at the next step while the user is asked whether to
    // stop; stop ends the extraction there (a file being written is removed).
    std::atomic<bool> hold{false};
    std::atomic<bool> stop{false};
    SfxProgressBox progress;  // the steps on their way to the window
    bool extract_ok = false;
    bool program_started = false;
    std::wstring error_text;
    std::vector<std::wstring> log_lines;  // lines the thread has for the log, in order
};

struct RunnerState {
    HINSTANCE instance = nullptr;
    HWND main_window = nullptr;
    SfxConfig config;
    std::wstring temp_archive;
    bool is_installer = false;
    bool shortcut_offered = false;
    int page = 0;
    bool running = false;
    bool extract_ok = false;
    bool program_started = false;
    bool finished = false;
    bool closing = false;  // the user chose to stop: the window goes once the thread has ended
    std::wstring error_text;
    std::shared_ptr<ExtractionOutcome> outcome;  // of the thread that runs or ran last

    rez::unique_hbitmap banner;
    int banner_width = 0;
    int banner_height = 0;
    HICON icon = nullptr;  // a resource icon: shared, never destroyed
    rez::unique_hfont font_normal;
    rez::unique_hfont font_title;
    rez::unique_hfont font_heading;
    rez::unique_hbrush brush_panel;
    rez::unique_hbrush brush_background;
};

extern RunnerState g_runner;

// The config's texts as the window shows them.
std::wstring runner_title();

// Appends a line to the log (select the end, replace it with text + CR LF); nothing when
// the log does not exist.
void runner_log(const std::wstring& text);
void runner_set_text(int id, const std::wstring& text);
// A status text: the status line in the wizard; the one-page layout has no status line, so
// there it goes to the log, where the user reads everything else.
void runner_status(const std::wstring& text);

}  // namespace rezui
