// Reading single 7z members through a one-archive cache. Previews and thumbnails read the
// files of a folder one by one on the user-interface thread; in a solid archive every one of
// them lies in the same folder, which may be tens of megabytes of LZMA. So the parsed header
// and the last decoded folder of the last archive read are kept, and the files of one folder
// cost one decode. The cache holds one folder at most; it is keyed by the path, the file's
// size, last-write time and start header (a rewritten archive is never served from it) and
// the held password (a decoded encrypted folder must not vouch for another password).
#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>

#include "archive/crc32.h"
#include "archive/password.h"
#include "archive/sevenzip_folder_reader.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"

namespace rez {
namespace {

struct FileStamp {
    uint64_t size = 0;
    uint64_t write_time = 0;
    uint8_t start_header[32] = {};

    bool operator==(const FileStamp& o) const {
        return size == o.size && write_time == o.write_time &&
               std::memcmp(start_header, o.start_header, sizeof start_header) == 0;
    }
};

struct CachedArchive {
    std::wstring path;
    FileStamp stamp;
    std::wstring password;
    SevenZipDatabase db;
    std::vector<SevenZipEntry> entries;
    uint64_t folder = kSevenZipNoFolder;  // the folder held in decoded, if any
    std::vector<uint8_t> decoded;
    // Set when the folder's bytes fail part-way: decoded then holds what came before.
    std::wstring damage;
};

std::mutex cache_lock;
std::shared_ptr<const CachedArchive> cache_slot;

FileHandle open_for_reading(const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool size_and_time(FileHandle& file, FileStamp& stamp) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) return false;
    stamp.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.write_time = (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
    return true;
}

// The stamp of the file as it is now, without reading it whole.
bool stamp_of(const std::wstring& path, FileStamp& stamp) {
    FileHandle file = open_for_reading(path);
    if (!file || !size_and_time(file, stamp)) return false;
    DWORD got = 0;
    const DWORD want = stamp.size < 32 ? static_cast<DWORD>(stamp.size) : 32;
    return ReadFile(file.get(), stamp.start_header, want, &got, nullptr) && got == want;
}

// The whole file and the stamp of exactly those bytes.
bool read_stamped(const std::wstring& path, std::vector<uint8_t>& bytes, FileStamp& stamp) {
    FileHandle file = open_for_reading(path);
    if (!file || !size_and_time(file, stamp) || !read_all(file, bytes) || bytes.size() != stamp.size) return false;
    std::memcpy(stamp.start_header, bytes.data(), bytes.size() < 32 ? bytes.size() : 32);
    return true;
}

std::shared_ptr<const CachedArchive> cached(const std::wstring& path, const FileStamp& stamp,
                                            const std::wstring& password) {
    std::lock_guard<std::mutex> g(cache_lock);
    if (cache_slot && cache_slot->path == path && cache_slot->stamp == stamp && cache_slot->password == password)
        return cache_slot;
    return nullptr;
}

void remember(std::shared_ptr<const CachedArchive> state) {
    std::lock_guard<std::mutex> g(cache_lock);
    cache_slot = std::move(state);
}

// Decodes a folder piece by piece as far as its bytes allow. A damaged folder leaves in
// decoded what came before the piece that failed, and its failure in damage: the files that
// lie before the damage stay readable, as whole-archive extraction finds them.
bool unpack_folder_prefix(std::span<const uint8_t> file, const SevenZipDatabase& db, uint64_t folder,
                          std::vector<uint8_t>& decoded, std::wstring& damage, std::wstring& err) {
    decoded.clear();
    damage.clear();
    SevenZipFolderReader reader;
    if (!reader.open(file, db, folder, err)) return false;
    try {
        decoded.reserve(static_cast<size_t>(reader.size()));
        std::wstring failure;
        const bool whole = reader.pump(
            0, reader.size(),
            [&decoded](const uint8_t* data, size_t n) {
                decoded.insert(decoded.end(), data, data + n);
                return true;
            },
            failure);
        if (!whole) damage = failure.empty() ? sevenzip_decode_failure(db.folders[static_cast<size_t>(folder)]) : failure;
    } catch (const std::bad_alloc&) {
        decoded = std::vector<uint8_t>();
        err = L"内存不足，无法解压 7z 文件夹";
        return false;
    }
    return true;
}

// One entry of a damaged folder that lies past the part decoded in one go: the folder is
// decoded again exactly up to the entry's end, so an entry just before the damage is still
// read whole.
bool read_entry_alone(std::span<const uint8_t> file, const SevenZipDatabase& db, const SevenZipEntry& entry,
                      std::vector<uint8_t>& out, std::wstring& err) {
    out.clear();
    const std::vector<SevenZipPlace> places = sevenzip_folder_places(db, entry.folder);
    if (entry.index_in_folder >= places.size()) {
        err = L"7z 子流索引无效";
        return false;
    }
    const SevenZipPlace place = places[static_cast<size_t>(entry.index_in_folder)];
    SevenZipFolderReader reader;
    if (!reader.open(file, db, entry.folder, err)) return false;
    if (place.start > reader.size() || place.size > reader.size() - place.start) {
        err = L"7z 子流大小不匹配";
        return false;
    }
    try {
        out.reserve(static_cast<size_t>(place.size));
        if (!reader.pump(place.start, place.size,
                         [&out](const uint8_t* data, size_t n) {
                             out.insert(out.end(), data, data + n);
                             return true;
                         },
                         err)) {
            if (err.empty()) err = sevenzip_decode_failure(db.folders[static_cast<size_t>(entry.folder)]);
            err += L": " + from_utf8(entry.name);
            out.clear();
            return false;
        }
    } catch (const std::bad_alloc&) {
        out = std::vector<uint8_t>();
        err = L"内存不足，无法解压 7z 条目";
        return false;
    }
    if (place.crc_defined && crc32(out.data(), out.size()) != place.crc) {
        out.clear();
        err = sevenzip_crc_failure(entry);
        return false;
    }
    return true;
}

// Whether an entry's bytes lie inside the decoded part of its folder.
bool inside_decoded(const SevenZipDatabase& db, const SevenZipEntry& entry, size_t decoded_size) {
    const std::vector<SevenZipPlace> places = sevenzip_folder_places(db, entry.folder);
    if (entry.index_in_folder >= places.size()) return true;  // the slice names the fault
    const SevenZipPlace& place = places[static_cast<size_t>(entry.index_in_folder)];
    return place.start <= decoded_size && place.size <= decoded_size - place.start;
}

// Chooses the entry to read from the archive's listing; false with a message when none fits.
using PickEntry = std::function<bool(const std::vector<SevenZipEntry>&, SevenZipEntry&, std::wstring&)>;

bool extract_cached(const std::wstring& path, const PickEntry& pick, std::vector<uint8_t>& out, std::wstring& err) {
    out.clear();
    const std::wstring password = get_current_password();
    std::shared_ptr<const CachedArchive> state;
    FileStamp stamp;
    if (stamp_of(path, stamp)) state = cached(path, stamp, password);
    std::vector<uint8_t> file;  // read only when the cache cannot answer
    FileStamp file_stamp;       // of the bytes in file
    SevenZipEntry entry;
    for (;;) {
        if (!state) {
            if (file.empty() && !read_stamped(path, file, file_stamp)) {
                err = L"无法读取 7z 文件";
                return false;
            }
            auto fresh = std::make_shared<CachedArchive>();
            if (!sevenzip_open(file, fresh->db, err)) return false;
            fresh->path = path;
            fresh->stamp = file_stamp;
            fresh->password = password;
            fresh->entries = sevenzip_entries_of(fresh->db);
            state = fresh;
        }
        if (!pick(state->entries, entry, err)) return false;
        // Directories and files without a stream hold nothing; they must never pick up the
        // bytes of the folder their zeroed location would point at.
        if (entry.is_dir || entry.size == 0) {
            remember(state);
            return true;
        }
        if (!sevenzip_check_entry_size(state->db, entry, err)) return false;
        if (state->folder == entry.folder) break;
        if (file.empty()) {
            if (!read_stamped(path, file, file_stamp)) {
                err = L"无法读取 7z 文件";
                return false;
            }
            // Changed since the cached header was read: parse these bytes afresh.
            if (!(file_stamp == state->stamp)) {
                state.reset();
                continue;
            }
        }
        auto next = std::make_shared<CachedArchive>();
        next->path = state->path;
        next->stamp = state->stamp;
        next->password = state->password;
        next->db = state->db;
        next->entries = state->entries;
        // The folder held so far is let go before the next one is decoded: one at a time.
        state.reset();
        remember(nullptr);
        if (!unpack_folder_prefix(file, next->db, entry.folder, next->decoded, next->damage, err)) return false;
        next->folder = entry.folder;
        state = next;
        break;
    }
    remember(state);
    if (state->damage.empty() || inside_decoded(state->db, entry, state->decoded.size()))
        return sevenzip_slice_entry(state->db, entry, state->decoded, out, err);
    if (file.empty() && !read_stamped(path, file, file_stamp)) {
        err = L"无法读取 7z 文件";
        return false;
    }
    if (!(file_stamp == state->stamp)) {
        err = L"7z 文件已被修改，请重新打开";
        return false;
    }
    return read_entry_alone(file, state->db, entry, out, err);
}

}  // namespace

bool sevenzip_extract_entry(const std::wstring& path, const SevenZipEntry& entry, std::vector<uint8_t>& out,
                            std::wstring& err) {
    return extract_cached(
        path,
        [&entry](const std::vector<SevenZipEntry>&, SevenZipEntry& chosen, std::wstring&) {
            chosen = entry;
            return true;
        },
        out, err);
}

bool sevenzip_extract_member(const std::wstring& path, const std::string& name, std::vector<uint8_t>& out,
                             std::wstring& err) {
    return extract_cached(
        path,
        [&name](const std::vector<SevenZipEntry>& entries, SevenZipEntry& chosen, std::wstring& e) {
            for (const SevenZipEntry& candidate : entries) {
                if (candidate.name == name) {
                    chosen = candidate;
                    return true;
                }
            }
            e = L"7z 中未找到条目: " + from_utf8(name);
            return false;
        },
        out, err);
}

void sevenzip_drop_cache() { remember(nullptr); }

}  // namespace rez
