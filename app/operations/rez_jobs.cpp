// Whole-archive jobs on the open REZ archive: save and extract everything. Each runs on a
// tracked worker (app/operations/job_workers.h) that reads rezui::app.archive while the busy state keeps
// every other command away from it, and ends with one posted TaskResult.
#include "app/operations/rez_jobs.h"

#include "app/app_state.h"
#include "app/operations/open_archive.h"
#include "app/main_window/task_ui.h"
#include "app/operations/member_model_save.h"
#include "app/common/window_helpers.h"
#include "app/operations/zip_7z_jobs.h"
#include "app/operations/job_workers.h"

namespace rezui {

namespace {

// The job frame on the user-interface thread: busy state, starting text, one tracked
// worker on a copy of its argument.
void start_job(const wchar_t* text, void (*worker)(const std::wstring&), const std::wstring& argument) {
    begin_busy();
    set_progress(0, text);
    start_worker([worker, argument] { worker(argument); });
}

}  // namespace

void save_archive() {
    if (!app.archive_loaded || app.busy) return;
    if (!app.archive.path.empty()) {
        start_save(app.archive.path);
        return;
    }
    static const wchar_t filter[] = L"REZ 资源包 (*.rez)\0*.rez\0\0";
    std::wstring chosen = pick_save_file(app.main_window, filter, L"另存为", L"new.rez");
    if (chosen.empty()) return;
    start_save(chosen);
}

void start_save(const std::wstring& path) {
    if (app.busy || !app.archive_loaded) return;
    // The REZ writer never puts REZ bytes into a .zip or .7z: those are written by the
    // ZIP/7z rewrite, which first needs the password that reads the model's archive.
    if (is_zip_or_7z_path(path) && !member_model_save_may_start(app.archive.path)) return;
    start_job(L"正在保存...", save_worker, path);
}

void save_worker(const std::wstring& path) {
    post_outcome(TASK_SAVED, path, [&](std::wstring& err) {
        if (is_zip_or_7z_path(path)) return save_member_model(app.archive, path, err);
        return app.archive.save(path, err, post_progress);
    });
}

void extract_all() {
    if (is_zip_or_7z_open()) {
        extract_zip_7z({});
        return;
    }
    if (!app.archive_loaded || app.busy) return;
    std::wstring folder = pick_folder(app.main_window, L"选择解压目标文件夹");
    if (folder.empty()) return;
    append_log(L"开始解包到：" + folder);
    start_job(L"正在解压...", extract_all_worker, folder);
}

void extract_all_worker(const std::wstring& folder) {
    post_outcome(TASK_EXTRACTED, folder,
                 [&](std::wstring& err) { return app.archive.extract_to_directory(folder, err, post_progress); });
}

}  // namespace rezui
