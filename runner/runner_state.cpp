#include "runner/runner_state.h"

#include "archive/util.h"

namespace rezui {

RunnerState g_runner;

std::wstring runner_title() { return rez::from_utf8(g_runner.config.title); }

void runner_log(const std::wstring& text) {
    HWND log = g_runner.main_window ? GetDlgItem(g_runner.main_window, kIdLog) : nullptr;
    if (!log) return;
    const LRESULT end = SendMessageW(log, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(end), end);
    const std::wstring line = text + L"\r\n";
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    // The box scrolls its pixels at once and paints the uncovered line later: painted now,
    // it never shows the last lines twice while the extraction keeps the window busy.
    UpdateWindow(log);
}

void runner_set_text(int id, const std::wstring& text) {
    if (HWND control = g_runner.main_window ? GetDlgItem(g_runner.main_window, id) : nullptr)
        SetWindowTextW(control, text.c_str());
}

void runner_status(const std::wstring& text) {
    if (g_runner.is_installer)
        runner_set_text(kIdStatus, text);
    else
        runner_log(text);
}

}  // namespace rezui
