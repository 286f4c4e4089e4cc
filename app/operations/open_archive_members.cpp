// Opening ZIP and 7z archives: list the members on a worker, turn the listing into the
// browsing model, ask for a 7z password when the listing needs one; and the password check
// that the ZIP/7z jobs share.
#include <windows.h>

#include <limits>
#include <thread>

#include "app/app_state.h"
#include "app/operations/open_archive.h"
#include "app/main_window/task_ui.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "archive/zip_reader.h"

namespace rezui {

namespace {

std::string user_title_for(const std::wstring& path) { return "Archive: " + rez::file_name_utf8(path); }

bool relay_progress(int percent, const std::wstring& text) { return post_progress(percent, text); }

void finish_job(OpenJob* job, TaskResult* result) {
    post_task_result(result);
    delete job;
    task_running.store(false);
}

// An archive without encrypted content cannot fail for a password: its failure is damage.
void classify(bool needs, uint32_t* reason) {
    if (reason) *reason = needs ? 1 : 2;
}

}  // namespace

void run_member_open_job(OpenJob* job) {
    auto* result = new TaskResult;
    result->kind = TASK_OPENED;
    result->path = job->path;
    result->folder_to_show = job->folder_to_show;
    const bool same_archive = job->path == app.archive.path;
    rez::RezFile model(job->path);
    std::vector<ListedMember> members;
    bool is_zip = true;

    if (job->ext == "zip") {
        std::vector<rez::ZipEntry> entries;
        std::wstring comment;
        if (!rez::zip_list_entries(job->path, entries, comment, result->error)) {
            result->ok = false;
            finish_job(job, result);
            return;
        }
        model.comment = comment;
        for (const rez::ZipEntry& z : entries)
            members.push_back({z.name, z.is_dir, z.encryption != 0, z.uncompressed_size});
    } else if (job->ext == "7z") {
        is_zip = false;
        std::vector<rez::SevenZipEntry> entries;
        std::wstring comment;
        result->error.clear();
        if (!rez::sevenzip_list_entries(job->path, entries, comment, result->error)) {
            // Only an encrypted file list can fail for want of a password; anything else is
            // damage (or no 7z at all), and a password would not help.
            if (!rez::sevenzip_header_is_encrypted(job->path)) {
                result->ok = false;
                finish_job(job, result);
                return;
            }
            if (rez::get_current_password().empty() && !request_open_password()) {
                result->ok = false;
                result->error = L"已取消打开（需要密码）";
                finish_job(job, result);
                return;
            }
            result->error.clear();
            if (!rez::sevenzip_list_entries(job->path, entries, comment, result->error)) {
                // Forget the wrong password so the next attempt asks again.
                rez::set_current_password(L"");
                result->ok = false;
                result->error = L"密码错误，无法打开该 7z 归档。";
                finish_job(job, result);
                return;
            }
        }
        if (!rez::get_current_password().empty()) archive_unlocked = true;
        else if (!same_archive) archive_unlocked = false;
        model.comment = comment;
        for (const rez::SevenZipEntry& z : entries) members.push_back({z.name, z.is_dir, z.encrypted, z.size});
    } else {
        result->ok = false;
        result->error = L"不支持的归档格式";
        finish_job(job, result);
        return;
    }

    model.user_title = user_title_for(job->path);
    build_member_model(model, job->path, is_zip, members, is_zip ? app.uppercase_zip : app.uppercase_7z,
                       relay_progress);
    if (app.cancel.load()) {
        result->ok = false;
        result->error = L"操作已取消";
    } else {
        result->ok = true;
        result->error.clear();
        result->archive = std::make_shared<rez::RezFile>(std::move(model));
        if (is_zip && !same_archive) archive_unlocked = false;
    }
    finish_job(job, result);
}

bool verify_archive_password(const std::wstring& path, std::wstring& err, uint32_t* reason) {
    if (reason) *reason = 0;
    const std::string ext = archive_ext_lower(path);
    if (ext == "zip") {
        const bool needs = rez::zip_needs_password(path);
        std::vector<rez::ZipEntry> entries;
        std::wstring comment;
        if (!rez::zip_list_entries(path, entries, comment, err)) {
            classify(needs, reason);
            return false;
        }
        const rez::ZipEntry* pick = nullptr;
        for (const rez::ZipEntry& z : entries)
            if (z.encryption != 0 && !z.is_dir && z.compressed_size > 0 &&
                (!pick || z.compressed_size < pick->compressed_size))
                pick = &z;
        if (!pick) return true;
        std::vector<uint8_t> data;
        if (rez::zip_extract_entry(path, *pick, data, err)) return true;
        classify(needs, reason);
        return false;
    }
    if (ext == "7z") {
        const bool needs = rez::sevenzip_needs_password(path);
        std::vector<rez::SevenZipEntry> entries;
        std::wstring comment;
        if (!rez::sevenzip_list_entries(path, entries, comment, err)) {
            // A listing fails for a password only when the file list is encrypted; any
            // other failure is damage, whatever the data folders hold.
            const bool locked_list = rez::sevenzip_header_is_encrypted(path);
            if (locked_list) err = L"该 7z 归档已加密，需要正确密码才能读取。";
            if (reason) *reason = locked_list ? 1 : 2;
            return false;
        }
        const rez::SevenZipEntry* pick = nullptr;
        for (const rez::SevenZipEntry& z : entries)
            if (z.encrypted && !z.is_dir && z.size > 0 && (!pick || z.size < pick->size)) pick = &z;
        if (!pick) return true;
        std::vector<uint8_t> data;
        if (rez::sevenzip_extract_entry(path, *pick, data, err)) return true;
        classify(needs, reason);
        return false;
    }
    return true;
}

void reopen_archive() {
    if (!is_zip_or_7z_open()) return;
    const std::wstring path = app.archive.path;
    const std::wstring folder = app.current_folder;
    open_zip_7z(path, folder);
}

}  // namespace rezui
