// Files dropped on the main window and the work handed over by a second start: opening a
// dropped archive, adding dropped items to the open archive, copying them into the shown
// folder, packing them into a new archive, queuing conversions, extract-here and
// add-to-archive.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace rezui {

void on_drop_files(HWND window, HDROP drop);
// Packs the items into a new REZ archive beside the first one, on a worker.
void do_pack_drop(const std::vector<std::wstring>& paths);
// Queues an archive for the conversion dialog, which opens 250 ms after the first path.
void queue_archive_for_batch(HWND window, const std::wstring& path);
// Extracts a REZ archive into a folder beside it named after it.
void extract_here(HWND window, const std::wstring& path);
// Adds files and folders to the root of a REZ archive on a worker; any other archive is
// opened instead.
void start_add_dropped(HWND window, const std::wstring& target, const std::vector<std::wstring>& files);

// While a job runs the drop or hand-over named by what is refused, and the log and the
// status bar say so. True when refused.
bool refuse_drop_while_busy(const std::wstring& what);

// The archive a pack drop writes: first path + ".rez", or, when that exists,
// first path + " (n).rez" with the smallest free n from 1.
std::wstring free_pack_name(const std::wstring& first_path);
// "<temp>\qvl_packdrop_<pid>".
std::wstring packdrop_folder_path();

struct PackDropJob {
    std::vector<std::wstring> paths;
    std::wstring output;
};
struct AddDroppedJob {
    std::wstring target;
    std::vector<std::wstring> files;
};
// Worker bodies; each posts one TaskResult (kind 3 and kind 6).
void pack_drop_worker(PackDropJob job);
void add_dropped_worker(AddDroppedJob job);

}  // namespace rezui
