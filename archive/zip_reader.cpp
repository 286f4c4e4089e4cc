#include "archive/zip_reader.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "archive/codepage.h"
#include "archive/crc32.h"
#include "archive/crypto.h"
#include "archive/deflate.h"
#include "archive/lzma.h"
#include "archive/password.h"
#include "archive/util.h"

namespace rez {
namespace {

inline uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool is_valid_utf8(const uint8_t* bytes, size_t length) {
    if (length == 0) return false;
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                               static_cast<int>(length), nullptr, 0) > 0;
}

bool read_archive(const std::wstring& path, std::vector<uint8_t>& file) {
    FileHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return h && read_all(h, file);
}

// Replacing conversion; code page 54936 goes through our own decoder where the platform
// lacks it (Wine).
std::wstring decode_with(unsigned code_page, const uint8_t* bytes, size_t length) {
    std::wstring text;
    if (!codepage_to_wide(bytes, length, code_page, false, text)) return {};
    return text;
}

double comment_score(const std::wstring& text) {
    double n = static_cast<double>(text.size());
    size_t bad = 0, printable = 0, cjk = 0;
    for (wchar_t c : text) {
        if (c == 0xFFFD) {
            ++bad;
            continue;
        }
        if (iswprint(c) || c == L'\t' || c == L'\n' || c == L'\r') ++printable;
        if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0x3040 && c <= 0x30FF))
            ++cjk;
    }
    return printable / n - 2.0 * bad / n + 0.5 * cjk / n;
}

}  // namespace

bool zip_find_eocd(std::span<const uint8_t> file, ZipEocd& out) {
    if (file.size() < 22) return false;
    const size_t last = file.size() - 22;
    const size_t first = last > 65535 ? last - 65535 : 0;
    for (size_t pos = last + 1; pos-- > first;) {
        const uint8_t* p = file.data() + pos;
        if (p[0] != 0x50 || p[1] != 0x4B || p[2] != 0x05 || p[3] != 0x06) continue;
        out.position = pos;
        out.entry_count = u16(p + 10);
        out.directory_size = load_u32le(p + 12);
        out.directory_offset = load_u32le(p + 16);
        out.comment_length = u16(p + 20);
        uint64_t used = uint64_t{out.directory_offset} + out.directory_size;
        out.base_offset = pos > used ? pos - used : 0;
        return true;
    }
    return false;
}

std::wstring zip_decode_comment(const uint8_t* bytes, size_t length) {
    if (!bytes || length == 0) return {};
    if (std::all_of(bytes, bytes + length, [](uint8_t b) { return b < 0x80; }))
        return from_utf8(bytes_to_string(bytes, length));

    static const unsigned kCandidates[] = {65001, 936, 54936, 950, 932, 437};
    const std::wstring* best = nullptr;
    double best_score = 0;
    std::wstring texts[6];
    for (size_t i = 0; i < 6; ++i) {
        texts[i] = decode_with(kCandidates[i], bytes, length);
        if (texts[i].empty()) continue;
        double score = comment_score(texts[i]);
        if (!best || score > best_score) {  // strictly higher: the earlier code page wins a tie
            best = &texts[i];
            best_score = score;
        }
    }
    if (best && best_score > 0.5) return *best;
    std::wstring ansi = decode_with(CP_ACP, bytes, length);
    if (!ansi.empty()) return ansi;
    return from_utf8(bytes_to_string(bytes, length));
}

bool zip_list_entries_in(std::span<const uint8_t> file, std::vector<ZipEntry>& entries,
                         std::wstring& comment, std::wstring& err) {
    entries.clear();
    comment.clear();
    ZipEocd eocd;
    if (!zip_find_eocd(file, eocd)) {
        err = L"未找到 ZIP 结束记录（EOCD）";
        return false;
    }
    const uint64_t size = file.size();
    uint64_t after = size - (eocd.position + 22);
    comment = zip_decode_comment(file.data() + eocd.position + 22,
                                 static_cast<size_t>(std::min<uint64_t>(eocd.comment_length, after)));

    // An archive without entries has no central directory at all: the end record follows
    // whatever precedes it directly (our own writer makes these).
    if (eocd.entry_count == 0 && eocd.directory_size == 0) return true;

    uint64_t pos = uint64_t{eocd.directory_offset} + eocd.base_offset;
    if (pos + 4 > size || load_u32le(file.data() + pos) != 0x02014B50) {
        err = L"ZIP 中央目录无效";
        return false;
    }
    if (eocd.entry_count == 0) return true;

    entries.reserve(eocd.entry_count);
    for (uint16_t i = 0; i < eocd.entry_count; ++i) {
        if (pos + 46 > size || load_u32le(file.data() + pos) != 0x02014B50) {
            err = L"ZIP 中央目录条目无效";
            return false;
        }
        const uint8_t* rec = file.data() + pos;
        uint16_t name_len = u16(rec + 28);
        if (pos + 46 + name_len > size) {
            err = L"ZIP 文件名越界";
            return false;
        }
        ZipEntry e;
        e.flags = u16(rec + 8);
        e.method = u16(rec + 10);
        e.dos_time = u16(rec + 12);
        e.dos_date = u16(rec + 14);
        e.crc32 = load_u32le(rec + 16);
        e.compressed_size = load_u32le(rec + 20);
        e.uncompressed_size = load_u32le(rec + 24);
        uint16_t extra_len = u16(rec + 30);
        uint16_t comment_len = u16(rec + 32);
        uint64_t local = uint64_t{load_u32le(rec + 42)} + eocd.base_offset;
        if (e.flags & 1) e.encryption = 1;

        const uint8_t* name = rec + 46;
        std::string unicode_path;
        bool has_unicode_path = false;
        uint64_t extra_pos = pos + 46 + name_len;
        if (extra_len >= 4 && extra_pos + extra_len <= size) {
            const uint8_t* x = file.data() + extra_pos;
            size_t at = 0;
            while (at + 4 <= extra_len) {
                uint16_t id = u16(x + at);
                uint16_t len = u16(x + at + 2);
                if (at + 4 + len > extra_len) break;
                if (id == 0x9901 && len >= 7) {
                    e.aes_strength = x[at + 4 + 4];
                    e.method = u16(x + at + 4 + 5);
                    e.encryption = 2;
                }
                // Info-ZIP's Unicode Path: version 1, the CRC-32 of the stored name, then the
                // name in UTF-8. It holds only while the stored name is the one it was made for.
                if (id == 0x7075 && len >= 5 && x[at + 4] == 1 &&
                    load_u32le(x + at + 5) == crc32(name, name_len) &&
                    is_valid_utf8(x + at + 9, len - 5)) {
                    unicode_path = bytes_to_string(x + at + 9, len - 5);
                    has_unicode_path = !unicode_path.empty();
                }
                at += 4 + size_t{len};
            }
        }
        bool high = std::any_of(name, name + name_len, [](uint8_t b) { return b >= 0x80; });
        if (!(e.flags & 0x0800) && has_unicode_path)
            e.name = std::move(unicode_path);
        else
            e.name = (!(e.flags & 0x0800) && high) ? codepage_to_utf8(name, name_len, CP_ACP)
                                                   : bytes_to_string(name, name_len);
        e.is_dir = !e.name.empty() && e.name.back() == '/';

        if (local + 30 > size || load_u32le(file.data() + local) != 0x04034B50) {
            err = L"ZIP 本地文件头无效";
            return false;
        }
        e.data_offset = local + 30 + u16(file.data() + local + 26) + u16(file.data() + local + 28);
        e.local_offset = local;
        e.central_offset = pos;
        entries.push_back(std::move(e));
        pos += 46 + uint64_t{name_len} + extra_len + comment_len;
    }
    return true;
}

bool zip_list_entries(const std::wstring& path, std::vector<ZipEntry>& entries, std::wstring& comment,
                      std::wstring& err) {
    entries.clear();
    std::vector<uint8_t> file;
    if (!read_archive(path, file)) {
        err = L"无法读取 ZIP 文件";
        return false;
    }
    return zip_list_entries_in(file, entries, comment, err);
}

namespace {

bool decrypt_aes(const std::string& password, const ZipEntry& entry, const uint8_t* data, size_t length,
                 std::vector<uint8_t>& plain, std::wstring& err) {
    size_t salt_len = entry.aes_strength == 1 ? 8 : entry.aes_strength == 2 ? 12 : 16;
    if (length < salt_len + 2 + 10) {
        err = L"ZIP AES 数据长度无效";
        return false;
    }
    std::vector<uint8_t> salt(data, data + salt_len);
    WinZipAesKeys keys;
    if (!pbkdf2_hmac_sha1(password, salt, static_cast<int>(entry.aes_strength), keys)) {
        err = L"ZIP AES 密钥派生失败";
        return false;
    }
    if (keys.verifier.size() != 2 || data[salt_len] != keys.verifier[0] ||
        data[salt_len + 1] != keys.verifier[1]) {
        err = L"ZIP 密码错误";
        return false;
    }
    const uint8_t* cipher = data + salt_len + 2;
    size_t cipher_len = length - salt_len - 2 - 10;
    std::vector<uint8_t> mac;
    bool have_mac = hmac_sha1(keys.mac_key, cipher, cipher_len, mac);
    plain.assign(cipher, cipher + cipher_len);
    if (!aes_ctr_keystream(keys.encryption_key, plain)) {
        err = L"ZIP AES 解密失败";
        return false;
    }
    if (have_mac && !std::equal(mac.begin(), mac.begin() + 10, data + length - 10)) {
        err = L"ZIP AES 完整性校验失败（密码错误或文件损坏）";
        return false;
    }
    return true;
}

// The member's data lies inside the archive, and its Deflate output stays within what may be
// decoded: a larger entry is refused by its size, before any work, with a message that does
// not blame the archive. Both the in-memory and the streamed extraction ask it first.
bool member_fits(std::span<const uint8_t> file, const ZipEntry& entry, std::wstring& err) {
    if (entry.data_offset > file.size() || file.size() - entry.data_offset < entry.compressed_size) {
        err = L"ZIP 条目数据越界";
        return false;
    }
    if (entry.method == 8 && entry.uncompressed_size > kMaxDecodedSize) {
        err = L"条目过大，无法在此解压: " + from_utf8(entry.name) + L" (" +
              format_byte_size(entry.uncompressed_size) + L")";
        return false;
    }
    return true;
}

}  // namespace

bool zip_extract_entry_in(std::span<const uint8_t> file, const ZipEntry& entry, std::vector<uint8_t>& out,
                          std::wstring& err) {
    out.clear();
    if (!member_fits(file, entry, err)) return false;
    const uint8_t* data = file.data() + entry.data_offset;
    size_t length = entry.compressed_size;

    std::vector<uint8_t> plain;
    if (entry.encryption != 0) {
        std::wstring password = get_current_password();
        if (password.empty()) {
            err = L"该 ZIP 条目已加密，请先设置密码";
            return false;
        }
        std::string pw = to_utf8(password);
        if (entry.encryption == 2) {
            if (!decrypt_aes(pw, entry, data, length, plain, err)) return false;
        } else {
            uint8_t check = (entry.flags & 0x0008) ? static_cast<uint8_t>(entry.dos_time >> 8)
                                                   : static_cast<uint8_t>(entry.crc32 >> 24);
            if (!zipcrypto_decrypt(pw, data, length, check, plain)) {
                err = L"ZIP 密码错误或数据损坏";
                return false;
            }
        }
        data = plain.data();
        length = plain.size();
    }

    if (entry.method == 0) {
        if (entry.encryption != 0)
            out = std::move(plain);
        else
            out.assign(data, data + length);
    } else if (entry.method == 8) {
        // The stated size is only a claim: a small stream can expand to 4 GiB. Never let it
        // grow past the stated size, which is within the common limit checked above.
        const size_t limit = static_cast<size_t>(std::min<uint64_t>(entry.uncompressed_size, kMaxDecodedSize));
        if (!inflate(data, length, out, limit)) {
            // After a decryption whose check byte passed by chance, a wrong password shows
            // up here as a broken stream; say so rather than calling the archive damaged.
            err = entry.encryption != 0 ? L"ZIP 密码错误或数据损坏" : L"ZIP Deflate 解压失败";
            return false;
        }
    } else {
        err = L"不支持的 ZIP 压缩方法: " + std::to_wstring(entry.method);
        return false;
    }

    if (entry.uncompressed_size != 0 && out.size() != entry.uncompressed_size) {
        out.clear();
        err = L"ZIP 解压大小不匹配";
        return false;
    }
    if (entry.crc32 != 0 && crc32(out.data(), out.size()) != entry.crc32) {
        out.clear();
        err = L"ZIP CRC 校验失败";
        return false;
    }
    return true;
}

bool zip_entry_streams(const ZipEntry& entry) {
    return !entry.is_dir && entry.encryption == 0 && (entry.method == 0 || entry.method == 8);
}

bool zip_extract_entry_to(std::span<const uint8_t> file, const ZipEntry& entry,
                          const std::function<bool(const uint8_t* data, size_t length)>& sink, std::wstring& err) {
    if (!zip_entry_streams(entry)) {
        err = entry.encryption != 0 ? L"该 ZIP 条目已加密，请先设置密码"
                                    : L"不支持的 ZIP 压缩方法: " + std::to_wstring(entry.method);
        return false;
    }
    if (!member_fits(file, entry, err)) return false;
    const uint8_t* data = file.data() + entry.data_offset;
    const size_t length = entry.compressed_size;
    uint32_t crc = 0;
    bool sink_refused = false;
    const InflateSink checked = [&](const uint8_t* bytes, size_t n) {
        crc = crc32_update(crc, bytes, n);
        if (sink(bytes, n)) return true;
        sink_refused = true;
        return false;
    };
    uint64_t produced = 0;
    if (entry.method == 0) {
        if (length && !checked(data, length)) return false;
        produced = length;
    } else {
        const size_t limit = static_cast<size_t>(std::min<uint64_t>(entry.uncompressed_size, kMaxDecodedSize));
        if (!inflate_to(data, length, limit, checked, produced)) {
            if (!sink_refused) err = L"ZIP Deflate 解压失败";
            return false;
        }
    }
    if (entry.uncompressed_size != 0 && produced != entry.uncompressed_size) {
        err = L"ZIP 解压大小不匹配";
        return false;
    }
    if (entry.crc32 != 0 && crc != entry.crc32) {
        err = L"ZIP CRC 校验失败";
        return false;
    }
    return true;
}

bool zip_extract_entry(const std::wstring& path, const ZipEntry& entry, std::vector<uint8_t>& out,
                       std::wstring& err) {
    out.clear();
    std::vector<uint8_t> file;
    if (!read_archive(path, file)) {
        err = L"无法读取 ZIP 文件";
        return false;
    }
    return zip_extract_entry_in(file, entry, out, err);
}

bool zip_needs_password(const std::wstring& path) {
    std::vector<ZipEntry> entries;
    std::wstring comment, err;
    if (!zip_list_entries(path, entries, comment, err)) return false;
    return std::any_of(entries.begin(), entries.end(),
                       [](const ZipEntry& e) { return !e.is_dir && e.encryption != 0; });
}

}  // namespace rez
