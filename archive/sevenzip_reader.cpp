// Opening, listing and extracting 7z archives.
#include "archive/sevenzip_reader.h"

#include <atomic>
#include <cstring>

#include "archive/crc32.h"
#include "archive/lzma.h"
#include "archive/password.h"
#include "archive/util.h"

namespace rez {
namespace {

const uint8_t kSignature[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};

uint64_t load_u64le(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}

struct NextHeader {
    size_t offset = 0;  // absolute
    size_t size = 0;
};

// Signature header checks shared by opening and the password test. 0 = fine, else the step
// that failed (1 signature, 2 start CRC, 3 range, 4 header CRC).
int locate_next_header(std::span<const uint8_t> file, NextHeader& next) {
    if (file.size() < 32 || std::memcmp(file.data(), kSignature, 6) != 0) return 1;
    const uint32_t start_crc = load_u32le(file.data() + 8);
    if (start_crc != 0 && start_crc != crc32(file.data() + 12, 20)) return 2;
    const uint64_t offset = load_u64le(file.data() + 12);
    const uint64_t size = load_u64le(file.data() + 20);
    const uint64_t room = file.size() - 32;
    if (offset > room || size > room - offset) return 3;
    next.offset = static_cast<size_t>(32 + offset);
    next.size = static_cast<size_t>(size);
    const uint32_t header_crc = load_u32le(file.data() + 28);
    if (header_crc != 0 && header_crc != crc32(file.data() + next.offset, next.size)) return 4;
    return 0;
}

// Walks the files in order and gives each file with a stream its folder and index.
bool map_files_to_folders(SevenZipDatabase& db) {
    const size_t count = db.names.size();
    db.file_folder.assign(count, kSevenZipNoFolder);
    db.file_index_in_folder.assign(count, 0);
    size_t folder = 0;
    uint64_t index = 0;
    for (size_t i = 0; i < count; i++) {
        if (!db.has_stream[i]) {
            if (index != 0) {
                db.file_folder[i] = folder;
                db.file_index_in_folder[i] = index;
            }
            continue;
        }
        if (index == 0) {
            while (folder < db.folders.size() && db.folders[folder].unpack_stream_count == 0) folder++;
            if (folder >= db.folders.size()) return false;
        }
        db.file_folder[i] = folder;
        db.file_index_in_folder[i] = index;
        index++;
        if (index >= db.folders[folder].unpack_stream_count) {
            folder++;
            index = 0;
        }
    }
    return true;
}

uint64_t first_substream_of(const SevenZipDatabase& db, uint64_t folder) {
    uint64_t n = 0;
    for (uint64_t i = 0; i < folder && i < db.folders.size(); i++) n += db.folders[i].unpack_stream_count;
    return n;
}

// Packed bytes of the encoded header's folder 0, decoded; the message on failure.
bool decode_encoded_header(std::span<const uint8_t> file, SevenZipByteReader& r, std::vector<uint8_t>& header,
                           bool& encrypted, std::wstring& err) {
    SevenZipDatabase hdb;
    if (!sevenzip_read_streams_info(r, hdb)) {
        err = L"无法解析 7z 编码头流信息";
        return false;
    }
    if (hdb.folders.empty() || hdb.pack_sizes.empty()) {
        err = L"7z 编码头缺少数据流";
        return false;
    }
    const uint64_t room = file.size() - 32;
    if (hdb.pack_pos > room || hdb.pack_sizes[0] > room - hdb.pack_pos) {
        err = L"7z 编码头数据越界";
        return false;
    }
    const size_t start = static_cast<size_t>(32 + hdb.pack_pos);
    const std::vector<uint8_t> packed(file.begin() + start, file.begin() + start + hdb.pack_sizes[0]);
    const SevenZipFolder& folder = hdb.folders[0];
    encrypted = sevenzip_folder_is_encrypted(folder);
    bool ok = sevenzip_decode_folder(folder, packed, header);
    // A wrong password usually breaks the decoder; when it does not, the CRC tells.
    if (ok && folder.crc_defined && crc32(header.data(), header.size()) != folder.crc) ok = false;
    if (!ok) {
        if (sevenzip_folder_is_encrypted(folder))
            err = get_current_password().empty() ? L"该 7z 的文件列表已加密，请先设置密码" : L"7z 密码错误或文件损坏";
        else if (sevenzip_folder_is_supported(folder))
            err = L"7z 编码头解压失败（文件已损坏）";
        else
            err = L"7z 编码头解压失败（不支持的压缩方法）";
        return false;
    }
    return true;
}

}  // namespace

bool sevenzip_open_header(std::span<const uint8_t> file, SevenZipDatabase& db, std::vector<uint8_t>& header,
                          bool& header_encrypted, std::wstring& err) {
    db = SevenZipDatabase{};
    header.clear();
    header_encrypted = false;
    NextHeader next;
    switch (locate_next_header(file, next)) {
    case 1: err = L"不是有效的 7z 文件（签名不匹配）"; return false;
    case 2: err = L"7z 起始头 CRC 校验失败"; return false;
    case 3: err = L"7z 下一头超出文件范围"; return false;
    case 4: err = L"7z 下一头 CRC 校验失败"; return false;
    default: break;
    }
    if (next.size == 0) {
        err = L"7z 头无效";
        return false;
    }
    const uint8_t first = file[next.offset];
    if (first == 1) {
        header.assign(file.begin() + next.offset, file.begin() + next.offset + next.size);
    } else if (first == 23) {
        SevenZipByteReader r{file.data() + next.offset, next.size, 1, false};
        if (!decode_encoded_header(file, r, header, header_encrypted, err)) return false;
        if (header.empty() || header[0] != 1) {
            err = L"7z 解码头无效";
            return false;
        }
    } else {
        err = L"7z 头无效";
        return false;
    }
    SevenZipByteReader hr{header.data(), header.size(), 1, false};
    if (!sevenzip_read_header(hr, db)) {
        err = L"无法解析 7z 头";
        return false;
    }
    if (db.has_stream.size() != db.names.size()) {
        db.has_stream.assign(db.names.size(), false);
        db.is_dir.assign(db.names.size(), false);
    }
    return map_files_to_folders(db);
}

bool sevenzip_open(std::span<const uint8_t> file, SevenZipDatabase& db, std::wstring& err) {
    std::vector<uint8_t> header;
    bool header_encrypted = false;
    return sevenzip_open_header(file, db, header, header_encrypted, err);
}

std::vector<SevenZipEntry> sevenzip_entries_of(const SevenZipDatabase& db) {
    std::vector<SevenZipEntry> entries;
    entries.reserve(db.names.size());
    for (size_t i = 0; i < db.names.size(); i++) {
        SevenZipEntry e;
        e.name = db.names[i];
        e.is_dir = db.is_dir[i];
        if (db.has_stream[i] && db.file_folder[i] != kSevenZipNoFolder) {
            e.folder = db.file_folder[i];
            e.index_in_folder = db.file_index_in_folder[i];
            const uint64_t sub = first_substream_of(db, e.folder) + e.index_in_folder;
            e.size = sub < db.substream_sizes.size() ? db.substream_sizes[static_cast<size_t>(sub)] : 0;
            e.encrypted = sevenzip_folder_is_encrypted(db.folders[static_cast<size_t>(e.folder)]);
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

namespace {

std::atomic<uint64_t> folders_decoded{0};

}  // namespace

uint64_t sevenzip_folders_decoded() { return folders_decoded.load(); }

bool sevenzip_folder_input(std::span<const uint8_t> file, const SevenZipDatabase& db, uint64_t folder_index,
                           const uint8_t*& packed, size_t& packed_length, std::wstring& err) {
    packed = nullptr;
    packed_length = 0;
    if (folder_index >= db.folders.size()) {
        err = L"7z 条目文件夹索引无效";
        return false;
    }
    uint64_t first_pack = 0;
    for (uint64_t i = 0; i < folder_index; i++) first_pack += db.folders[static_cast<size_t>(i)].packed_streams.size();
    if (first_pack >= db.pack_sizes.size()) {
        err = L"7z 文件夹缺少打包流";
        return false;
    }
    uint64_t offset = db.pack_pos;
    bool overflow = offset > file.size();
    for (uint64_t i = 0; i < first_pack && !overflow; i++) {
        offset += db.pack_sizes[static_cast<size_t>(i)];
        overflow = offset < db.pack_sizes[static_cast<size_t>(i)] || offset > file.size();
    }
    const uint64_t length = db.pack_sizes[static_cast<size_t>(first_pack)];
    if (overflow || offset > file.size() - 32 || length > file.size() - 32 - offset) {
        err = L"7z 打包流越界";
        return false;
    }
    const uint64_t limited = sevenzip_folder_limited_size(db.folders[static_cast<size_t>(folder_index)]);
    if (limited > kMaxDecodedSize) {
        err = L"7z 压缩块过大，无法在此解压 (" + format_byte_size(limited) + L")";
        return false;
    }
    folders_decoded++;
    packed = file.data() + 32 + offset;
    packed_length = static_cast<size_t>(length);
    return true;
}

std::wstring sevenzip_decode_failure(const SevenZipFolder& folder) {
    // Encrypted data that does not decode is a password matter first, not damage.
    if (sevenzip_folder_is_encrypted(folder))
        return get_current_password().empty() ? L"该 7z 文件已加密，请先设置密码" : L"7z 密码错误或文件损坏";
    return L"7z 解压失败（不支持的压缩方法或数据损坏）";
}

bool sevenzip_unpack_folder(std::span<const uint8_t> file, const SevenZipDatabase& db, uint64_t folder_index,
                            std::vector<uint8_t>& decoded, std::wstring& err) {
    decoded.clear();
    const uint8_t* packed = nullptr;
    size_t length = 0;
    if (!sevenzip_folder_input(file, db, folder_index, packed, length, err)) return false;
    const SevenZipFolder& folder = db.folders[static_cast<size_t>(folder_index)];
    if (!sevenzip_decode_folder_span(folder, packed, length, decoded)) {
        err = sevenzip_decode_failure(folder);
        return false;
    }
    return true;
}

bool sevenzip_check_entry_size(const SevenZipDatabase& db, const SevenZipEntry& entry, std::wstring& err) {
    if (entry.folder >= db.folders.size()) return true;
    const uint64_t limited = sevenzip_folder_limited_size(db.folders[static_cast<size_t>(entry.folder)]);
    if (limited <= kMaxDecodedSize) return true;
    // A small file of a large solid folder is refused for the folder's size, not its own.
    if (entry.size > kMaxDecodedSize)
        err = L"条目过大，无法在此解压: " + from_utf8(entry.name) + L" (" + format_byte_size(entry.size) + L")";
    else
        err = L"条目所在的压缩块过大，无法在此解压: " + from_utf8(entry.name) + L" (" + format_byte_size(limited) +
              L")";
    return false;
}

bool sevenzip_entry_span(const SevenZipDatabase& db, const SevenZipEntry& entry, const uint8_t* decoded,
                         size_t decoded_size, const uint8_t*& data, size_t& size, std::wstring& err) {
    data = nullptr;
    size = 0;
    if (entry.folder >= db.folders.size() ||
        entry.index_in_folder >= db.folders[static_cast<size_t>(entry.folder)].unpack_stream_count) {
        err = L"7z 子流索引无效";
        return false;
    }
    const uint64_t first = first_substream_of(db, entry.folder);
    const uint64_t sub = first + entry.index_in_folder;
    if (sub >= db.substream_sizes.size()) {
        err = L"7z 子流索引无效";
        return false;
    }
    uint64_t start = 0;
    for (uint64_t i = first; i < sub; i++) start += db.substream_sizes[static_cast<size_t>(i)];
    const uint64_t length = db.substream_sizes[static_cast<size_t>(sub)];
    if (start > decoded_size || length > decoded_size - start) {
        err = L"7z 子流大小不匹配";
        return false;
    }
    const uint8_t* at = decoded + start;
    if (db.substream_crc_defined[static_cast<size_t>(sub)] &&
        crc32(at, static_cast<size_t>(length)) != db.substream_crcs[static_cast<size_t>(sub)]) {
        err = sevenzip_crc_failure(entry);
        return false;
    }
    data = at;
    size = static_cast<size_t>(length);
    return true;
}

std::wstring sevenzip_crc_failure(const SevenZipEntry& entry) {
    return L"7z 子流 CRC 校验失败: " + from_utf8(entry.name);
}

bool sevenzip_slice_entry(const SevenZipDatabase& db, const SevenZipEntry& entry, const std::vector<uint8_t>& decoded,
                          std::vector<uint8_t>& out, std::wstring& err) {
    out.clear();
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!sevenzip_entry_span(db, entry, decoded.data(), decoded.size(), data, size, err)) return false;
    out.assign(data, data + size);
    return true;
}

namespace {

// The whole archive read into memory and its header parsed.
bool read_and_open(const std::wstring& path, std::vector<uint8_t>& file, SevenZipDatabase& db, std::wstring& err) {
    if (!read_file(path, file)) {
        err = L"无法读取 7z 文件";
        return false;
    }
    return sevenzip_open(file, db, err);
}

}  // namespace

bool sevenzip_list_entries(const std::wstring& path, std::vector<SevenZipEntry>& entries, std::wstring& comment,
                           std::wstring& err) {
    entries.clear();
    comment.clear();
    std::vector<uint8_t> file;
    SevenZipDatabase db;
    if (!read_and_open(path, file, db, err)) return false;
    comment = sevenzip_comment_of(file);
    entries = sevenzip_entries_of(db);
    return true;
}

namespace {

// 1 when the encoded header's folder has an AES coder, 0 when the file has another kind of
// header, -1 when its encoded header cannot be parsed.
int encoded_header_encryption(std::span<const uint8_t> file) {
    NextHeader next;
    if (locate_next_header(file, next) != 0 || next.size == 0 || file[next.offset] != 23) return 0;
    SevenZipByteReader r{file.data() + next.offset, next.size, 1, false};
    SevenZipDatabase hdb;
    if (!sevenzip_read_streams_info(r, hdb)) return -1;
    for (const auto& f : hdb.folders)
        if (sevenzip_folder_is_encrypted(f)) return 1;
    return 0;
}

}  // namespace

bool sevenzip_header_is_encrypted(const std::wstring& path) {
    std::vector<uint8_t> file;
    return read_file(path, file) && encoded_header_encryption(file) == 1;
}

bool sevenzip_needs_password(const std::wstring& path) {
    std::vector<uint8_t> file;
    if (!read_file(path, file)) return false;
    const int header = encoded_header_encryption(file);
    if (header != 0) return header > 0;
    // A plain or compressed header can still describe encrypted data: look at the folders.
    SevenZipDatabase db;
    std::wstring err;
    if (!sevenzip_open(file, db, err)) return false;
    for (const auto& f : db.folders)
        if (sevenzip_folder_is_encrypted(f)) return true;
    return false;
}

}  // namespace rez
