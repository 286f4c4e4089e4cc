// The jobs behind the pack/extract progress dialog: building one REZ archive from files and
// folders on disk, unpacking an archive into a folder, and the name a new pack gets.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace rezui {

// percent 0-100, items done and in all, whether the archive is being written (pack), the
// item in hand and log text to append (either may be empty).
using PackProgressFn = std::function<void(int percent, int done, int total, bool save_phase,
                                          const std::wstring& current, const std::wstring& log)>;

// Set by the dialog's "终止" and close box; the running job stops at its next callback.
extern std::atomic<bool> pack_cancel;
// Held while the dialog asks whether to stop or close: the job waits at its next step until
// the answer is in, so a "yes" stops it before it takes another file.
void hold_pack_job(bool held);
// The job's check before each step: waits while held, then true when the job is to stop.
bool pack_job_should_stop();

// Writes output from the sources (files become root entries, folders root folders).
// Adding reports 0-50 %, writing 50-100 %. Nothing is written unless every source was added.
// Files whose names differ only in case (from a case-sensitive folder) cannot share one
// archive folder: each later one is stored as "name (n).ext", and the log says so.
bool pack_impl(const std::vector<std::wstring>& sources, const std::wstring& output, std::wstring& error,
               const PackProgressFn& progress);
// Unpacks a REZ, ZIP or 7z archive below destination; stops between files once cancelled.
bool extract_impl(const std::wstring& archive, const std::wstring& destination, std::wstring& error,
                  const PackProgressFn& progress);

// A not yet existing .rez path next to the first source, named after the selection.
std::wstring default_pack_output(const std::vector<std::wstring>& sources);
// The text after the last "\" or "/", the whole text when there is none.
std::wstring path_file_name(const std::wstring& path);
// Files below the folder, names with a leading dot left out.
int count_files_in_folder(const std::wstring& folder);

// The save-phase counter "(a/b)" at the end of a writer step text; 0, 0 when there is none.
void parse_step_counter(const std::wstring& text, int& a, int& b);

}  // namespace rezui
