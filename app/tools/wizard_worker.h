// The job behind the wizard's Start: packs sources into a new REZ, ZIP or 7z archive (through
// a private copy in the temporary folder) or extracts a whole archive into a folder. It talks
// to the wizard only by the three messages below, each with a heap record the dialog frees.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace rezui {

constexpr UINT WM_WIZ_PROGRESS = WM_APP + 40;  // wParam percent, lParam new std::wstring
constexpr UINT WM_WIZ_DONE = WM_APP + 41;      // lParam new WizardResult
constexpr UINT WM_WIZ_LOG = WM_APP + 42;       // lParam new WizardStats

struct WizardResult {
    bool ok = false;
    std::wstring error;
    std::wstring path;  // the archive written or the destination folder
};

struct WizardStats {
    int done = 0;
    int total = 0;
    std::wstring text;  // operation, rate line, time-left line, separated by "\n"
    bool pack = true;
};

struct WizardJob {
    HWND dialog = nullptr;
    bool pack = true;
    std::wstring target;   // pack: the archive; extract: the destination folder
    std::wstring archive;  // extract: the archive to read
    int format = 0;        // pack: 0 REZ, 1 ZIP, 2 7z
    std::vector<std::wstring> sources;
    std::wstring comment;
    std::wstring description;  // REZ header: user title
    std::wstring copyright;    // REZ header: signature text
};

// The wizard's own cancel: set by its Cancel while a job runs, cleared at Start.
extern std::atomic<uint8_t> wizard_cancel;

// Runs the job and posts exactly one WM_WIZ_DONE at its end. The wizard runs it on a tracked
// worker (job_workers.h), so leaving the program waits for it.
void wizard_worker(const WizardJob& job);

// "N 秒", "M 分 S 秒" or "H 时 M 分"; each part rounded on its own.
std::wstring format_time_left(double seconds);
// The rate and time-left lines for count of total files done after elapsed seconds.
std::wstring wizard_rate_lines(int count, int total, double elapsed);
// The name a source gets in the copy folder: its own, or "name (2)", "name (3)"... (before the
// extension for a file) when an earlier source took that name, compared without case as the
// file system does. The name given is added to taken.
std::wstring staging_name(const std::wstring& name, bool folder, std::vector<std::wstring>& taken);

}  // namespace rezui
