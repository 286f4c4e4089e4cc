// The longer work behind drops and hand-overs: packing dropped items into a new archive
// and adding items to a REZ archive (each on a worker with its own model), the conversion
// queue, and extract-here.
#include <windows.h>
#include <shellapi.h>


#include "app/operations/job_workers.h"
#include "app/app_state.h"
#include "app/common/window_helpers.h"
#include "app/main_window/messages.h"
#include "app/main_window/task_ui.h"
#include "app/operations/dropped_files.h"
#include "app/operations/handover_queue.h"
#include "app/operations/open_archive.h"
#include "app/operations/zip_7z_jobs.h"
#include "app/tools/pack_dialog.h"
#include "archive/util.h"

namespace rezui {
namespace {

constexpr UINT kBatchDelayMs = 250;

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring name_of(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// A double-NUL-terminated path list of one path, as SHFileOperationW reads it.
std::wstring shell_path_list(const std::wstring& path) {
    std::wstring list = path;
    list.push_back(L'\0');
    return list;
}

bool remove_tree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != FALSE
                                                       : DeleteFileW(path.c_str()) != FALSE;
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") remove_tree(path + L"\\" + name);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

// The staging folder holds exactly what this drop copies: anything an earlier run left
// there (the same process id can come back) would be packed too.
bool fresh_staging_folder(const std::wstring& staging, std::wstring& err) {
    if (exists(staging) && !remove_tree(staging)) {
        err = L"无法清空打包暂存目录: " + staging;
        return false;
    }
    if (!rez::create_directories(staging)) {
        err = L"无法创建打包暂存目录: " + staging;
        return false;
    }
    return true;
}

bool copy_into_staging(const std::vector<std::wstring>& paths, const std::wstring& staging, std::wstring& err) {
    for (const std::wstring& path : paths) {
        const std::wstring name = name_of(path);
        if (!is_folder(path)) {
            if (!CopyFileW(path.c_str(), (staging + L"\\" + name).c_str(), FALSE)) {
                err = L"复制文件失败: " + name;
                return false;
            }
            continue;
        }
        const std::wstring from = shell_path_list(path);
        const std::wstring to = shell_path_list(staging);
        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_COPY;
        op.pFrom = from.c_str();
        op.pTo = to.c_str();
        op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
        if (SHFileOperationW(&op) != 0 || op.fAnyOperationsAborted) {
            err = L"复制目录失败";
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring packdrop_folder_path() {
    wchar_t buf[520] = {};
    std::wstring temp = GetTempPathW(520, buf) ? buf : L"C:\\Windows\\Temp\\";
    return temp + L"qvl_packdrop_" + std::to_wstring(GetCurrentProcessId());
}

std::wstring free_pack_name(const std::wstring& first_path) {
    const std::wstring wanted = first_path + L".rez";
    if (!exists(wanted)) return wanted;
    for (unsigned n = 1;; ++n) {
        const std::wstring candidate = first_path + L" (" + std::to_wstring(n) + L").rez";
        if (!exists(candidate)) return candidate;
    }
}

void do_pack_drop(const std::vector<std::wstring>& paths) {
    if (paths.empty()) return;
    if (refuse_drop_while_busy(L"拖放打包")) return;
    PackDropJob job{paths, free_pack_name(paths.front())};
    begin_busy();
    set_progress(0, L"正在打包...");
    start_worker([job = std::move(job)] { pack_drop_worker(job); });
}

void pack_drop_worker(PackDropJob job) {
    auto* result = new TaskResult;
    result->kind = TASK_PACKED;
    result->path = job.output;
    const std::wstring staging = packdrop_folder_path();
    std::wstring err;
    bool ok = fresh_staging_folder(staging, err) && copy_into_staging(job.paths, staging, err);
    if (ok) {
        rez::RezFile model(job.output);
        ok = model.add_directory_contents("", staging, err) &&
             model.save(job.output, err, [](int, const std::wstring&) { return true; });
    }
    remove_tree(staging);
    result->ok = ok;
    if (!ok) result->error = err;
    post_task_result(result);
}

void start_add_dropped(HWND window, const std::wstring& target, const std::vector<std::wstring>& files) {
    if (target.empty()) return;
    if (window) ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
    // The job rewrites the archive, which may be the one a running job reads: it waits
    // for that job, and the items reach the archive then.
    if (app.busy) {
        std::wstring text = target;
        for (const std::wstring& f : files) text += L"\n" + f;
        queue_hand_over(COPYDATA_ADD_TO_REZ, text, L"添加到资源包");
        return;
    }
    if (archive_ext_lower(target) != "rez" || files.empty()) {
        open_file(target);
        return;
    }
    begin_busy();
    set_progress(0, L"正在加入拖入的项目...");
    start_worker([job = AddDroppedJob{target, files}] { add_dropped_worker(job); });
}

void add_dropped_worker(AddDroppedJob job) {
    auto* result = new TaskResult;
    result->kind = TASK_DROP_ADDED;
    size_t added = 0;
    size_t skipped = 0;
    std::wstring err;
    rez::RezFile model;
    bool ok = rez::RezFile::open(job.target, model, err);
    // Every folder is read before anything is added: a new entry's id must be free over
    // the whole archive, and a folder that cannot be read is named here, not as a skip.
    if (ok) {
        ok = model.load_all_directories(err) && err.empty();
        if (!ok && err.empty()) err = L"读取目录失败";
    }
    if (ok) {
        for (const std::wstring& file : job.files) {
            // The model takes any path as a file source, and a missing one would only fail
            // the save, losing every other item with it: it is skipped here instead.
            std::string entry;
            bool done = false;
            if (is_folder(file))
                done = model.add_directory_tree("", file, entry);
            else if (exists(file))
                done = model.add_file("", file, entry);
            ++(done ? added : skipped);
        }
        if (added > 0) {
            ok = model.save(job.target, err, post_progress);
        } else {
            ok = false;
            err = L"没有可加入的项目（" + std::to_wstring(skipped) + L" 项均被跳过）";
        }
    }
    result->ok = ok;
    if (!ok) result->error = err;
    result->path = job.target + L"|" + std::to_wstring(added) + L"|" + std::to_wstring(skipped) + L"|" +
                   std::to_wstring(model.entries_replaced);
    post_task_result(result);
}

void queue_archive_for_batch(HWND window, const std::wstring& path) {
    if (path.empty()) return;
    const std::string ext = archive_ext_lower(path);
    if (ext != "rez" && ext != "zip" && ext != "7z") {
        message_box(window, L"不被支持的压缩包格式", L"格式不支持", MB_ICONWARNING);
        return;
    }
    bool queued = false;
    for (const std::wstring& p : app.pending_convert) queued = queued || p == path;
    if (!queued) app.pending_convert.push_back(path);
    // The dialog opens a fixed time after the first path, holding every path queued by then.
    if (!app.batch_timer) app.batch_timer = SetTimer(window, ID_TIMER_BATCH, kBatchDelayMs, nullptr);
}

void extract_here(HWND window, const std::wstring& path) {
    if (path.empty()) return;
    if (archive_ext_lower(path) != "rez") {
        message_box(window, L"该文件未被支持！", L"格式不支持", MB_ICONWARNING);
        return;
    }
    const size_t slash = path.rfind(L'\\');
    const size_t dot = path.rfind(L'.');
    const size_t start = slash == std::wstring::npos ? 0 : slash + 1;
    const size_t end = dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash) ? path.size() : dot;
    const std::wstring stem = end > start ? path.substr(start, end - start) : L"";
    if (stem.empty()) {
        message_box(window, L"无法确定目标目录名", L"解压失败", MB_ICONERROR);
        return;
    }
    const std::wstring destination = slash == std::wstring::npos ? stem : path.substr(0, slash) + L"\\" + stem;
    // The password step and the check after it share the cancel flag with a running job.
    if (refuse_drop_while_busy(L"解压到此处")) return;
    // A flag left set by an earlier cancelled job must not cancel this extraction.
    app.cancel.exchange(false);
    ask_extract_password(window, path);
    if (app.cancel.load()) {
        set_status_bar_text(L"已取消解压");
        return;
    }
    run_extract_dialog(window, path, destination);
}

}  // namespace rezui
