#include "app/main_window/task_ui.h"

#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <system_error>

#include "app/app_state.h"
#include "app/common/window_helpers.h"
#include "app/main_window/messages.h"
#include "app/operations/handover_queue.h"
#include "resources/resource.h"

namespace rezui {
namespace {

// Rate-limit memory of post_progress; one task reports at a time.
std::atomic<int> last_percent{-1};
std::atomic<DWORD> last_tick{0};
// A report on its way to the main window: the next waits for it, so that a job of many small
// files never fills the queue (posted messages go before input: a full queue would hold back
// the click on Stop). One lost with its window stops counting after a while.
std::atomic<bool> report_waiting{false};
constexpr DWORD kLostReportMs = 1000;

HWND progress_text() {
    return app.main_window ? GetDlgItem(app.main_window, IDC_PROGRESS_TEXT) : nullptr;
}

void show_button(HWND button, bool enabled, bool shown) {
    if (!button) return;
    EnableWindow(button, enabled ? TRUE : FALSE);
    ShowWindow(button, shown ? SW_SHOW : SW_HIDE);
}

void refresh_frame(HWND window) {
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

struct PumpJob {
    std::function<void()> job;
    std::atomic<long> done{0};
};

unsigned __stdcall pump_thread(void* param) {
    auto* p = static_cast<PumpJob*>(param);
    p->job();
    p->done.exchange(1);
    if (app.main_window) PostMessageW(app.main_window, WM_PUMP_DONE, 0, 0);
    return 0;
}

}  // namespace

void append_log(const std::wstring& text) {
    if (!app.log_box) return;
    SYSTEMTIME st;
    GetLocalTime(&st);
    wchar_t stamp[32];
    swprintf(stamp, 32, L"[%02d:%02d:%02d] ", st.wHour, st.wMinute, st.wSecond);
    std::wstring line = stamp + text + L"\r\n";
    // The edit control stops accepting text at its default limit; lift it as needed.
    LRESULT len = SendMessageW(app.log_box, WM_GETTEXTLENGTH, 0, 0);
    LRESULT limit = SendMessageW(app.log_box, EM_GETLIMITTEXT, 0, 0);
    size_t need = static_cast<size_t>(len) + line.size() + 1;
    if (static_cast<size_t>(limit) < need) SendMessageW(app.log_box, EM_SETLIMITTEXT, need * 2 + 65536, 0);
    append_log_text(app.log_box, line);
    if (app.status_bar) SendMessageW(app.status_bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

void notify_task_done() {
    HWND w = app.main_window;
    if (!w) return;
    if (!IsWindowVisible(w)) {
        if (headless) return;
        ShowWindow(w, SW_RESTORE);
        SetForegroundWindow(w);
    }
    FLASHWINFO fi = {};
    fi.cbSize = sizeof(fi);
    fi.hwnd = w;
    fi.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    fi.uCount = 3;
    fi.dwTimeout = 0;
    FlashWindowEx(&fi);
}

void set_progress_marquee(bool on) {
    HWND bar = app.progress_bar;
    if (!bar) return;
    LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    if (on) {
        if (!(style & PBS_MARQUEE)) {
            SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
            refresh_frame(bar);
        }
        SendMessageW(bar, PBM_SETMARQUEE, TRUE, 0);
    } else if (style & PBS_MARQUEE) {
        SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
        SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
        refresh_frame(bar);
        SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
}

void set_progress(int percent, const std::wstring& text) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (HWND bar = app.progress_bar) {
        set_progress_marquee(false);
        // Stepping back by one makes the bar jump instead of animating to the new value.
        if (percent == 100) {
            SendMessageW(bar, PBM_SETPOS, 99, 0);
            SendMessageW(bar, PBM_SETPOS, 100, 0);
        } else {
            SendMessageW(bar, PBM_SETPOS, percent + 1, 0);
            SendMessageW(bar, PBM_SETPOS, percent, 0);
        }
        RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    if (HWND t = progress_text()) SetWindowTextW(t, text.c_str());
}

void begin_busy() {
    app.busy = true;
    report_waiting.store(false);
    app.paused.exchange(false);
    app.cancel.exchange(false);
    show_button(app.pause_button, true, true);
    show_button(app.resume_button, false, true);
    show_button(app.cancel_button, true, true);
}

void end_busy() {
    app.busy = false;
    set_progress_marquee(false);
    show_button(app.pause_button, false, false);
    show_button(app.resume_button, false, false);
    show_button(app.cancel_button, false, false);
    if (HWND bar = app.progress_bar) {
        SendMessageW(bar, PBM_SETPOS, 1, 0);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    if (HWND t = progress_text()) SetWindowTextW(t, L"就绪");
    schedule_waiting_hand_over();
}

void pause_task() {
    app.paused.exchange(true);
    if (app.pause_button) EnableWindow(app.pause_button, FALSE);
    if (app.resume_button) EnableWindow(app.resume_button, TRUE);
}

void resume_task() {
    app.paused.exchange(false);
    if (app.pause_button) EnableWindow(app.pause_button, TRUE);
    if (app.resume_button) EnableWindow(app.resume_button, FALSE);
}

void stop_task() {
    app.cancel.exchange(true);
    app.paused.exchange(false);
}

void clear_log() {
    if (app.log_box) SetWindowTextW(app.log_box, L"");
}

void reset_progress_relay() {
    last_percent.store(-1);
    last_tick.store(0);
    report_waiting.store(false);
}

void progress_received() { report_waiting.store(false); }

bool post_progress(int percent, const std::wstring& text) {
    while (app.paused.load()) {
        if (app.cancel.load()) break;
        Sleep(50);
    }
    if (HWND w = app.main_window) {
        DWORD now = GetTickCount();
        bool same = percent == last_percent.load() && percent < 100 && now - last_tick.load() < 50;
        const bool waiting = report_waiting.load() && percent < 100 && now - last_tick.load() < kLostReportMs;
        if (!same && !waiting) {
            report_waiting.store(true);
            last_percent.store(percent);
            last_tick.store(now);
            auto* copy = new std::wstring(text);
            if (!PostMessageW(w, WM_TASK_PROGRESS, static_cast<WPARAM>(percent), reinterpret_cast<LPARAM>(copy)))
                delete copy;
        }
    }
    return !app.cancel.load();
}

void run_with_pump(std::function<void()> job) {
    PumpJob state;
    state.job = std::move(job);
    // The window is disabled before the job starts: a click taken between the start and
    // the disabling would reach a command while the job already runs.
    HWND w = app.main_window;
    if (w) EnableWindow(w, FALSE);
    uintptr_t h = _beginthreadex(nullptr, 0, pump_thread, &state, 0, nullptr);
    if (!h) {
        if (w) EnableWindow(w, TRUE);
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    HANDLE thread = reinterpret_cast<HANDLE>(h);
    bool quit_seen = false;
    WPARAM quit_code = 0;
    while (!state.done.load()) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // Waking on the thread's end as well covers a job that finishes without a
            // main window to post WM_PUMP_DONE to.
            if (!state.done.load()) MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
            continue;
        }
        if (msg.message == WM_PUMP_DONE) continue;
        if (msg.message == WM_QUIT) {
            // Keep the quit for the real message loop instead of losing it here.
            quit_seen = true;
            quit_code = msg.wParam;
            continue;
        }
        if (w && IsDialogMessageW(w, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (w) EnableWindow(w, TRUE);
    state.job = nullptr;
    if (quit_seen) PostQuitMessage(static_cast<int>(quit_code));
}

}  // namespace rezui
