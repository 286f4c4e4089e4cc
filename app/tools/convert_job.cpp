#include "app/tools/convert_job.h"

#include <memory>

#include "app/operations/job_workers.h"
#include "app/operations/work_folder.h"
#include "archive/member_extract.h"
#include "archive/rez_model.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_writer.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"

namespace rezui {

namespace {

constexpr const wchar_t* kStopped = L"转换已停止";

using Progress = std::function<void(int, const std::wstring&)>;
using Stop = std::function<bool()>;

size_t name_start(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

// Position of the dot that starts the file name's extension, npos when there is none.
size_t extension_dot(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    return dot == std::wstring::npos || dot < name_start(path) ? std::wstring::npos : dot;
}

std::wstring count_text(uint64_t n) { return std::to_wstring(n); }

// Files the source holds, and its comment, for the check that every one of them arrived.
bool count_source_files(const std::wstring& source, const std::wstring& kind, uint64_t& files,
                        std::wstring& comment, std::wstring& err) {
    files = 0;
    if (kind == L"rez") {
        rez::RezFile archive;
        if (!rez::RezFile::open(source, archive, err)) return false;
        rez::ExtractTotals totals;
        if (!archive.count_extract_totals("", totals, err)) return false;
        files = totals.total_files;
        comment = archive.comment;
        return true;
    }
    if (kind == L"zip") {
        std::vector<rez::ZipEntry> entries;
        if (!rez::zip_list_entries(source, entries, comment, err)) return false;
        for (const auto& e : entries) files += e.is_dir ? 0 : 1;
        return true;
    }
    std::vector<rez::SevenZipEntry> entries;
    if (!rez::sevenzip_list_entries(source, entries, comment, err)) return false;
    for (const auto& e : entries) files += e.is_dir ? 0 : 1;
    return true;
}

// Files that cannot be told apart on disk (names equal but for case, or names the folder
// walk does not take) arrive as fewer files than the source holds: refuse instead of
// writing an archive that silently lacks them.
bool all_arrived(uint64_t expected, uint64_t arrived, std::wstring& err) {
    if (arrived == expected) return true;
    const uint64_t missing = expected > arrived ? expected - arrived : arrived - expected;
    err = L"有 " + count_text(missing) + L" 个文件无法转换（名称冲突或无法读取），未生成目标文件";
    return false;
}

// Unpacks source into work: REZ through its own extraction, with the steps passed on; ZIP
// and 7z through the library's extraction, which sanitises member names and refuses the
// ones that would leave the folder.
bool unpack(const std::wstring& source, const std::wstring& kind, const std::wstring& work, std::wstring& err,
            const Progress& progress, const Stop& stop) {
    if (kind == L"rez") {
        rez::RezFile archive;
        if (!rez::RezFile::open(source, archive, err)) return false;
        progress(10, L"正在提取...");
        return archive.extract_to_directory(work, err, [&progress, &stop](int percent, const std::wstring& text) {
            if (stop()) return false;
            progress(percent / 2 + 10, text);
            return true;
        });
    }
    progress(10, L"正在提取...");
    return rez::extract_archive_to_dir(source, work, err, [&stop](int, const std::wstring&) { return !stop(); },
                                       [&progress](int percent, const std::wstring&) {
                                           progress(10 + percent / 2, L"正在提取...");
                                       });
}

bool pack_rez(const std::wstring& work, const std::wstring& target, const std::wstring& comment,
              uint64_t expected, std::wstring& err, const Progress& progress, const Stop& stop) {
    rez::RezFile model(target);
    if (!model.add_directory_contents("", work, err)) {
        if (err.empty()) err = L"无法添加文件";
        return false;
    }
    if (!all_arrived(expected, model.stats().files, err)) return false;
    model.comment = comment;
    return model.save(target, err, [&progress, &stop](int percent, const std::wstring& text) {
        if (stop()) return false;
        progress(60 + percent * 40 / 100, text);
        return true;
    });
}

bool pack_zip_or_7z(const std::wstring& work, const std::wstring& target, const std::wstring& kind,
                    const std::wstring& comment, uint64_t expected, std::wstring& err, const Stop& stop) {
    std::vector<rez::ArchiveItem> items;
    if (!collect_folder_items(work, "", false, items, err)) return false;
    if (!all_arrived(expected, items.size(), err)) return false;
    if (stop()) return false;
    return kind == L"zip" ? rez::zip_create(target, items, comment, err)
                          : rez::sevenzip_create(target, items, comment, err);
}

uint64_t file_size(const std::wstring& path, bool& exists) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    exists = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != 0;
    return exists ? (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0;
}

bool is_known_kind(const std::wstring& kind) { return kind == L"rez" || kind == L"zip" || kind == L"7z"; }

}  // namespace

std::wstring convert_extension(const std::wstring& path) {
    const size_t dot = extension_dot(path);
    if (dot == std::wstring::npos) return L"";
    std::wstring ext = path.substr(dot + 1);
    for (wchar_t& c : ext) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return ext;
}

std::wstring convert_target_path(const std::wstring& source, bool same_folder, const std::wstring& output_folder,
                                 const std::wstring& ext) {
    const size_t dot = extension_dot(source);
    if (same_folder || output_folder.empty()) return source.substr(0, dot) + L"." + ext;
    const size_t start = name_start(source);
    const std::wstring stem = source.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
    std::wstring folder = output_folder;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder + stem + L"." + ext;
}

bool convert_file(const std::wstring& source, const std::wstring& target, std::wstring& error,
                  const std::function<void(int percent, const std::wstring& text)>& progress) {
    if (!progress) throw std::bad_function_call();
    return convert_file(source, target, error, progress, [] { return false; });
}

bool convert_file(const std::wstring& source, const std::wstring& target, std::wstring& error,
                  const std::function<void(int percent, const std::wstring& text)>& progress,
                  const std::function<bool()>& stop) {
    if (!progress || !stop) throw std::bad_function_call();
    const std::wstring src = convert_extension(source);
    const std::wstring dst = convert_extension(target);
    if (src == dst) {
        error = L"源与目标格式相同";
        return false;
    }
    if (!is_known_kind(src)) {
        error = L"不支持的源格式";
        return false;
    }
    if (!is_known_kind(dst)) {
        error = L"不支持的目标格式";
        return false;
    }
    uint64_t expected = 0;
    std::wstring comment;
    if (!count_source_files(source, src, expected, comment, error)) return false;

    // A folder of this run's own: a second conversion running at the same time never
    // packs what this one unpacked. It goes, with everything in it, whichever way this ends.
    WorkFolder work(L"conv");
    if (!work.ok()) {
        error = L"无法创建临时目录";
        return false;
    }
    // A stop reported by a step wins over the text the step failed with.
    auto stopped = [&error, &stop] {
        if (!stop()) return false;
        error = kStopped;
        return true;
    };
    if (!unpack(source, src, work.path(), error, progress, stop) || stopped()) {
        stopped();
        return false;
    }
    bool ok = false;
    if (dst == L"rez") {
        progress(60, L"正在创建 REZ...");
        ok = pack_rez(work.path(), target, comment, expected, error, progress, stop);
    } else {
        progress(70, L"正在写入归档...");
        ok = pack_zip_or_7z(work.path(), target, dst, comment, expected, error, stop);
    }
    if (!ok) stopped();
    return ok;
}

std::wstring claim_free_name(const std::wstring& path) {
    const size_t dot = extension_dot(path);
    const std::wstring stem = path.substr(0, dot), ext = dot == std::wstring::npos ? L"" : path.substr(dot);
    std::wstring candidate = path;
    for (int n = 2; n < 10000; ++n) {
        HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return candidate;
        }
        const DWORD why = GetLastError();
        if (why != ERROR_FILE_EXISTS && why != ERROR_ALREADY_EXISTS && why != ERROR_ACCESS_DENIED) break;
        // Access is denied for a folder of that name too: try the next name as well.
        if (why == ERROR_ACCESS_DENIED && GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        candidate = stem + L" (" + std::to_wstring(n) + L")" + ext;
    }
    return L"";
}

void convert_worker(ConvertJob& job) {
    auto result = std::make_unique<ConvertResult>();
    ConvertControl& control = *job.control;
    auto stop = [&control] { return control.stop.load() || workers_stop_requested(); };
    const size_t n = job.sources.size();
    for (size_t i = 0; i < n; ++i) {
        while (control.paused.load() && !stop()) Sleep(50);
        if (stop()) {
            result->stopped = true;
            break;
        }
        const std::wstring& source = job.sources[i];
        const std::wstring wanted = convert_target_path(source, job.same_folder, job.output_folder, job.target_ext);
        const int base = static_cast<int>(i * 90 / n);
        control.progress.offer({base, L"正在转换: " + source}, true);
        std::wstring error;
        // Same kind: refused before any name is taken.
        if (convert_extension(source) == job.target_ext) {
            result->failed++;
            result->last_error = L"源与目标格式相同";
            continue;
        }
        const std::wstring target = claim_free_name(wanted);
        if (target.empty()) {
            result->failed++;
            result->last_error = L"无法创建目标文件: " + wanted;
            continue;
        }
        const bool ok = convert_file(
            source, target, error,
            [&control, &source, base, n](int percent, const std::wstring&) {
                control.progress.offer({base + static_cast<int>(percent * 90 / (100 * n)), L"正在转换: " + source});
            },
            stop);
        if (!ok) {
            // The empty file that held the name goes again; the writers never leave a part
            // of their own at the target.
            bool exists = false;
            if (file_size(target, exists) == 0 && exists) DeleteFileW(target.c_str());
        }
        if (ok) {
            result->succeeded++;
            if (target != wanted) result->renamed.push_back(target);
        } else if (stop()) {
            result->stopped = true;
            break;
        } else {
            result->failed++;
            result->last_error = error;
        }
    }
    if (PostMessageW(job.window, WM_CONV_DONE, 0, reinterpret_cast<LPARAM>(result.get()))) result.release();
}

}  // namespace rezui
