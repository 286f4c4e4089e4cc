// The autosave job after an edit of the open archive's model: a REZ archive is saved over
// its own path (through "<path>.tmp"); the model of a ZIP or 7z archive is packed anew and
// put in place through the temporary-file-and-backup rewrite.
#include "app/operations/job_workers.h"
#include "app/operations/autosave.h"


#include "app/app_state.h"
#include "app/main_window/task_ui.h"
#include "app/operations/member_model_save.h"
#include "app/operations/open_archive.h"

namespace rezui {

namespace {

void autosave_worker(const std::wstring& path, bool member_model) {
    auto* result = new TaskResult;
    result->kind = TASK_AUTOSAVED;
    result->path = path;
    std::wstring err;
    result->ok = member_model ? save_member_model(app.archive, path, err) : app.archive.save(path, err, post_progress);
    if (!result->ok) result->error = err;
    post_task_result(result);
}

}  // namespace

void start_autosave() {
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

}  // namespace rezui
