// One archive turned into an archive of another kind (REZ to ZIP or 7z, ZIP or 7z to REZ,
// ZIP to 7z and back), and the worker that converts a list of them for the conversion dialog.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/common/progress_mailbox.h"

namespace rezui {

constexpr UINT WM_CONV_PROGRESS = WM_APP + 50;  // no payload: take the run's latest ConvertProgress
constexpr UINT WM_CONV_DONE = WM_APP + 51;      // lParam new ConvertResult

struct ConvertProgress {
    int percent = 0;
    std::wstring text;  // the source under way
};

// One run's own pause and stop, set by the dialog that started it (another run, in a dialog
// opened again meanwhile, has its own), and its progress, taken by that dialog a few times a
// second.
struct ConvertControl {
    explicit ConvertControl(HWND window) : progress(window, WM_CONV_PROGRESS) {}
    std::atomic<bool> paused{false};
    std::atomic<bool> stop{false};
    ProgressMailbox<ConvertProgress> progress;
};

struct ConvertJob {
    std::vector<std::wstring> sources;
    bool same_folder = false;
    std::wstring output_folder;
    std::wstring target_ext;  // "rez", "zip" or "7z"
    HWND window = nullptr;
    std::shared_ptr<ConvertControl> control;
};

struct ConvertResult {
    uint32_t succeeded = 0;
    uint32_t failed = 0;
    std::wstring last_error;
    bool stopped = false;            // a stop ended the run before its last source
    std::vector<std::wstring> renamed;  // targets written under a numbered name, another file having the name
};

// The lower-cased extension of the file-name part of path ("" when the name has no dot): a
// dot in a folder name is not an extension.
std::wstring convert_extension(const std::wstring& path);

// Where a source is written: next to it (same_folder, or no output folder) or in
// output_folder, under the source's name with its extension replaced by ext.
std::wstring convert_target_path(const std::wstring& source, bool same_folder, const std::wstring& output_folder,
                                 const std::wstring& ext);

// Converts source into target, the kinds taken from their extensions. Every file of the
// source reaches the target or the conversion fails and writes nothing: a member that cannot
// be unpacked, read back or that would leave the work folder fails the whole conversion.
// progress must be set.
bool convert_file(const std::wstring& source, const std::wstring& target, std::wstring& error,
                  const std::function<void(int percent, const std::wstring& text)>& progress);
// The same, ended before its next file once stop returns true: it then writes nothing, leaves
// no work folder and fails with "转换已停止".
bool convert_file(const std::wstring& source, const std::wstring& target, std::wstring& error,
                  const std::function<void(int percent, const std::wstring& text)>& progress,
                  const std::function<bool()>& stop);

// A name for a new file at path that no file has yet: path itself, else "stem (2).ext",
// "stem (3).ext"... The name is taken at once by an empty file, so that a conversion running
// at the same time does not pick it too; empty when none could be taken.
std::wstring claim_free_name(const std::wstring& path);

// Converts the job's sources one after the other, each into a target of its own: an existing
// file is never replaced. Stops before its next file when the run's stop is set or the
// program is winding its workers down.
void convert_worker(ConvertJob& job);

}  // namespace rezui
