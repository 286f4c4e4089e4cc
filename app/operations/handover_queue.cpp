#include "app/operations/handover_queue.h"

#include <deque>

#include "app/app_state.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"

namespace rezui {
namespace {

struct Waiting {
    ULONG_PTR code;
    std::wstring text;
};

// Touched by the user-interface thread only.
std::deque<Waiting> waiting;

}  // namespace

void queue_hand_over(ULONG_PTR code, const std::wstring& text, const std::wstring& what) {
    waiting.push_back({code, text});
    const std::wstring note = what + L"：正在执行其他任务，已排队，当前任务结束后自动执行";
    append_log(note);
    set_status_bar_text(note);
}

bool hand_over_waiting() { return !waiting.empty(); }

void schedule_waiting_hand_over() {
    if (!waiting.empty() && app.main_window) PostMessageW(app.main_window, WM_RUN_HANDED_OVER, 0, 0);
}

void run_waiting_hand_over(HWND window) {
    if (app.busy || waiting.empty()) return;
    const Waiting next = std::move(waiting.front());
    waiting.pop_front();
    std::wstring payload = next.text;
    payload.push_back(L'\0');
    COPYDATASTRUCT cds{};
    cds.dwData = next.code;
    cds.cbData = static_cast<DWORD>(payload.size() * sizeof(wchar_t));
    cds.lpData = payload.data();
    on_copy_data(window, &cds);
    // What it ran may have ended at once (an archive of another kind opened in place).
    if (!app.busy) schedule_waiting_hand_over();
}

}  // namespace rezui
