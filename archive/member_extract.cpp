// Member reading and whole-archive extraction over the REZ, ZIP and 7z readers.
#include "archive/member_extract.h"

#include <windows.h>

#include <utility>

#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "archive/zip_reader.h"

namespace rez {
namespace {

const wchar_t kCancelled[] = L"操作已取消";
const wchar_t kUnsafe[] = L"条目路径不安全，已拒绝: ";

// One archive member, whatever its format, as the extraction loop needs it.
struct Member {
    std::string name;
    bool is_dir = false;
    size_t index = 0;  // into the reader's own listing
};

// Writes the archive's members in listing order under their sanitised paths; a member whose
// path would still leave the target is skipped and logged, and the run then ends false with
// the count. decode(index, scratch, data, size, err) reads one file: its bytes are at data,
// inside scratch or inside whatever the decoder keeps (a decoded 7z folder).
template <typename Decode>
bool extract_members(const std::vector<Member>& members, const std::wstring& target, std::wstring& err,
                     const ProgressFn& progress, const LogFn& log, Decode decode) {
    size_t file_count = 0;
    for (const auto& m : members)
        if (!m.is_dir) file_count++;
    size_t done = 0;
    std::vector<std::string> refused;
    auto percent = [&] { return file_count ? static_cast<int>(done * 100 / file_count) : 100; };
    for (const auto& m : members) {
        if (!m.is_dir && progress && !progress(0, L"")) {
            err = kCancelled;
            return false;
        }
        std::string safe;
        if (!sanitize_relative_path(m.name, safe)) {
            refused.push_back(m.name);
            if (!m.is_dir) done++;
            if (log) log(percent(), kUnsafe + from_utf8(m.name));
            continue;
        }
        const std::wstring relative = from_utf8(safe);
        const std::wstring path = target + L"\\" + relative;
        if (m.is_dir) {
            // Empty folders of the archive come out as folders too.
            if (!create_directories(path)) {
                err = L"无法创建目标目录: " + path;
                return false;
            }
            continue;
        }
        const size_t slash = path.find_last_of(L'\\');
        const std::wstring parent = path.substr(0, slash);
        if (!create_directories(parent)) {
            err = L"无法创建目标目录: " + parent;
            return false;
        }
        std::vector<uint8_t> scratch;
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (!decode(m.index, scratch, data, size, err)) return false;
        if (!write_file(path, data, size)) {
            const DWORD error = GetLastError();
            err = is_disk_full_error(error) ? write_failure_message(path, error) : L"写入失败: " + path;
            return false;
        }
        done++;
        if (log) log(percent(), relative);
    }
    if (refused.empty()) return true;
    err = refused_entries_message(refused);
    return false;
}

bool extract_sevenzip(const std::wstring& source, const std::wstring& target, std::wstring& err,
                      const ProgressFn& progress, const LogFn& log) {
    // One read and one parse for the whole archive; each folder is decoded once and its
    // files are cut from it in turn.
    MappedFile mapped;
    std::vector<uint8_t> copy;
    std::span<const uint8_t> file;
    if (!map_or_read(source, mapped, copy, file)) {
        err = L"无法读取 7z 文件";
        return false;
    }
    SevenZipDatabase db;
    if (!sevenzip_open(file, db, err)) return false;
    const std::vector<SevenZipEntry> entries = sevenzip_entries_of(db);
    std::vector<Member> members;
    for (size_t i = 0; i < entries.size(); i++) members.push_back({entries[i].name, entries[i].is_dir, i});
    uint64_t cached_folder = kSevenZipNoFolder;
    std::vector<uint8_t> decoded;
    auto decode = [&](size_t index, std::vector<uint8_t>&, const uint8_t*& data, size_t& size, std::wstring& e) {
        const SevenZipEntry& entry = entries[index];
        data = nullptr;
        size = 0;
        if (entry.size == 0) return true;
        if (!sevenzip_check_entry_size(db, entry, e)) return false;
        if (entry.folder != cached_folder) {
            cached_folder = kSevenZipNoFolder;
            if (!sevenzip_unpack_folder(file, db, entry.folder, decoded, e)) return false;
            cached_folder = entry.folder;
        }
        return sevenzip_entry_span(db, entry, decoded.data(), decoded.size(), data, size, e);
    };
    return extract_members(members, target, err, progress, log, decode);
}

bool extract_zip(const std::wstring& source, const std::wstring& target, std::wstring& err,
                 const ProgressFn& progress, const LogFn& log) {
    MappedFile mapped;
    std::vector<uint8_t> copy;
    std::span<const uint8_t> file;
    if (!map_or_read(source, mapped, copy, file)) {
        err = L"无法读取 ZIP 文件";
        return false;
    }
    std::vector<ZipEntry> entries;
    std::wstring comment;
    if (!zip_list_entries_in(file, entries, comment, err)) return false;
    std::vector<Member> members;
    for (size_t i = 0; i < entries.size(); i++) members.push_back({entries[i].name, entries[i].is_dir, i});
    auto decode = [&](size_t index, std::vector<uint8_t>& out, const uint8_t*& data, size_t& size,
                      std::wstring& e) {
        if (!zip_extract_entry_in(file, entries[index], out, e)) return false;
        data = out.data();
        size = out.size();
        return true;
    };
    return extract_members(members, target, err, progress, log, decode);
}

}  // namespace

bool extract_archive_entry(const ArchiveMember& member, std::vector<uint8_t>& out, std::wstring& err) {
    out.clear();
    if (member.is_zip) {
        std::vector<ZipEntry> entries;
        std::wstring comment;
        if (!zip_list_entries(member.archive_path, entries, comment, err)) return false;
        for (const auto& e : entries) {
            if (e.name == member.member_name) return zip_extract_entry(member.archive_path, e, out, err);
        }
        err = L"ZIP 中未找到条目: " + from_utf8(member.member_name);
        return false;
    }
    // Through the 7z reader's kept folder: previews and thumbnails of a solid archive read
    // member after member of one folder.
    return sevenzip_extract_member(member.archive_path, member.member_name, out, err);
}

bool extract_archive_to_dir(const std::wstring& source, const std::wstring& target, std::wstring& err,
                            ProgressFn progress, LogFn log) {
    // The callbacks are released before returning, whatever the outcome.
    struct Release {
        ProgressFn& p;
        LogFn& l;
        ~Release() {
            p = nullptr;
            l = nullptr;
        }
    } release{progress, log};
    const std::string ext = to_lower_ascii(extension_of(to_utf8(source)));
    if (!create_directories(target)) {
        err = L"无法创建目标目录: " + target;
        return false;
    }
    if (ext == "rez") {
        RezFile archive;
        if (!RezFile::open(source, archive, err)) return false;
        ProgressFn relay = [&progress, &log](int percent, const std::wstring& text) {
            if (log) log(percent, text);
            return progress ? progress(percent, text) : true;
        };
        return archive.extract_to_directory(target, err, relay);
    }
    if (ext == "zip") return extract_zip(source, target, err, progress, log);
    if (ext == "7z") return extract_sevenzip(source, target, err, progress, log);
    err = L"不支持的源格式";
    return false;
}

}  // namespace rez
