#include "app/tools/pack_dialog.h"

#include <commctrl.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/operations/open_archive.h"
#include "app/tools/pack_job.h"
#include "resources/resource.h"

namespace rezui {
namespace {

struct PackJob {
    std::vector<std::wstring> sources;
    std::wstring output;
    std::wstring error;
    bool ok = false;
};

struct PackProgressMsg {
    int percent = 0;
    int done = 0;
    int total = 0;
    bool save_phase = false;
    std::wstring current;
    std::wstring log;
    bool news = false;  // posted since the dialog last took it
};

// A pack or extract dialog asked for while another one is up: it runs when that one has
// closed, in the order asked.
struct DialogRequest {
    int mode = 0;  // 0 pack, 1 extract
    HWND owner = nullptr;
    std::wstring archive, destination;
    bool deferred = false;  // asked while another dialog was up
};

struct RateSample {
    ULONGLONG tick;
    int done;
};

enum Phase { kCollecting = 0, kRunning = 1, kFinished = 2 };

// One dialog at a time, so its state is process-wide; the UI thread owns all of it but the
// shared record (under the mutex) and the post-pending flag.
struct PackDialogState {
    std::vector<std::wstring> pending;
    bool showing = false;
    int mode = 0;  // 0 pack, 1 extract
    int phase = kCollecting;
    std::atomic<bool> post_pending{false};
    PackJob* job = nullptr;
    std::thread worker;
    ULONGLONG opened_at = 0;
    int last_count = 0;
    int stable_ticks = 0;
    std::vector<RateSample> samples;
    std::wstring log_text;
    HFONT bold_font = nullptr;
    std::wstring archive, destination;
};

PackDialogState state;
std::deque<DialogRequest> queued_dialogs;
std::mutex progress_mutex;
std::shared_ptr<PackProgressMsg> shared_progress;
// When the dialog last took the shared record: the worker posts no new message sooner than
// kProgressGapMs after it, so a job of many small files never floods the dialog's queue and
// clicks and keys are answered at once. The timer shows what came in between.
std::atomic<ULONGLONG> progress_taken_at{0};
constexpr ULONGLONG kProgressGapMs = 200;
constexpr UINT kProgressTimerMs = 250;

bool extracting() { return state.mode == 1; }

void set_item(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

void enable_item(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

void show_item(HWND dialog, int id, bool on) { ShowWindow(GetDlgItem(dialog, id), on ? SW_SHOW : SW_HIDE); }

void reset_progress_record() {
    {
        std::lock_guard<std::mutex> lock(progress_mutex);
        shared_progress.reset();
    }
    state.post_pending.exchange(false);
    progress_taken_at = 0;
    state.samples.clear();
    state.log_text.clear();
}

struct ThreadArgs {
    HWND dialog;
    PackJob* job;
};

PackProgressFn progress_for(HWND dialog) {
    return [dialog](int percent, int done, int total, bool save_phase, const std::wstring& current,
                    const std::wstring& log) { post_pack_progress(dialog, percent, done, total, save_phase, current, log); };
}

void pack_thread(ThreadArgs* args) {
    std::unique_ptr<ThreadArgs> own(args);
    PackJob* job = own->job;
    job->ok = pack_impl(job->sources, job->output, job->error, progress_for(own->dialog));
    PostMessageW(own->dialog, WM_PACK_DONE, 0, reinterpret_cast<LPARAM>(job));
}

void extract_thread(ThreadArgs* args) {
    std::unique_ptr<ThreadArgs> own(args);
    PackJob* job = own->job;
    job->ok = extract_impl(job->sources[0], job->output, job->error, progress_for(own->dialog));
    PostMessageW(own->dialog, WM_PACK_DONE, 0, reinterpret_cast<LPARAM>(job));
}

void start_worker(HWND dialog, void (*entry)(ThreadArgs*)) {
    state.phase = kRunning;
    SetTimer(dialog, ID_TIMER_PROGRESS, kProgressTimerMs, nullptr);
    state.worker = std::thread(entry, new ThreadArgs{dialog, state.job});
}

void free_job() {
    delete state.job;
    state.job = nullptr;
}

void init_common(HWND dialog) {
    apply_dialog_look(dialog);
    SendDlgItemMessageW(dialog, IDC_PACK_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    if (!state.bold_font)
        state.bold_font = CreateFontW(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                      CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei UI");
    SendDlgItemMessageW(dialog, IDC_PACK_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(state.bold_font), TRUE);
    set_item(dialog, IDC_PACK_CURRENT, L"当前压缩文件：等待收集多选目标…");
    set_item(dialog, IDC_PACK_COUNT, L"压缩数：0 / 0");
    set_item(dialog, IDC_PACK_REMAINING, L"剩余项目：—");
    set_item(dialog, IDC_PACK_RATE, L"速率：—");
    set_item(dialog, IDC_PACK_TIME_LEFT, L"剩余时间：—");
    enable_item(dialog, IDC_PACK_MINIMIZE, true);
    enable_item(dialog, IDC_PACK_STOP, true);
    enable_item(dialog, IDC_PACK_CLOSE, false);
    // The log is appended to, never rewritten; a long job's log outgrows the default limit.
    SendDlgItemMessageW(dialog, IDC_PACK_LOG, EM_SETLIMITTEXT, 0, 0);
}

INT_PTR on_init_dialog(HWND dialog) {
    init_common(dialog);
    pack_cancel.exchange(false);
    hold_pack_job(false);
    reset_progress_record();
    if (!extracting()) {
        state.opened_at = GetTickCount64();
        state.last_count = static_cast<int>(state.pending.size());
        state.stable_ticks = 0;
        state.phase = kCollecting;
        SetTimer(dialog, ID_TIMER_COLLECT, 200, nullptr);
        return FALSE;
    }
    SetWindowTextW(dialog, L"解压数据包");
    set_item(dialog, IDC_PACK_NAME, L"解压文件：" + path_file_name(state.archive));
    set_item(dialog, IDC_PACK_CURRENT, L"当前解压文件：准备中…");
    set_item(dialog, IDC_PACK_COUNT, L"解压数：0 / 0");
    state.job = new PackJob;
    state.job->sources = {state.archive};
    state.job->output = state.destination;
    append_pack_log(dialog, L"[信息] 输出位置：" + state.destination + L"\r\n");
    start_worker(dialog, extract_thread);
    return FALSE;
}

// Explorer starts one process per selected item; the later ones hand their items over to
// this one, so the job waits until the list has stopped growing (or 3 s have passed).
void on_collect_timer(HWND dialog) {
    const int count = static_cast<int>(state.pending.size());
    if (count != state.last_count) {
        state.last_count = count;
        state.stable_ticks = 0;
    } else {
        ++state.stable_ticks;
    }
    const bool settled = count >= 1 && state.stable_ticks * 200 >= 800;
    if (GetTickCount64() - state.opened_at < 3000 && !settled) return;
    KillTimer(dialog, ID_TIMER_COLLECT);
    std::vector<std::wstring> taken;
    taken.swap(state.pending);
    if (pack_cancel.load()) {
        state.phase = kFinished;
        append_pack_log(dialog, L"[终止] 压缩已取消。\r\n");
        enable_item(dialog, IDC_PACK_STOP, false);
        enable_item(dialog, IDC_PACK_CLOSE, true);
        return;
    }
    if (taken.empty()) {
        EndDialog(dialog, 0);
        return;
    }
    state.job = new PackJob;
    state.job->sources = std::move(taken);
    state.job->output = default_pack_output(state.job->sources);
    set_item(dialog, IDC_PACK_NAME, L"压缩文件名：" + path_file_name(state.job->output));
    append_pack_log(dialog, L"[信息] 输出位置：" + state.job->output + L"\r\n");
    start_worker(dialog, pack_thread);
}

void take_progress(HWND dialog);

void on_timer(HWND dialog, WPARAM id) {
    if (id == ID_TIMER_COLLECT) on_collect_timer(dialog);
    // A message on its way shows the news itself.
    if (id == ID_TIMER_PROGRESS && !state.post_pending.load()) take_progress(dialog);
}

std::wstring format_number(const wchar_t* format, double a, double b = 0) {
    wchar_t buf[96] = {};
    _snwprintf(buf, 95, format, a, b);
    return buf;
}

void show_rate(HWND dialog, ULONGLONG now, int done, int total) {
    state.samples.push_back({now, done});
    const ULONGLONG threshold = now <= 500 ? 0 : now - 500;
    while (state.samples.size() > 1 && state.samples.front().tick < threshold) state.samples.erase(state.samples.begin());
    if (state.samples.size() < 3 || total < 1) return;
    const double dt = static_cast<double>(now - state.samples.front().tick) / 1000.0;
    if (dt <= 0) return;
    const int d = done - state.samples.front().done;
    if (d < 1) return;
    const double rate = d / dt;
    const double remaining = (total - done) / rate;
    set_item(dialog, IDC_PACK_RATE, format_number(L"速率：%.1f 个/秒", rate));
    set_item(dialog, IDC_PACK_TIME_LEFT, remaining_time_text(remaining));
}

// Shows what the worker reported since the last time, if anything.
void take_progress(HWND dialog) {
    PackProgressMsg msg;
    {
        std::lock_guard<std::mutex> lock(progress_mutex);
        if (!shared_progress || !shared_progress->news) return;
        msg = *shared_progress;
        shared_progress->log.clear();
        shared_progress->news = false;
        progress_taken_at = GetTickCount64();
    }
    SendDlgItemMessageW(dialog, IDC_PACK_PROGRESS, PBM_SETPOS, msg.percent, 0);
    const ULONGLONG now = GetTickCount64();
    const std::wstring n = std::to_wstring(msg.done), t = std::to_wstring(msg.total);
    const std::wstring left = std::to_wstring(msg.total > msg.done ? msg.total - msg.done : 0);
    if (extracting()) {
        set_item(dialog, IDC_PACK_CURRENT, L"当前解压文件：" + msg.current);
        set_item(dialog, IDC_PACK_COUNT, L"解压进度：" + std::to_wstring(msg.percent) + L"%");
        set_item(dialog, IDC_PACK_REMAINING, L"剩余项目：—");
    } else if (!msg.save_phase) {
        if (!msg.current.empty()) set_item(dialog, IDC_PACK_CURRENT, L"当前压缩文件：" + msg.current);
        set_item(dialog, IDC_PACK_COUNT, L"压缩数：" + n + L" / " + t);
        set_item(dialog, IDC_PACK_REMAINING, L"剩余项目：" + left);
    } else {
        set_item(dialog, IDC_PACK_CURRENT, L"当前操作：" + msg.current);
        if (msg.total > 0) {
            set_item(dialog, IDC_PACK_COUNT, L"写入数：" + n + L" / " + t);
            set_item(dialog, IDC_PACK_REMAINING, L"剩余项目：" + left);
        } else {
            set_item(dialog, IDC_PACK_COUNT, L"保存进度：" + std::to_wstring(msg.percent) + L"%");
            set_item(dialog, IDC_PACK_REMAINING, L"剩余项目：—");
        }
    }
    show_rate(dialog, now, msg.done, msg.total);
    append_pack_log(dialog, msg.log);
}

void on_progress(HWND dialog) {
    state.post_pending.exchange(false);
    take_progress(dialog);
}

void on_done(HWND dialog, PackJob* job) {
    KillTimer(dialog, ID_TIMER_PROGRESS);
    take_progress(dialog);  // the last steps' log lines come before the result
    state.phase = kFinished;
    SendDlgItemMessageW(dialog, IDC_PACK_PROGRESS, PBM_SETPOS, 100, 0);
    set_item(dialog, IDC_PACK_CURRENT, extracting() ? L"当前解压文件：完成" : L"当前压缩文件：完成");
    set_item(dialog, IDC_PACK_COUNT, extracting() ? L"解压数：完成" : L"压缩数：完成");
    set_item(dialog, IDC_PACK_REMAINING, L"剩余项目：0");
    set_item(dialog, IDC_PACK_RATE, L"速率：—");
    set_item(dialog, IDC_PACK_TIME_LEFT, L"剩余时间：—");
    enable_item(dialog, IDC_PACK_STOP, false);
    enable_item(dialog, IDC_PACK_CLOSE, true);
    if (!job) return;
    if (job->ok) {
        append_log((extracting() ? L"解压完成：" : L"创建完成：") + job->output);
        append_pack_log(dialog, (extracting() ? L"[完成] 解压完成！输出位置：" : L"[完成] 压缩完成！输出位置：") +
                                    job->output + L"\r\n");
        show_item(dialog, IDC_PACK_MINIMIZE, false);
        show_item(dialog, IDC_PACK_STOP, false);
        if (extracting())
            shell_execute(dialog, L"explore", job->output.c_str(), nullptr, nullptr, SW_SHOW);
        else
            open_file(job->output);
    } else if (pack_cancel.load()) {
        append_pack_log(dialog, extracting() ? L"[终止] 解压已取消。\r\n" : L"[终止] 压缩已取消。\r\n");
    } else {
        message_box(dialog, job->error.empty() ? L"操作失败" : job->error, extracting() ? L"解压数据包" : L"组建数据包",
                    MB_ICONERROR);
        show_item(dialog, IDC_PACK_MINIMIZE, false);
        show_item(dialog, IDC_PACK_STOP, false);
    }
    if (job == state.job) state.job = nullptr;
    delete job;
}

// The job waits at its next step while the user is asked whether to stop or close it, so
// a "yes" stops it before another file; "no" lets it go on.
struct JobHeldWhileAsking {
    JobHeldWhileAsking() { hold_pack_job(true); }
    ~JobHeldWhileAsking() { hold_pack_job(false); }
};

void on_stop(HWND dialog) {
    if (state.phase == kFinished) return;
    JobHeldWhileAsking held;
    const wchar_t* question = extracting() ? L"确定要终止解压吗？\n终止后将保留已解压的文件。"
                                           : L"确定要终止压缩吗？\n终止后将不写入 .rez 文件。";
    if (message_box(dialog, question, L"终止确认", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
    // A job that ended while the question was up has been reported as it ended.
    if (state.phase == kFinished) return;
    pack_cancel.exchange(true);
    append_pack_log(dialog, std::wstring(extracting() ? L"[终止] 已请求终止解压" : L"[终止] 已请求终止压缩") +
                                L"，正在等待当前任务完成...\r\n");
    enable_item(dialog, IDC_PACK_STOP, false);
}

void on_command(HWND dialog, WPARAM wparam) {
    switch (LOWORD(wparam)) {
    case IDC_PACK_MINIMIZE: ShowWindow(dialog, SW_MINIMIZE); break;
    case IDC_PACK_STOP: on_stop(dialog); break;
    case IDC_PACK_CLOSE:
        if (state.phase == kFinished) EndDialog(dialog, 1);
        break;
    default: break;  // Esc (IDCANCEL) leaves the dialog open
    }
}

void on_close(HWND dialog) {
    if (state.phase == kFinished) {
        EndDialog(dialog, 1);
        return;
    }
    JobHeldWhileAsking held;
    const wchar_t* question = extracting() ? L"正在解压中，确定要关闭窗口吗？" : L"正在压缩中，确定要关闭窗口吗？";
    if (message_box(dialog, question, L"提示", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    if (state.phase == kFinished) {
        EndDialog(dialog, 1);
        return;
    }
    pack_cancel.exchange(true);
    EndDialog(dialog, 0);
}

void on_destroy() {
    // A dialog taken down with its owner stops its job: the opener waits for the worker.
    if (state.phase != kFinished) pack_cancel.exchange(true);
    if (state.bold_font) DeleteObject(state.bold_font);
    state.bold_font = nullptr;
}

// After the modal loop: the worker is joined (a closed dialog leaves it to stop at its next
// callback) and a job whose done message was lost with the window is freed.
void finish_dialog() {
    hold_pack_job(false);
    if (state.worker.joinable()) state.worker.join();
    free_job();
}

}  // namespace

// Each part is rounded on its own, as the counters always have been (100 s: 2 分 40 秒).
std::wstring remaining_time_text(double seconds) {
    if (seconds < 60) return format_number(L"剩余时间：%.0f 秒", seconds);
    if (seconds < 3600) return format_number(L"剩余时间：%.0f 分 %.0f 秒", seconds / 60, std::fmod(seconds, 60));
    return format_number(L"剩余时间：%.0f 时 %.0f 分", seconds / 3600, std::fmod(seconds / 60, 60));
}

const std::vector<std::wstring>& pending_pack_sources() { return state.pending; }

void post_pack_progress(HWND dialog, int percent, int done, int total, bool save_phase, const std::wstring& current,
                        const std::wstring& log) {
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(progress_mutex);
        if (!shared_progress) shared_progress = std::make_shared<PackProgressMsg>();
        shared_progress->percent = percent;
        shared_progress->done = done;
        shared_progress->total = total;
        shared_progress->save_phase = save_phase;
        shared_progress->current = current;
        if (!log.empty()) shared_progress->log += log;
        shared_progress->news = true;
        post = !state.post_pending.load() && GetTickCount64() - progress_taken_at.load() >= kProgressGapMs;
        if (post) state.post_pending.exchange(true);
    }
    if (post) PostMessageW(dialog, WM_PACK_PROGRESS, 0, 0);
}

void append_pack_log(HWND dialog, const std::wstring& text) {
    if (text.empty() || !dialog) return;
    state.log_text += text;
    // Only the new text goes in, at the end, so a long log costs no more per line than a
    // short one, and the box scrolls to it.
    append_log_text(GetDlgItem(dialog, IDC_PACK_LOG), text);
}

INT_PTR CALLBACK pack_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR colour = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &colour)) return colour;
    switch (message) {
    case WM_INITDIALOG: return on_init_dialog(dialog);
    case WM_TIMER: on_timer(dialog, wparam); return TRUE;
    case WM_PACK_PROGRESS: on_progress(dialog); return TRUE;
    case WM_PACK_DONE: on_done(dialog, reinterpret_cast<PackJob*>(lparam)); return TRUE;
    case WM_COMMAND: on_command(dialog, wparam); return TRUE;
    case WM_CLOSE: on_close(dialog); return TRUE;
    case WM_DESTROY: on_destroy(); return FALSE;
    default: return FALSE;
    }
}

namespace {

bool collecting_pack() { return state.showing && !extracting() && state.phase == kCollecting && !pack_cancel.load(); }

void run_one_dialog(const DialogRequest& request) {
    state.mode = request.mode;
    state.archive = request.archive;
    state.destination = request.destination;
    run_dialog(IDD_PACK, request.owner, pack_proc);
    finish_dialog();
    state.archive.clear();
    state.destination.clear();
    state.mode = 0;
}

// Runs the dialogs asked for, one after the other; a request made while one is up joins the
// queue and returns, and the opener of the first runs it once the one before has closed.
void run_queued_dialogs() {
    if (state.showing) return;
    state.showing = true;
    while (!queued_dialogs.empty()) {
        const DialogRequest request = queued_dialogs.front();
        queued_dialogs.pop_front();
        // Nothing is left to show for a window that has gone (the program is closing).
        if (request.owner && !IsWindow(request.owner)) continue;
        // Items that came in later may have been packed by the dialog before.
        if (request.mode == 0 && request.deferred && state.pending.empty()) continue;
        run_one_dialog(request);
    }
    state.showing = false;
}

}  // namespace

void run_pack_dialog(HWND owner, const std::vector<std::wstring>& sources) {
    for (const auto& s : sources) {
        bool queued = false;
        for (const auto& p : state.pending) queued = queued || p == s;
        if (!queued) state.pending.push_back(s);
    }
    // A dialog that is still collecting takes them at its next tick.
    if (collecting_pack()) return;
    bool pack_waiting = false;
    for (const DialogRequest& r : queued_dialogs) pack_waiting = pack_waiting || r.mode == 0;
    if (!pack_waiting) queued_dialogs.push_back({0, owner, L"", L"", state.showing});
    run_queued_dialogs();
}

void run_extract_dialog(HWND owner, const std::wstring& archive, const std::wstring& destination) {
    if (archive.empty()) return;
    queued_dialogs.push_back({1, owner, archive, destination, state.showing});
    run_queued_dialogs();
}

}  // namespace rezui
