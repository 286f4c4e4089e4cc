#include "archive/zip_writer.h"

#include <windows.h>

#include "archive/crc32.h"
#include "archive/crypto.h"
#include "archive/replace_file.h"
#include "archive/util.h"
#include "archive/zip_reader.h"

namespace rez {
namespace {

constexpr uint64_t kMaxOffset = 0xFFFFFFFFull;
constexpr uint64_t kMaxItemSize = 0xFFFFFFFFull - 12;  // room for the encryption header
constexpr const wchar_t* kTooManyEntries = L"条目数超过 65535，ZIP32 格式无法表示（需要 Zip64）";
constexpr const wchar_t* kItemTooBig = L"单个文件超过 4 GiB，ZIP32 格式无法表示（需要 Zip64）";
constexpr const wchar_t* kArchiveTooBig = L"压缩包超过 4 GiB，ZIP32 格式无法表示（需要 Zip64）";
constexpr const wchar_t* kWriteFailed = L"写入 ZIP 文件失败";
constexpr uint16_t kDosDate = 0x0021;  // 1980-01-01, 00:00:00


// What the central record needs to know about an entry written earlier.
struct Written {
    std::string name;
    uint16_t flags;
    uint32_t crc;
    uint32_t stored_size;
    uint32_t size;
    uint32_t offset;
};

// The fields that the local header and the central record share, from the version needed
// to the extra-field length: version 2.0, stored, the fixed date, no extra field.
void put_shared_fields(std::vector<uint8_t>& buf, const Written& w) {
    put16(buf, 20);
    put16(buf, w.flags);
    put16(buf, 0);  // stored
    put16(buf, 0);
    put16(buf, kDosDate);
    put32(buf, w.crc);
    put32(buf, w.stored_size);
    put32(buf, w.size);
    put16(buf, static_cast<uint32_t>(w.name.size()));
    put16(buf, 0);
}

// Appends one local header with its stored bytes at the end of buf and remembers what the
// central record needs.
bool write_local(std::vector<uint8_t>& buf, const ArchiveItem& item, const std::string& password,
                 std::vector<Written>& written, std::wstring& err) {
    if (item.data.size() > kMaxItemSize) {
        err = kItemTooBig;
        return false;
    }
    if (item.name.size() > 0xFFFF) {
        err = L"条目名称过长，ZIP 格式无法表示: " + from_utf8(item.name.substr(0, 200));
        return false;
    }
    if (buf.size() > kMaxOffset) {
        err = kArchiveTooBig;
        return false;
    }
    Written w;
    w.name = item.name;
    w.crc = crc32(item.data.data(), item.data.size());
    w.flags = 0;
    for (unsigned char c : w.name)
        if (c >= 0x80) w.flags = 0x0800;
    std::vector<uint8_t> sealed;
    if (!password.empty()) {
        w.flags |= 0x0001;
        sealed = zipcrypto_encrypt(password, item.data, static_cast<uint8_t>(w.crc >> 24));
    }
    const std::vector<uint8_t>& stored = password.empty() ? item.data : sealed;
    w.stored_size = static_cast<uint32_t>(stored.size());
    w.size = static_cast<uint32_t>(item.data.size());
    w.offset = static_cast<uint32_t>(buf.size());

    put32(buf, 0x04034B50);
    put_shared_fields(buf, w);
    buf.insert(buf.end(), w.name.begin(), w.name.end());
    buf.insert(buf.end(), stored.begin(), stored.end());
    written.push_back(std::move(w));
    return true;
}

void write_central(std::vector<uint8_t>& buf, const Written& w) {
    put32(buf, 0x02014B50);
    put16(buf, 20);  // made by: version 2.0, MS-DOS
    put_shared_fields(buf, w);
    put16(buf, 0);  // comment length
    put16(buf, 0);  // disk
    put16(buf, 0);  // internal attributes
    put32(buf, 0);  // external attributes
    put32(buf, w.offset);
    buf.insert(buf.end(), w.name.begin(), w.name.end());
}

void write_end(std::vector<uint8_t>& buf, size_t count, uint64_t dir_offset, const uint8_t* comment,
               size_t comment_len) {
    uint64_t dir_size = buf.size() - dir_offset;
    put32(buf, 0x06054B50);
    put16(buf, 0);
    put16(buf, 0);
    put16(buf, static_cast<uint32_t>(count));
    put16(buf, static_cast<uint32_t>(count));
    put32(buf, static_cast<uint32_t>(dir_size));
    put32(buf, static_cast<uint32_t>(dir_offset));
    put16(buf, static_cast<uint32_t>(comment_len));
    buf.insert(buf.end(), comment, comment + comment_len);
}

// Adds `base` to the local-header offset of each central record, so that entries that were
// found through a leading stub stay valid once the archive's offsets become absolute.
bool shift_central_offsets(std::vector<uint8_t>& buf, size_t start, size_t end, size_t count, uint64_t base) {
    size_t pos = start;
    for (size_t i = 0; i < count; ++i) {
        if (pos + 46 > end || load_u32le(buf.data() + pos) != 0x02014B50) return false;
        uint8_t* rec = buf.data() + pos;
        uint64_t shifted = uint64_t{load_u32le(rec + 42)} + base;
        if (shifted > kMaxOffset) return false;
        store_u32le(rec + 42, static_cast<uint32_t>(shifted));
        pos += 46 + size_t{static_cast<uint16_t>(rec[28] | (rec[29] << 8))} +
               static_cast<uint16_t>(rec[30] | (rec[31] << 8)) +
               static_cast<uint16_t>(rec[32] | (rec[33] << 8));
    }
    return true;
}

}  // namespace

std::vector<uint8_t> zip_encode_comment(const std::wstring& comment) {
    bool wide_script = false;
    for (wchar_t c : comment)
        if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF)) wide_script = true;
    if (wide_script) {
        // A character GBK cannot write (Hangul, emoji...) would be stored as "?": keep such
        // texts in UTF-8 rather than lose them.
        BOOL lossy = FALSE;
        int n = WideCharToMultiByte(936, 0, comment.data(), static_cast<int>(comment.size()), nullptr, 0,
                                    nullptr, &lossy);
        if (n > 0 && !lossy) {
            std::vector<uint8_t> bytes(static_cast<size_t>(n));
            WideCharToMultiByte(936, 0, comment.data(), static_cast<int>(comment.size()),
                                reinterpret_cast<char*>(bytes.data()), n, nullptr, nullptr);
            return bytes;
        }
    }
    std::string utf8 = to_utf8(comment);
    return {utf8.begin(), utf8.end()};
}

bool zip_create(const std::wstring& path, const std::vector<ArchiveItem>& items, const std::wstring& comment,
                std::wstring& err, const std::wstring& password) {
    std::vector<uint8_t> comment_bytes = zip_encode_comment(comment);
    if (comment_bytes.size() > 0xFFFF) comment_bytes.resize(0xFFFF);
    std::string pw = to_utf8(password);
    if (items.size() > 0xFFFF) {
        err = kTooManyEntries;
        return false;
    }
    std::vector<uint8_t> buf;
    std::vector<Written> written;
    written.reserve(items.size());
    for (const auto& item : items)
        if (!write_local(buf, item, pw, written, err)) return false;
    uint64_t dir_offset = buf.size();
    if (dir_offset > kMaxOffset) {
        err = kArchiveTooBig;
        return false;
    }
    for (const auto& w : written) write_central(buf, w);
    write_end(buf, written.size(), dir_offset, comment_bytes.data(), comment_bytes.size());
    if (!write_file_replacing(path, buf)) {
        err = kWriteFailed;
        return false;
    }
    return true;
}

bool zip_append(const std::wstring& path, const std::vector<ArchiveItem>& items, std::wstring& err,
                const std::wstring& password) {
    if (items.empty()) {
        err = L"没有要添加的文件";
        return false;
    }
    std::vector<uint8_t> old;
    if (!read_file(path, old)) {
        err = L"无法读取原 ZIP 文件";
        return false;
    }
    ZipEocd eocd;
    if (!zip_find_eocd(old, eocd)) {
        err = L"未找到 ZIP 结束记录（EOCD）";
        return false;
    }
    uint64_t dir_start = uint64_t{eocd.directory_offset} + eocd.base_offset;
    if (dir_start > eocd.position) {
        err = L"ZIP 中央目录位置无效";
        return false;
    }
    if (size_t{eocd.entry_count} + items.size() > 0xFFFF) {
        err = L"添加后条目数超过 65535，ZIP32 格式无法表示（需要 Zip64）";
        return false;
    }
    std::string pw = to_utf8(password);

    std::vector<uint8_t> buf(old.begin(), old.begin() + static_cast<ptrdiff_t>(dir_start));
    std::vector<Written> written;
    for (const auto& item : items)
        if (!write_local(buf, item, pw, written, err)) return false;
    uint64_t dir_offset = buf.size();
    if (dir_offset > kMaxOffset) {
        err = kArchiveTooBig;
        return false;
    }
    buf.insert(buf.end(), old.begin() + static_cast<ptrdiff_t>(dir_start),
               old.begin() + static_cast<ptrdiff_t>(eocd.position));
    // The new end record makes every offset absolute; old records that counted from the
    // start of an archive behind a stub are moved along with it.
    if (eocd.base_offset > 0 && !shift_central_offsets(buf, static_cast<size_t>(dir_offset), buf.size(),
                                                       eocd.entry_count, eocd.base_offset)) {
        err = L"ZIP 中央目录无效";
        return false;
    }
    for (const auto& w : written) write_central(buf, w);

    size_t comment_len =
        static_cast<size_t>(std::min<uint64_t>(eocd.comment_length, old.size() - eocd.position - 22));
    write_end(buf, size_t{eocd.entry_count} + written.size(), dir_offset, old.data() + eocd.position + 22,
              comment_len);
    if (!write_file_replacing(path, buf)) {
        err = kWriteFailed;
        return false;
    }
    return true;
}

bool zip_set_comment(const std::wstring& path, const std::wstring& comment) {
    std::vector<uint8_t> file;
    if (!read_file(path, file)) return false;
    ZipEocd eocd;
    if (!zip_find_eocd(file, eocd)) return false;
    std::vector<uint8_t> bytes = zip_encode_comment(comment);
    if (bytes.size() > 0xFFFF) bytes.resize(0xFFFF);
    size_t start = static_cast<size_t>(eocd.position) + 22;
    size_t end = std::min(start + eocd.comment_length, file.size());
    file.erase(file.begin() + static_cast<ptrdiff_t>(start), file.begin() + static_cast<ptrdiff_t>(end));
    file.insert(file.begin() + static_cast<ptrdiff_t>(start), bytes.begin(), bytes.end());
    file[start - 2] = static_cast<uint8_t>(bytes.size());
    file[start - 1] = static_cast<uint8_t>(bytes.size() >> 8);
    return write_file_replacing(path, file);
}

}  // namespace rez
