// Progress handed from a worker to a window without flooding the window's queue: the worker
// leaves its latest state here, and at most one message is on its way at any time, sent at
// most every few hundred milliseconds. The window takes the latest state when the message
// arrives. Posted messages are handled before input, so a queue kept full of them would hold
// back every click on Stop or Cancel until the job had ended.
#pragma once

#include <windows.h>

#include <mutex>
#include <utility>

namespace rezui {

template <class State>
class ProgressMailbox {
public:
    // Messages go to window as message with wParam and lParam 0.
    ProgressMailbox(HWND window, UINT message, DWORD interval_ms = 200)
        : window_(window), message_(message), interval_ms_(interval_ms) {}
    ProgressMailbox(const ProgressMailbox&) = delete;
    ProgressMailbox& operator=(const ProgressMailbox&) = delete;

    // Worker: state becomes the latest. A message goes out when none is waiting and the last
    // one is older than the interval; urgent (a new phase, whose text would otherwise stay
    // unseen through a long step) skips the interval.
    void offer(State state, bool urgent = false) {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_ = std::move(state);
        fresh_ = true;
        const DWORD now = GetTickCount();
        // A message lost with its window (or dropped unread) must not silence the job for good.
        if (pending_ && now - posted_at_ < kLostAfterMs) return;
        if (!urgent && posted_ && now - posted_at_ < interval_ms_) return;
        if (PostMessageW(window_, message_, 0, 0)) {
            pending_ = true;
            posted_ = true;
            posted_at_ = now;
        }
    }

    // Window, on the message: the latest state, false when nothing new came since the last take.
    bool take(State& out) {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_ = false;
        if (!fresh_) return false;
        out = std::move(latest_);
        fresh_ = false;
        return true;
    }

private:
    static constexpr DWORD kLostAfterMs = 2000;
    std::mutex mutex_;
    HWND window_;
    UINT message_;
    DWORD interval_ms_;
    State latest_{};
    bool fresh_ = false;
    bool pending_ = false;
    bool posted_ = false;
    DWORD posted_at_ = 0;
};

}  // namespace rezui
