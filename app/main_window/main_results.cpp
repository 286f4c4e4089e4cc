// What the main window does with its workers' messages: a finished job's result, the
// integrity test's summary and an opening worker's password question.
#include <windows.h>

#include <memory>
#include <mutex>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/operations/autosave.h"
#include "app/operations/integrity_test.h"
#include "app/browser/list_icons.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/operations/open_archive.h"
#include "app/browser/preview_pane.h"
#include "app/common/small_dialogs.h"
#include "app/main_window/task_ui.h"
#include "app/operations/zip_7z_jobs.h"
#include "app/common/window_helpers.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"

namespace rezui {
namespace {

void report_failure(HWND window, const TaskResult& r) {
    if (app.cancel.load()) {
        append_log(r.kind == TASK_AUTOSAVED ? L"自动保存已取消。" : L"操作已取消。");
        set_status_bar_text(L"已取消");
        return;
    }
    append_log(L"操作失败: " + r.error);
    set_status_bar_text(L"操作失败: " + r.error);
    const wchar_t* title = r.error.find(L"密码") != std::wstring::npos ? L"密码错误" : L"操作失败";
    message_box(window, r.error, title, MB_ICONERROR);
}

void show_path_in_caption(HWND window, const std::wstring& path) {
    SetWindowTextW(window, (std::wstring(kProductName) + L" - " + path).c_str());
}

// A finished job: the log names what was done and where, the status bar what was done.
void report_done(const std::wstring& what, const std::wstring& path) {
    append_log(what + L": " + path);
    set_status_bar_text(what);
}

void on_opened(HWND window, TaskResult& r) {
    if (r.archive) {
        app.archive = std::move(*r.archive);
        app.archive_loaded = true;
        app.unsaved_changes = false;
        app.fs_mode = false;
        app.current_folder.clear();
        // Display paths repeat across archives, so old thumbnails would show wrong pictures.
        clear_thumbnail_cache();
        // The preview shows an entry of the archive that was replaced.
        clear_preview();
        // The previous archive's decoded 7z folder is of no more use and may be large.
        rez::sevenzip_drop_cache();
        append_log(L"描述：" + rez::from_utf8(app.archive.user_title));
        append_log(L"根条目数：" + std::to_wstring(app.archive.root.children.size()));
    }
    append_log(L"已打开：" + r.path);
    if (app.path_combo) SetWindowTextW(app.path_combo, L"");
    show_path_in_caption(window, r.path);
    fill_tree();
    refresh_list();
    show_comment_box();
    if (!r.folder_to_show.empty()) navigate_vdir(r.folder_to_show);
    set_status_bar_text(L"已打开: " + r.path);
    update_status_summary();
    notify_task_done();
}

// A ZIP/7z written from its model has new member names and offsets: the model is read
// again so that it points at the file as it now is.
void reopen_if_rewritten(const TaskResult& r) {
    if (is_zip_or_7z_open() && r.path == app.archive.path) reopen_archive();
}

void on_drop_added(TaskResult& r) {
    std::wstring archive, added, skipped, replaced;
    split_drop_added(r.path, archive, added, skipped, replaced);
    // Replacing an entry of the same name loses its old content: the user is told.
    const bool any_replaced = replaced != L"0";
    append_log(L"拖放加入完成: " + archive + L"（加入 " + added + L"，跳过 " + skipped +
               (any_replaced ? L"，替换同名 " + replaced : L"") + L"）");
    std::wstring status = L"已加入 " + added + L" 项";
    if (skipped != L"0") status += L"（跳过重复 " + skipped + L" 项）";
    if (any_replaced) status += L"（替换同名 " + replaced + L" 项）";
    set_status_bar_text(status);
    open_file(archive);
    notify_task_done();
}

}  // namespace

void split_drop_added(const std::wstring& text, std::wstring& archive, std::wstring& added, std::wstring& skipped,
                      std::wstring& replaced) {
    size_t bar = text.find(L'|');
    archive = text.substr(0, bar);
    std::wstring rest = bar == std::wstring::npos ? L"" : text.substr(bar + 1);
    size_t bar2 = rest.find(L'|');
    added = rest.substr(0, bar2);
    rest = bar2 == std::wstring::npos ? L"0" : rest.substr(bar2 + 1);
    size_t bar3 = rest.find(L'|');
    skipped = rest.substr(0, bar3);
    replaced = bar3 == std::wstring::npos ? L"0" : rest.substr(bar3 + 1);
}

void on_task_result(HWND window, LPARAM lparam) {
    std::unique_ptr<TaskResult> r(reinterpret_cast<TaskResult*>(lparam));
    if (!r) return;
    end_busy();
    if (!r->ok) {
        report_failure(window, *r);
    } else {
        switch (r->kind) {
            case TASK_SAVED:
                show_path_in_caption(window, r->path);
                report_done(L"保存完成", r->path);
                reopen_if_rewritten(*r);
                notify_task_done();
                break;
            case TASK_EXTRACTED:
                report_done(L"解压完成", r->path);
                break;
            case TASK_AUTOSAVED:
                report_done(L"自动保存完成", r->path);
                reopen_if_rewritten(*r);
                notify_task_done();
                break;
            case TASK_PACKED:
                report_done(L"打包完成", r->path);
                open_file(r->path);
                break;
            case TASK_REWRITTEN:
                rez::sevenzip_drop_cache();
                archive_unlocked = true;
                reopen_archive();
                report_done(L"归档已更新", r->path);
                break;
            case TASK_OPENED:
                on_opened(window, *r);
                break;
            case TASK_DROP_ADDED:
                on_drop_added(*r);
                break;
            default:
                report_failure(window, *r);
                break;
        }
    }
    note_save_result(window, *r);
    r.reset();
    update_status_summary();
}

void on_test_done(HWND window, LPARAM lparam) {
    std::unique_ptr<TestDoneMsg> msg(reinterpret_cast<TestDoneMsg*>(lparam));
    end_busy();
    if (msg) {
        set_status_bar_text(msg->all_passed ? L"测试通过" : L"测试失败，详见日志");
        message_box(window, msg->summary, L"测试结果", msg->all_passed ? MB_ICONINFORMATION : MB_ICONWARNING);
    }
    update_status_summary();
}

bool free_worker_payload(const MSG& msg) {
    if (msg.message == WM_TASK_PROGRESS) {
        progress_received();
        delete reinterpret_cast<std::wstring*>(msg.lParam);
    }
    else if (msg.message == WM_TASK_RESULT)
        delete reinterpret_cast<TaskResult*>(msg.lParam);
    else if (msg.message == WM_TEST_DONE)
        delete reinterpret_cast<TestDoneMsg*>(msg.lParam);
    else
        return false;
    return true;
}

void free_queued_payloads(HWND window) {
    static_assert(WM_TASK_RESULT == WM_TASK_PROGRESS + 1 && WM_TEST_DONE == WM_TASK_RESULT + 1,
                  "the worker messages form one range");
    MSG msg;
    while (PeekMessageW(&msg, window, WM_TASK_PROGRESS, WM_TEST_DONE, PM_REMOVE)) {
        // Some systems hand out the pending quit whatever the filter says: keep it for the
        // message loop.
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        free_worker_payload(msg);
    }
}

void on_password_request(HWND window) {
    std::shared_ptr<OpenPwdRequest> request = pending_password_request.load();
    if (!request) return;
    std::wstring answer;
    // The password prompt masks what is typed, unlike the plain text question.
    const bool ok = ask_password(window, request->title, request->prompt, answer);
    {
        std::lock_guard<std::mutex> lock(request->mutex);
        request->cancelled = !ok;
        request->password = ok ? answer : std::wstring();
        request->done = true;
    }
    request->cv.notify_all();
    if (ok && !answer.empty()) rez::set_current_password(answer);
}

}  // namespace rezui
