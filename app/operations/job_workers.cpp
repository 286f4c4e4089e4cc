#include "app/operations/job_workers.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "app/app_state.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/operations/open_archive.h"
#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"

namespace rezui {
namespace {

// How often the wait looks again at the cancel flag and the password slot.
constexpr DWORD kStopPollMs = 50;

std::atomic<bool> stop_requested{false};

unsigned __stdcall worker_main(void* param) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
    (*body)();
    return 0;
}

void forget_ended_workers() {
    auto& workers = app.workers;
    workers.erase(std::remove_if(workers.begin(), workers.end(),
                                 [](const rez::unique_kernel& thread) {
                                     return WaitForSingleObject(thread.get(), 0) != WAIT_TIMEOUT;
                                 }),
                  workers.end());
}

// An opening worker waits for its password answer; nobody is going to type one now.
void decline_password_request() {
    std::shared_ptr<OpenPwdRequest> request = pending_password_request.load();
    if (!request) return;
    {
        std::lock_guard<std::mutex> lock(request->mutex);
        if (request->done) return;
        request->cancelled = true;
        request->password.clear();
        request->done = true;
    }
    request->cv.notify_one();
}

// Handles what is queued while the workers wind down. A WM_QUIT is noted (quit_seen,
// quit_code) so that it can be posted again for the real message loop.
void pump_while_stopping(HWND window, bool& quit_seen, WPARAM& quit_code) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit_seen = true;
            quit_code = msg.wParam;
            continue;
        }
        if (msg.hwnd == window && (free_worker_payload(msg) || msg.message == WM_PASSWORD_REQUEST)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

void start_worker(std::function<void()> body) {
    forget_ended_workers();
    auto* heap = new std::function<void()>(std::move(body));
    uintptr_t h = _beginthreadex(nullptr, 0, worker_main, heap, 0, nullptr);
    if (!h) {
        delete heap;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    app.workers.emplace_back(reinterpret_cast<HANDLE>(h));
}

bool workers_stop_requested() { return stop_requested.load(); }

bool workers_running() {
    forget_ended_workers();
    return !app.workers.empty();
}

void stop_workers(HWND window, bool pump) {
    if (!workers_running()) return;
    if (pump) set_status_bar_text(L"正在停止后台任务…");
    const bool disable = pump && window && IsWindowEnabled(window);
    if (disable) EnableWindow(window, FALSE);
    bool quit_seen = false;
    WPARAM quit_code = 0;
    while (workers_running()) {
        // Set on every round: nothing may clear it while the workers wind down.
        app.cancel.store(true);
        app.paused.store(false);
        stop_requested.store(true);
        decline_password_request();
        std::vector<HANDLE> threads;
        for (const auto& t : app.workers) threads.push_back(t.get());
        const DWORD count = static_cast<DWORD>(std::min<size_t>(threads.size(), MAXIMUM_WAIT_OBJECTS - 1));
        if (pump) {
            MsgWaitForMultipleObjects(count, threads.data(), FALSE, kStopPollMs, QS_ALLINPUT);
            pump_while_stopping(window, quit_seen, quit_code);
        } else {
            WaitForMultipleObjects(count, threads.data(), FALSE, kStopPollMs);
        }
    }
    stop_requested.store(false);
    if (disable) EnableWindow(window, TRUE);
    end_busy();
    if (quit_seen) PostQuitMessage(static_cast<int>(quit_code));
}

}  // namespace rezui
