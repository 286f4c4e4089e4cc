// The job behind the wizard's Start: packs sources into a new REZ, ZIP or 7z archive (through
// a private copy in the temporary folder) or extracts a whole archive into a folder. It talks
// to the wizard only by the three messages below, each with a heap record the dialog frees.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/common/progress_mailbox.h"

namespace rezui {

constexpr UINT WM_WIZ_PROGRESS = WM_APP + 40;  // wParam percent, lParam new std::wstring
constexpr UINT WM_WIZ_DONE = WM_APP + 41;      // lParam new WizardResult
constexpr UINT WM_WIZ_LOG = WM_APP + 42;       // lParam new WizardStats
constexpr UINT WM_WIZ_TICK = WM_APP + 43;      // no payload: take the run's latest WizardTick

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

// The latest step of a running job: the bar's percent and the current operation (also logged),
// and the counters with the rate lines when the step had them.
struct WizardTick {
    int percent = 0;
    std::wstring text;
    bool has_stats = false;
    WizardStats stats;
};

// What the wizard and the job of one run share: the run's own stop (no other job's cancel
// ends it, nor does its Cancel end another job), and its progress, handed over a few times a
// second so that the wizard stays free to answer Cancel at once.
struct WizardLink {
    explicit WizardLink(HWND dialog) : progress(dialog, WM_WIZ_TICK) {}
    std::atomic<bool> cancel{false};
    ProgressMailbox<WizardTick> progress;
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
    std::shared_ptr<WizardLink> link;
};

// Runs the job and posts exactly one WM_WIZ_DONE at its end. The wizard runs it on a tracked
// worker (job_workers.h), so leaving the program waits for it.
void wizard_worker(const WizardJob& job);

// The archive a pack job writes for target: a rez/zip/7z extension replaced by the format's,
// the format's appended to a name without one, any other extension kept.
std::wstring wizard_pack_target(const std::wstring& target, int format);

// "N 秒", "M 分 S 秒" or "H 时 M 分"; each part rounded on its own.
std::wstring format_time_left(double seconds);
// The rate and time-left lines for count of total files done after elapsed seconds.
std::wstring wizard_rate_lines(int count, int total, double elapsed);
// The name a source gets in the copy folder: its own, or "name (2)", "name (3)"... (before the
// extension for a file) when an earlier source took that name, compared without case as the
// file system does. The name given is added to taken.
std::wstring staging_name(const std::wstring& name, bool folder, std::vector<std::wstring>& taken);

}  // namespace rezui
