#include "app/tools/sfx_run_window.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/tools/sfx_shortcut.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {

SfxPayload* g_sfx_payload = nullptr;
std::atomic<HWND> g_sfx_run_id{nullptr};

namespace {

const wchar_t kRetryHint[] = L"[提示] 请确认目标目录可写，或重新选择解压位置后重试。";

// The running extraction's control (null while none runs) and whether the user chose to
// stop it and close. The window's thread only.
std::shared_ptr<SfxRunControl> running_control;
bool closing = false;

// The header band's colour; made once and kept for the life of the process.
HBRUSH band_brush() {
    static HBRUSH brush = CreateSolidBrush(RGB(28, 76, 148));
    return brush;
}

void start_thread(SfxRunJob* job) { std::thread(sfx_run_thread, job).detach(); }

std::wstring proposed_folder() {
    wchar_t buffer[520] = {};
    const DWORD n = GetTempPathW(520, buffer);
    const std::wstring temp = (n == 0 || n >= 520) ? L"C:\\Windows\\Temp\\" : std::wstring(buffer, n);
    return temp + L"MarrowindRez_Extract";
}

void set_item_text(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

void init_dialog(HWND dialog) {
    g_sfx_run_id = dialog;
    running_control.reset();
    closing = false;
    if (const SfxPayload* payload = g_sfx_payload) {
        const std::wstring title = rez::from_utf8(payload->config.title);
        SetWindowTextW(dialog, title.c_str());
        set_item_text(dialog, IDC_SFXRUN_TITLE, title);
        set_item_text(dialog, IDC_SFXRUN_DESCRIPTION, rez::from_utf8(payload->config.description));
        const std::wstring dest = rez::from_utf8(payload->config.default_path);
        set_item_text(dialog, IDC_SFXRUN_DEST, dest.empty() ? proposed_folder() : dest);
        append_edit_text(dialog, L"准备就绪。点击“解压”开始，输出提示将显示在此处。");
    }
    SendDlgItemMessageW(dialog, IDC_SFXRUN_PROGRESS, PBM_SETRANGE32, 0, 100);
    apply_dialog_look(dialog);
}

bool band_colours(HWND dialog, WPARAM wparam, LPARAM lparam, INT_PTR* result) {
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
    if (id != IDC_SFXRUN_TITLE && id != IDC_SFXRUN_DESCRIPTION && id != IDC_SFXRUN_BAND) return false;
    (void)dialog;
    HDC dc = reinterpret_cast<HDC>(wparam);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    *result = reinterpret_cast<INT_PTR>(band_brush());
    return true;
}

void browse(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择解压目录");
    if (!folder.empty()) set_item_text(dialog, IDC_SFXRUN_DEST, folder);
}

void report_failure(HWND dialog, const std::wstring& error) {
    set_item_text(dialog, IDC_SFXRUN_STATUS, L"解压失败。");
    append_edit_text(dialog, L"[错误] " + error);
    append_edit_text(dialog, kRetryHint);
}

void start(HWND dialog) {
    const SfxPayload* payload = g_sfx_payload;
    if (!payload) return;
    const std::wstring dest = get_window_text(GetDlgItem(dialog, IDC_SFXRUN_DEST));
    if (dest.empty()) return;
    EnableWindow(GetDlgItem(dialog, IDC_SFXRUN_START), FALSE);
    std::unique_ptr<SfxRunJob> job;
    try {
        auto control = std::make_shared<SfxRunControl>();
        job.reset(new SfxRunJob{dest, payload->temp_archive, payload->config, dialog, control});
        sfx_start_run_thread(job.get());
        job.release();  // the thread owns it now
        running_control = std::move(control);
    } catch (const std::exception&) {
        // An exception must not leave through the window procedure; the user can try again.
        EnableWindow(GetDlgItem(dialog, IDC_SFXRUN_START), TRUE);
        report_failure(dialog, L"无法启动解压线程");
    }
}

void end_window(HWND dialog) {
    running_control.reset();
    closing = false;
    g_sfx_run_id = nullptr;
    EndDialog(dialog, 0);
}

// Closing while files are written would leave one cut in half: the extraction waits while
// the user decides, and on yes stops at its next step; the window goes when it has ended.
void close(HWND dialog) {
    const std::shared_ptr<SfxRunControl> control = running_control;
    if (!control) {
        end_window(dialog);
        return;
    }
    if (closing) return;
    control->hold = true;
    const int answer = message_box(dialog, kSfxStopQuestion, get_window_text(dialog), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer != IDYES) {
        control->hold = false;
        return;
    }
    if (!running_control) {  // it ended while the question was up
        end_window(dialog);
        return;
    }
    closing = true;
    control->stop = true;
    control->hold = false;
    set_item_text(dialog, IDC_SFXRUN_STATUS, L"正在停止解压...");
}

// Shows the steps the worker reported since the last time, if any.
void show_steps(HWND dialog) {
    SfxProgressBox::Steps steps;
    if (!running_control || !running_control->progress.take(steps)) return;
    SendDlgItemMessageW(dialog, IDC_SFXRUN_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(steps.percent), 0);
    set_item_text(dialog, IDC_SFXRUN_STATUS, steps.status);
    append_edit_text(dialog, steps.lines);
}

void on_done(HWND dialog, LPARAM payload) {
    std::unique_ptr<SfxRunResult> result(reinterpret_cast<SfxRunResult*>(payload));
    show_steps(dialog);  // the last steps come before the outcome
    running_control.reset();
    if (closing) {
        end_window(dialog);
        return;
    }
    EnableWindow(GetDlgItem(dialog, IDC_SFXRUN_START), TRUE);
    if (!result) return;
    if (result->ok) {
        set_item_text(dialog, IDC_SFXRUN_STATUS, L"解压完成。");
        append_edit_text(dialog, L"[完成] 全部文件已成功解压到目标目录。");
    } else {
        report_failure(dialog, result->error);
    }
}

bool on_command(HWND dialog, WORD id) {
    switch (id) {
    case IDC_SFXRUN_BROWSE: browse(dialog); return true;
    case IDC_SFXRUN_START: start(dialog); return true;
    case IDCANCEL: close(dialog); return true;
    default: return false;
    }
}

}  // namespace

void (*sfx_start_run_thread)(SfxRunJob* job) = start_thread;

void append_edit_text(HWND dialog, const std::wstring& text) {
    append_log_text(GetDlgItem(dialog, IDC_SFXRUN_LOG), text + L"\r\n");
}

void sfx_run_worker(SfxRunJob& job) {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    auto* result = new (std::nothrow) SfxRunResult;
    if (result) {
        rez::RezFile archive;
        HWND dialog = job.dialog;
        // Once the window has closed (or another has opened) nothing more is posted.
        const std::shared_ptr<SfxRunControl> control = job.control;
        auto progress = [dialog, control](int percent, const std::wstring& text) {
            if (!control) return true;
            while (control->hold.load() && !control->stop.load()) Sleep(20);
            if (control->stop.load()) return false;
            if (g_sfx_run_id.load() != dialog) return true;
            if (control->progress.add(percent, text) && !PostMessageW(dialog, WM_SFX_WORKER_ITEM, 0, 0))
                control->progress.post_failed();
            return true;
        };
        // The library refuses entries whose names would leave dest, so nothing lands outside it.
        result->ok = rez::RezFile::open(job.archive, archive, result->error) &&
                     archive.extract_to_directory(job.dest, result->error, progress);
        if (result->ok) {
            result->error.clear();
            if (job.config.create_shortcut) {
                std::wstring target, work_dir;
                sfx_shortcut_target(job.dest, job.config, target, work_dir);
                create_desktop_shortcut(target, work_dir, sfx_shortcut_name(job.config.title),
                                        rez::from_utf8(job.config.description));
            }
        }
        if (!PostMessageW(job.dialog, WM_SFX_WORKER_DONE, 0, reinterpret_cast<LPARAM>(result))) delete result;
    }
    if (com) CoUninitialize();
}

void sfx_run_thread(SfxRunJob* job) {
    std::unique_ptr<SfxRunJob> owned(job);
    sfx_run_worker(*owned);
}

INT_PTR CALLBACK sfx_run_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (message == WM_CTLCOLORSTATIC && band_colours(dialog, wparam, lparam, &result)) return result;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG: init_dialog(dialog); return TRUE;
    case WM_COMMAND: return on_command(dialog, LOWORD(wparam)) ? TRUE : FALSE;
    case WM_SFX_WORKER_ITEM: show_steps(dialog); return TRUE;
    case WM_SFX_WORKER_DONE: on_done(dialog, lparam); return TRUE;
    default: return FALSE;
    }
}

}  // namespace rezui
