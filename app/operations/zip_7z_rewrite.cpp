#include "app/operations/zip_7z_rewrite.h"

#include <windows.h>

#include "app/app_state.h"
#include "app/main_window/task_ui.h"
#include "app/operations/write_behind.h"
#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/sevenzip_folder_reader.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_writer.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "archive/zip_reader.h"

namespace rezui {

namespace {

std::wstring beside(const std::wstring& path, const wchar_t* tag) {
    return path + tag + std::to_wstring(GetCurrentProcessId());
}

// A member's decoded bytes as a walk hands them over: where they are, and the vector that
// holds them when the visitor may take it (none when they lie inside a decoded 7z folder,
// which the following members of that folder still need).
struct MemberBytes {
    const uint8_t* data;
    size_t size;
    std::vector<uint8_t>* owned;
    // Set instead of data for a large member the walk hands over in pieces: it sends them to
    // the given sink, checking the member's size and CRC as they go by.
    const std::function<bool(const rez::InflateSink& sink, std::wstring& err)>* stream = nullptr;
};

// From this size a ZIP member is written as it is decoded when the walk allows it: the
// whole entry in fresh memory costs more than the decoding itself, and a bounded window
// touches the same few pages again and again.
constexpr uint64_t kStreamFrom = uint64_t{1} << 20;

// The archive is read and parsed once; each wanted file member is decoded in listing order
// and handed to visit(k, n, name, bytes, err) with the name's folder marks removed.
template <class Visit>
bool walk_zip(std::span<const uint8_t> file, std::wstring& comment, const MemberFilter& wanted, bool stream_large,
              Visit& visit, std::wstring& err) {
    std::vector<rez::ZipEntry> entries;
    if (!rez::zip_list_entries_in(file, entries, comment, err)) return false;
    std::vector<const rez::ZipEntry*> picked;
    for (const rez::ZipEntry& e : entries)
        if (!e.is_dir && (!wanted || wanted(e.name))) picked.push_back(&e);
    for (size_t k = 0; k < picked.size(); ++k) {
        const rez::ZipEntry& entry = *picked[k];
        if (stream_large && entry.uncompressed_size >= kStreamFrom && rez::zip_entry_streams(entry)) {
            const std::function<bool(const rez::InflateSink&, std::wstring&)> stream =
                [&file, &entry](const rez::InflateSink& sink, std::wstring& e) {
                    return rez::zip_extract_entry_to(file, entry, sink, e);
                };
            MemberBytes bytes{nullptr, entry.uncompressed_size, nullptr, &stream};
            if (!visit(k, picked.size(), member_file_name(entry.name, true), bytes, err)) return false;
            continue;
        }
        std::vector<uint8_t> data;
        if (!rez::zip_extract_entry_in(file, *picked[k], data, err)) return false;
        // data goes out of scope here: each member's bytes are freed once visited.
        if (!visit(k, picked.size(), member_file_name(picked[k]->name, true), MemberBytes{data.data(), data.size(), &data},
                   err))
            return false;
    }
    return true;
}

// Whole-folder decoding, for callers that keep every member's bytes.
template <class Visit>
bool walk_7z_whole(std::span<const uint8_t> file, const rez::SevenZipDatabase& db,
                   const std::vector<const rez::SevenZipEntry*>& picked, Visit& visit, std::wstring& err) {
    // Files of one folder follow each other: the folder is decoded once for all of them, and
    // each file is handed over where it lies in the folder, without a copy.
    uint64_t cached = rez::kSevenZipNoFolder;
    std::vector<uint8_t> decoded;
    for (size_t k = 0; k < picked.size(); ++k) {
        const rez::SevenZipEntry& e = *picked[k];
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (e.size > 0) {
            if (e.folder != cached) {
                cached = rez::kSevenZipNoFolder;
                if (!rez::sevenzip_unpack_folder(file, db, e.folder, decoded, err)) return false;
                cached = e.folder;
            }
            if (!rez::sevenzip_entry_span(db, e, decoded.data(), decoded.size(), data, size, err)) return false;
        }
        if (!visit(k, picked.size(), member_file_name(e.name, false), MemberBytes{data, size, nullptr}, err))
            return false;
    }
    return true;
}

// Extraction: each folder is read through rez::SevenZipFolderReader, so a small file is handed
// over as one piece of its window and a large one in pieces as it is decoded, its CRC checked
// as they go by.
template <class Visit>
bool walk_7z_streamed(std::span<const uint8_t> file, const rez::SevenZipDatabase& db,
                      const std::vector<const rez::SevenZipEntry*>& picked, Visit& visit, std::wstring& err) {
    uint64_t cached = rez::kSevenZipNoFolder;
    rez::SevenZipFolderReader reader;
    std::vector<rez::SevenZipPlace> places;
    for (size_t k = 0; k < picked.size(); ++k) {
        const rez::SevenZipEntry& e = *picked[k];
        const std::string name = member_file_name(e.name, false);
        if (e.size == 0) {
            if (!visit(k, picked.size(), name, MemberBytes{nullptr, 0, nullptr}, err)) return false;
            continue;
        }
        if (e.folder != cached) {
            cached = rez::kSevenZipNoFolder;
            if (!reader.open(file, db, e.folder, err)) return false;
            places = rez::sevenzip_folder_places(db, e.folder);
            cached = e.folder;
        }
        if (e.index_in_folder >= places.size()) {
            err = L"7z 子流索引无效";
            return false;
        }
        const rez::SevenZipPlace place = places[static_cast<size_t>(e.index_in_folder)];
        if (place.start > reader.size() || place.size > reader.size() - place.start) {
            err = L"7z 子流大小不匹配";
            return false;
        }
        if (place.size < kStreamFrom && place.size <= reader.piece_limit()) {
            const uint8_t* data = nullptr;
            const size_t size = static_cast<size_t>(place.size);
            if (!reader.piece(place.start, size, data, err)) return false;
            if (place.crc_defined && rez::crc32(data, size) != place.crc) {
                err = rez::sevenzip_crc_failure(e);
                return false;
            }
            if (!visit(k, picked.size(), name, MemberBytes{data, size, nullptr}, err)) return false;
            continue;
        }
        const std::function<bool(const rez::InflateSink&, std::wstring&)> stream =
            [&reader, place, &e](const rez::InflateSink& sink, std::wstring& failure) {
                uint32_t crc = 0;
                const bool whole = reader.pump(place.start, place.size,
                                               [&sink, &crc](const uint8_t* data, size_t n) {
                                                   crc = rez::crc32_update(crc, data, n);
                                                   return sink(data, n);
                                               },
                                               failure);
                if (!whole) return false;
                if (place.crc_defined && crc != place.crc) {
                    failure = rez::sevenzip_crc_failure(e);
                    return false;
                }
                return true;
            };
        MemberBytes bytes{nullptr, static_cast<size_t>(place.size), nullptr, &stream};
        if (!visit(k, picked.size(), name, bytes, err)) return false;
    }
    return true;
}

template <class Visit>
bool walk_7z(std::span<const uint8_t> file, std::wstring& comment, const MemberFilter& wanted, bool stream_large,
             Visit& visit, std::wstring& err) {
    rez::SevenZipDatabase db;
    if (!rez::sevenzip_open(file, db, err)) return false;
    comment = rez::sevenzip_comment_of(file);
    const std::vector<rez::SevenZipEntry> entries = rez::sevenzip_entries_of(db);
    std::vector<const rez::SevenZipEntry*> picked;
    for (const rez::SevenZipEntry& e : entries)
        if (!e.is_dir && (!wanted || wanted(e.name))) picked.push_back(&e);
    return stream_large ? walk_7z_streamed(file, db, picked, visit, err) : walk_7z_whole(file, db, picked, visit, err);
}

template <class Visit>
bool walk_archive(const std::wstring& path, const std::string& ext, std::wstring& comment, const MemberFilter& wanted,
                  bool stream_large, Visit visit, std::wstring& err) {
    if (ext != "zip" && ext != "7z") {
        err = L"不支持的归档格式";
        return false;
    }
    rez::MappedFile mapped;
    std::vector<uint8_t> copy;
    std::span<const uint8_t> file;
    if (!rez::map_or_read(path, mapped, copy, file)) {
        err = ext == "zip" ? L"无法读取 ZIP 文件" : L"无法读取 7z 文件";
        return false;
    }
    return ext == "zip" ? walk_zip(file, comment, wanted, stream_large, visit, err)
                        : walk_7z(file, comment, wanted, stream_large, visit, err);
}

}  // namespace

bool path_selected(const std::string& name, const MemberSelection& selection) {
    for (const std::string& f : selection.files)
        if (name == f) return true;
    for (const std::string& d : selection.dirs) {
        if (d.empty()) continue;
        // The browsing model shows "Data/" and "DATA/" as one folder: selecting it takes both.
        if (name.size() > d.size() && name[d.size()] == '/' && rez::iequals_ascii(name.substr(0, d.size()), d))
            return true;
    }
    return false;
}

std::string member_file_name(const std::string& name, bool is_zip) {
    std::string out = name;
    while (!out.empty() && (out.back() == '/' || (!is_zip && out.back() == '\\'))) out.pop_back();
    return out;
}

// Where a member named name goes below target; false (with the message) for a name that
// would leave the target.
static bool extract_path_of(const std::wstring& target, const std::string& name, std::wstring& path,
                            std::wstring& err) {
    std::string clean;
    if (!rez::sanitize_relative_path(name, clean)) {
        err = L"条目路径不安全，已拒绝: " + rez::from_utf8(name);
        return false;
    }
    path = target + L"\\" + rez::from_utf8(clean);
    return true;
}

bool safe_extract_path(const std::wstring& target, const std::string& name, const uint8_t* data, size_t size,
                       std::wstring& err, bool& refused) {
    std::wstring path;
    refused = !extract_path_of(target, name, path, err);
    return !refused && write_extracted_file(path, data, size, err);
}

// safe_extract_path for a member handed over in pieces. The outcome is the one the
// in-memory path gives: a member that fails to decode fails the same way whatever its name
// or target, and a failed member leaves no file behind, nor harms one already there (the
// pieces go to a file beside it that replaces it only once the member checked out).
static bool safe_extract_stream(const std::wstring& target, const std::string& name,
                         const std::function<bool(const rez::InflateSink& sink, std::wstring& err)>& stream,
                         std::wstring& err, bool& refused) {
    // Used when nothing can be written: the member is still decoded for its own errors.
    auto decodes = [&stream](std::wstring& e) {
        return stream([](const uint8_t*, size_t) { return true; }, e);
    };
    refused = false;
    std::wstring path, cannot;
    if (!extract_path_of(target, name, path, cannot)) {
        if (!decodes(err)) return false;
        refused = true;
        err = cannot;
        return false;
    }
    if (!make_parent_folders(path, cannot)) {
        if (!decodes(err)) return false;
        err = cannot;
        return false;
    }
    const std::wstring part = path + L".qvl_part";
    rez::FileHandle file(CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (!decodes(err)) return false;
        err = L"写入失败: " + path;
        return false;
    }
    bool write_failed = false;
    DWORD write_error = 0;
    const bool decoded = stream(
        [&file, &write_failed, &write_error](const uint8_t* data, size_t size) {
            if (rez::append_to_file(file, data, size)) return true;
            write_failed = true;
            write_error = GetLastError();
            return false;
        },
        err);
    file.close();
    if (!decoded || !MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(part.c_str());
        if (decoded || write_failed)
            err = rez::is_disk_full_error(write_error) ? rez::write_failure_message(path, write_error) : L"写入失败: " + path;
        return false;
    }
    return true;
}

bool safe_extract_path(const std::wstring& target, const std::string& name, const std::vector<uint8_t>& data,
                       std::wstring& err, bool& refused) {
    return safe_extract_path(target, name, data.data(), data.size(), err, refused);
}

bool walk_file_members(const std::wstring& path, const std::string& ext, std::wstring& comment,
                       const MemberFilter& wanted, const MemberVisitor& visit, std::wstring& err) {
    return walk_archive(
        path, ext, comment, wanted, false,
        [&visit](size_t k, size_t n, const std::string& name, const MemberBytes& bytes, std::wstring& e) {
            if (bytes.owned) return visit(k, n, name, *bytes.owned, e);
            std::vector<uint8_t> copy(bytes.data, bytes.data + bytes.size);
            return visit(k, n, name, copy, e);
        },
        err);
}

// Makes below target the folder members of the archive that wanted takes (all when empty; a
// selected folder takes itself). A name that would leave target joins refused.
static bool make_folder_members(const std::wstring& target, const std::wstring& path, const std::string& ext,
                                const MemberFilter& wanted, std::vector<std::string>& refused, std::wstring& err) {
    std::vector<std::pair<std::string, bool>> listed;
    std::wstring comment;
    if (ext == "zip") {
        std::vector<rez::ZipEntry> entries;
        if (!rez::zip_list_entries(path, entries, comment, err)) return false;
        for (const rez::ZipEntry& e : entries) listed.emplace_back(e.name, e.is_dir);
    } else {
        std::vector<rez::SevenZipEntry> entries;
        if (!rez::sevenzip_list_entries(path, entries, comment, err)) return false;
        for (const rez::SevenZipEntry& e : entries) listed.emplace_back(e.name, e.is_dir);
    }
    for (const auto& [name, is_dir] : listed) {
        if (!is_dir) continue;
        const std::string dir = member_file_name(name, ext == "zip");
        if (dir.empty() || (wanted && !wanted(name) && !wanted(dir + "/"))) continue;
        std::string clean;
        if (!rez::sanitize_relative_path(dir, clean)) {
            refused.push_back(name);
            continue;
        }
        const std::wstring folder = target + L"\\" + rez::from_utf8(clean);
        if (!rez::create_directories(folder)) {
            err = L"无法创建文件夹: " + folder;
            return false;
        }
    }
    return true;
}

bool extraction_job(const std::wstring& target, const std::wstring& path, const std::string& ext,
                    const MemberSelection& selection, bool all, std::wstring& err) {
    std::wstring comment;
    MemberFilter wanted;
    if (!all) wanted = [&selection](const std::string& name) { return path_selected(name, selection); };
    // A name that would leave the target is skipped and named at the end; the rest is written.
    std::vector<std::string> refused;
    // Whole members go to a second thread that writes them while the next ones decode; a
    // member written in pieces waits for those before it, so files are written in order.
    // Stop ends the writing thread's work too: it may hold many files decoded ahead, and the
    // decoder may be waiting for room behind them.
    WriteBehind writer(&app.cancel);
    bool ok = walk_archive(
        path, ext, comment, wanted, true,
        [&target, &refused, &writer](size_t k, size_t n, const std::string& name, const MemberBytes& bytes,
                                     std::wstring& e) {
            if (app.cancel.load()) {
                writer.drop_queued();
                e = L"已取消";
                return false;
            }
            bool unsafe = false;
            const int percent = static_cast<int>((k + 1) * 100 / n);
            bool written = false;
            if (bytes.stream) {
                written = writer.drain(e) && safe_extract_stream(target, name, *bytes.stream, e, unsafe);
            } else {
                std::wstring file;
                unsafe = !extract_path_of(target, name, file, e);
                written = !unsafe && writer.put(file, bytes.data, bytes.size, bytes.owned, e);
            }
            if (!written) {
                if (!unsafe) return false;
                refused.push_back(name);
                if (!post_progress(percent, e)) {
                    writer.drop_queued();
                    e = L"已取消";
                    return false;
                }
                e.clear();
                return true;
            }
            const std::wstring text = L"正在解压 (" + std::to_wstring(k + 1) + L"/" + std::to_wstring(n) + L") " +
                                      rez::from_utf8(name);
            if (!post_progress(percent, text)) {
                // Nothing decoded ahead is written after a stop.
                writer.drop_queued();
                e = L"已取消";
                return false;
            }
            return true;
        },
        err);
    // A file that failed to be written came before whatever stopped the walk.
    std::wstring write_err;
    if (!writer.drain(write_err)) {
        err = write_err;
        ok = false;
    }
    // Folder members are made too, so that an empty folder of the archive is there as well.
    if (ok) ok = make_folder_members(target, path, ext, all ? nullptr : wanted, refused, err);
    if (ok && !refused.empty()) {
        err = rez::refused_entries_message(refused);
        ok = false;
    }
    if (ok) post_progress(100, L"正在解压…");
    return ok;
}

bool load_archive_entries(const std::wstring& path, const std::string& ext, std::wstring& comment,
                          std::vector<rez::ArchiveItem>& out, std::wstring& err) {
    out.clear();
    return walk_file_members(
        path, ext, comment, nullptr,
        [&out](size_t k, size_t n, const std::string& name, std::vector<uint8_t>& data, std::wstring& e) {
            const int percent = static_cast<int>((static_cast<uint64_t>(k) * 100 + 100) / n);
            if (!post_progress(percent, L"正在读取归档 (" + std::to_wstring(k + 1) + L"/" + std::to_wstring(n) + L")")) {
                e = L"已取消";
                return false;
            }
            out.push_back({name, std::move(data)});
            return true;
        },
        err);
}

bool write_archive_atomic(const std::wstring& path, const std::string& ext, const std::wstring& comment,
                          const std::vector<rez::ArchiveItem>& items, std::wstring& err,
                          const std::wstring& password) {
    const std::wstring tmp = beside(path, L".tmp_qvl_");
    const bool written = ext == "zip" ? rez::zip_create(tmp, items, comment, err, password)
                                      : rez::sevenzip_create(tmp, items, comment, err, password);
    if (!written) {
        DeleteFileW(tmp.c_str());
        return false;
    }
    // A new archive (saved under another name) has nothing to keep aside.
    if (!rez::file_exists(path)) {
        if (MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        DeleteFileW(tmp.c_str());
        err = L"无法写回归档";
        return false;
    }
    const std::wstring bak = beside(path, L".bak_qvl_");
    if (!MoveFileExW(path.c_str(), bak.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        err = L"无法备份原归档";
        DeleteFileW(tmp.c_str());
        return false;
    }
    if (!MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        MoveFileExW(bak.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
        DeleteFileW(tmp.c_str());
        err = L"无法写回归档";
        return false;
    }
    DeleteFileW(bak.c_str());
    return true;
}

bool archive_is_encrypted(const std::wstring& path, const std::string& ext) {
    if (ext == "zip") return rez::zip_needs_password(path);
    if (ext == "7z") return rez::sevenzip_needs_password(path);
    return false;
}

}  // namespace rezui
