// Opening archives: the REZ open job, the browsing model of a ZIP or 7z listing, and the
// password hand-over between an opening worker and the user-interface thread.
#include "app/operations/open_archive.h"

#include <windows.h>

#include "app/app_state.h"
#include "app/main_window/messages.h"
#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"
#include "app/operations/job_workers.h"
#include "archive/password.h"
#include "archive/util.h"

namespace rezui {

namespace {

void rez_open_job(const std::wstring& path) {
    auto* result = new TaskResult;
    result->kind = TASK_OPENED;
    result->path = path;
    auto model = std::make_shared<rez::RezFile>();
    std::wstring err;
    const bool ok = rez::RezFile::open(path, *model, err);
    bool cancelled = false;
    if (ok) {
        std::wstring load_err;
        // A damaged sub-directory does not fail the open: the rest is read on demand.
        model->load_all_directories(load_err, [](int percent, const std::wstring& text) {
            if (app.cancel.load()) return false;
            return post_progress(percent, text);
        });
        cancelled = app.cancel.load();
    }
    if (cancelled) {
        result->ok = false;
        result->error = L"操作已取消";
    } else {
        result->ok = ok;
        if (ok) result->archive = model;
        else result->error = err;
    }
    post_task_result(result);
    model.reset();
    task_running.store(false);
}

// The starting text of an open: progress text and status bar.
void show_opening(const std::wstring& text) {
    set_progress(0, text);
    set_progress_marquee(false);
    set_status_bar_text(text);
}

}  // namespace

std::string archive_ext_lower(const std::wstring& path) {
    return rez::to_lower_ascii(rez::extension_of(rez::to_utf8(path)));
}

bool is_zip_or_7z_path(const std::wstring& path) {
    const std::string ext = archive_ext_lower(path);
    return ext == "zip" || ext == "7z";
}

void post_task_result(TaskResult* result) {
    if (!result) return;
    HWND target = app.main_window;
    if (!target || !PostMessageW(target, WM_TASK_RESULT, 0, reinterpret_cast<LPARAM>(result))) delete result;
}

void open_file(const std::wstring& path) {
    if (app.busy) return;
    if (is_zip_or_7z_path(path)) {
        open_zip_7z(path, L"");
        return;
    }
    if (task_running.exchange(true)) return;
    begin_busy();
    show_opening(L"正在打开…");
    start_worker([path] { rez_open_job(path); });
}

void open_zip_7z(const std::wstring& path, const std::wstring& folder_to_show) {
    if (app.busy) return;
    if (task_running.exchange(true)) return;
    auto* job = new OpenJob{path, folder_to_show, archive_ext_lower(path)};
    begin_busy();
    show_opening(L"正在打开归档…");
    start_worker([job] { run_member_open_job(job); });
}

bool request_open_password() {
    auto request = std::make_shared<OpenPwdRequest>();
    request->prompt = L"归档已加密，请输入密码以打开：";
    request->title = L"密码";
    pending_password_request.store(request);
    HWND target = app.main_window;
    if (!target || !PostMessageW(target, WM_PASSWORD_REQUEST, 0, 0)) {
        pending_password_request.store(nullptr);
        return false;
    }
    std::unique_lock<std::mutex> lock(request->mutex);
    request->cv.wait(lock, [&] { return request->done; });
    pending_password_request.store(nullptr);
    if (request->cancelled || request->password.empty()) return false;
    rez::set_current_password(request->password);
    return true;
}

void build_member_model(rez::RezFile& model, const std::wstring& archive_path, bool is_zip,
                        const std::vector<ListedMember>& members, bool uppercase,
                        const std::function<bool(int, const std::wstring&)>& progress) {
    model.root.children.clear();
    const size_t n = members.size();
    const std::wstring label = is_zip ? L"正在解析 ZIP 条目 " : L"正在解析 7z 条目 ";
    for (size_t i = 0; i < n; ++i) {
        const ListedMember& m = members[i];
        if (progress) {
            const int percent = static_cast<int>((static_cast<uint64_t>(i) * 100 + 100) / n);
            if (!progress(percent, label + std::to_wstring(i + 1) + L"/" + std::to_wstring(n))) break;
        }
        std::string name = m.name;
        while (!name.empty() && (name.back() == '/' || (!is_zip && name.back() == '\\'))) name.pop_back();
        if (name.empty()) continue;
        const std::vector<std::string> parts = rez::split_archive_path(name);
        if (parts.empty()) continue;
        // Folder members appear as nodes of their own (an empty one too), which remember
        // them so that a rewrite keeps them.
        const size_t parents = m.is_dir ? parts.size() : parts.size() - 1;
        rez::Entry* at = &model.root;
        std::string member_dir;
        std::string shown;
        for (size_t k = 0; k < parents; ++k) {
            member_dir = member_dir.empty() ? parts[k] : member_dir + "/" + parts[k];
            rez::Entry* found = nullptr;
            for (rez::Entry& c : at->children)
                if (c.is_dir && rez::iequals_ascii(c.name, parts[k])) {
                    found = &c;
                    break;
                }
            if (!found) {
                rez::Entry dir;
                dir.is_dir = true;
                dir.loaded = true;
                dir.name = uppercase ? rez::to_upper_ascii(parts[k]) : parts[k];
                dir.member_dir = member_dir;
                at->children.push_back(std::move(dir));
                found = &at->children.back();
            }
            at = found;
            shown = shown.empty() ? at->name : shown + "/" + at->name;
        }
        if (m.is_dir) {
            at->dir_members.push_back(rez::ArchiveMember{archive_path, m.name, is_zip, i, shown});
            continue;
        }
        rez::Entry file;
        std::string stem, type_text;
        rez::split_name_ext(parts.back(), stem, type_text);
        file.name = stem;
        file.ext = uppercase ? rez::to_upper_ascii(type_text) : type_text;
        file.encrypted = m.encrypted;
        file.id = 10000001u + static_cast<uint32_t>(i);
        file.size = static_cast<uint32_t>(m.size > 0xFFFFFFFFull ? 0xFFFFFFFFull : m.size);
        const std::string leaf = file.ext.empty() ? file.name : file.name + "." + file.ext;
        file.member = rez::ArchiveMember{archive_path, m.name, is_zip, i, shown.empty() ? leaf : shown + "/" + leaf};
        at->children.push_back(std::move(file));
    }
}

}  // namespace rezui
