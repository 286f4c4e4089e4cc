// Runs the runner in this process on a self-extractor file, with a script of steps played
// from a thread timer inside the runner's own message loop (and inside any box it shows).
// A step returns true when it is done; the next one runs on a later tick. A script that
// does not finish in time closes the window, so a fault never hangs the tests.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "runner/runner_app.h"
#include "runner/runner_state.h"
#include "runner_test_support.h"

namespace rtest {

using Step = std::function<bool()>;

struct Session {
    std::vector<Step> steps;
    size_t next = 0;
    bool timed_out = false;
    DWORD started = 0;
    // Generous: a loaded machine (the whole suite in parallel) can take seconds per step.
    DWORD limit_ms = 120000;
    int exit_code = -1;

    static inline Session* current = nullptr;

    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        Session* s = current;
        if (!s || s->timed_out) return;
        if (GetTickCount() - s->started > s->limit_ms) {
            s->timed_out = true;
            if (IsWindow(rezui::g_runner.main_window))
                DestroyWindow(rezui::g_runner.main_window);
            else
                PostQuitMessage(0);
            return;
        }
        if (s->next < s->steps.size() && s->steps[s->next]()) ++s->next;
    }

    // Runs the runner on file and plays the steps; the runner's exit code.
    int run(const std::wstring& file) {
        current = this;
        started = GetTickCount();
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, tick);
        exit_code = rezui::run_runner(GetModuleHandleW(nullptr), SW_SHOWNORMAL, file);
        KillTimer(nullptr, timer);
        current = nullptr;
        return exit_code;
    }
    bool all_steps_done() const { return next == steps.size() && !timed_out; }
};

inline HWND control(int id) {
    return rezui::g_runner.main_window ? GetDlgItem(rezui::g_runner.main_window, id) : nullptr;
}

// Steps.
inline Step act(std::function<void()> f) {
    return [f] {
        f();
        return true;
    };
}
inline Step wait_for(std::function<bool()> condition) { return condition; }
inline Step click_on(int id) { return [id] { return click(control(id)); }; }
inline Step key_on(int id, UINT key) { return [id, key] { return press_key(control(id), key); }; }
inline Step type_on(int id, std::wstring text) { return [id, text] { return type_into(control(id), text); }; }
// Waits until the main button is usable again (an extraction has ended).
inline Step main_button_reads(std::wstring text) {
    return [text] { return usable(control(rezui::kIdMain)) && text_of(control(rezui::kIdMain)) == text; };
}

inline std::wstring log_text() { return text_of(control(rezui::kIdLog)); }
inline bool shown(int id) { return IsWindowVisible(control(id)) != FALSE; }

}  // namespace rtest
