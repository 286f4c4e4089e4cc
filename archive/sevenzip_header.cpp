// Parsing the 7z header: numbers, bit vectors, folders, streams info and files info.
#include <algorithm>

#include "archive/sevenzip_reader.h"
#include "archive/util.h"

namespace rez {
namespace {

constexpr uint64_t kMaxItems = 1048576;
constexpr uint64_t kMaxCoders = 32;
constexpr uint64_t kMaxCoderStreams = 64;
constexpr uint64_t kMaxPropertyBytes = 1048576;
constexpr uint64_t kMaxBindPairs = 127;

enum : uint64_t {
    kEnd = 0,
    kHeader = 1,
    kArchiveProperties = 2,
    kAdditionalStreamsInfo = 3,
    kMainStreamsInfo = 4,
    kFilesInfo = 5,
    kPackInfo = 6,
    kUnpackInfo = 7,
    kSubStreamsInfo = 8,
    kSize = 9,
    kCrc = 10,
    kFolder = 11,
    kCodersUnpackSize = 12,
    kNumUnpackStream = 13,
    kEmptyStream = 14,
    kEmptyFile = 15,
    kAnti = 16,
    kName = 17,
    kCTime = 18,
    kATime = 19,
    kMTime = 20,
    kAttributes = 21,
};

// Plain bits, most significant first, no all-defined byte.
std::vector<bool> read_plain_bits(SevenZipByteReader& r, size_t count) {
    std::vector<bool> v(count, false);
    if (count / 8 > r.remaining()) {
        r.error = true;
        return v;
    }
    uint8_t b = 0;
    for (size_t i = 0; i < count; i++) {
        if (i % 8 == 0) b = r.read_byte();
        v[i] = (b & (0x80 >> (i % 8))) != 0;
    }
    return v;
}

// A defined-vector and a CRC for each defined item.
bool read_digests(SevenZipByteReader& r, size_t count, std::vector<bool>& defined, std::vector<uint32_t>& crcs) {
    defined = sevenzip_read_bool_vector(r, count);
    crcs.assign(count, 0);
    for (size_t i = 0; i < count && !r.error; i++)
        if (defined[i]) crcs[i] = r.read_u32();
    return !r.error;
}

bool read_pack_info(SevenZipByteReader& r, SevenZipDatabase& db) {
    db.pack_pos = sevenzip_read_number(r);
    const uint64_t count = sevenzip_read_number(r);
    if (r.error || count > kMaxItems || count > r.remaining()) return false;
    db.pack_sizes.assign(static_cast<size_t>(count), 0);
    uint64_t type = sevenzip_read_number(r);
    if (type == kSize) {
        for (auto& s : db.pack_sizes) s = sevenzip_read_number(r);
        type = sevenzip_read_number(r);
    }
    if (type == kCrc) {
        std::vector<bool> defined;
        std::vector<uint32_t> crcs;
        if (!read_digests(r, static_cast<size_t>(count), defined, crcs)) return false;
        type = sevenzip_read_number(r);
    }
    return !r.error && type == kEnd;
}

bool read_unpack_info(SevenZipByteReader& r, SevenZipDatabase& db) {
    if (sevenzip_read_number(r) != kFolder) return false;
    const uint64_t count = sevenzip_read_number(r);
    // Every folder takes at least three header bytes; a larger count is a lie that would
    // only reserve memory.
    if (r.error || count > kMaxItems || count > r.remaining() / 3) return false;
    if (r.read_byte() != 0 || r.error) return false;  // folders stored elsewhere are not supported
    db.folders.assign(static_cast<size_t>(count), SevenZipFolder{});
    for (auto& f : db.folders)
        if (!sevenzip_read_folder(r, f)) return false;
    if (sevenzip_read_number(r) != kCodersUnpackSize) return false;
    for (auto& f : db.folders) {
        uint64_t outs = 0;
        for (const auto& c : f.coders) outs += c.out_streams;
        f.unpack_sizes.resize(static_cast<size_t>(outs));
        for (auto& s : f.unpack_sizes) s = sevenzip_read_number(r);
    }
    uint64_t type = sevenzip_read_number(r);
    if (type == kCrc) {
        std::vector<bool> defined;
        std::vector<uint32_t> crcs;
        if (!read_digests(r, db.folders.size(), defined, crcs)) return false;
        for (size_t i = 0; i < db.folders.size(); i++) {
            db.folders[i].crc_defined = defined[i];
            db.folders[i].crc = crcs[i];
        }
        type = sevenzip_read_number(r);
    }
    return !r.error && type == kEnd;
}

bool read_substreams_info(SevenZipByteReader& r, SevenZipDatabase& db) {
    for (auto& f : db.folders) f.unpack_stream_count = 1;
    uint64_t type = sevenzip_read_number(r);
    if (type == kNumUnpackStream) {
        uint64_t total = 0;
        for (auto& f : db.folders) {
            f.unpack_stream_count = sevenzip_read_number(r);
            if (r.error || f.unpack_stream_count > kMaxItems) return false;
            total += f.unpack_stream_count;
            if (total > kMaxItems) return false;
        }
        type = sevenzip_read_number(r);
    }
    db.substream_sizes.clear();
    const bool sizes_given = type == kSize;
    for (const auto& f : db.folders) {
        const uint64_t k = f.unpack_stream_count;
        if (k == 0) continue;
        const uint64_t folder_size = sevenzip_folder_unpack_size(f);
        if (k > 1 && !sizes_given) return false;
        uint64_t sum = 0;
        for (uint64_t j = 0; j + 1 < k; j++) {
            const uint64_t s = sevenzip_read_number(r);
            if (r.error || s > folder_size - sum) return false;
            sum += s;
            db.substream_sizes.push_back(s);
        }
        db.substream_sizes.push_back(folder_size - sum);
    }
    if (sizes_given) type = sevenzip_read_number(r);

    size_t needed = 0;
    for (const auto& f : db.folders)
        if (!(f.unpack_stream_count == 1 && f.crc_defined)) needed += static_cast<size_t>(f.unpack_stream_count);
    std::vector<bool> defined(needed, false);
    std::vector<uint32_t> crcs(needed, 0);
    if (type == kCrc) {
        if (!read_digests(r, needed, defined, crcs)) return false;
        type = sevenzip_read_number(r);
    }
    db.substream_crc_defined.clear();
    db.substream_crcs.clear();
    size_t next = 0;
    for (const auto& f : db.folders) {
        if (f.unpack_stream_count == 1 && f.crc_defined) {
            db.substream_crc_defined.push_back(true);
            db.substream_crcs.push_back(f.crc);
            continue;
        }
        for (uint64_t j = 0; j < f.unpack_stream_count; j++, next++) {
            db.substream_crc_defined.push_back(defined[next]);
            db.substream_crcs.push_back(crcs[next]);
        }
    }
    return !r.error && type == kEnd;
}

// Without a SubStreamsInfo block each folder holds one stream: the whole folder.
void default_substreams(SevenZipDatabase& db) {
    db.substream_sizes.clear();
    db.substream_crc_defined.clear();
    db.substream_crcs.clear();
    for (auto& f : db.folders) {
        f.unpack_stream_count = 1;
        db.substream_sizes.push_back(sevenzip_folder_unpack_size(f));
        db.substream_crc_defined.push_back(f.crc_defined);
        db.substream_crcs.push_back(f.crc);
    }
}

bool read_names(SevenZipByteReader& r, uint64_t size, size_t count, std::vector<std::string>& names) {
    if (r.read_byte() != 0 || r.error) return false;
    if (size % 2 == 0) return false;
    names.clear();
    std::wstring current;
    const size_t units = static_cast<size_t>((size - 1) / 2);
    for (size_t i = 0; i < units; i++) {
        const uint8_t lo = r.read_byte();
        const uint8_t hi = r.read_byte();
        const wchar_t unit = static_cast<wchar_t>(lo | (hi << 8));
        if (unit == 0) {
            if (names.size() >= count) return false;
            names.push_back(to_utf8(current));
            current.clear();
        } else {
            current += unit;
        }
    }
    return !r.error && names.size() == count && current.empty();
}

// Times and attributes: a defined-vector, the external byte, then item_bytes per defined file.
bool skip_defined_items(SevenZipByteReader& r, size_t count, size_t item_bytes) {
    const std::vector<bool> defined = sevenzip_read_bool_vector(r, count);
    if (r.read_byte() != 0 || r.error) return false;
    const size_t n = static_cast<size_t>(std::count(defined.begin(), defined.end(), true));
    return r.skip(uint64_t{n} * item_bytes);
}

}  // namespace

uint8_t SevenZipByteReader::read_byte() {
    if (error || pos >= size) {
        error = true;
        return 0;
    }
    return data[pos++];
}

uint32_t SevenZipByteReader::read_u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= uint32_t{read_byte()} << (8 * i);
    return error ? 0 : v;
}

uint64_t SevenZipByteReader::read_u64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; i++) v |= uint64_t{read_byte()} << (8 * i);
    return error ? 0 : v;
}

bool SevenZipByteReader::read_bytes(size_t n, std::vector<uint8_t>& out) {
    out.clear();
    if (n > remaining()) {
        error = true;
        return false;
    }
    out.assign(data + pos, data + pos + n);
    pos += n;
    return true;
}

bool SevenZipByteReader::skip(uint64_t n) {
    if (n > remaining()) {
        error = true;
        return false;
    }
    pos += static_cast<size_t>(n);
    return true;
}

uint64_t sevenzip_read_number(SevenZipByteReader& r) {
    const uint8_t first = r.read_byte();
    uint8_t mask = 0x80;
    uint64_t value = 0;
    for (int i = 0; i < 8; i++) {
        if ((first & mask) == 0) {
            const uint64_t high = first & (mask - 1u);
            value |= high << (8 * i);
            return r.error ? 0 : value;
        }
        value |= uint64_t{r.read_byte()} << (8 * i);
        mask >>= 1;
    }
    return r.error ? 0 : value;
}

std::vector<bool> sevenzip_read_bool_vector(SevenZipByteReader& r, size_t count) {
    const uint8_t all_defined = r.read_byte();
    if (all_defined != 0) return std::vector<bool>(count, true);
    return read_plain_bits(r, count);
}

bool sevenzip_read_folder(SevenZipByteReader& r, SevenZipFolder& folder) {
    folder = SevenZipFolder{};
    const uint64_t coder_count = sevenzip_read_number(r);
    if (r.error || coder_count < 1 || coder_count > kMaxCoders) return false;
    uint64_t total_in = 0, total_out = 0;
    for (uint64_t i = 0; i < coder_count; i++) {
        SevenZipCoder coder;
        const uint8_t flags = r.read_byte();
        const size_t id_size = flags & 0x0F;
        if (r.error || id_size == 0 || (flags & 0x80)) return false;
        if (!r.read_bytes(id_size, coder.method_id)) return false;
        if (flags & 0x10) {
            coder.in_streams = sevenzip_read_number(r);
            coder.out_streams = sevenzip_read_number(r);
            if (r.error || coder.in_streams > kMaxCoderStreams || coder.out_streams > kMaxCoderStreams) return false;
        }
        if (flags & 0x20) {
            const uint64_t prop_size = sevenzip_read_number(r);
            if (r.error || prop_size > kMaxPropertyBytes) return false;
            if (!r.read_bytes(static_cast<size_t>(prop_size), coder.properties)) return false;
        }
        total_in += coder.in_streams;
        total_out += coder.out_streams;
        folder.coders.push_back(std::move(coder));
    }
    if (total_out == 0) return false;
    const uint64_t bind_count = total_out - 1;
    if (bind_count > kMaxBindPairs || bind_count > total_in) return false;
    for (uint64_t i = 0; i < bind_count; i++) {
        const uint64_t in_index = sevenzip_read_number(r);
        const uint64_t out_index = sevenzip_read_number(r);
        if (r.error || in_index >= total_in || out_index >= total_out) return false;
        folder.bind_pairs.emplace_back(in_index, out_index);
    }
    const uint64_t packed_count = total_in - bind_count;
    if (packed_count == 0) return false;
    if (packed_count == 1) {
        for (uint64_t i = 0; i < total_in; i++) {
            const bool bound = std::any_of(folder.bind_pairs.begin(), folder.bind_pairs.end(),
                                           [i](const auto& bp) { return bp.first == i; });
            if (!bound) {
                folder.packed_streams.push_back(i);
                break;
            }
        }
        if (folder.packed_streams.empty()) return false;
    } else {
        for (uint64_t i = 0; i < packed_count; i++) {
            const uint64_t index = sevenzip_read_number(r);
            if (r.error || index >= total_in) return false;
            folder.packed_streams.push_back(index);
        }
    }
    return !r.error;
}

uint64_t sevenzip_folder_unpack_size(const SevenZipFolder& folder) {
    uint64_t outs = 0;
    for (const auto& c : folder.coders) outs += c.out_streams;
    for (uint64_t i = outs; i-- > 0;) {
        const bool bound = std::any_of(folder.bind_pairs.begin(), folder.bind_pairs.end(),
                                       [i](const auto& bp) { return bp.second == i; });
        if (!bound) return i < folder.unpack_sizes.size() ? folder.unpack_sizes[static_cast<size_t>(i)] : 0;
    }
    return 0;
}

bool sevenzip_read_streams_info(SevenZipByteReader& r, SevenZipDatabase& db) {
    uint64_t type = sevenzip_read_number(r);
    if (type == kPackInfo) {
        if (!read_pack_info(r, db)) return false;
        type = sevenzip_read_number(r);
    }
    if (type == kUnpackInfo) {
        if (!read_unpack_info(r, db)) return false;
        type = sevenzip_read_number(r);
    }
    if (type == kSubStreamsInfo) {
        if (!read_substreams_info(r, db)) return false;
        type = sevenzip_read_number(r);
    } else {
        default_substreams(db);
    }
    return !r.error && type == kEnd;
}

bool sevenzip_read_files_info(SevenZipByteReader& r, SevenZipDatabase& db) {
    const uint64_t count64 = sevenzip_read_number(r);
    if (r.error || count64 > kMaxItems) return false;
    const size_t count = static_cast<size_t>(count64);
    std::vector<bool> empty_stream(count, false);
    std::vector<bool> empty_file;
    bool have_empty_file = false;
    db.names.assign(count, std::string());
    for (;;) {
        const uint64_t type = sevenzip_read_number(r);
        if (r.error) return false;
        if (type == kEnd) break;
        const uint64_t size = sevenzip_read_number(r);
        if (r.error || size > r.remaining()) return false;
        SevenZipByteReader sub{r.data + r.pos, static_cast<size_t>(size), 0, false};
        switch (type) {
        case kEmptyStream:
            empty_stream = read_plain_bits(sub, count);
            break;
        case kEmptyFile: {
            const size_t empties = static_cast<size_t>(std::count(empty_stream.begin(), empty_stream.end(), true));
            empty_file = read_plain_bits(sub, empties);
            have_empty_file = true;
            break;
        }
        case kName:
            if (!read_names(sub, size, count, db.names)) return false;
            break;
        case kCTime:
        case kATime:
        case kMTime:
            if (!skip_defined_items(sub, count, 8)) return false;
            break;
        case kAttributes:
            if (!skip_defined_items(sub, count, 4)) return false;
            break;
        default:  // Anti and anything else we do not use
            break;
        }
        if (sub.error) return false;
        r.pos += static_cast<size_t>(size);
    }
    db.is_dir.assign(count, false);
    db.has_stream.assign(count, true);
    size_t empty_index = 0;
    size_t with_stream = 0;
    for (size_t i = 0; i < count; i++) {
        if (empty_stream[i]) {
            db.has_stream[i] = false;
            const bool is_file = have_empty_file && empty_index < empty_file.size() && empty_file[empty_index];
            db.is_dir[i] = !is_file;
            empty_index++;
        } else {
            with_stream++;
        }
    }
    return with_stream <= db.substream_sizes.size();
}

bool sevenzip_skip_archive_properties(SevenZipByteReader& r, uint64_t& type) {
    if (type == kArchiveProperties) {
        for (;;) {
            const uint64_t prop = sevenzip_read_number(r);
            if (r.error) return false;
            if (prop == kEnd) break;
            if (!r.skip(sevenzip_read_number(r))) return false;
        }
        type = sevenzip_read_number(r);
    }
    return true;
}

bool sevenzip_read_header(SevenZipByteReader& r, SevenZipDatabase& db) {
    uint64_t type = sevenzip_read_number(r);
    if (!sevenzip_skip_archive_properties(r, type)) return false;
    if (type == kAdditionalStreamsInfo) return false;
    if (type == kMainStreamsInfo) {
        if (!sevenzip_read_streams_info(r, db)) return false;
        type = sevenzip_read_number(r);
    }
    if (type == kFilesInfo) {
        if (!sevenzip_read_files_info(r, db)) return false;
        type = sevenzip_read_number(r);
    }
    return !r.error && type == kEnd;
}

}  // namespace rez
