#include "app/tools/convert_dialog.h"

#include <commctrl.h>

#include <memory>
#include <system_error>

#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/operations/job_workers.h"
#include "app/tools/convert_job.h"
#include "resources/resource.h"

namespace rezui {

namespace {

// The sources of the open conversion dialog; null while none is open.
std::vector<std::wstring>* convert_sources = nullptr;
// The run the open dialog started last; a run of a dialog closed meanwhile keeps its own.
std::shared_ptr<ConvertControl> current_run;

const wchar_t kArchiveFilter[] = L"REZ/ZIP/7Z (*.rez;*.zip;*.7z)\0*.rez;*.zip;*.7z\0所有文件 (*.*)\0*.*\0\0";

std::wstring upper_extension(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    std::wstring ext = dot == std::wstring::npos ? L"" : path.substr(dot + 1);
    for (wchar_t& c : ext) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return ext;
}

std::wstring size_text(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return L"0";
    return std::to_wstring((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// One row: the path, its extension and its size; the item data is a heap copy of the path.
void insert_row(HWND list, const std::wstring& path) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(path.c_str());
    item.lParam = reinterpret_cast<LPARAM>(new std::wstring(path));
    const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) {
        delete reinterpret_cast<std::wstring*>(item.lParam);
        return;
    }
    std::wstring ext = upper_extension(path), size = size_text(path);
    ListView_SetItemText(list, row, 1, ext.data());
    ListView_SetItemText(list, row, 2, size.data());
}

void free_all_rows(HWND list) {
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) delete list_row_path(list, row);
    ListView_DeleteAllItems(list);
}

void add_column(HWND list, int index, const wchar_t* title, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(title);
    column.cx = width;
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

void set_item_text(HWND dialog, int id, const std::wstring& text) { set_window_text(GetDlgItem(dialog, id), text); }

void init_dialog(HWND dialog) {
    apply_dialog_look(dialog);
    HWND list = GetDlgItem(dialog, IDC_CONV_LIST);
    add_column(list, 0, L"文件", 250);
    add_column(list, 1, L"格式", 60);
    add_column(list, 2, L"大小", 80);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    HWND combo = GetDlgItem(dialog, IDC_CONV_FORMAT);
    for (const wchar_t* text : {L"REZ 格式 (.rez)", L"ZIP 格式 (.zip)", L"7Z 格式 (.7z)"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    enable(dialog, IDC_CONV_PAUSE, false);
    enable(dialog, IDC_CONV_RESUME, false);
    enable(dialog, IDC_CONV_STOP, false);
    if (convert_sources) {
        for (const std::wstring& path : *convert_sources) insert_row(list, path);
    }
}

bool is_archive_name(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    std::wstring ext = name.substr(dot + 1);
    for (wchar_t& c : ext) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return ext == L"rez" || ext == L"zip" || ext == L"7z";
}

void find_archives(const std::wstring& folder, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = folder + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A link to a folder could lead back above this one.
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) find_archives(full, out);
        } else if (is_archive_name(name)) {
            out.push_back(full);
        }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

void add_files(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_CONV_LIST);
    for (const std::wstring& path : pick_open_files(dialog, kArchiveFilter, nullptr)) add_convert_sources(list, path);
}

void add_folder(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择包含资源的目录（目录本身不作为条目）");
    if (folder.empty()) return;
    std::wstring base = folder;
    if (base.size() > 1 && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    std::vector<std::wstring> found;
    find_archives(base, found);
    if (found.empty()) {
        message_box(dialog, L"目录中没有 REZ/ZIP/7Z 文件", L"提示", MB_ICONINFORMATION);
        return;
    }
    HWND list = GetDlgItem(dialog, IDC_CONV_LIST);
    for (const std::wstring& path : found) add_convert_sources(list, path);
}

void remove_selected(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_CONV_LIST);
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0) return;
    std::unique_ptr<std::wstring> path(list_row_path(list, row));
    if (path && convert_sources) {
        for (auto it = convert_sources->begin(); it != convert_sources->end(); ++it) {
            if (*it == *path) {
                convert_sources->erase(it);
                break;
            }
        }
    }
    ListView_DeleteItem(list, row);
}

void clear_rows(HWND dialog) {
    free_all_rows(GetDlgItem(dialog, IDC_CONV_LIST));
    if (convert_sources) convert_sources->clear();
}

void browse_output(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择输出目录");
    if (!folder.empty()) set_item_text(dialog, IDC_CONV_OUTPUT, folder);
}

void start(HWND dialog) {
    if (!convert_sources || convert_sources->empty()) {
        message_box(dialog, L"请先添加源文件", L"提示", MB_ICONINFORMATION);
        return;
    }
    auto job = std::make_unique<ConvertJob>();
    const LRESULT pick = SendDlgItemMessageW(dialog, IDC_CONV_FORMAT, CB_GETCURSEL, 0, 0);
    job->target_ext = pick == 1 ? L"zip" : pick >= 2 ? L"7z" : L"rez";
    job->output_folder = get_window_text(GetDlgItem(dialog, IDC_CONV_OUTPUT));
    job->same_folder = IsDlgButtonChecked(dialog, IDC_CONV_SAME_FOLDER) == BST_CHECKED;
    job->sources = *convert_sources;
    job->window = dialog;
    job->control = std::make_shared<ConvertControl>(dialog);
    std::shared_ptr<ConvertJob> shared(std::move(job));
    try {
        // Tracked: leaving the program stops the run before its next file and waits for it.
        start_worker([shared] { convert_worker(*shared); });
    } catch (const std::system_error&) {
        message_box(dialog, L"无法启动后台任务", L"格式转换", MB_ICONERROR);
        return;
    }
    current_run = shared->control;
    enable(dialog, IDC_CONV_START, false);
    enable(dialog, IDC_CONV_PAUSE, true);
    enable(dialog, IDC_CONV_RESUME, false);
    enable(dialog, IDC_CONV_STOP, true);
    set_item_text(dialog, IDC_CONV_STATE, L"正在转换...");
}

void pause(HWND dialog) {
    if (!current_run) return;
    current_run->paused.store(true);
    enable(dialog, IDC_CONV_PAUSE, false);
    enable(dialog, IDC_CONV_RESUME, true);
    set_item_text(dialog, IDC_CONV_STATE, L"已暂停");
}

void resume(HWND dialog) {
    if (!current_run) return;
    current_run->paused.store(false);
    enable(dialog, IDC_CONV_PAUSE, true);
    enable(dialog, IDC_CONV_RESUME, false);
    set_item_text(dialog, IDC_CONV_STATE, L"正在转换...");
}

void stop(HWND dialog) {
    // The run's own: another run, of a dialog closed meanwhile, goes on.
    std::shared_ptr<ConvertControl> run = current_run;
    if (!run) return;
    if (message_box(dialog, L"确定要停止转换吗？", L"确认停止", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    // The run may have ended while the question was up: it is then reported as it ended.
    if (IsWindowEnabled(GetDlgItem(dialog, IDC_CONV_START))) return;
    run->stop.store(true);
    run->paused.store(false);
    enable(dialog, IDC_CONV_STOP, false);
    enable(dialog, IDC_CONV_PAUSE, false);
    enable(dialog, IDC_CONV_RESUME, false);
    set_item_text(dialog, IDC_CONV_STATE, L"正在停止...");
}

// Closing leaves a running conversion going to its end (it is tracked: leaving the program
// still stops it and waits); a paused one is let go, since nothing could resume it now.
void close_dialog(HWND dialog) {
    if (current_run) current_run->paused.store(false);
    current_run.reset();
    EndDialog(dialog, 0);
}

bool on_command(HWND dialog, WORD id) {
    switch (id) {
    case IDC_CONV_ADD_FILES: add_files(dialog); return true;
    case IDC_CONV_ADD_FOLDER: add_folder(dialog); return true;
    case IDC_CONV_REMOVE: remove_selected(dialog); return true;
    case IDC_CONV_CLEAR: clear_rows(dialog); return true;
    case IDC_CONV_BROWSE: browse_output(dialog); return true;
    case IDC_CONV_START: start(dialog); return true;
    case IDC_CONV_PAUSE: pause(dialog); return true;
    case IDC_CONV_RESUME: resume(dialog); return true;
    case IDC_CONV_STOP: stop(dialog); return true;
    case IDCANCEL: close_dialog(dialog); return true;
    default: return false;
    }
}

void on_progress(HWND dialog) {
    ConvertProgress progress;
    if (!current_run || !current_run->progress.take(progress)) return;
    SendDlgItemMessageW(dialog, IDC_CONV_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(progress.percent), 0);
    if (get_window_text(GetDlgItem(dialog, IDC_CONV_CURRENT)) != progress.text)
        set_item_text(dialog, IDC_CONV_CURRENT, progress.text);
}

std::wstring file_name_of(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void on_done(HWND dialog, LPARAM payload) {
    std::unique_ptr<ConvertResult> result(reinterpret_cast<ConvertResult*>(payload));
    on_progress(dialog);
    current_run.reset();
    enable(dialog, IDC_CONV_START, true);
    enable(dialog, IDC_CONV_PAUSE, false);
    enable(dialog, IDC_CONV_RESUME, false);
    enable(dialog, IDC_CONV_STOP, false);
    if (!result) return;
    std::wstring text = std::wstring(result->stopped ? L"已停止：成功 " : L"完成：成功 ") +
                        std::to_wstring(result->succeeded) + L" 个，失败 " + std::to_wstring(result->failed) + L" 个";
    if (!result->last_error.empty()) text += L" | " + result->last_error;
    // A target name another file already had is never overwritten: say where the output went.
    if (!result->renamed.empty())
        text += L" | " + std::to_wstring(result->renamed.size()) + L" 个目标已存在同名文件，另存为：" +
                file_name_of(result->renamed.front()) + (result->renamed.size() > 1 ? L" 等" : L"");
    set_item_text(dialog, IDC_CONV_STATE, text);
}

void run(HWND owner, std::vector<std::wstring>& list) {
    convert_sources = &list;
    run_dialog(IDD_CONVERT, owner, convert_proc_v2);
    convert_sources = nullptr;
    current_run.reset();
}

}  // namespace

void add_convert_sources(HWND list, const std::wstring& path) {
    insert_row(list, path);
    if (convert_sources) convert_sources->push_back(path);
}

INT_PTR CALLBACK convert_proc_v2(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG: init_dialog(dialog); return TRUE;
    case WM_COMMAND: return on_command(dialog, LOWORD(wparam)) ? TRUE : FALSE;
    case WM_CONV_PROGRESS: on_progress(dialog); return TRUE;
    case WM_CONV_DONE: on_done(dialog, lparam); return TRUE;
    case WM_DESTROY: free_all_rows(GetDlgItem(dialog, IDC_CONV_LIST)); return FALSE;
    default: return FALSE;
    }
}

void show_convert_for_file(HWND owner, const std::wstring& path) {
    std::vector<std::wstring> list;
    if (!path.empty()) list.push_back(path);
    run(owner, list);
}

void show_convert_for_list(HWND owner, const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> list;
    for (const std::wstring& p : paths) {
        if (!p.empty()) list.push_back(p);
    }
    run(owner, list);
}

}  // namespace rezui
