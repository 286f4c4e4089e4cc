// Writing a drag-out's content ourselves: copying real files when Explorer dropped
// nothing, and extracting archive entries into the folder under the cursor, with
// progress, pause and cancel. The user-interface thread keeps pumping between steps.
#include <windows.h>

#include <exception>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/operations/drag_out.h"
#include "archive/util.h"

namespace rezui {
namespace {

std::wstring system_message(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = length && text ? std::wstring(text, length) : L"错误 " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == L'\r' || out.back() == L'\n' || out.back() == L' ' || out.back() == L'.'))
        out.pop_back();
    return out;
}

DWORD attributes_of(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool exists(const std::wstring& path) { return attributes_of(path) != INVALID_FILE_ATTRIBUTES; }

bool is_dir(const std::wstring& path) {
    const DWORD a = attributes_of(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The full form of a path without a trailing separator, for comparing locations.
std::wstring full_path(const std::wstring& path) {
    wchar_t buf[32768];
    const DWORD n = GetFullPathNameW(path.c_str(), 32768, buf, nullptr);
    std::wstring out = n > 0 && n < 32768 ? std::wstring(buf, n) : path;
    while (out.size() > 3 && (out.back() == L'\\' || out.back() == L'/')) out.pop_back();
    return out;
}

bool same_text(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// True when inner is folder itself or lies somewhere below it.
bool is_within(const std::wstring& inner, const std::wstring& folder) {
    const std::wstring a = full_path(inner);
    const std::wstring b = full_path(folder);
    if (same_text(a, b)) return true;
    if (a.size() <= b.size()) return false;
    const bool separated = b.back() == L'\\' || a[b.size()] == L'\\' || a[b.size()] == L'/';
    return separated && same_text(a.substr(0, b.size()), b);
}

std::wstring last_component(const std::wstring& path) {
    std::wstring p = path;
    while (p.size() > 1 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    const size_t cut = p.find_last_of(L"\\/");
    return cut == std::wstring::npos ? p : p.substr(cut + 1);
}

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L"\\" + name;
}

void copy_failed(const std::wstring& name, const std::wstring& why) {
    append_log(L"拖出：复制失败 " + name + L" (" + why + L")");
}

// Copies a folder's content below target (created when missing); each file or folder that
// cannot be written is logged. Returns the number of failures.
int copy_tree(const std::wstring& source, const std::wstring& target, const std::wstring& label) {
    if (!is_dir(target) && !CreateDirectoryW(target.c_str(), nullptr)) {
        copy_failed(label, system_message(GetLastError()));
        return 1;
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((source + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return 0;
        copy_failed(label, system_message(code));
        return 1;
    }
    int failures = 0;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring from = source + L"\\" + name;
        const std::wstring to = target + L"\\" + name;
        const std::wstring inner = label + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A linked folder may lead back into the tree being copied.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                copy_failed(inner, L"链接目录未复制");
                ++failures;
                continue;
            }
            failures += copy_tree(from, to, inner);
        } else if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            copy_failed(inner, system_message(GetLastError()));
            ++failures;
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return failures;
}

// Deletes a file or a folder with everything below it; code gets the first failure.
bool remove_tree(const std::wstring& path, DWORD& code) {
    const DWORD a = attributes_of(path);
    if (a == INVALID_FILE_ATTRIBUTES) return true;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (a & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
        const bool gone = (a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
        if (!gone && code == ERROR_SUCCESS) code = GetLastError();
        return gone;
    }
    bool ok = true;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L".." && !remove_tree(path + L"\\" + name, code)) ok = false;
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    if (!RemoveDirectoryW(path.c_str())) {
        if (code == ERROR_SUCCESS) code = GetLastError();
        return false;
    }
    return ok;
}

// Whether an existing target may be replaced: the user is asked each time.
bool may_replace(const std::wstring& target) {
    return message_box(app.main_window, L"“" + target + L"” 已存在，是否覆盖？", L"拖出",
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace

CopyOutcome copy_to_drop_folder(const std::vector<std::wstring>& paths, const std::wstring& folder) {
    CopyOutcome outcome;
    const size_t n = paths.size();
    for (size_t i = 0; i < n; ++i) {
        const std::wstring& source = paths[i];
        const std::wstring name = last_component(source);
        const std::wstring target = join(folder, name);
        set_progress(static_cast<int>((i + 1) * 100 / n), L"拖出：复制 " + name);
        append_log(L"拖出：复制 " + name + L" -> " + folder);
        const bool source_is_dir = is_dir(source);
        if (!exists(source) && exists(target)) {
            // Explorer moves within a drive itself and then reports that nothing was dropped.
            append_log(L"拖出：已由目标窗口移动 " + name);
            ++outcome.copied;
        } else if (same_text(full_path(source), full_path(target))) {
            append_log(L"拖出：源与目标相同，已跳过 " + name);
            ++outcome.skipped;
        } else if (source_is_dir && is_within(target, source)) {
            copy_failed(name, L"不能把文件夹复制到它自身之内");
            ++outcome.failed;
        } else if (exists(target) && !may_replace(target)) {
            append_log(L"拖出：目标已存在，已跳过 " + name);
            ++outcome.skipped;
        } else if (exists(target) && is_dir(target) != source_is_dir) {
            copy_failed(name, L"目标已存在且类型不同");
            ++outcome.failed;
        } else if (source_is_dir) {
            if (copy_tree(source, target, name) == 0)
                ++outcome.copied;
            else
                ++outcome.failed;
        } else if (CopyFileW(source.c_str(), target.c_str(), FALSE)) {
            ++outcome.copied;
        } else {
            copy_failed(name, system_message(GetLastError()));
            ++outcome.failed;
        }
        pump_pending_messages();
    }
    return outcome;
}

void dragout_progress_text(const DragOutCounters& counters, int percent) {
    const rez::ExtractTotals& t = counters.totals;
    std::wstring text = L"拖出：" + std::to_wstring(percent) + L"%";
    if (t.total_files != 0) {
        text += L"  (" + std::to_wstring(t.done_files) + L"/" + std::to_wstring(t.total_files) + L" 个文件";
        if (t.total_bytes != 0) text += L"，" + format_size(t.done_bytes) + L"/" + format_size(t.total_bytes);
        text += L")";
    }
    if (!counters.current_name.empty()) text += L"  " + counters.current_name;
    set_progress(percent, text);
}

bool dragout_pump_progress(DragOutCounters& counters, int value) {
    while (app.paused.load() && !app.cancel.load()) {
        pump_pending_messages();
        Sleep(50);
    }
    if (app.cancel.load()) {
        append_log(L"拖出：已取消");
        app.cancel.exchange(false);
        return false;
    }
    const DWORD now = GetTickCount();
    if (value == counters.last_value && now - counters.last_tick < 50) return true;
    counters.last_value = value;
    counters.last_tick = now;
    dragout_progress_text(counters, value);
    pump_pending_messages();
    return true;
}

bool extract_keys_to_dir(const std::vector<std::wstring>& keys, const std::wstring& folder) {
    set_progress_marquee(false);
    set_progress(0, L"拖出：正在统计文件…");
    append_log(L"拖出：开始提取 " + std::to_wstring(keys.size()) + L" 个条目 -> " + folder);
    rez::create_directories(folder);
    DragOutCounters counters;
    for (const std::wstring& key : keys) {
        if (app.cancel.load()) break;
        std::wstring err;
        if (!app.archive.count_extract_totals(rez::to_utf8(key), counters.totals, err))
            append_log(L"拖出：统计大小失败（" + err + L"），进度可能不精确");
        pump_pending_messages();
    }
    append_log(L"拖出：共 " + std::to_wstring(counters.totals.total_files) + L" 个文件，总大小 " +
               format_size(counters.totals.total_bytes));

    std::vector<std::wstring> written;
    std::wstring error;
    bool stopped = false;
    size_t unsafe = 0;
    const rez::ProgressFn progress = [&counters](int value, const std::wstring&) {
        return dragout_pump_progress(counters, value);
    };
    for (const std::wstring& key : keys) {
        if (app.cancel.load()) {
            append_log(L"拖出：已取消");
            app.cancel.exchange(false);
            stopped = true;
            break;
        }
        const std::wstring name = entry_file_name(key);
        if (name.empty()) {
            append_log(L"拖出：条目名会离开目标目录，已跳过 " + key);
            ++unsafe;
            continue;
        }
        const std::wstring target = folder + L"\\" + name;
        counters.current_name = name;
        append_log(L"拖出：提取 " + name);
        dragout_progress_text(counters, rez::extract_percent(counters.totals));
        pump_pending_messages();
        if (!app.archive.extract_entries(rez::to_utf8(key), target, error, progress, &counters.totals)) {
            stopped = true;
            break;
        }
        written.push_back(target);
        counters.current_name.clear();
        pump_pending_messages();
    }
    if (stopped) {
        if (!written.empty())
            append_log(L"拖出：未完成，" + folder + L" 中可能已有部分文件（不会自动删除用户目录）");
        if (!error.empty()) append_log(L"拖出：提取失败: " + error);
        set_progress(0, L"就绪");
        return false;
    }
    size_t missing = 0;
    for (const std::wstring& target : written) {
        if (exists(target)) continue;
        append_log(L"拖出：校验失败，未找到 " + target);
        ++missing;
    }
    if (missing > 0) {
        append_log(L"拖出：" + std::to_wstring(missing) + L" 项落点校验失败");
        set_progress(0, L"拖出：落点校验失败");
        return false;
    }
    if (unsafe > 0) append_log(L"拖出：" + std::to_wstring(unsafe) + L" 个条目因名称不安全未提取");
    append_log(L"拖出：落点校验通过 -> " + folder);
    set_progress(100, L"拖出：提取完成（" + std::to_wstring(counters.totals.done_files) + L" 个文件，" +
                          format_size(counters.totals.done_bytes) + L"）");
    return true;
}

void remove_dragout_folder(const std::wstring& folder) {
    if (folder.empty()) return;
    try {
        DWORD code = ERROR_SUCCESS;
        if (!remove_tree(folder, code))
            append_log(L"拖出：临时目录清理失败（可能仍被占用），下次启动再试: " + system_message(code));
    } catch (const std::exception& e) {
        append_log(L"拖出：临时目录清理失败: " + rez::from_utf8(e.what()));
    }
}

}  // namespace rezui
