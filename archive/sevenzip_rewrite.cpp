// Rewriting a 7z: folders whose files are all kept are copied packed with their coders, the
// remaining kept files and the new ones are stored by our writer, and the file records keep
// their stored properties.
#include "archive/sevenzip_rewrite.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>

#include "archive/crc32.h"
#include "archive/crypto.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_writer.h"
#include "archive/util.h"

namespace rez {
namespace {

enum : uint8_t {
    kEnd = 0x00,
    kHeader = 0x01,
    kArchiveProperties = 0x02,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kEmptyStream = 0x0E,
    kEmptyFile = 0x0F,
    kAnti = 0x10,
    kName = 0x11,
    kEncodedHeader = 0x17,
};

constexpr size_t kNone = SIZE_MAX;

// The per-file properties carried over as numbers: a type and the width of one value.
struct ValueProperty {
    uint8_t type;
    size_t width;
};
constexpr std::array<ValueProperty, 5> kValueProperties{{
    {0x12, 8},  // CTime
    {0x13, 8},  // ATime
    {0x14, 8},  // MTime
    {0x15, 4},  // Attributes
    {0x18, 8},  // StartPos
}};
constexpr size_t kMTimeSlot = 2;
constexpr size_t kAttributesSlot = 3;

// One file record as stored: the name's UTF-16LE bytes (no terminator), the stream flags and
// the defined values of each value property.
struct FileRecord {
    std::vector<uint8_t> name;
    bool empty_stream = false;
    bool empty_file = false;
    bool anti = false;
    std::array<std::optional<uint64_t>, kValueProperties.size()> values;
};

std::vector<bool> read_plain_bits(SevenZipByteReader& r, size_t count) {
    std::vector<bool> v(count, false);
    uint8_t b = 0;
    for (size_t i = 0; i < count && !r.error; i++) {
        if (i % 8 == 0) b = r.read_byte();
        v[i] = (b & (0x80 >> (i % 8))) != 0;
    }
    return v;
}

// The file records of a plain header (from the Header byte on), every property we carry.
bool read_file_records(const std::vector<uint8_t>& header, std::vector<FileRecord>& files) {
    files.clear();
    SevenZipByteReader r{header.data(), header.size(), 1, false};
    uint64_t type = sevenzip_read_number(r);
    if (!sevenzip_skip_archive_properties(r, type)) return false;
    if (type == kMainStreamsInfo) {
        SevenZipDatabase scratch;
        if (!sevenzip_read_streams_info(r, scratch)) return false;
        type = sevenzip_read_number(r);
    }
    if (type != kFilesInfo) return !r.error && type == kEnd;
    const uint64_t count64 = sevenzip_read_number(r);
    if (r.error || count64 > r.remaining()) return false;
    const size_t count = static_cast<size_t>(count64);
    files.assign(count, FileRecord{});
    std::vector<bool> empty_stream(count, false), empty_file, anti;
    for (;;) {
        const uint64_t prop = sevenzip_read_number(r);
        if (r.error) return false;
        if (prop == kEnd) break;
        const uint64_t size = sevenzip_read_number(r);
        if (r.error || size > r.remaining()) return false;
        SevenZipByteReader sub{r.data + r.pos, static_cast<size_t>(size), 0, false};
        const size_t empties = static_cast<size_t>(std::count(empty_stream.begin(), empty_stream.end(), true));
        if (prop == kEmptyStream) {
            empty_stream = read_plain_bits(sub, count);
        } else if (prop == kEmptyFile) {
            empty_file = read_plain_bits(sub, empties);
        } else if (prop == kAnti) {
            anti = read_plain_bits(sub, empties);
        } else if (prop == kName) {
            if (sub.read_byte() != 0 || size % 2 == 0) return false;
            size_t file = 0;
            std::vector<uint8_t> name;
            while (sub.remaining() >= 2) {
                const uint8_t lo = sub.read_byte(), hi = sub.read_byte();
                if (lo == 0 && hi == 0) {
                    if (file >= count) return false;
                    files[file++].name = std::move(name);
                    name.clear();
                } else {
                    name.push_back(lo);
                    name.push_back(hi);
                }
            }
            if (file != count || !name.empty()) return false;
        } else {
            for (size_t slot = 0; slot < kValueProperties.size(); slot++) {
                if (kValueProperties[slot].type != prop) continue;
                const std::vector<bool> defined = sevenzip_read_bool_vector(sub, count);
                if (sub.read_byte() != 0) return false;  // values stored elsewhere are not supported
                for (size_t i = 0; i < count && !sub.error; i++) {
                    if (!defined[i]) continue;
                    uint64_t v = 0;
                    for (size_t b = 0; b < kValueProperties[slot].width; b++) v |= uint64_t{sub.read_byte()} << (8 * b);
                    files[i].values[slot] = v;
                }
            }
        }
        if (sub.error) return false;
        r.pos += static_cast<size_t>(size);
    }
    size_t empty_index = 0;
    for (size_t i = 0; i < count; i++) {
        if (!empty_stream[i]) continue;
        files[i].empty_stream = true;
        files[i].empty_file = empty_index < empty_file.size() && empty_file[empty_index];
        files[i].anti = empty_index < anti.size() && anti[empty_index];
        empty_index++;
    }
    return !r.error;
}

std::vector<uint8_t> name_units(std::string name) {
    while (!name.empty() && name.back() == '/') name.pop_back();
    return to_utf16le_bytes(from_utf8(name));
}

uint64_t now_filetime() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put_bits(std::vector<uint8_t>& out, const std::vector<bool>& bits) {
    std::vector<uint8_t> bytes((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); i++)
        if (bits[i]) bytes[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A defined-vector: the all-defined byte 1, or 0 and the bits.
void put_defined(std::vector<uint8_t>& out, const std::vector<bool>& defined) {
    if (std::all_of(defined.begin(), defined.end(), [](bool b) { return b; })) {
        out.push_back(1);
        return;
    }
    out.push_back(0);
    put_bits(out, defined);
}

void put_digests(std::vector<uint8_t>& out, const std::vector<bool>& defined, const std::vector<uint32_t>& crcs) {
    out.push_back(kCrc);
    put_defined(out, defined);
    for (size_t i = 0; i < crcs.size(); i++)
        if (defined[i]) put_u32(out, crcs[i]);
}

// A folder record as the reader parsed it, written back in the same form.
void put_folder(std::vector<uint8_t>& h, const SevenZipFolder& folder) {
    sevenzip_write_number(h, folder.coders.size());
    for (const SevenZipCoder& c : folder.coders) {
        const bool complex = c.in_streams != 1 || c.out_streams != 1;
        uint8_t flags = static_cast<uint8_t>(c.method_id.size());
        if (complex) flags |= 0x10;
        if (!c.properties.empty()) flags |= 0x20;
        h.push_back(flags);
        h.insert(h.end(), c.method_id.begin(), c.method_id.end());
        if (complex) {
            sevenzip_write_number(h, c.in_streams);
            sevenzip_write_number(h, c.out_streams);
        }
        if (!c.properties.empty()) {
            sevenzip_write_number(h, c.properties.size());
            h.insert(h.end(), c.properties.begin(), c.properties.end());
        }
    }
    for (const auto& [in, out] : folder.bind_pairs) {
        sevenzip_write_number(h, in);
        sevenzip_write_number(h, out);
    }
    if (folder.packed_streams.size() > 1)
        for (uint64_t s : folder.packed_streams) sevenzip_write_number(h, s);
}

// One folder of the new archive: a source folder copied packed, or one stored file.
struct OutFolder {
    size_t source = kNone;              // source folder index when copied
    std::vector<uint8_t> owned;         // a re-stored file's bytes
    const std::vector<uint8_t>* given = nullptr;  // a new file's bytes
    const std::vector<uint8_t>& data() const { return given ? *given : owned; }
};

// Where each source folder's packed streams begin (index and file offset from byte 32) and its
// first substream.
struct SourceLayout {
    std::vector<size_t> first_pack;
    std::vector<uint64_t> pack_offset;
    std::vector<size_t> first_substream;
};

SourceLayout layout_of(const SevenZipDatabase& db) {
    SourceLayout l;
    size_t pack = 0, sub = 0;
    uint64_t offset = db.pack_pos;
    for (const SevenZipFolder& f : db.folders) {
        l.first_pack.push_back(pack);
        l.pack_offset.push_back(offset);
        l.first_substream.push_back(sub);
        for (size_t i = 0; i < f.packed_streams.size() && pack < db.pack_sizes.size(); i++)
            offset += db.pack_sizes[pack++];
        sub += static_cast<size_t>(f.unpack_stream_count);
    }
    return l;
}

// The header of the new archive from its folders and file records.
std::vector<uint8_t> build_header(const SevenZipDatabase& db, const SourceLayout& layout,
                                  const std::vector<OutFolder>& folders, const std::vector<uint64_t>& pack_sizes,
                                  const std::vector<uint32_t>& pack_crcs, const std::vector<FileRecord>& files,
                                  const SevenZipSealer* sealer) {
    std::vector<uint8_t> h;
    h.push_back(kHeader);
    if (!folders.empty()) {
        h.push_back(kMainStreamsInfo);
        h.push_back(kPackInfo);
        sevenzip_write_number(h, 0);
        sevenzip_write_number(h, pack_sizes.size());
        h.push_back(kSize);
        for (uint64_t s : pack_sizes) sevenzip_write_number(h, s);
        put_digests(h, std::vector<bool>(pack_crcs.size(), true), pack_crcs);
        h.push_back(kEnd);

        h.push_back(kUnpackInfo);
        h.push_back(kFolder);
        sevenzip_write_number(h, folders.size());
        h.push_back(0);
        for (const OutFolder& f : folders) {
            if (f.source != kNone)
                put_folder(h, db.folders[f.source]);
            else if (sealer)
                sealer->put_folder(h);
            else
                sevenzip_put_copy_folder(h);
        }
        h.push_back(kCodersUnpackSize);
        std::vector<bool> folder_crc_defined;
        std::vector<uint32_t> folder_crcs;
        for (const OutFolder& f : folders) {
            if (f.source != kNone) {
                const SevenZipFolder& sf = db.folders[f.source];
                for (uint64_t s : sf.unpack_sizes) sevenzip_write_number(h, s);
                folder_crc_defined.push_back(sf.crc_defined);
                folder_crcs.push_back(sf.crc);
                continue;
            }
            // The AES coder's output is the file itself; the padding lives only in the packed stream.
            sevenzip_write_number(h, f.data().size());
            if (sealer) sevenzip_write_number(h, f.data().size());
            folder_crc_defined.push_back(true);
            folder_crcs.push_back(crc32(f.data().data(), f.data().size()));
        }
        if (std::any_of(folder_crc_defined.begin(), folder_crc_defined.end(), [](bool b) { return b; }))
            put_digests(h, folder_crc_defined, folder_crcs);
        h.push_back(kEnd);

        h.push_back(kSubStreamsInfo);
        h.push_back(kNumUnpackStream);
        bool sizes = false;
        for (const OutFolder& f : folders) {
            const uint64_t k = f.source != kNone ? db.folders[f.source].unpack_stream_count : 1;
            sevenzip_write_number(h, k);
            sizes = sizes || k > 1;
        }
        if (sizes) {
            h.push_back(kSize);
            for (const OutFolder& f : folders) {
                if (f.source == kNone) continue;
                const uint64_t k = db.folders[f.source].unpack_stream_count;
                for (uint64_t j = 0; j + 1 < k; j++)
                    sevenzip_write_number(h, db.substream_sizes[layout.first_substream[f.source] + j]);
            }
        }
        std::vector<bool> sub_defined;
        std::vector<uint32_t> sub_crcs;
        for (size_t i = 0; i < folders.size(); i++) {
            const OutFolder& f = folders[i];
            if (f.source == kNone) continue;  // one stream, its CRC is the folder's
            const SevenZipFolder& sf = db.folders[f.source];
            if (sf.unpack_stream_count == 1 && sf.crc_defined) continue;
            for (uint64_t j = 0; j < sf.unpack_stream_count; j++) {
                const size_t s = layout.first_substream[f.source] + static_cast<size_t>(j);
                sub_defined.push_back(db.substream_crc_defined[s]);
                sub_crcs.push_back(db.substream_crcs[s]);
            }
        }
        if (std::any_of(sub_defined.begin(), sub_defined.end(), [](bool b) { return b; }))
            put_digests(h, sub_defined, sub_crcs);
        h.push_back(kEnd);
        h.push_back(kEnd);
    }

    if (!files.empty()) {
        h.push_back(kFilesInfo);
        sevenzip_write_number(h, files.size());
        std::vector<bool> empty_stream, empty_file, anti;
        for (const FileRecord& f : files) {
            empty_stream.push_back(f.empty_stream);
            if (!f.empty_stream) continue;
            empty_file.push_back(f.empty_file);
            anti.push_back(f.anti);
        }
        auto put_bits_property = [&h](uint8_t type, const std::vector<bool>& bits) {
            if (std::none_of(bits.begin(), bits.end(), [](bool b) { return b; })) return;
            h.push_back(type);
            sevenzip_write_number(h, (bits.size() + 7) / 8);
            put_bits(h, bits);
        };
        put_bits_property(kEmptyStream, empty_stream);
        put_bits_property(kEmptyFile, empty_file);
        put_bits_property(kAnti, anti);

        std::vector<uint8_t> names;
        for (const FileRecord& f : files) {
            names.insert(names.end(), f.name.begin(), f.name.end());
            names.push_back(0);
            names.push_back(0);
        }
        h.push_back(kName);
        sevenzip_write_number(h, names.size() + 1);
        h.push_back(0);
        h.insert(h.end(), names.begin(), names.end());

        for (size_t slot = 0; slot < kValueProperties.size(); slot++) {
            std::vector<bool> defined;
            for (const FileRecord& f : files) defined.push_back(f.values[slot].has_value());
            const size_t n = static_cast<size_t>(std::count(defined.begin(), defined.end(), true));
            if (n == 0) continue;
            std::vector<uint8_t> body;
            put_defined(body, defined);
            body.push_back(0);  // values follow here
            for (const FileRecord& f : files) {
                if (!f.values[slot]) continue;
                for (size_t b = 0; b < kValueProperties[slot].width; b++)
                    body.push_back(static_cast<uint8_t>(*f.values[slot] >> (8 * b)));
            }
            h.push_back(kValueProperties[slot].type);
            sevenzip_write_number(h, body.size());
            h.insert(h.end(), body.begin(), body.end());
        }
        h.push_back(kEnd);
    }
    h.push_back(kEnd);
    return h;
}

// The encoded header that points at the sealed plain header stored at header_pos (from byte 32).
std::vector<uint8_t> encoded_header(const std::vector<uint8_t>& plain, const std::vector<uint8_t>& sealed,
                                    uint64_t header_pos, const SevenZipSealer& sealer) {
    std::vector<uint8_t> h;
    h.push_back(kEncodedHeader);
    h.push_back(kPackInfo);
    sevenzip_write_number(h, header_pos);
    sevenzip_write_number(h, 1);
    h.push_back(kSize);
    sevenzip_write_number(h, sealed.size());
    put_digests(h, {true}, {crc32(sealed.data(), sealed.size())});
    h.push_back(kEnd);
    h.push_back(kUnpackInfo);
    h.push_back(kFolder);
    sevenzip_write_number(h, 1);
    h.push_back(0);
    sealer.put_folder(h);
    h.push_back(kCodersUnpackSize);
    sevenzip_write_number(h, plain.size());
    sevenzip_write_number(h, plain.size());
    put_digests(h, {true}, {crc32(plain.data(), plain.size())});
    h.push_back(kEnd);
    h.push_back(kEnd);
    return h;
}

}  // namespace

bool sevenzip_rewrite(const std::wstring& source, const std::wstring& target,
                      const std::vector<SevenZipRewriteItem>& items, const std::wstring& comment,
                      const std::wstring& password, std::wstring& err, const SevenZipRewriteOptions& options) {
    std::vector<uint8_t> file;
    if (!read_file(source, file)) {
        err = L"无法读取 7z 文件";
        return false;
    }
    SevenZipDatabase db;
    std::vector<uint8_t> header;
    bool header_encrypted = false;
    if (!sevenzip_open_header(file, db, header, header_encrypted, err)) return false;
    std::vector<FileRecord> records;
    if (!read_file_records(header, records) || records.size() != db.names.size()) {
        err = L"无法解析 7z 头";
        return false;
    }
    const size_t n = records.size();
    const std::vector<SevenZipEntry> entries = sevenzip_entries_of(db);
    const SourceLayout layout = layout_of(db);

    // Which item keeps each source record, and which source folders keep all their files.
    std::vector<size_t> item_of(n, kNone);
    for (size_t k = 0; k < items.size(); k++) {
        const size_t i = items[k].index;
        if (i == SevenZipRewriteItem::kNew) continue;
        if (i >= n || item_of[i] != kNone) {
            err = L"7z 重写条目索引无效";
            return false;
        }
        item_of[i] = k;
    }
    std::vector<std::vector<size_t>> folder_files(db.folders.size());
    for (size_t i = 0; i < n; i++) {
        if (!db.has_stream[i]) continue;
        if (db.file_folder[i] >= db.folders.size()) {
            err = L"7z 条目文件夹索引无效";
            return false;
        }
        folder_files[static_cast<size_t>(db.file_folder[i])].push_back(i);
    }
    std::vector<bool> copy_folder(db.folders.size(), false);
    for (size_t f = 0; f < db.folders.size(); f++) {
        const auto& members = folder_files[f];
        copy_folder[f] = !options.replace_password && !members.empty() &&
                         members.size() == db.folders[f].unpack_stream_count &&
                         std::all_of(members.begin(), members.end(), [&](size_t i) { return item_of[i] != kNone; });
    }

    // Protection of what our writer stores: the archive's own, or the new password.
    bool source_encrypted = header_encrypted;
    for (const SevenZipFolder& f : db.folders) source_encrypted = source_encrypted || sevenzip_folder_is_encrypted(f);
    const std::wstring seal_password =
        options.replace_password ? options.new_password : (source_encrypted ? password : std::wstring());
    bool stores_anything = options.replace_password;
    for (const SevenZipRewriteItem& item : items) {
        if (item.index == SevenZipRewriteItem::kNew && !item.data.empty()) stores_anything = true;
        if (item.index != SevenZipRewriteItem::kNew && db.has_stream[item.index] &&
            !copy_folder[static_cast<size_t>(db.file_folder[item.index])])
            stores_anything = true;
    }
    if (source_encrypted && seal_password.empty() && !options.replace_password && (stores_anything || header_encrypted)) {
        err = L"该 7z 文件已加密，请先设置密码";
        return false;
    }
    SevenZipSealer sealer;
    const bool seal = !seal_password.empty();
    if (seal && !sealer.init(seal_password, err)) return false;

    // The records of the new archive in item order; a copied folder's files come together.
    std::vector<FileRecord> out_files;
    std::vector<OutFolder> out_folders;
    std::vector<bool> placed(n, false);
    size_t decoded_folder = kNone;
    std::vector<uint8_t> decoded;
    const uint64_t now = now_filetime();
    for (const SevenZipRewriteItem& item : items) {
        if (item.index == SevenZipRewriteItem::kNew) {
            FileRecord r;
            r.name = name_units(item.name);
            const bool is_dir = !item.name.empty() && item.name.back() == '/' && item.data.empty();
            r.empty_stream = item.data.empty();
            r.empty_file = item.data.empty() && !is_dir;
            r.values[kMTimeSlot] = item.mtime ? item.mtime : now;
            r.values[kAttributesSlot] = is_dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
            out_files.push_back(std::move(r));
            if (!item.data.empty()) {
                OutFolder f;
                f.given = &item.data;
                out_folders.push_back(std::move(f));
            }
            continue;
        }
        const size_t i = item.index;
        if (placed[i]) continue;
        auto record_of = [&](size_t j) {
            FileRecord r = records[j];
            const std::string& name = items[item_of[j]].name;
            if (!name.empty()) r.name = name_units(name);
            placed[j] = true;
            return r;
        };
        if (!db.has_stream[i]) {
            out_files.push_back(record_of(i));
            continue;
        }
        const size_t f = static_cast<size_t>(db.file_folder[i]);
        if (copy_folder[f]) {
            for (size_t j : folder_files[f]) out_files.push_back(record_of(j));
            OutFolder of;
            of.source = f;
            out_folders.push_back(std::move(of));
            continue;
        }
        if (decoded_folder != f) {
            decoded_folder = kNone;
            if (!sevenzip_unpack_folder(file, db, f, decoded, err)) return false;
            decoded_folder = f;
        }
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (!sevenzip_entry_span(db, entries[i], decoded.data(), decoded.size(), data, size, err)) return false;
        out_files.push_back(record_of(i));
        OutFolder of;
        of.owned.assign(data, data + size);
        // An empty file of a broken-up folder becomes a streamless empty file.
        if (of.owned.empty()) {
            out_files.back().empty_stream = true;
            out_files.back().empty_file = true;
            continue;
        }
        out_folders.push_back(std::move(of));
    }
    decoded.clear();
    decoded.shrink_to_fit();

    // Packed streams: copied as they lie, or the stored bytes (sealed when encrypting).
    uint64_t total = 0, done = 0;
    for (const OutFolder& f : out_folders) {
        if (f.source == kNone) {
            total += f.data().size();
            continue;
        }
        const size_t first = layout.first_pack[f.source];
        for (size_t s = 0; s < db.folders[f.source].packed_streams.size(); s++)
            if (first + s < db.pack_sizes.size()) total += db.pack_sizes[first + s];
    }
    std::vector<uint8_t> buf(32, 0);
    std::vector<uint64_t> pack_sizes;
    std::vector<uint32_t> pack_crcs;
    for (const OutFolder& f : out_folders) {
        if (f.source != kNone) {
            const size_t first = layout.first_pack[f.source];
            uint64_t offset = layout.pack_offset[f.source];
            for (size_t s = 0; s < db.folders[f.source].packed_streams.size(); s++) {
                if (first + s >= db.pack_sizes.size()) {
                    err = L"7z 文件夹缺少打包流";
                    return false;
                }
                const uint64_t length = db.pack_sizes[first + s];
                const uint64_t room = file.size() - 32;
                if (offset > room || length > room - offset) {
                    err = L"7z 打包流越界";
                    return false;
                }
                const uint8_t* at = file.data() + 32 + offset;
                buf.insert(buf.end(), at, at + length);
                pack_sizes.push_back(length);
                pack_crcs.push_back(crc32(at, static_cast<size_t>(length)));
                offset += length;
                done += length;
            }
        } else if (seal) {
            std::vector<uint8_t> sealed;
            if (!sealer.seal(f.data().data(), f.data().size(), sealed, err)) return false;
            buf.insert(buf.end(), sealed.begin(), sealed.end());
            pack_sizes.push_back(sealed.size());
            pack_crcs.push_back(crc32(sealed.data(), sealed.size()));
            done += f.data().size();
        } else {
            buf.insert(buf.end(), f.data().begin(), f.data().end());
            pack_sizes.push_back(f.data().size());
            pack_crcs.push_back(crc32(f.data().data(), f.data().size()));
            done += f.data().size();
        }
        if (options.progress && !options.progress(done, total)) {
            err = L"已取消";
            return false;
        }
    }

    std::vector<uint8_t> h = build_header(db, layout, out_folders, pack_sizes, pack_crcs, out_files,
                                          seal ? &sealer : nullptr);
    if (header_encrypted && seal) {
        std::vector<uint8_t> sealed;
        if (!sealer.seal(h.data(), h.size(), sealed, err)) return false;
        const uint64_t header_pos = buf.size() - 32;
        buf.insert(buf.end(), sealed.begin(), sealed.end());
        h = encoded_header(h, sealed, header_pos, sealer);
    }
    return sevenzip_finish(buf, h, 4, comment, target, err);  // version 4: copied folders may use any coder
}

}  // namespace rez
