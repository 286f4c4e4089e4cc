#include "app/tools/wizard.h"

#include <commctrl.h>

#include <memory>
#include <system_error>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/main_window/main_window.h"
#include "app/main_window/task_ui.h"
#include "app/operations/job_workers.h"
#include "app/operations/open_archive.h"
#include "app/operations/zip_7z_jobs.h"
#include "app/tools/wizard_worker.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {

WizardState* wizard_state = nullptr;

namespace {

const wchar_t kArchiveFilter[] = L"REZ/ZIP/7Z (*.rez;*.zip;*.7z)\0*.rez;*.zip;*.7z\0所有文件 (*.*)\0*.*\0\0";
const wchar_t kAnyFileFilter[] = L"所有文件 (*.*)\0*.*\0\0";

// The run of the job started last: its stop and its progress.
std::shared_ptr<WizardLink> current_link;
// The operation last written to the log: a step seen twice is logged once.
std::wstring last_logged;

void enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

bool clicked(WPARAM wparam) { return HIWORD(wparam) == BN_CLICKED; }

void show_page(HWND dialog) { set_wizard_mode_labels(dialog, wizard_state->step, wizard_state->pack); }

bool starts_with(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

void append_to_log(HWND dialog, std::wstring text) {
    if (text.empty() || (text.back() != L'\n' && text.back() != L'\r')) text += L"\r\n";
    append_log_text(GetDlgItem(dialog, IDC_WIZ_LOG), text);
}

std::wstring header_text(const std::string& value, const wchar_t* fallback) {
    return value.empty() ? fallback : rez::from_utf8(value);
}

void on_init(HWND dialog) {
    apply_dialog_look(dialog);
    WizardState& state = *wizard_state;
    HWND combo = GetDlgItem(dialog, IDC_WIZ_FORMAT);
    for (const wchar_t* text : {L"REZ 格式 (.rez)", L"ZIP 格式 (.zip)", L"7Z 格式 (.7z)"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(state.format), 0);
    if (!state.input.empty() && is_archive_path(state.input)) {
        state.pack = false;
        state.archive = state.input;
        set_dlg_text(dialog, IDC_WIZ_ARCHIVE, state.input);
    }
    CheckDlgButton(dialog, state.pack ? IDC_WIZ_PACK : IDC_WIZ_EXTRACT, BST_CHECKED);
    // One column of whole paths, which scrolls sideways when a path is longer than the list.
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    SendMessageW(GetDlgItem(dialog, IDC_WIZ_SOURCES), LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    // The list items are added here; the state already holds these sources.
    const std::vector<std::wstring> sources = state.sources;
    state.sources.clear();
    for (const std::wstring& source : sources) wizard_add_source(dialog, source);
    if (state.pack)
        set_dlg_text(dialog, IDC_WIZ_OUTPUT, state.output);
    else
        set_dlg_text(dialog, IDC_WIZ_DESTINATION, state.destination);
    set_dlg_text(dialog, IDC_WIZ_DESCRIPTION, header_text(app.archive.user_title, L"LithTech Resource File"));
    set_dlg_text(
        dialog, IDC_WIZ_COPYRIGHT,
        header_text(app.archive.signature_text, L"RezMgr Version 1 Copyright (C) 1995 MONOLITH INC."));
    set_dlg_text(dialog, IDC_WIZ_NAME, L"压缩文件名：—");
    set_dlg_text(dialog, IDC_WIZ_CURRENT, L"当前操作：—");
    set_dlg_text(dialog, IDC_WIZ_COUNT, L"压缩数：0 / 0");
    set_dlg_text(dialog, IDC_WIZ_REMAINING, L"剩余项目：—");
    set_dlg_text(dialog, IDC_WIZ_RATE, L"速率：—");
    set_dlg_text(dialog, IDC_WIZ_TIME_LEFT, L"剩余时间：—");
    SendDlgItemMessageW(dialog, IDC_WIZ_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    show_page(dialog);
}

void add_files(HWND dialog) {
    for (const std::wstring& path : pick_open_files(dialog, kAnyFileFilter, nullptr))
        wizard_add_source(dialog, path);
}

void add_folder(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择文件夹");
    if (!folder.empty()) wizard_add_source(dialog, folder);
}

void remove_selected(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_WIZ_SOURCES);
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0) return;
    std::unique_ptr<std::wstring> path(list_row_path(list, row));
    auto& sources = wizard_state->sources;
    for (auto it = sources.begin(); path && it != sources.end(); ++it) {
        if (*it == *path) {
            sources.erase(it);
            break;
        }
    }
    ListView_DeleteItem(list, row);
}

void clear_sources(HWND dialog) {
    clear_wizard_source_list(dialog);
    wizard_state->sources.clear();
}

void browse_archive(HWND dialog) {
    const std::wstring path = pick_open_file(dialog, kArchiveFilter, L"选择归档文件");
    if (path.empty()) return;
    set_dlg_text(dialog, IDC_WIZ_ARCHIVE, path);
    wizard_state->archive = path;
}

void browse_output(HWND dialog) {
    const std::wstring path = pick_save_file(dialog, kArchiveFilter, L"输出文件", L"new.rez");
    if (!path.empty()) set_dlg_text(dialog, IDC_WIZ_OUTPUT, path);
}

void browse_destination(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择解压目录");
    if (!folder.empty()) set_dlg_text(dialog, IDC_WIZ_DESTINATION, folder);
}

void on_format_change(HWND dialog) {
    const LRESULT pick = SendDlgItemMessageW(dialog, IDC_WIZ_FORMAT, CB_GETCURSEL, 0, 0);
    wizard_state->format = pick < 0 ? 0 : static_cast<int>(pick);
    if (wizard_state->pack) {
        const std::wstring path = get_dlg_text(dialog, IDC_WIZ_OUTPUT);
        const std::wstring swapped = swap_archive_extension(path, wizard_state->format);
        if (swapped != path) set_dlg_text(dialog, IDC_WIZ_OUTPUT, swapped);
    }
    show_page(dialog);
}

void on_back(HWND dialog) {
    if (wizard_state->step < 2) return;
    --wizard_state->step;
    show_page(dialog);
}

void on_next(HWND dialog) {
    // Enter still reaches the default button's command on the last page, where Next is hidden.
    if (wizard_state->step >= 4) return;
    const std::wstring problem = check_wizard_page(dialog, *wizard_state);
    if (!problem.empty()) {
        message_box(dialog, problem, L"提示", MB_ICONINFORMATION);
        return;
    }
    ++wizard_state->step;
    show_page(dialog);
}

// The checks of Start; empty when the job may run.
std::wstring check_start(const WizardState& state) {
    if (!state.pack) {
        const DWORD a = GetFileAttributesW(state.archive.c_str());
        if (state.archive.empty() || a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY))
            return L"解压源文件不存在";
        if (state.destination.empty()) return L"解压目录为空";
        return L"";
    }
    if (state.sources.empty()) return L"源列表为空";
    if (state.output.empty()) return L"输出路径为空";
    const size_t slash = state.output.find_last_of(L"\\/");
    const std::wstring parent = slash == std::wstring::npos ? L"" : state.output.substr(0, slash);
    if (!parent.empty()) {
        const DWORD a = GetFileAttributesW(parent.c_str());
        if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY))
            return L"输出目录不存在：\n" + parent;
    }
    return L"";
}

// The password question of an encrypted ZIP or 7z archive; false when it was declined or
// failed. The question reports a decline through the main window's cancel flag: that flag is
// given back as it was, so no job of the main window is stopped or let go by it.
bool extract_password_ready(HWND dialog, const std::wstring& archive) {
    const bool cancel_before = app.cancel.load();
    const bool asked_ok = ask_extract_password(dialog, archive);
    const bool declined = app.cancel.load();
    app.cancel.store(cancel_before);
    return asked_ok && !declined;
}

// An existing file at the output is replaced only when the user says so, as every other save
// of the program asks; the archive open in the main window is never written over under it.
bool may_write_output(HWND dialog, const std::wstring& output) {
    const DWORD attributes = GetFileAttributesW(output.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (app.archive_loaded && CompareStringOrdinal(output.c_str(), -1, app.archive.path.c_str(), -1, TRUE) ==
                                  CSTR_EQUAL) {
        message_box(dialog, L"不能覆盖当前打开的压缩包：\n" + output, L"提示", MB_ICONINFORMATION);
        return false;
    }
    return message_box(dialog, L"“" + output + L"” 已存在，是否覆盖？", L"压缩/解压向导",
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void set_running(HWND dialog, bool running) {
    for (int id : {IDC_WIZ_START, IDC_WIZ_BACK, IDC_WIZ_NEXT}) enable(dialog, id, !running);
}

void on_start(HWND dialog) {
    WizardState& state = *wizard_state;
    state.output = get_dlg_text(dialog, IDC_WIZ_OUTPUT);
    state.archive = get_dlg_text(dialog, IDC_WIZ_ARCHIVE);
    state.destination = get_dlg_text(dialog, IDC_WIZ_DESTINATION);
    // A job of the main window reads and writes on its own; the wizard waits for it to end.
    if (app.busy) {
        message_box(dialog, kBusyRefusalText, L"提示", MB_ICONINFORMATION);
        return;
    }
    const std::wstring problem = check_start(state);
    if (!problem.empty()) {
        message_box(dialog, problem, L"提示", MB_ICONINFORMATION);
        return;
    }
    if (!state.pack && !extract_password_ready(dialog, state.archive)) return;
    if (state.pack && !may_write_output(dialog, wizard_pack_target(state.output, state.format))) return;
    auto job = std::make_shared<WizardJob>();
    job->dialog = dialog;
    job->pack = state.pack;
    job->target = state.pack ? state.output : state.destination;
    job->archive = state.archive;
    job->format = state.format;
    job->sources = state.sources;
    job->comment = get_dlg_text(dialog, IDC_WIZ_COMMENT);
    job->description = get_dlg_text(dialog, IDC_WIZ_DESCRIPTION);
    job->copyright = get_dlg_text(dialog, IDC_WIZ_COPYRIGHT);
    job->link = std::make_shared<WizardLink>(dialog);
    set_dlg_text(dialog, IDC_WIZ_LOG, L"");
    current_link = job->link;
    last_logged.clear();
    try {
        // A tracked worker: leaving the program waits for the job instead of cutting it off.
        start_worker([job] { wizard_worker(*job); });
    } catch (const std::system_error&) {
        message_box(dialog, L"无法启动后台任务", L"操作失败", MB_ICONERROR);
        return;
    }
    set_running(dialog, true);
}

void on_cancel(HWND dialog) {
    if (!IsWindowEnabled(GetDlgItem(dialog, IDC_WIZ_START))) {
        // The job ends at its next check, and its done message closes the dialog.
        if (current_link) current_link->cancel.store(true);
        return;
    }
    EndDialog(dialog, IDCANCEL);
}

void on_command(HWND dialog, WPARAM wparam) {
    const int id = LOWORD(wparam);
    if (id == IDC_WIZ_FORMAT) {
        if (HIWORD(wparam) == CBN_SELCHANGE) on_format_change(dialog);
        return;
    }
    if (!clicked(wparam)) return;
    switch (id) {
    case IDC_WIZ_PACK:
    case IDC_WIZ_EXTRACT:
        wizard_state->pack = id == IDC_WIZ_PACK;
        show_page(dialog);
        break;
    case IDC_WIZ_ADD_FILES: add_files(dialog); break;
    case IDC_WIZ_ADD_FOLDER: add_folder(dialog); break;
    case IDC_WIZ_REMOVE: remove_selected(dialog); break;
    case IDC_WIZ_CLEAR: clear_sources(dialog); break;
    case IDC_WIZ_BROWSE_ARCHIVE: browse_archive(dialog); break;
    case IDC_WIZ_BROWSE_OUTPUT: browse_output(dialog); break;
    case IDC_WIZ_BROWSE_DESTINATION: browse_destination(dialog); break;
    case IDC_WIZ_BACK: on_back(dialog); break;
    case IDC_WIZ_NEXT: on_next(dialog); break;
    case IDC_WIZ_START: on_start(dialog); break;
    case IDCANCEL: on_cancel(dialog); break;
    default: break;
    }
}

void on_progress(HWND dialog, WPARAM percent, LPARAM payload) {
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(payload));
    if (!text) return;
    SendDlgItemMessageW(dialog, IDC_WIZ_PROGRESS, PBM_SETPOS, percent, 0);
    if (text->size() > 4 && starts_with(*text, L"[标题]")) {
        set_dlg_text(dialog, IDC_WIZ_NAME, L"压缩文件名：" + text->substr(4));
        return;
    }
    if (!starts_with(*text, L"[信息]")) set_dlg_text(dialog, IDC_WIZ_CURRENT, L"当前操作：" + *text);
    append_to_log(dialog, *text);
}

void show_stats(HWND dialog, const WizardStats* stats) {
    set_dlg_text(dialog, IDC_WIZ_COUNT, std::wstring(stats->pack ? L"压缩数：" : L"解压数：") +
                                            std::to_wstring(stats->done) + L" / " + std::to_wstring(stats->total));
    const int left = stats->total - stats->done;
    set_dlg_text(dialog, IDC_WIZ_REMAINING, L"剩余项目：" + std::to_wstring(left < 1 ? 0 : left));
    const std::wstring& text = stats->text;
    const size_t first = text.find(L'\n');
    const size_t second = first == std::wstring::npos ? std::wstring::npos : text.find(L'\n', first + 1);
    set_dlg_text(dialog, IDC_WIZ_CURRENT, L"当前操作：" + text.substr(0, first));
    const bool lines = second != std::wstring::npos;
    set_dlg_text(dialog, IDC_WIZ_RATE, lines ? text.substr(first + 1, second - first - 1) : L"");
    set_dlg_text(dialog, IDC_WIZ_TIME_LEFT, lines ? text.substr(second + 1) : L"");
}

void on_stats(HWND dialog, LPARAM payload) {
    std::unique_ptr<WizardStats> stats(reinterpret_cast<WizardStats*>(payload));
    if (stats) show_stats(dialog, stats.get());
}

// The job's latest step: the bar, the current operation (logged once) and the counters.
void on_tick(HWND dialog) {
    WizardTick tick;
    if (!current_link || !current_link->progress.take(tick)) return;
    SendDlgItemMessageW(dialog, IDC_WIZ_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(tick.percent), 0);
    if (!tick.text.empty()) {
        set_dlg_text(dialog, IDC_WIZ_CURRENT, L"当前操作：" + tick.text);
        if (tick.text != last_logged) append_to_log(dialog, tick.text);
        last_logged = tick.text;
    }
    if (tick.has_stats) show_stats(dialog, &tick.stats);
}

void on_done(HWND dialog, LPARAM payload) {
    std::unique_ptr<WizardResult> result(reinterpret_cast<WizardResult*>(payload));
    if (!result) return;
    on_tick(dialog);  // the last step, when it had not been shown yet
    set_running(dialog, false);
    const bool pack = wizard_state->pack;
    if (result->ok) {
        append_log((pack ? L"创建完成：" : L"解压完成：") + result->path);
        clear_sources(dialog);
        EndDialog(dialog, IDOK);
        if (pack)
            open_file(result->path);
        else
            shell_execute(dialog, L"explore", result->path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    if (current_link && current_link->cancel.load()) {
        EndDialog(dialog, IDCANCEL);
        return;
    }
    message_box(dialog, result->error, L"操作失败", MB_ICONERROR);
}

}  // namespace

INT_PTR CALLBACK wizard_proc_v2(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR colour = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &colour)) return colour;
    if (!wizard_state) {
        if (message == WM_INITDIALOG) EndDialog(dialog, IDCANCEL);
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG: on_init(dialog); return TRUE;
    case WM_COMMAND: on_command(dialog, wparam); return TRUE;
    case WM_WIZ_PROGRESS: on_progress(dialog, wparam, lparam); return TRUE;
    case WM_WIZ_LOG: on_stats(dialog, lparam); return TRUE;
    case WM_WIZ_DONE: on_done(dialog, lparam); return TRUE;
    case WM_WIZ_TICK: on_tick(dialog); return TRUE;
    // The rows own their path copies, whichever way the dialog closes.
    case WM_DESTROY: clear_wizard_source_list(dialog); return FALSE;
    default: return FALSE;
    }
}

void show_wizard(HWND owner, const std::wstring& path) {
    WizardState state;
    state.input = path;
    if (!path.empty()) {
        if (is_archive_path(path)) {
            state.pack = false;
            state.archive = path;
            state.destination = default_extract_dir(path);
            state.step = 2;
        } else {
            state.sources = {path};
            state.output = path + L".rez";
        }
    }
    wizard_state = &state;
    run_dialog(IDD_WIZARD, owner, wizard_proc_v2);
    wizard_state = nullptr;
}

}  // namespace rezui
