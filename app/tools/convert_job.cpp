#include "app/tools/convert_job.h"

#include <memory>
#include <thread>

#include "app/operations/work_folder.h"
#include "archive/member_extract.h"
#include "archive/rez_model.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_writer.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"

namespace rezui {

std::atomic<uint8_t> convert_paused{0};
std::atomic<uint8_t> convert_stop{0};

namespace {

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
            const std::function<void(int, const std::wstring&)>& progress) {
    if (kind == L"rez") {
        rez::RezFile archive;
        if (!rez::RezFile::open(source, archive, err)) return false;
        progress(10, L"正在提取...");
        return archive.extract_to_directory(work, err, [&progress](int percent, const std::wstring& text) {
            progress(percent / 2 + 10, text);
            return true;
        });
    }
    progress(10, L"正在提取...");
    return rez::extract_archive_to_dir(source, work, err, {}, {});
}

bool pack_rez(const std::wstring& work, const std::wstring& target, const std::wstring& comment,
              uint64_t expected, std::wstring& err) {
    rez::RezFile model(target);
    if (!model.add_directory_contents("", work, err)) {
        if (err.empty()) err = L"无法添加文件";
        return false;
    }
    if (!all_arrived(expected, model.stats().files, err)) return false;
    model.comment = comment;
    return model.save(target, err);
}

bool pack_zip_or_7z(const std::wstring& work, const std::wstring& target, const std::wstring& kind,
                    const std::wstring& comment, uint64_t expected, std::wstring& err) {
    std::vector<rez::ArchiveItem> items;
    if (!collect_folder_items(work, "", false, items, err)) return false;
    if (!all_arrived(expected, items.size(), err)) return false;
    return kind == L"zip" ? rez::zip_create(target, items, comment, err)
                          : rez::sevenzip_create(target, items, comment, err);
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
    if (!unpack(source, src, work.path(), error, progress)) return false;
    if (dst == L"rez") {
        progress(60, L"正在创建 REZ...");
        return pack_rez(work.path(), target, comment, expected, error);
    }
    progress(70, L"正在写入归档...");
    return pack_zip_or_7z(work.path(), target, dst, comment, expected, error);
}

void convert_worker(ConvertJob& job) {
    auto result = std::make_unique<ConvertResult>();
    const size_t n = job.sources.size();
    for (size_t i = 0; i < n; ++i) {
        while (convert_paused.load() && !convert_stop.load()) Sleep(50);
        if (convert_stop.load()) break;
        const std::wstring& source = job.sources[i];
        const std::wstring target = convert_target_path(source, job.same_folder, job.output_folder, job.target_ext);
        auto text = std::make_unique<std::wstring>(L"正在转换: " + source);
        if (PostMessageW(job.window, WM_CONV_PROGRESS, static_cast<WPARAM>(i * 90 / n),
                         reinterpret_cast<LPARAM>(text.get())))
            text.release();
        std::wstring error;
        if (convert_file(source, target, error, [](int, const std::wstring&) {})) {
            result->succeeded++;
        } else {
            result->failed++;
            result->last_error = error;
        }
    }
    if (PostMessageW(job.window, WM_CONV_DONE, 0, reinterpret_cast<LPARAM>(result.get()))) result.release();
}

void convert_thread(ConvertJob* job) {
    std::unique_ptr<ConvertJob> owned(job);
    convert_worker(*owned);
}

}  // namespace rezui
