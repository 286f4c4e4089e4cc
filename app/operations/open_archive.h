// Opening REZ, ZIP and 7z archives on a worker thread, the record every worker job
// reports back with, and the password hand-over between an opening worker and the
// user-interface thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rezui {

// What a finished job was; carried in TaskResult::kind.
enum TaskKind : uint32_t {
    TASK_SAVED = 0,
    TASK_EXTRACTED = 1,
    TASK_AUTOSAVED = 2,
    TASK_PACKED = 3,
    TASK_REWRITTEN = 4,
    TASK_OPENED = 5,
    TASK_DROP_ADDED = 6,
};

// Posted by a worker (new) as the lParam of WM_TASK_RESULT; the main window deletes it.
struct TaskResult {
    bool ok = false;
    std::wstring error;
    std::wstring path;
    uint32_t kind = 0;
    std::shared_ptr<rez::RezFile> archive;  // open jobs only, on success
    std::wstring folder_to_show;
};

// A worker's question for a password; it waits on cv until done is set.
struct OpenPwdRequest {
    std::wstring prompt;
    std::wstring title;
    std::wstring password;
    bool cancelled = false;
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
};

struct OpenJob {
    std::wstring path;
    std::wstring folder_to_show;
    std::string ext;  // lower-case ASCII
};

// The extension of a path, ASCII lower-cased ("zip", "7z", "rez", ...).
std::string archive_ext_lower(const std::wstring& path);
// The path names a ZIP or 7z archive (by its extension, any case).
bool is_zip_or_7z_path(const std::wstring& path);

// Posts a job's result to the main window; frees it when it cannot be posted.
void post_task_result(TaskResult* result);

// Returns at once; the archive arrives later as a WM_TASK_RESULT of kind TASK_OPENED.
// Nothing happens while the program is busy or another open runs.
void open_file(const std::wstring& path);
void open_zip_7z(const std::wstring& path, const std::wstring& folder_to_show);
// Body of the ZIP/7z open worker; takes ownership of job.
void run_member_open_job(OpenJob* job);
void reopen_archive();

// Worker side of the password hand-over; true when a non-empty password was given
// (it is then the held password).
bool request_open_password();

// True when the held password reads the smallest encrypted member (or none is needed).
// reason (optional): 1 wrong or missing password, 2 damaged data.
bool verify_archive_password(const std::wstring& path, std::wstring& err, uint32_t* reason);

// Builds the browsing model of a ZIP or 7z listing (used by the open job; exposed for
// tests). uppercase applies the format's upper-case setting.
struct ListedMember {
    std::string name;
    bool is_dir = false;
    bool encrypted = false;
    uint64_t size = 0;
};
void build_member_model(rez::RezFile& model, const std::wstring& archive_path, bool is_zip,
                        const std::vector<ListedMember>& members, bool uppercase,
                        const std::function<bool(int, const std::wstring&)>& progress);

}  // namespace rezui
