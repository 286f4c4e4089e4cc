#include "runner/runner_extract.h"

#include <objbase.h>
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <system_error>
#include <thread>

#include "archive/rez_model.h"
#include "archive/util.h"
#include "app/tools/sfx_shortcut.h"
#include "runner/runner_layout.h"
#include "runner/runner_state.h"

namespace rezui {

namespace {

constexpr DWORD kDoneDelayMs = 1000;  // lets the full progress bar be seen before the end

struct ExtractionJob {
    std::wstring dest;
    std::wstring archive;
    SfxConfig config;
    HWND window = nullptr;
    std::shared_ptr<ExtractionOutcome> outcome;
};

std::wstring folder_of(const std::wstring& path, const std::wstring& fallback) {
    const size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? fallback : path.substr(0, cut);
}

void start_program(const ExtractionJob& job) {
    const std::string& name = job.config.run_program;
    if (name.empty()) return;
    ExtractionOutcome& outcome = *job.outcome;
    // The name comes from the container, which anyone may have written: nothing outside
    // the extracted files is started.
    const std::wstring path = sfx_path_inside(job.dest, name);
    if (path.empty()) {
        outcome.log_lines.push_back(L"[错误] 运行程序的路径不在解压目录内，已拒绝: " + rez::from_utf8(name));
        return;
    }
    if (!rez::file_exists(path)) {
        outcome.log_lines.push_back(L"[错误] 运行程序在解压结果中不存在: " + rez::from_utf8(name));
        return;
    }
    const std::wstring work_dir = folder_of(path, job.dest);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.lpFile = path.c_str();
    info.lpDirectory = work_dir.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) {
        outcome.program_started = true;
        outcome.log_lines.push_back(L"[完成] 已启动: " + path);
    } else {
        outcome.log_lines.push_back(L"[错误] 启动运行程序失败: " + path);
    }
}

void run_extraction(const ExtractionJob& job) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ExtractionOutcome& outcome = *job.outcome;
    std::wstring error;
    rez::RezFile model;
    bool ok = rez::RezFile::open(job.archive, model, error);
    if (ok) {
        const HWND window = job.window;
        ok = model.extract_to_directory(job.dest, error, [window, &outcome](int percent, const std::wstring& text) {
            while (outcome.hold.load() && !outcome.stop.load()) Sleep(20);
            if (outcome.stop.load()) return false;
            if (outcome.progress.add(percent, text) && !PostMessageW(window, WM_RUNNER_PROGRESS, 0, 0))
                outcome.progress.post_failed();
            return true;
        });
    }
    if (ok) {
        create_result_shortcut(job.dest, job.config);
        start_program(job);
    }
    outcome.extract_ok = ok;
    outcome.error_text = ok ? L"" : error;
    Sleep(kDoneDelayMs);
    PostMessageW(job.window, WM_RUNNER_DONE, 0, 0);
    if (SUCCEEDED(com)) CoUninitialize();
}

void enable(HWND window, int id, bool enabled) {
    if (HWND control = GetDlgItem(window, id)) EnableWindow(control, enabled);
}

std::wstring folder_text(HWND window) {
    wchar_t buffer[1040] = {};
    GetDlgItemTextW(window, kIdFolder, buffer, 1040);
    return buffer;
}

// The wizard returns to the folder page after a failure; its hint line tells why.
constexpr wchar_t kFolderHint[] = L"单击“下一步”安装到默认文件夹，或单击“更改”选择其他位置。";

void show_failure(HWND window) {
    const std::wstring status = L"状态：解压失败：" + g_runner.error_text;
    runner_status(status);
    if (g_runner.is_installer) {
        show_wizard_page(window, 2);
        runner_set_text(kIdStatus, status);
        runner_set_text(kIdFolderHint, status);
    } else {
        runner_set_text(kIdMain, L"解压");
        enable(window, kIdMain, true);
    }
}

}  // namespace

void launch_detached_thread(std::function<void()> body) { std::thread(std::move(body)).detach(); }

ThreadLauncher runner_thread_launcher = launch_detached_thread;

void create_result_shortcut(const std::wstring& dest, const SfxConfig& config) {
    if (!config.create_shortcut) return;
    std::wstring target, work_dir;
    sfx_shortcut_target(dest, config, target, work_dir);
    create_desktop_shortcut(target, work_dir, sfx_shortcut_name(config.title), rez::from_utf8(config.description));
}

void start_extraction(HWND window) {
    const std::wstring dest = folder_text(window);
    if (dest.empty()) {
        runner_status(L"状态：请先选择解压位置。");
        return;
    }
    g_runner.config.create_shortcut =
        g_runner.shortcut_offered && SendMessageW(GetDlgItem(window, kIdShortcut), BM_GETCHECK, 0, 0) == BST_CHECKED;
    g_runner.running = true;
    if (g_runner.is_installer) {
        runner_set_text(kIdFolderHint, kFolderHint);
        show_wizard_page(window, 4);
        if (!g_runner.config.readme.empty()) {
            runner_log(L"─── 自述文件 ───");
            runner_log(rez::from_utf8(g_runner.config.readme));
            runner_log(L"──────────────");
        }
    } else {
        runner_set_text(kIdMain, L"正在解压...");
    }
    for (int id : {kIdMain, kIdBack, kIdCancel}) enable(window, id, false);

    auto job = std::make_shared<ExtractionJob>();
    job->dest = dest;
    job->archive = g_runner.temp_archive;
    job->config = g_runner.config;
    job->window = window;
    job->outcome = std::make_shared<ExtractionOutcome>();
    g_runner.outcome = job->outcome;
    try {
        runner_thread_launcher([job] { run_extraction(*job); });
    } catch (const std::exception& e) {
        // A window procedure must not let an exception out: the thread that did not start
        // is one more failed extraction, told the same way.
        g_runner.outcome.reset();
        g_runner.running = false;
        g_runner.extract_ok = false;
        const std::string reason = e.what();  // the C runtime's text, in the ANSI code page
        g_runner.error_text =
            L"无法启动解压线程 (" + rez::from_utf8(rez::codepage_to_utf8(reason.data(), reason.size(), CP_ACP)) + L")";
        enable(window, kIdCancel, true);
        show_failure(window);
    }
}

void request_close(HWND window) {
    if (!g_runner.running) {
        DestroyWindow(window);
        return;
    }
    if (g_runner.closing) return;  // already stopping
    // Ending the process here would cut a file in half: the extraction waits while the user
    // decides, and stops at its next step when told to.
    const std::shared_ptr<ExtractionOutcome> outcome = g_runner.outcome;
    if (outcome) outcome->hold = true;
    const int answer = MessageBoxW(window, kStopQuestion, runner_title().c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer != IDYES) {
        if (outcome) outcome->hold = false;
        return;
    }
    if (!g_runner.running) {  // it ended while the question was up
        DestroyWindow(window);
        return;
    }
    g_runner.closing = true;
    if (outcome) {
        outcome->stop = true;
        outcome->hold = false;
    }
    runner_status(L"状态：正在停止解压...");
}

void on_extraction_progress() {
    SfxProgressBox::Steps steps;
    if (!g_runner.outcome || !g_runner.outcome->progress.take(steps)) return;
    SendMessageW(GetDlgItem(g_runner.main_window, kIdProgress), PBM_SETPOS, static_cast<WPARAM>(steps.percent), 0);
    runner_set_text(kIdStatus, g_runner.is_installer ? L"状态：" + steps.status : steps.status);
    runner_log(steps.lines);
}

void on_extraction_done(HWND window) {
    if (!g_runner.running) return;
    on_extraction_progress();  // the last steps come before the outcome
    g_runner.running = false;
    if (g_runner.closing) {
        // Stopped at the user's word: what was written whole stays, and the window goes.
        g_runner.outcome.reset();
        DestroyWindow(window);
        return;
    }
    if (std::shared_ptr<ExtractionOutcome> outcome = std::move(g_runner.outcome)) {
        g_runner.extract_ok = outcome->extract_ok;
        g_runner.program_started = outcome->program_started;
        g_runner.error_text = outcome->error_text;
        for (const std::wstring& line : outcome->log_lines) runner_log(line);
    }
    if (g_runner.program_started) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    enable(window, kIdCancel, true);
    if (g_runner.extract_ok) {
        g_runner.finished = true;
        if (g_runner.is_installer) {
            update_wizard_buttons(window);
        } else {
            runner_set_text(kIdMain, L"解压");
            enable(window, kIdMain, true);
        }
        return;
    }
    show_failure(window);
}

}  // namespace rezui
