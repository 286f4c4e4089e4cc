#include "archive/zip_rewrite.h"

#include <windows.h>

#include <algorithm>

#include "archive/crc32.h"
#include "archive/crypto.h"
#include "archive/util.h"
#include "archive/zip_writer.h"

namespace rez {
namespace {

constexpr uint64_t kMaxOffset = 0xFFFFFFFFull;
constexpr uint16_t kUnicodePathId = 0x7075;
constexpr uint16_t kAesId = 0x9901;
constexpr uint16_t kUtf8Flag = 0x0800;
constexpr const wchar_t* kDamaged = L"ZIP 条目记录无效，无法原样保留";

inline uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void put_bytes(std::vector<uint8_t>& b, const uint8_t* p, size_t n) { b.insert(b.end(), p, p + n); }
void put_bytes(std::vector<uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// The extra fields of a record that are (keep) or are not (!keep) of one id.
std::vector<uint8_t> extra_fields(const uint8_t* x, size_t length, uint16_t id, bool keep) {
    std::vector<uint8_t> out;
    size_t at = 0;
    while (at + 4 <= length) {
        const uint16_t field = u16(x + at);
        const size_t len = u16(x + at + 2);
        if (at + 4 + len > length) break;
        if ((field == id) == keep) put_bytes(out, x + at, 4 + len);
        at += 4 + len;
    }
    return out;
}
std::vector<uint8_t> extra_without(const uint8_t* x, size_t length, uint16_t id) {
    return extra_fields(x, length, id, false);
}
std::vector<uint8_t> extra_only(const uint8_t* x, size_t length, uint16_t id) {
    return extra_fields(x, length, id, true);
}

bool has_high_bytes(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A member's records as they lie in the source, bounds checked.
struct SourceRecords {
    const uint8_t* local = nullptr;
    size_t local_header = 0;  // 30 + name + extra
    size_t body = 0;          // stored bytes and data descriptor
    const uint8_t* central = nullptr;
    size_t central_name = 0, central_extra = 0, central_comment = 0;
};

bool locate(std::span<const uint8_t> source, const ZipEntry& e, SourceRecords& r) {
    const uint64_t size = source.size();
    if (e.local_offset + 30 > size || e.central_offset + 46 > size) return false;
    r.local = source.data() + e.local_offset;
    r.local_header = 30 + size_t{u16(r.local + 26)} + u16(r.local + 28);
    if (e.local_offset + r.local_header != e.data_offset) return false;
    uint64_t end = e.data_offset + e.compressed_size;
    if (end > size) return false;
    if (e.flags & 0x0008) {
        // The data descriptor, with or without its signature.
        const bool signed_descriptor = end + 4 <= size && load_u32le(source.data() + end) == 0x08074B50;
        end += signed_descriptor ? 16 : 12;
        if (end > size) return false;
    }
    r.body = static_cast<size_t>(end - e.data_offset);
    r.central = source.data() + e.central_offset;
    r.central_name = u16(r.central + 28);
    r.central_extra = u16(r.central + 30);
    r.central_comment = u16(r.central + 32);
    return e.central_offset + 46 + r.central_name + r.central_extra + r.central_comment <= size;
}

// The parts of a central record the end of the rewrite writes.
struct Central {
    std::vector<uint8_t> record;  // offset field at 42 filled in at the end
};

// Copies a member as stored; a new name replaces the stored one (its Unicode Path field,
// made for the old name, goes with it).
bool copy_member(std::span<const uint8_t> source, const ZipRewriteItem& item, std::vector<uint8_t>& buf,
                 std::vector<Central>& central, std::wstring& err) {
    const ZipEntry& e = *item.member;
    SourceRecords r;
    if (!locate(source, e, r)) {
        err = kDamaged;
        return false;
    }
    const uint32_t offset = static_cast<uint32_t>(buf.size());
    Central c;
    if (item.name.empty()) {
        put_bytes(buf, r.local, r.local_header);
        c.record.assign(r.central, r.central + 46 + r.central_name + r.central_extra + r.central_comment);
    } else {
        if (item.name.size() > 0xFFFF) {
            err = L"条目名称过长，ZIP 格式无法表示: " + from_utf8(item.name.substr(0, 200));
            return false;
        }
        const uint16_t flags = static_cast<uint16_t>((u16(r.local + 6) & ~kUtf8Flag) |
                                                     (has_high_bytes(item.name) ? kUtf8Flag : 0));
        const std::vector<uint8_t> local_extra =
            extra_without(r.local + 30 + u16(r.local + 26), u16(r.local + 28), kUnicodePathId);
        put_bytes(buf, r.local, 6);
        put16(buf, flags);
        put_bytes(buf, r.local + 8, 18);
        put16(buf, static_cast<uint32_t>(item.name.size()));
        put16(buf, static_cast<uint32_t>(local_extra.size()));
        put_bytes(buf, item.name);
        buf.insert(buf.end(), local_extra.begin(), local_extra.end());

        const uint16_t central_flags = static_cast<uint16_t>((u16(r.central + 8) & ~kUtf8Flag) |
                                                             (has_high_bytes(item.name) ? kUtf8Flag : 0));
        const std::vector<uint8_t> central_extra =
            extra_without(r.central + 46 + r.central_name, r.central_extra, kUnicodePathId);
        std::vector<uint8_t>& rec = c.record;
        put_bytes(rec, r.central, 8);
        put16(rec, central_flags);
        put_bytes(rec, r.central + 10, 18);
        put16(rec, static_cast<uint32_t>(item.name.size()));
        put16(rec, static_cast<uint32_t>(central_extra.size()));
        put_bytes(rec, r.central + 32, 14);
        put_bytes(rec, item.name);
        rec.insert(rec.end(), central_extra.begin(), central_extra.end());
        const uint8_t* comment = r.central + 46 + r.central_name + r.central_extra;
        put_bytes(rec, comment, r.central_comment);
    }
    put_bytes(buf, source.data() + e.data_offset, r.body);
    store_u32le(c.record.data() + 42, offset);
    central.push_back(std::move(c));
    return true;
}

void dos_time_of(uint64_t mtime, uint16_t& time, uint16_t& date) {
    time = 0;
    date = 0x0021;  // 1980-01-01
    if (mtime == 0) return;
    FILETIME utc{static_cast<DWORD>(mtime), static_cast<DWORD>(mtime >> 32)}, local{};
    WORD d = 0, t = 0;
    if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToDosDateTime(&local, &d, &t)) {
        time = t;
        date = d;
    }
}

// Writes new content stored, under the given protection. A member given keeps its name
// bytes, time, system and attributes unless the item names others.
bool write_new(std::span<const uint8_t> source, const ZipRewriteItem& item, ZipProtection protection,
               const std::string& password, std::vector<uint8_t>& buf, std::vector<Central>& central,
               std::wstring& err) {
    const ZipEntry* m = item.member;
    SourceRecords r;
    if (m && !locate(source, *m, r)) {
        err = kDamaged;
        return false;
    }
    std::string name;
    uint16_t flags = 0;
    std::vector<uint8_t> keep_extra;
    if (m && item.name.empty()) {
        name.assign(reinterpret_cast<const char*>(r.central + 46), r.central_name);
        flags = u16(r.central + 8) & kUtf8Flag;
        keep_extra = extra_only(r.central + 46 + r.central_name, r.central_extra, kUnicodePathId);
    } else {
        name = item.name;
        if (has_high_bytes(name)) flags = kUtf8Flag;
    }
    if (name.size() > 0xFFFF) {
        err = L"条目名称过长，ZIP 格式无法表示: " + from_utf8(name.substr(0, 200));
        return false;
    }
    if (item.data.size() > 0xFFFFFFFFull - 64) {
        err = L"单个文件超过 4 GiB，ZIP32 格式无法表示（需要 Zip64）";
        return false;
    }
    const bool is_dir = !name.empty() && name.back() == '/' && item.data.empty();
    uint16_t time = 0, date = 0;
    if (item.mtime == 0 && m) {
        time = m->dos_time;
        date = m->dos_date;
    } else {
        dos_time_of(item.mtime, time, date);
    }
    if (!is_dir && protection != ZipProtection::none && password.empty()) {
        err = L"归档已加密，需要密码才能写入新内容";
        return false;
    }
    const uint32_t crc = crc32(item.data.data(), item.data.size());
    std::vector<uint8_t> sealed;
    const std::vector<uint8_t>* stored = &item.data;
    uint16_t method = 0, version = is_dir ? 20 : 10;
    std::vector<uint8_t> extra = keep_extra;
    uint32_t stored_crc = crc;
    if (!is_dir && protection == ZipProtection::zipcrypto) {
        flags |= 0x0001;
        sealed = zipcrypto_encrypt(password, item.data, static_cast<uint8_t>(crc >> 24));
        stored = &sealed;
        version = 20;
    } else if (!is_dir && protection == ZipProtection::aes256) {
        flags |= 0x0001;
        if (!winzip_aes_encrypt(password, item.data, sealed)) {
            err = L"ZIP AES 加密失败";
            return false;
        }
        stored = &sealed;
        method = 99;
        version = 51;
        put16(extra, kAesId);
        put16(extra, 7);
        put16(extra, 1);  // AE-1
        extra.push_back('A');
        extra.push_back('E');
        extra.push_back(3);  // AES-256
        put16(extra, 0);     // stored
    }
    if (extra.size() > 0xFFFF) extra.clear();
    const uint32_t offset = static_cast<uint32_t>(buf.size());
    auto shared = [&](std::vector<uint8_t>& b) {
        put16(b, version);
        put16(b, flags);
        put16(b, method);
        put16(b, time);
        put16(b, date);
        put32(b, stored_crc);
        put32(b, static_cast<uint32_t>(stored->size()));
        put32(b, static_cast<uint32_t>(item.data.size()));
        put16(b, static_cast<uint32_t>(name.size()));
        put16(b, static_cast<uint32_t>(extra.size()));
    };
    put32(buf, 0x04034B50);
    shared(buf);
    put_bytes(buf, name);
    buf.insert(buf.end(), extra.begin(), extra.end());
    buf.insert(buf.end(), stored->begin(), stored->end());

    Central c;
    std::vector<uint8_t>& rec = c.record;
    put32(rec, 0x02014B50);
    // Made by: the member's own system (its attributes mean what they meant), else MS-DOS 2.0.
    put16(rec, m ? u16(r.central + 4) : 20);
    shared(rec);
    put16(rec, 0);  // comment length
    put16(rec, 0);  // disk
    put16(rec, m ? u16(r.central + 36) : 0);
    put32(rec, m ? load_u32le(r.central + 38) : (is_dir ? 0x10u : 0u));
    put32(rec, offset);
    put_bytes(rec, name);
    rec.insert(rec.end(), extra.begin(), extra.end());
    central.push_back(std::move(c));
    return true;
}

}  // namespace

ZipProtection zip_protection_of(const std::vector<ZipEntry>& entries) {
    ZipProtection p = ZipProtection::none;
    for (const ZipEntry& e : entries) {
        if (e.is_dir) continue;
        if (e.encryption == 2) return ZipProtection::aes256;
        if (e.encryption != 0) p = ZipProtection::zipcrypto;
    }
    return p;
}

bool winzip_aes_encrypt(const std::string& password, const std::vector<uint8_t>& plain, std::vector<uint8_t>& out) {
    std::vector<uint8_t> salt(16);
    if (!random_bytes(salt.data(), salt.size())) return false;
    WinZipAesKeys keys;
    if (!pbkdf2_hmac_sha1(password, salt, 3, keys) || keys.verifier.size() != 2) return false;
    std::vector<uint8_t> cipher = plain;
    if (!aes_ctr_keystream(keys.encryption_key, cipher)) return false;
    std::vector<uint8_t> mac;
    if (!hmac_sha1(keys.mac_key, cipher.data(), cipher.size(), mac) || mac.size() < 10) return false;
    out = salt;
    out.insert(out.end(), keys.verifier.begin(), keys.verifier.end());
    out.insert(out.end(), cipher.begin(), cipher.end());
    out.insert(out.end(), mac.begin(), mac.begin() + 10);
    return true;
}

bool zip_rewrite(std::span<const uint8_t> source, const std::vector<ZipRewriteItem>& items,
                 const std::optional<std::wstring>& comment, ZipProtection protection, const std::wstring& password,
                 std::vector<uint8_t>& out, std::wstring& err) {
    out.clear();
    if (items.size() > 0xFFFF) {
        err = L"条目数超过 65535，ZIP32 格式无法表示（需要 Zip64）";
        return false;
    }
    const std::string pw = to_utf8(password);
    std::vector<Central> central;
    central.reserve(items.size());
    for (const ZipRewriteItem& item : items) {
        if (out.size() > kMaxOffset) break;
        const bool ok = item.member && item.copy ? copy_member(source, item, out, central, err)
                                                 : write_new(source, item, protection, pw, out, central, err);
        if (!ok) return false;
    }
    const uint64_t dir_offset = out.size();
    for (const Central& c : central) out.insert(out.end(), c.record.begin(), c.record.end());
    if (out.size() > kMaxOffset) {
        err = L"压缩包超过 4 GiB，ZIP32 格式无法表示（需要 Zip64）";
        return false;
    }
    std::vector<uint8_t> comment_bytes;
    if (comment) {
        comment_bytes = zip_encode_comment(*comment);
    } else {
        ZipEocd eocd;
        if (zip_find_eocd(source, eocd)) {
            const uint64_t start = eocd.position + 22;
            const uint64_t n = std::min<uint64_t>(eocd.comment_length, source.size() - start);
            comment_bytes.assign(source.data() + start, source.data() + start + n);
        }
    }
    if (comment_bytes.size() > 0xFFFF) comment_bytes.resize(0xFFFF);
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(central.size()));
    put16(out, static_cast<uint32_t>(central.size()));
    put32(out, static_cast<uint32_t>(out.size() - 12 - dir_offset));
    put32(out, static_cast<uint32_t>(dir_offset));
    put16(out, static_cast<uint32_t>(comment_bytes.size()));
    out.insert(out.end(), comment_bytes.begin(), comment_bytes.end());
    return true;
}

}  // namespace rez
