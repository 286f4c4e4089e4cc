#include "app/tools/wizard_worker.h"

#include <cmath>
#include <cstdio>

#include "app/operations/job_workers.h"
#include "app/operations/work_folder.h"
#include "app/operations/zip_7z_rewrite.h"
#include "app/tools/pack_job.h"
#include "archive/rez_model.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_writer.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"

namespace rezui {

namespace {

constexpr const wchar_t* kCancelled = L"操作已取消";

// What one job has done so far; only the worker thread touches it.
struct WizardRun {
    explicit WizardRun(const WizardJob& j) : job(j) {}
    const WizardJob& job;
    std::wstring target;
    ULONGLONG start = 0;
    ULONGLONG phase_start = 0;  // rates count from here: the files of one phase over its own time
    int total = 0;
    int copied = 0;
    int read = 0;
    int done = 0;
    bool ok = true;
    bool finished = false;  // the last step of the job completed
    std::wstring error;
    WizardTick tick;  // what the wizard was last handed
};

// The wizard's Cancel for this run, or the program stopping every worker on its way out.
bool cancelled(const WizardRun& run) { return run.job.link->cancel.load() || workers_stop_requested(); }

std::wstring file_name_part(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring lower_extension(const std::wstring& path) {
    return rez::from_utf8(rez::to_lower_ascii(rez::extension_of(rez::to_utf8(path))));
}

bool is_dot_name(const wchar_t* name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

// Links met in a source folder are left alone: followed, they could lead back up the tree.
bool is_link(const WIN32_FIND_DATAW& fd) { return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

bool is_folder(const WIN32_FIND_DATAW& fd) { return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Calls visit for every entry of folder but "." and ".."; a listing error ends the walk
// quietly. visit returns false to stop.
template <class Visit>
void for_each_entry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (is_dot_name(fd.cFileName)) continue;
        if (!visit(fd)) break;
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

bool starts_with(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// The title and the "[信息]" lines are few and each must be seen: they go as messages of their
// own. Every other step only updates the latest state, which the wizard takes a few times a
// second; urgent marks a new phase, shown at once.
void post_progress(WizardRun& run, int percent, const std::wstring& text, bool urgent = false) {
    if (starts_with(text, L"[标题]") || starts_with(text, L"[信息]")) {
        auto* copy = new std::wstring(text);
        if (!PostMessageW(run.job.dialog, WM_WIZ_PROGRESS, static_cast<WPARAM>(percent),
                          reinterpret_cast<LPARAM>(copy)))
            delete copy;
        return;
    }
    run.tick.percent = percent;
    run.tick.text = text;
    run.job.link->progress.offer(run.tick, urgent);
}

void post_stats(WizardRun& run, int done, int total, const std::wstring& text) {
    run.tick.has_stats = true;
    run.tick.stats = WizardStats{done, total, text, run.job.pack};
    run.job.link->progress.offer(run.tick);
}

double phase_seconds(const WizardRun& run) {
    return static_cast<double>(GetTickCount64() - run.phase_start) / 1000.0;
}

// The stats post of a step: its operation text with the rate and time left of count of total
// files. Every stats post carries both lines, so neither label goes blank while the job runs.
void post_rate(WizardRun& run, int count, int total, const std::wstring& operation) {
    post_stats(run, count, total, operation + L"\n" + wizard_rate_lines(count, total, phase_seconds(run)));
}

void post_rate(WizardRun& run, int count, const std::wstring& operation) {
    post_rate(run, count, run.total, operation);
}

int count_files(const std::wstring& folder) {
    int n = 0;
    for_each_entry(folder, [&n, &folder](const WIN32_FIND_DATAW& fd) {
        if (is_link(fd)) return true;
        if (is_folder(fd))
            n += count_files(folder + L"\\" + fd.cFileName);
        else
            ++n;
        return true;
    });
    return n;
}

int copy_percent(const WizardRun& run) {
    return 5 + static_cast<int>(static_cast<unsigned>(run.copied) * 55u / static_cast<unsigned>(run.total));
}

bool copy_one_file(WizardRun& run, const std::wstring& source, const std::wstring& destination) {
    const std::wstring name = file_name_part(destination);
    post_progress(run, copy_percent(run), L"正在收集: " + name);
    if (!CopyFileW(source.c_str(), destination.c_str(), FALSE)) {
        run.error = L"复制文件失败: " + name;
        return false;
    }
    ++run.copied;
    post_rate(run, run.copied, L"正在收集: " + name);
    return true;
}

bool copy_folder(WizardRun& run, const std::wstring& source, const std::wstring& destination) {
    CreateDirectoryW(destination.c_str(), nullptr);
    bool ok = true;
    for_each_entry(source, [&](const WIN32_FIND_DATAW& fd) {
        if (cancelled(run)) {
            ok = false;
            return false;
        }
        if (is_link(fd)) return true;
        const std::wstring from = source + L"\\" + fd.cFileName, to = destination + L"\\" + fd.cFileName;
        ok = is_folder(fd) ? copy_folder(run, from, to) : copy_one_file(run, from, to);
        return ok;
    });
    return ok && !cancelled(run);
}

// Lists the sources and counts their files into run.total; false (with the error) when one
// is missing.
bool list_sources(WizardRun& run) {
    const auto& sources = run.job.sources;
    std::wstring log = L"[信息] 共 " + std::to_wstring(sources.size()) + L" 个目标待打包";
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::wstring& source = sources[i];
        const DWORD attributes = GetFileAttributesW(source.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            run.error = L"源不存在: " + source;
            run.ok = false;
            return false;
        }
        const std::wstring number = std::to_wstring(i + 1);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            const int n = count_files(source);
            run.total += n;
            log += L"\r\n  [" + number + L"] (文件夹) " + source + L"  →  " + std::to_wstring(n) + L" 个文件";
        } else {
            run.total += 1;
            log += L"\r\n  [" + number + L"] (文件) " + source;
        }
    }
    log += L"\r\n[信息] 总计 " + std::to_wstring(run.total) + L" 个文件将被加入到压缩包。\r\n";
    post_progress(run, 0, log);
    return true;
}

void copy_sources(WizardRun& run, const std::wstring& staging) {
    std::vector<std::wstring> taken;
    for (const std::wstring& source : run.job.sources) {
        if (!run.ok || cancelled(run)) return;
        const DWORD attributes = GetFileAttributesW(source.c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        // Two sources of one name from different folders would land on the same spot and
        // the later one would silently replace the earlier: it is numbered instead.
        const std::wstring name = staging_name(file_name_part(source), folder, taken);
        if (name != file_name_part(source))
            post_progress(run, copy_percent(run), L"[信息] 同名源改名存入: " + source + L"  →  " + name);
        const std::wstring destination = staging + L"\\" + name;
        if (folder) {
            run.ok = copy_folder(run, source, destination);
            if (!run.ok && run.error.empty()) run.error = L"复制目录失败: " + name;
        } else {
            run.ok = copy_one_file(run, source, destination);
        }
    }
}

// Every regular file below folder as an archive item named by its path below root.
void read_items(WizardRun& run, const std::wstring& root, const std::wstring& folder,
                std::vector<rez::ArchiveItem>& items) {
    for_each_entry(folder, [&](const WIN32_FIND_DATAW& fd) {
        if (cancelled(run) || !run.ok) return false;
        if (is_link(fd)) return true;
        const std::wstring path = folder + L"\\" + fd.cFileName;
        if (is_folder(fd)) {
            read_items(run, root, path, items);
            return run.ok;
        }
        std::wstring relative = path.substr(root.size() + 1);
        for (wchar_t& c : relative) c = c == L'\\' ? L'/' : c;
        post_progress(
            run,
            60 + static_cast<int>(static_cast<unsigned>(run.read) * 25u / static_cast<unsigned>(run.total)),
            L"正在读取: " + std::wstring(fd.cFileName));
        rez::ArchiveItem item{rez::to_utf8(relative), {}};
        if (!rez::read_file(path, item.data)) {
            run.error = L"读取文件失败: " + relative;
            run.ok = false;
            return false;
        }
        items.push_back(std::move(item));
        ++run.read;
        post_rate(run, run.read, L"正在读取: " + std::wstring(fd.cFileName));
        return true;
    });
}

void write_zip_or_7z(WizardRun& run, const std::wstring& staging) {
    std::vector<rez::ArchiveItem> items;
    run.phase_start = GetTickCount64();
    read_items(run, staging, staging, items);
    if (!run.ok || cancelled(run)) return;
    const bool zip = run.job.format == 1;
    const std::wstring text = zip ? L"正在写入 ZIP..." : L"正在写入 7Z...";
    post_progress(run, 85, text, true);
    post_rate(run, run.total, text);
    // Written beside the target and moved into place only when no Cancel came meanwhile: a
    // cancelled pack leaves no archive, nor harms a file the target would have replaced.
    const std::wstring part = run.target + L".tmp_qvl_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(GetCurrentThreadId());
    run.ok = zip ? rez::zip_create(part, items, run.job.comment, run.error)
                 : rez::sevenzip_create(part, items, run.job.comment, run.error);
    if (run.ok && !cancelled(run)) {
        run.ok = MoveFileExW(part.c_str(), run.target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
        if (run.ok) {
            run.finished = true;
            return;
        }
        run.error = L"无法写入目标文件: " + run.target;
    }
    DeleteFileW(part.c_str());
}

void write_rez(WizardRun& run, const std::wstring& staging) {
    rez::RezFile archive(run.target);
    archive.user_title = rez::to_utf8(run.job.description);
    archive.signature_text = rez::to_utf8(run.job.copyright);
    archive.comment = run.job.comment;
    if (!run.ok || cancelled(run)) return;
    run.ok = archive.add_directory_contents_to_root(staging, run.error);
    if (!run.ok || cancelled(run)) return;
    const std::wstring text = L"正在写入 REZ...";
    post_progress(run, 85, text, true);
    post_rate(run, run.total, text);
    // The writer names each file it stores with a "(n/m)" counter: the rate of the writing.
    // Cancel ends the save before its next file; the save then leaves no archive behind.
    run.phase_start = GetTickCount64();
    run.ok = archive.save(run.target, run.error, [&run, &text](int, const std::wstring& step) {
        if (cancelled(run)) return false;
        int n = 0, m = 0;
        parse_step_counter(step, n, m);
        if (m > 0) post_rate(run, n, m, text);
        return true;
    });
    run.finished = run.ok;
}

}  // namespace

std::wstring wizard_pack_target(const std::wstring& target, int format) {
    const wchar_t* wanted = format == 1 ? L".zip" : format == 2 ? L".7z" : L".rez";
    const std::wstring ext = lower_extension(target);
    if (ext == L"rez" || ext == L"zip" || ext == L"7z")
        return target.substr(0, target.size() - ext.size() - 1) + wanted;
    if (ext.empty()) return target + wanted;
    return target;
}

namespace {

// False when the listing failed: that error is reported as it is, even after a cancel.
bool pack(WizardRun& run) {
    run.target = wizard_pack_target(run.job.target, run.job.format);
    post_progress(run, 0, L"[标题]" + file_name_part(run.target));
    if (!list_sources(run)) return false;
    if (run.total == 0) run.total = 1;
    WorkFolder staging(L"wiz");
    if (!staging.ok()) {
        run.ok = false;
        run.error = L"无法创建临时目录";
        return true;
    }
    copy_sources(run, staging.path());
    if (run.job.format == 1 || run.job.format == 2)
        write_zip_or_7z(run, staging.path());
    else
        write_rez(run, staging.path());
    return true;
}

void count_entries(const rez::Entry& entry, int& n) {
    if (!entry.is_dir) {
        ++n;
        return;
    }
    for (const rez::Entry& child : entry.children) count_entries(child, n);
}

// Writes one unpacked ZIP or 7z member below the destination, its name made safe as every
// other extraction makes it (device names and characters Windows refuses replaced); a name
// that would still leave the destination fails the job.
bool write_member(WizardRun& run, const std::string& name, const std::vector<uint8_t>& bytes) {
    bool refused = false;
    return safe_extract_path(run.target, name, bytes, run.error, refused);
}

void member_written(WizardRun& run, const std::string& name) {
    ++run.done;
    const std::wstring text = L"正在解压: " + rez::from_utf8(name);
    post_progress(run, run.done * 100 / (run.total > 1 ? run.total : 1), text);
    post_rate(run, run.done, text);
}

template <class Entry, class Read>
void extract_members(WizardRun& run, const std::vector<Entry>& entries, Read read) {
    for (const Entry& e : entries) {
        if (cancelled(run)) return;
        if (e.is_dir) continue;
        std::vector<uint8_t> bytes;
        if (!read(e, bytes) || !write_member(run, e.name, bytes)) {
            run.ok = false;
            return;
        }
        member_written(run, e.name);
    }
    run.finished = true;
}

int count_archive_files(const WizardRun& run, const std::wstring& ext) {
    int n = 0;
    std::wstring comment, err;
    if (ext == L"zip" || ext == L"7z") {
        std::vector<rez::ZipEntry> zip;
        std::vector<rez::SevenZipEntry> seven;
        if (ext == L"zip" && rez::zip_list_entries(run.job.archive, zip, comment, err))
            for (const auto& e : zip) n += e.is_dir ? 0 : 1;
        if (ext == L"7z" && rez::sevenzip_list_entries(run.job.archive, seven, comment, err))
            for (const auto& e : seven) n += e.is_dir ? 0 : 1;
        return n;
    }
    rez::RezFile archive;
    if (!rez::RezFile::open(run.job.archive, archive, err) || !archive.load_all_directories(err)) return 0;
    for (const rez::Entry& child : archive.root.children) count_entries(child, n);
    return n;
}

void extract(WizardRun& run) {
    run.target = run.job.target;
    post_progress(run, 0, L"[标题]" + file_name_part(run.job.archive));
    const std::wstring ext = lower_extension(run.job.archive);
    run.total = count_archive_files(run, ext);
    post_progress(run, 0, L"[信息] 总计 " + std::to_wstring(run.total) + L" 个文件待解压。");
    std::wstring comment;
    if (ext == L"zip") {
        // Read once: every member is cut from the same bytes.
        std::vector<uint8_t> file;
        std::vector<rez::ZipEntry> entries;
        if (!rez::read_file(run.job.archive, file)) {
            run.ok = false;
            run.error = L"无法读取文件: " + run.job.archive;
            return;
        }
        run.ok = rez::zip_list_entries_in(file, entries, comment, run.error);
        if (run.ok)
            extract_members(run, entries, [&](const rez::ZipEntry& e, std::vector<uint8_t>& out) {
                return rez::zip_extract_entry_in(file, e, out, run.error);
            });
        return;
    }
    if (ext == L"7z") {
        std::vector<rez::SevenZipEntry> entries;
        run.ok = rez::sevenzip_list_entries(run.job.archive, entries, comment, run.error);
        if (run.ok)
            extract_members(run, entries, [&](const rez::SevenZipEntry& e, std::vector<uint8_t>& out) {
                return rez::sevenzip_extract_entry(run.job.archive, e, out, run.error);
            });
        return;
    }
    rez::RezFile archive;
    run.ok = rez::RezFile::open(run.job.archive, archive, run.error);
    if (!run.ok) return;
    run.ok =
        archive.extract_to_directory(run.target, run.error, [&run](int percent, const std::wstring& text) {
            if (cancelled(run)) return false;
            post_progress(run, percent, text);
            ++run.done;
            post_rate(run, run.done, text);
            return true;
        });
    run.finished = run.ok;
}

std::wstring number_text(const wchar_t* format, long long value) {
    wchar_t buffer[48] = {};
    _snwprintf(buffer, 47, format, value);
    return buffer;
}

}  // namespace

std::wstring staging_name(const std::wstring& name, bool folder, std::vector<std::wstring>& taken) {
    auto used = [&taken](const std::wstring& candidate) {
        for (const std::wstring& t : taken) {
            if (CompareStringOrdinal(t.c_str(), static_cast<int>(t.size()), candidate.c_str(),
                                     static_cast<int>(candidate.size()), TRUE) == CSTR_EQUAL)
                return true;
        }
        return false;
    };
    std::wstring stem = name, extension;
    const size_t dot = folder ? std::wstring::npos : name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    std::wstring candidate = name;
    for (int n = 2; used(candidate); ++n) candidate = stem + L" (" + std::to_wstring(n) + L")" + extension;
    taken.push_back(candidate);
    return candidate;
}

std::wstring format_time_left(double x) {
    if (x < 60) return number_text(L"%lld 秒", static_cast<long long>(x + 0.5));
    if (x < 3600)
        return number_text(L"%lld 分 ", static_cast<long long>(x / 60)) +
               number_text(L"%lld 秒", static_cast<long long>(std::fmod(x, 60) + 0.5));
    return number_text(L"%lld 时 ", static_cast<long long>(x / 3600)) +
           number_text(L"%lld 分", static_cast<long long>(std::fmod(x / 60, 60) + 0.5));
}

std::wstring wizard_rate_lines(int count, int total, double elapsed) {
    const double rate = elapsed > 0 ? count / elapsed : 0;
    const double left = rate > 0 ? (total - count) / rate : 0;
    return L"速率：" + std::to_wstring(static_cast<long long>(rate + 0.5)) + L" 个/秒\n剩余时间：" +
           format_time_left(left > 0 ? left : 0);
}

void wizard_worker(const WizardJob& job) {
    WizardRun run(job);
    run.start = run.phase_start = GetTickCount64();
    bool cancel_counts = true;
    if (job.pack)
        cancel_counts = pack(run);
    else
        extract(run);
    // A job whose work was all done when Cancel came is reported as done.
    if (cancel_counts && !run.finished && cancelled(run)) {
        run.ok = false;
        run.error = kCancelled;
    }
    auto* result = new WizardResult{run.ok, run.ok ? std::wstring() : run.error, run.target};
    if (!PostMessageW(job.dialog, WM_WIZ_DONE, 0, reinterpret_cast<LPARAM>(result))) delete result;
}

}  // namespace rezui
