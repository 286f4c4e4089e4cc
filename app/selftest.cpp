// The navigation self-test behind "--selftest <archive>": it opens the archive, walks into
// REZ\BUTES and up three times, and logs each step to qvl_selftest.log in the temporary
// folder. It runs without a message loop and without any modal window: message boxes
// raised on the way are written to the log instead, and dialogs are cancelled.
#include "app/selftest.h"

#include <windows.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/browser/local_view.h"
#include "app/operations/open_archive.h"
#include "app/common/window_helpers.h"
#include "archive/util.h"

namespace rezui {

namespace {

// Longest wait for the open to finish (a huge archive on a slow disk).
constexpr DWORD kOpenTimeoutMs = 10 * 60 * 1000;

std::wstring g_log_path;

int log_message_box(HWND, const std::wstring& text, const std::wstring& caption, UINT) {
    selftest_log_line(g_log_path, L"message: [" + caption + L"] " + text);
    return IDCANCEL;
}

// A question on the way (such as an archive password) is answered with Cancel.
INT_PTR log_dialog(int resource_id, HWND, DLGPROC, LPARAM) {
    selftest_log_line(g_log_path, L"dialog: " + std::to_wstring(resource_id) + L" cancelled");
    return IDCANCEL;
}

// Dispatches messages until the open job has posted its result and the main window has
// handled it (the busy state ends there). A WM_QUIT is put back for whoever runs next.
void wait_for_open() {
    const DWORD start = GetTickCount();
    while (app.busy || task_running.load()) {
        if (!pump_pending_messages()) return;
        if (!app.busy && !task_running.load()) break;
        if (GetTickCount() - start > kOpenTimeoutMs) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

std::wstring bracket(const std::wstring& s) { return L"[" + s + L"]"; }

}  // namespace

std::wstring selftest_log_path() {
    wchar_t tmp[520] = {};
    DWORD n = GetTempPathW(520, tmp);
    std::wstring dir = (n > 0 && n < 520) ? std::wstring(tmp, n) : std::wstring(L"C:\\Windows\\Temp\\");
    return dir + L"qvl_selftest.log";
}

void selftest_log_line(const std::wstring& log_path, const std::wstring& line) {
    FILE* f = _wfopen(log_path.c_str(), L"a");
    if (!f) return;
    const std::string utf8 = rez::to_utf8(line);
    std::fwrite(utf8.data(), 1, utf8.size(), f);
    std::fputc('\n', f);
    std::fclose(f);
}

bool run_selftest(const std::wstring& rez_path) {
    g_log_path = selftest_log_path();
    const std::wstring& log = g_log_path;
    const UiSeams saved_seams = ui_seams;
    ui_seams.message_box = log_message_box;
    ui_seams.run_dialog = log_dialog;

    selftest_log_line(log, L"=== selftest begin ===");
    selftest_log_line(log, L"rez_path=" + bracket(rez_path));
    open_file(rez_path);
    wait_for_open();

    selftest_log_line(log, L"after open current_path=" + bracket(app.current_folder));
    bool ok = app.archive_loaded && app.current_folder.empty();
    if (!app.archive_loaded) selftest_log_line(log, L"FAIL: has_rez=false");

    navigate_vdir(L"REZ\\BUTES");
    selftest_log_line(log, L"after nav current_path=" + bracket(app.current_folder));
    ok = ok && app.current_folder == L"REZ\\BUTES";

    go_up();
    selftest_log_line(log, L"after up1 current_path=" + bracket(app.current_folder));
    ok = ok && app.current_folder == L"REZ";

    go_up();
    selftest_log_line(log, L"after up2 current_path=" + bracket(app.current_folder));
    ok = ok && app.current_folder.empty();

    go_up();
    selftest_log_line(log, L"after up3 fs_mode=" + std::wstring(app.fs_mode ? L"1" : L"0") + L" fs_root=" +
                               bracket(app.local_root));

    const size_t cut = rez_path.rfind(L'\\');
    const std::wstring expected = cut == std::wstring::npos ? rez_path : rez_path.substr(0, cut);
    const bool pass = ok && app.fs_mode && app.local_root == expected;
    selftest_log_line(log, pass ? L"SELFTEST PASS" : L"SELFTEST FAIL");

    ui_seams = saved_seams;
    // No message loop follows: take the window (and its notification-area icon) down now.
    if (app.main_window && IsWindow(app.main_window)) DestroyWindow(app.main_window);
    return pass;
}

}  // namespace rezui
