// 7z writer: signature header, one stored (optionally encrypted) stream per file, a plain header.
#include "archive/sevenzip_writer.h"

#include <windows.h>

#include "archive/crc32.h"
#include "archive/crypto.h"
#include "archive/replace_file.h"
#include "archive/util.h"

namespace rez {
namespace {

constexpr int kCyclesPower = 19;
const uint8_t kSignature[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint8_t kVersion = 2;  // what a stored archive needs

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A CRC record with every item defined.
void put_digests(std::vector<uint8_t>& out, const std::vector<uint32_t>& crcs) {
    out.push_back(0x0A);  // CRC
    out.push_back(0x01);  // all defined
    for (uint32_t c : crcs) put_u32(out, c);
}

void store_u64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Salt and IV bytes: the system generator, or a tick-seeded generator when it fails.
void fill_random(uint8_t* out, size_t length) {
    if (random_bytes(out, length)) return;
    uint64_t state = GetTickCount64() * 0x5851F42D4C957F2Dull + 0x14057B7EF767814Full;
    for (size_t i = 0; i < length; i++) {
        state = state * 0x5851F42D4C957F2Dull + 0x14057B7EF767814Full;
        out[i] = static_cast<uint8_t>(state >> 33);
    }
}

bool is_folder_item(const ArchiveItem& item) {
    return !item.name.empty() && item.name.back() == '/' && item.data.empty();
}

}  // namespace

bool SevenZipSealer::init(const std::wstring& password, std::wstring& err) {
    salt_.assign(16, 0);
    iv_.assign(16, 0);
    fill_random(salt_.data(), salt_.size());
    fill_random(iv_.data(), iv_.size());
    key_ = sevenzip_derive_key(password, salt_, kCyclesPower);
    if (key_.size() != 32) {
        err = L"7z AES 密钥派生失败";
        return false;
    }
    return true;
}

bool SevenZipSealer::seal(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::wstring& err) const {
    std::vector<uint8_t> padded(data, data + size);
    padded.resize(padded.empty() ? 16 : (padded.size() + 15) / 16 * 16, 0);
    if (!aes_crypt(L"ChainingModeCBC", key_, iv_, padded.data(), padded.size(), true, out) ||
        out.size() != padded.size()) {
        err = L"7z AES 加密失败";
        return false;
    }
    return true;
}

void SevenZipSealer::put_folder(std::vector<uint8_t>& h) const {
    std::vector<uint8_t> props;
    props.push_back(0xC0 | kCyclesPower);  // salt and IV present, 2^19 rounds
    props.push_back(0xFF);                 // 16-byte salt and IV
    props.insert(props.end(), salt_.begin(), salt_.end());
    props.insert(props.end(), iv_.begin(), iv_.end());
    h.insert(h.end(), {0x02, 0x01, 0x00, 0x24, 0x06, 0xF1, 0x07, 0x01});
    sevenzip_write_number(h, props.size());
    h.insert(h.end(), props.begin(), props.end());
    h.insert(h.end(), {0x00, 0x01});  // Copy's input is the AES output
}

void sevenzip_put_copy_folder(std::vector<uint8_t>& h) { h.insert(h.end(), {0x01, 0x01, 0x00}); }

void sevenzip_write_number(std::vector<uint8_t>& out, uint64_t value) {
    uint8_t first = 0;
    uint8_t mask = 0x80;
    int i = 0;
    for (; i < 8; i++) {
        if (value < (uint64_t{1} << (7 * (i + 1)))) {
            first |= static_cast<uint8_t>(value >> (8 * i));
            break;
        }
        first |= mask;
        mask >>= 1;
    }
    out.push_back(first);
    for (; i > 0; i--) {
        out.push_back(static_cast<uint8_t>(value));
        value >>= 8;
    }
}

bool sevenzip_create(const std::wstring& path, const std::vector<ArchiveItem>& items, const std::wstring& comment,
                     std::wstring& err, const std::wstring& password) {
    const bool encrypt = !password.empty();
    SevenZipSealer sealer;
    if (encrypt && !sealer.init(password, err)) return false;

    // Signature header placeholder, then one packed stream per file.
    std::vector<uint8_t> buf(32, 0);
    std::vector<uint64_t> pack_sizes, data_sizes;
    std::vector<uint32_t> pack_crcs, data_crcs;
    for (const auto& item : items) {
        if (is_folder_item(item)) continue;
        data_sizes.push_back(item.data.size());
        data_crcs.push_back(crc32(item.data.data(), item.data.size()));
        if (!encrypt) {
            buf.insert(buf.end(), item.data.begin(), item.data.end());
            pack_sizes.push_back(item.data.size());
            pack_crcs.push_back(data_crcs.back());
            continue;
        }
        std::vector<uint8_t> sealed;
        if (!sealer.seal(item.data.data(), item.data.size(), sealed, err)) return false;
        buf.insert(buf.end(), sealed.begin(), sealed.end());
        pack_sizes.push_back(sealed.size());
        pack_crcs.push_back(crc32(sealed.data(), sealed.size()));
    }
    const size_t streams = pack_sizes.size();

    std::vector<uint8_t> h;
    h.push_back(0x01);  // Header
    if (streams > 0) {
        h.push_back(0x04);  // MainStreamsInfo
        h.push_back(0x06);  // PackInfo
        sevenzip_write_number(h, 0);
        sevenzip_write_number(h, streams);
        h.push_back(0x09);
        for (uint64_t s : pack_sizes) sevenzip_write_number(h, s);
        put_digests(h, pack_crcs);
        h.push_back(0x00);

        h.push_back(0x07);  // UnpackInfo
        h.push_back(0x0B);
        sevenzip_write_number(h, streams);
        h.push_back(0x00);
        for (size_t i = 0; i < streams; i++) {
            if (encrypt)
                sealer.put_folder(h);
            else
                sevenzip_put_copy_folder(h);
        }
        h.push_back(0x0C);  // CodersUnpackSize
        for (size_t i = 0; i < streams; i++) {
            sevenzip_write_number(h, data_sizes[i]);
            // The AES coder's output is the file itself; the padding lives only in the
            // packed stream. Declaring the padded size here makes other readers report
            // data after the end.
            if (encrypt) sevenzip_write_number(h, data_sizes[i]);
        }
        put_digests(h, data_crcs);
        h.push_back(0x00);

        h.push_back(0x08);  // SubStreamsInfo
        h.push_back(0x0D);
        for (size_t i = 0; i < streams; i++) sevenzip_write_number(h, 1);
        h.push_back(0x00);
        h.push_back(0x00);
    }
    if (!items.empty()) {
        h.push_back(0x05);  // FilesInfo
        sevenzip_write_number(h, items.size());
        if (streams < items.size()) {
            // Folders are streamless records; without an EmptyFile list every one is a directory.
            std::vector<uint8_t> bits((items.size() + 7) / 8, 0);
            for (size_t i = 0; i < items.size(); i++)
                if (is_folder_item(items[i])) bits[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
            h.push_back(0x0E);
            sevenzip_write_number(h, bits.size());
            h.insert(h.end(), bits.begin(), bits.end());
        }
        std::vector<uint8_t> names;
        for (const auto& item : items) {
            std::string name = item.name;
            if (is_folder_item(item)) name.pop_back();
            const std::vector<uint8_t> units = to_utf16le_bytes(from_utf8(name));
            names.insert(names.end(), units.begin(), units.end());
            names.push_back(0);
            names.push_back(0);
        }
        h.push_back(0x11);
        sevenzip_write_number(h, names.size() + 1);
        h.push_back(0x00);
        h.insert(h.end(), names.begin(), names.end());
        h.push_back(0x00);
    }
    h.push_back(0x00);

    return sevenzip_finish(buf, h, kVersion, comment, path, err);
}

bool sevenzip_finish(std::vector<uint8_t>& buf, const std::vector<uint8_t>& header, uint8_t minor_version,
                     const std::wstring& comment, const std::wstring& path, std::wstring& err) {
    const uint64_t header_offset = buf.size() - 32;
    buf.insert(buf.end(), header.begin(), header.end());
    std::copy(kSignature, kSignature + 6, buf.begin());
    buf[6] = 0;
    buf[7] = minor_version;
    store_u64(buf.data() + 12, header_offset);
    store_u64(buf.data() + 20, header.size());
    store_u32le(buf.data() + 28, crc32(header.data(), header.size()));
    store_u32le(buf.data() + 8, crc32(buf.data() + 12, 20));

    sevenzip_append_comment_trailer(buf, comment);
    if (!write_file_replacing(path, buf)) {
        err = L"写入 7z 文件失败";
        return false;
    }
    return true;
}

}  // namespace rez
