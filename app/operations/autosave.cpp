// The autosave job after an edit of the open archive's model: a REZ archive is saved over
// its own path (through "<path>.tmp"); the model of a ZIP or 7z archive is packed anew and
// put in place through the temporary-file-and-backup rewrite. Until one of them succeeds the
// model is marked unsaved, and leaving the program asks what to do with the edits.
#include "app/operations/job_workers.h"
#include "app/operations/autosave.h"


#include "app/app_state.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/operations/member_model_save.h"
#include "app/operations/open_archive.h"
#include "app/operations/rez_jobs.h"
#include "resources/resource.h"

namespace rezui {

namespace {

// Set while the save asked for by leaving runs: its success ends the program.
bool exit_after_save = false;

void autosave_worker(const std::wstring& path, bool member_model) {
    auto* result = new TaskResult;
    result->kind = TASK_AUTOSAVED;
    result->path = path;
    std::wstring err;
    result->ok = member_model ? save_member_model(app.archive, path, err) : app.archive.save(path, err, post_progress);
    if (!result->ok) result->error = err;
    post_task_result(result);
}

std::wstring archive_label() {
    return app.archive.path.empty() ? std::wstring(L"新的资源包") : L"“" + app.archive.path + L"”";
}

}  // namespace

void mark_model_edited() {
    if (app.archive_loaded) app.unsaved_changes = true;
}

void start_autosave() {
    mark_model_edited();
    if (!app.archive_loaded || app.archive.path.empty() || app.busy) return;
    const std::wstring path = app.archive.path;
    const bool member_model = is_zip_or_7z_path(path);
    if (member_model && !member_model_save_may_start(path)) {
        append_log(L"自动保存已取消: " + path);
        return;
    }
    begin_busy();
    set_progress(0, L"正在自动保存...");
    append_log(L"自动保存: " + path);
    start_worker([path, member_model] { autosave_worker(path, member_model); });
}

void note_save_result(HWND window, const TaskResult& result) {
    const bool save = result.kind == TASK_SAVED || result.kind == TASK_AUTOSAVED;
    if (save && result.ok && result.path == app.archive.path) app.unsaved_changes = false;
    if (!exit_after_save) return;
    exit_after_save = false;
    if (save && result.ok && !app.unsaved_changes) PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
}

bool unsaved_changes_settled(HWND window) {
    if (!app.archive_loaded || !app.unsaved_changes) return true;
    if (exit_after_save) return false;  // the save asked for is still running
    const int answer = message_box(window, archive_label() + L" 有尚未保存的更改。\n\n退出前保存这些更改吗？", L"退出",
                                   MB_YESNOCANCEL | MB_ICONWARNING);
    if (answer == IDNO) return true;
    if (answer != IDYES) return false;
    // A job still running (an autosave of the same edits among them) stops first: the save
    // below writes every edit.
    stop_workers(window, true);
    save_archive();
    // Nothing started (no path chosen, no password given): the program stays open.
    if (app.busy) exit_after_save = true;
    return false;
}

}  // namespace rezui
