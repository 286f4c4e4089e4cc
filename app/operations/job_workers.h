// The worker threads of background jobs (save, extract, open). Each is tracked in
// rezui::app.workers from its start until it has ended, so that leaving the program can
// stop the running job and wait for it instead of pulling the archive model away under it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/operations/open_archive.h"

namespace rezui {

// Worker side: runs operation(err) and posts its outcome to the main window as one
// TaskResult of the given kind for path, err as its error when the operation failed.
template <class Operation>
void post_outcome(TaskKind kind, const std::wstring& path, Operation operation) {
    auto* result = new TaskResult;
    result->kind = kind;
    result->path = path;
    std::wstring err;
    result->ok = operation(err);
    if (!result->ok) result->error = err;
    post_task_result(result);
}

// UI thread: runs body on a new worker thread. Throws std::system_error when no thread
// starts.
void start_worker(std::function<void()> body);
// UI thread: true while a worker started by start_worker has not ended.
bool workers_running();
// UI thread: asks the running job to stop (cancel set, pause lifted, a pending password
// question answered as cancelled) and waits until every worker has ended, then ends the busy
// state. With pump, the thread keeps handling messages meanwhile with the window disabled;
// the workers' own reports are dropped, since nothing should start from them now.
void stop_workers(HWND window, bool pump);
// Any thread: true while stop_workers is winding the workers down. Jobs with a stop of their
// own (the wizard's, a conversion's) read this besides it instead of the main window's cancel,
// which belongs to the main window's job.
bool workers_stop_requested();

}  // namespace rezui
