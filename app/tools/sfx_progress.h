// The steps of a self-extractor's extraction on their way from the worker to the window
// (the main program's self-extract window and the runner's). The worker adds each step;
// the window is sent a message only when none is on its way, and takes every step added
// since. A run of many small files thus never floods the window's queue: a click on the
// close box, which the window gets only after the messages posted before it, is answered
// at once.
#pragma once

#include <mutex>
#include <string>

namespace rezui {

class SfxProgressBox {
public:
    struct Steps {
        int percent = 0;
        std::wstring status;  // the latest step
        std::wstring lines;   // every step since the last take, one a line, no line end after the last
    };

    // The worker's side: records a step. True when the caller is to post the window's
    // message (and to call post_failed() if that fails).
    bool add(int percent, const std::wstring& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        percent_ = percent;
        status_ = text;
        if (fresh_) lines_ += L"\r\n";
        lines_ += text;
        fresh_ = true;
        if (posted_) return false;
        posted_ = true;
        return true;
    }
    void post_failed() {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_ = false;
    }

    // The window's side: the steps added since the last take; false when there were none.
    bool take(Steps& steps) {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_ = false;
        if (!fresh_) return false;
        steps.percent = percent_;
        steps.status = status_;
        steps.lines = std::move(lines_);
        lines_.clear();
        fresh_ = false;
        return true;
    }

private:
    std::mutex mutex_;
    int percent_ = 0;
    std::wstring status_;
    std::wstring lines_;
    bool fresh_ = false;  // steps added since the last take
    bool posted_ = false;
};

}  // namespace rezui
