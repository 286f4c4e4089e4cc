#include "app/tools/pack_job.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <condition_variable>
#include <cwctype>
#include <map>
#include <mutex>

#include "archive/member_extract.h"
#include "archive/rez_model.h"
#include "archive/util.h"

namespace rezui {

std::atomic<bool> pack_cancel{false};

namespace {

std::mutex hold_mutex;
std::condition_variable hold_changed;
bool job_held = false;

constexpr const wchar_t* kCancelled = L"操作已取消";

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool is_folder(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

size_t last_separator(const std::wstring& path) { return path.find_last_of(L"\\/"); }

// The text before the last separator, empty when there is none.
std::wstring parent_text(const std::wstring& path) {
    size_t s = last_separator(path);
    return s == std::wstring::npos ? L"" : path.substr(0, s);
}

std::wstring desktop_folder() {
    wchar_t buf[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, buf)) && buf[0]) return buf;
    return L"C:\\";
}

bool equal_nocase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// A drive ("D:") or anything else Windows refuses in a file name cannot name the archive.
bool usable_name(const std::wstring& name) {
    return !name.empty() && name.find_first_of(L"<>:\"/\\|?*") == std::wstring::npos;
}

int leading_number(const std::wstring& text) {
    int n = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        n = n * 10 + (c - L'0');
        if (n > 100000000) break;
    }
    return n;
}

// The add-phase state shared by pack_impl and its per-file step.
struct PackRun {
    const PackProgressFn& progress;
    std::wstring& error;
    int total = 0;
    int done = 0;
    int renamed = 0;
    bool ok = true;
};

bool pack_impl_on_file(PackRun& run, const std::wstring& path) {
    if (pack_job_should_stop()) {
        run.ok = false;
        run.error = kCancelled;
        return false;
    }
    ++run.done;
    const std::wstring name = path_file_name(path);
    std::wstring line;
    if (run.done == 1 || run.done == run.total || run.done % 100 == 0)
        line = L"  + (" + std::to_wstring(run.done) + L"/" + std::to_wstring(run.total) + L") " + name + L"\r\n";
    // Names with a leading dot are added but were not counted, so done may pass total: the
    // add phase still stops at 50 %, the writing phase owns the rest.
    int percent = run.total > 0 ? (run.done < run.total ? run.done : run.total) * 50 / run.total : 0;
    if (run.progress) run.progress(percent, run.done, run.total, false, name, line);
    return true;
}

bool pack_impl_on_progress(PackRun& run, int percent, const std::wstring& text) {
    if (pack_job_should_stop()) return false;
    int a = 0, b = 0;
    parse_step_counter(text, a, b);
    std::wstring line;
    if (!text.empty() && (percent == 0 || percent >= 100 || a == 1 || a == b || a % 100 == 0))
        line = L"  [" + std::to_wstring(percent) + L"%] " + text + L"\r\n";
    if (run.progress) run.progress(percent / 2 + 50, a, b, true, text, line);
    return !pack_cancel.load();
}

// ---- names that differ only in case ---------------------------------------------------

// The name and type text a disk file gets as an archive entry, as the archive library makes
// them: a type text of more than 5 characters stays part of the name.
void entry_name_of(const std::wstring& disk_path, std::string& name, std::string& type_text) {
    const std::string file = rez::file_name_utf8(disk_path);
    name = file;
    type_text.clear();
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot != 0 && file.size() - dot - 1 <= 5) {
        name = file.substr(0, dot);
        type_text = file.substr(dot + 1);
    }
}

// One file slot of an archive folder: entries are told apart by name and type, ignoring case.
std::string slot_key(const std::string& name, const std::string& type_text) {
    return rez::to_lower_ascii(name) + '\x01' + rez::to_lower_ascii(type_text);
}

// The name a folder takes in the archive (folders of one name, in any case, are one folder).
std::string folder_entry_name(const std::wstring& disk_folder) {
    std::string name = rez::apply_rez_name_case(rez::file_name_utf8(disk_folder));
    return name.empty() ? "DIR" : name;
}

// Disk files by the archive folder they land in (lower-cased path) and by file slot.
using SlotFiles = std::map<std::string, std::map<std::string, std::vector<std::wstring>>>;

void note_file(SlotFiles& slots, const std::string& folder, const std::wstring& disk_file) {
    std::string name, type_text;
    entry_name_of(disk_file, name, type_text);
    slots[folder][slot_key(name, type_text)].push_back(disk_file);
}

// Walks a disk folder the way the archive library adds it: names with a leading dot are
// left out, and paths are built the same way, so that they match the entries' sources.
void note_folder(SlotFiles& slots, const std::string& folder, const std::wstring& disk_folder) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((disk_folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (fd.cFileName[0] == L'.') continue;
        const std::wstring full = disk_folder + L"\\" + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            note_folder(slots, folder + "\\" + rez::to_lower_ascii(folder_entry_name(full)), full);
        else
            note_file(slots, folder, full);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// The archive folder at a lower-cased path ("\\a\\b"), and its path as stored.
rez::Entry* find_folder(rez::Entry& root, const std::string& lowered, std::string& stored) {
    rez::Entry* at = &root;
    stored.clear();
    size_t start = 0;
    while (at && start < lowered.size()) {
        const size_t end = std::min(lowered.find('\\', start + 1), lowered.size());
        const std::string part = lowered.substr(start + 1, end - start - 1);
        rez::Entry* next = nullptr;
        for (rez::Entry& c : at->children) {
            if (c.is_dir && rez::iequals_ascii(c.name, part)) {
                next = &c;
                break;
            }
        }
        if (next) stored += (stored.empty() ? "" : "\\") + next->name;
        at = next;
        start = end;
    }
    return at;
}

// "name (n)" before the type text; a name that holds its long type text keeps it at the end.
std::string numbered_name(const std::string& name, const std::string& type_text, int n) {
    const std::string number = " (" + std::to_string(n) + ")";
    const size_t dot = type_text.empty() ? name.rfind('.') : std::string::npos;
    if (dot == std::string::npos || dot == 0) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}

bool slot_taken(const rez::Entry& folder, const std::string& key) {
    for (const rez::Entry& c : folder.children) {
        if (!c.is_dir && slot_key(c.name, c.ext) == key) return true;
    }
    return false;
}

// The archive library keeps one entry per slot: of files that differ only in case, the entry
// holds the one added last. Every other one is added again under a free numbered name.
bool keep_case_twins(PackRun& run, rez::RezFile& archive, const SlotFiles& slots) {
    for (const auto& [folder_path, files_by_slot] : slots) {
        for (const auto& [key, files] : files_by_slot) {
            if (files.size() < 2) continue;
            std::string stored;
            rez::Entry* folder = find_folder(archive.root, folder_path, stored);
            size_t holder = std::string::npos;
            for (size_t i = 0; folder && i < folder->children.size() && holder == std::string::npos; ++i) {
                const rez::Entry& c = folder->children[i];
                if (!c.is_dir && slot_key(c.name, c.ext) == key) holder = i;
            }
            if (holder == std::string::npos) {
                run.error = L"添加文件失败: " + files.front();
                return false;
            }
            const std::wstring kept_file = folder->children[holder].source_path.value_or(L"");
            for (const std::wstring& file : files) {
                if (file == kept_file) continue;
                if (pack_job_should_stop()) {
                    run.error = kCancelled;
                    return false;
                }
                std::string name, type_text;
                entry_name_of(file, name, type_text);
                name = rez::apply_rez_name_case(name);
                type_text = rez::apply_rez_name_case(type_text);
                std::string numbered;
                for (int n = 2; numbered.empty() || slot_taken(*folder, slot_key(numbered, type_text)); ++n)
                    numbered = numbered_name(name, type_text, n);
                // The entry there stands aside while the file takes the slot under its own name.
                const std::string holder_name = folder->children[holder].name;
                folder->children[holder].name.assign(1, '\x01');
                std::string added;
                archive.add_file(stored, file, added);
                folder->children.back().name = numbered;
                folder->children[holder].name = holder_name;
                const std::string shown = type_text.empty() ? numbered : numbered + "." + rez::to_lower_ascii(type_text);
                ++run.renamed;
                if (run.progress)
                    run.progress(50, run.done, run.total, false, L"",
                                 L"[信息] 名称仅大小写不同，改名存入: " + file + L"  →  " + rez::from_utf8(shown) +
                                     L"\r\n");
            }
        }
    }
    return true;
}

}  // namespace

void hold_pack_job(bool held) {
    {
        std::lock_guard<std::mutex> lock(hold_mutex);
        job_held = held;
    }
    hold_changed.notify_all();
}

bool pack_job_should_stop() {
    std::unique_lock<std::mutex> lock(hold_mutex);
    hold_changed.wait(lock, [] { return !job_held || pack_cancel.load(); });
    return pack_cancel.load();
}

std::wstring path_file_name(const std::wstring& path) {
    size_t s = last_separator(path);
    return s == std::wstring::npos ? path : path.substr(s + 1);
}

int count_files_in_folder(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        const std::wstring name = fd.cFileName;
        if (name.empty() || name[0] == L'.') continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            count += count_files_in_folder(folder + L"\\" + name);
        else
            ++count;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return count;
}

void parse_step_counter(const std::wstring& text, int& a, int& b) {
    a = b = 0;
    size_t open = text.rfind(L'(');
    if (open == std::wstring::npos) return;
    size_t close = text.rfind(L')');
    if (close != std::wstring::npos && close < open) return;
    std::wstring inner = text.substr(open + 1, close == std::wstring::npos ? std::wstring::npos : close - open - 1);
    size_t slash = inner.find(L'/');
    if (slash == std::wstring::npos) return;
    a = leading_number(inner.substr(0, slash));
    b = leading_number(inner.substr(slash + 1));
}

std::wstring default_pack_output(const std::vector<std::wstring>& sources) {
    if (sources.empty()) return desktop_folder() + L"\\Pack.rez";
    std::wstring folder = parent_text(sources.front());
    if (folder.empty()) folder = desktop_folder();

    std::wstring name;
    if (sources.size() == 1) {
        // Only the file-name part can hold the extension: a dot in a folder name is kept.
        const std::wstring file = path_file_name(sources.front());
        size_t dot = file.rfind(L'.');
        name = dot != std::wstring::npos && dot > 0 ? file.substr(0, dot) : file;
    } else {
        const std::wstring first = parent_text(sources.front());
        bool same = !first.empty();
        for (const auto& s : sources) same = same && equal_nocase(parent_text(s), first);
        name = same ? path_file_name(first) : L"";
        // Items right below a drive root share the parent "D:", which names no file.
        if (!usable_name(name)) name = L"MergedPack";
    }
    if (name.empty()) name = L"Pack";
    if (name.size() > 4 && equal_nocase(name.substr(name.size() - 4), L".rez")) name.resize(name.size() - 4);

    std::wstring candidate = folder + L"\\" + name + L".rez";
    for (int n = 1; exists(candidate); ++n) candidate = folder + L"\\" + name + L" (" + std::to_wstring(n) + L").rez";
    return candidate;
}

bool pack_impl(const std::vector<std::wstring>& sources, const std::wstring& output, std::wstring& error,
               const PackProgressFn& progress) {
    PackRun run{progress, error};
    SlotFiles slots;
    std::wstring log = L"[信息] 共 " + std::to_wstring(sources.size()) + L" 个目标待打包";
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::wstring& source = sources[i];
        if (!exists(source)) {
            error = L"源不存在: " + source;
            return false;
        }
        const std::wstring number = std::to_wstring(i + 1);
        if (is_folder(source)) {
            int c = count_files_in_folder(source);
            run.total += c;
            note_folder(slots, "\\" + rez::to_lower_ascii(folder_entry_name(source)), source);
            log += L"\r\n  [" + number + L"] (文件夹) " + source + L"  →  " + std::to_wstring(c) + L" 个文件";
        } else {
            run.total += 1;
            note_file(slots, "", source);
            log += L"\r\n  [" + number + L"] (文件) " + source;
        }
    }
    log += L"\r\n[信息] 总计 " + std::to_wstring(run.total) + L" 个文件将被加入到压缩包。\r\n";
    if (progress) progress(0, 0, run.total, false, L"", log);

    rez::RezFile archive(output);
    archive.user_title = "LithTech Resource File";
    archive.signature_text = rez::RezFile().signature_text;

    rez::FileFn on_file = [&run](const std::wstring& path) { return pack_impl_on_file(run, path); };
    for (const auto& source : sources) {
        if (!run.ok) break;
        if (pack_job_should_stop()) {
            run.ok = false;
            error = kCancelled;
            break;
        }
        if (!exists(source)) {
            run.ok = false;
            error = L"源不存在: " + source;
            break;
        }
        std::string added;
        if (is_folder(source)) {
            run.ok = archive.add_directory_tree("", source, added, &error, on_file);
        } else if (archive.add_file("", source, added)) {
            run.ok = pack_impl_on_file(run, source);
        } else {
            run.ok = false;
            error = L"添加文件失败: " + source;
        }
    }
    if (run.ok) run.ok = keep_case_twins(run, archive, slots);
    if (run.ok && run.renamed > 0 && progress)
        progress(50, run.done, run.total, false, L"",
                 L"[信息] 共 " + std::to_wstring(run.renamed) +
                     L" 个文件与同一文件夹中的文件名称仅大小写不同，已编号存入。\r\n");
    if (run.ok) {
        run.ok = archive.save(output, error,
                              [&run](int percent, const std::wstring& text) {
                                  return pack_impl_on_progress(run, percent, text);
                              });
        if (!run.ok && pack_cancel.load()) error = kCancelled;
    }
    return run.ok;
}

bool extract_impl(const std::wstring& archive, const std::wstring& destination, std::wstring& error,
                  const PackProgressFn& progress) {
    // Asked before every file, so a cancel stops the unpacking where it is; files already
    // written stay.
    rez::ProgressFn on_progress = [](int, const std::wstring&) { return !pack_job_should_stop(); };
    rez::LogFn on_log = [&progress](int percent, const std::wstring& text) {
        std::wstring line;
        if (!text.empty() && (percent % 5 == 0 || percent == 100))
            line = L"  [" + std::to_wstring(percent) + L"%] 解压: " + text + L"\r\n";
        if (progress) progress(percent, 0, 0, true, text, line);
    };
    bool ok = rez::extract_archive_to_dir(archive, destination, error, on_progress, on_log);
    if (!ok && pack_cancel.load()) error = kCancelled;
    return ok;
}

}  // namespace rezui
