// One archive turned into an archive of another kind (REZ to ZIP or 7z, ZIP or 7z to REZ,
// ZIP to 7z and back), and the worker that converts a list of them for the conversion dialog.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rezui {

constexpr UINT WM_CONV_PROGRESS = WM_APP + 50;  // wParam percent, lParam new std::wstring
constexpr UINT WM_CONV_DONE = WM_APP + 51;      // lParam new ConvertResult

struct ConvertJob {
    std::vector<std::wstring> sources;
    bool same_folder = false;
    std::wstring output_folder;
    std::wstring target_ext;  // "rez", "zip" or "7z"
    HWND window = nullptr;
};

struct ConvertResult {
    uint32_t succeeded = 0;
    uint32_t failed = 0;
    std::wstring last_error;
};

// Set by the dialog, read by the worker between sources.
extern std::atomic<uint8_t> convert_paused;
extern std::atomic<uint8_t> convert_stop;

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

void convert_worker(ConvertJob& job);
// Thread entry: runs the worker on a heap ConvertJob and frees it.
void convert_thread(ConvertJob* job);

}  // namespace rezui
