#include "decode/bin_table.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "archive/lzma.h"
#include "archive/util.h"

namespace rezui {
namespace {

constexpr size_t kLzmaCap = 0x800000;
constexpr size_t kMaxListedRecords = 128;
constexpr size_t kMaxPreviewFields = 64;
constexpr size_t kHexBytes = 160;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string base_name(const std::string& name) {
    std::string base = rez::file_name_of(name);
    if (rez::ends_with(rez::to_lower_ascii(base), ".bin")) base.resize(base.size() - 4);
    return base;
}

std::string num(uint64_t v) { return std::to_string(v); }

std::string storage_label(const std::string& kind, uint64_t entry, uint64_t decoded) {
    if (entry == decoded) return kind + ", " + num(entry) + " bytes";
    return "LZMA-compressed " + kind + ", " + num(entry) + " bytes -> " + num(decoded) + " bytes";
}

std::string weapon_model_report(const std::vector<uint8_t>& data, const std::string& name,
                                uint64_t entry_size, bool& fits) {
    const size_t s = data.size();
    size_t header = 0, record = 0, fields = 0;
    std::string kind = "WeaponModel table";
    if (s == 4) {
        header = 4;
    } else if (s >= 4 && (s - 4) % 72 == 0) {
        header = 4, record = 72, fields = 18;
    } else if (s % 68 == 0) {
        record = 68, fields = 17, kind = "Shop2 WeaponModel table";
    } else {
        fits = false;
        return {};
    }
    fits = true;
    std::string out = "Marrowind UI script BIN\nFile: " + name + "\nKind: " + kind +
                      "\nStorage: " + storage_label("WeaponModel BIN", entry_size, s);
    if (record == 0) return out + "\nHeader/version: " + num(read_u32_at(data, 0)) + "\nRecords: 0\n";

    const size_t count = (s - header) / record;
    out += "\nLayout: " + std::string(header ? "4-byte header + " : "") + num(count) + " records x " +
           num(record) + " bytes\n";
    if (header) out += "Header/version: " + num(read_u32_at(data, 0)) + "\n";
    out += "\nRecords:\n";
    char line[128];
    for (size_t i = 0; i < std::min(count, kMaxListedRecords); ++i) {
        const size_t o = header + i * record;
        rez::format(line, sizeof line, "Record %zu @ 0x%04zX, model id %u:\n", i, o,
                    static_cast<unsigned>(read_u32_at(data, o)));
        out += line;
        out += dump_u32_fields(data, o, fields);
    }
    if (count > kMaxListedRecords)
        out += "... " + num(count - kMaxListedRecords) + " more records omitted.\n";
    return out + hex_dump_bytes(data);
}

std::string weapon_preview_report(const std::vector<uint8_t>& data, const std::string& name,
                                  uint64_t entry_size, bool& fits) {
    const size_t s = data.size();
    fits = s >= 17 && s % 4 == 1 && (s - 1) / 4 <= kMaxPreviewFields;
    if (!fits) return {};
    const size_t n = (s - 1) / 4;
    const std::string base = base_name(name);
    const size_t dash = base.find('-');
    const std::string category = dash == std::string::npos ? std::string() : base.substr(0, dash);
    const std::string entry_id = dash == std::string::npos ? std::string() : base.substr(dash + 1);
    const uint32_t f0 = read_u32_at(data, 1), f1 = read_u32_at(data, 5), f2 = read_u32_at(data, 9),
                   f3 = read_u32_at(data, 13);

    std::string out = "Marrowind UI script BIN\nFile: " + name + "\nKind: WeaponPreview entry\nStorage: " +
                      storage_label("WeaponPreview BIN", entry_size, s) + "\nLayout: 1 byte header + " +
                      num(n) + " little-endian uint32/float32 fields\n\nKnown fields:\n";
    out += "- Header byte: " + num(data[0]) + "\n";
    if (!category.empty()) out += "- File category: " + category + "\n";
    if (!entry_id.empty()) out += "- File entry id: " + entry_id + "\n";
    out += "- Field 0 / item id: " + num(f0) + "\n";
    out += "- Field 1 / preview slot: " + num(f1) + "\n";
    out += "- Field 2 / model group id: " + num(f2) + " (WeaponModel" + num(f2) + ".bin)\n";
    out += "- Field 3 / model id: " + num(f3) + "\n";
    if (!entry_id.empty()) {
        errno = 0;
        char* end = nullptr;
        long long id = std::strtoll(entry_id.c_str(), &end, 10);
        if (errno == ERANGE || end == entry_id.c_str()) id = 0;
        if (id != static_cast<long long>(f0))
            out += "- Note: file entry id differs from embedded item id (" + entry_id + " != " + num(f0) +
                   ").\n";
    }
    char line[64];
    rez::format(line, sizeof line, "- Last field marker: 0x%08X\n",
                static_cast<unsigned>(read_u32_at(data, 4 * n - 3)));
    out += line;
    return out + "\nFields:\n" + dump_u32_fields(data, 1, n) + hex_dump_bytes(data);
}

}  // namespace

bool is_weapon_model_name(const std::string& name) {
    const std::string base = base_name(name);
    if (rez::iequals_ascii(base, "WeaponModel")) return true;
    if (base.size() <= 11 || !rez::iequals_ascii(base.substr(0, 11), "WeaponModel")) return false;
    return std::all_of(base.begin() + 11, base.end(), is_digit);
}

bool is_numbered_bin_name(const std::string& name) {
    const std::string base = base_name(name);
    const size_t dash = base.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 >= base.size()) return false;
    for (size_t i = 0; i < base.size(); ++i)
        if (i != dash && !is_digit(base[i])) return false;
    return true;
}

bool is_bin_table_entry(const std::string& name, const std::string& extension) {
    return rez::iequals_ascii(extension, "bin") && (is_numbered_bin_name(name) || is_weapon_model_name(name));
}

std::string hex_bytes4(const std::vector<uint8_t>& data, size_t offset) {
    if (offset > data.size() || data.size() - offset < 4) return {};
    char buf[16];
    rez::format(buf, sizeof buf, "%02X %02X %02X %02X", data[offset], data[offset + 1], data[offset + 2],
                data[offset + 3]);
    return buf;
}

std::string dump_u32_fields(const std::vector<uint8_t>& data, size_t base, size_t count) {
    std::string out;
    char line[160];
    for (size_t i = 0; i < count; ++i) {
        const size_t o = base + 4 * i;
        const uint32_t v = read_u32_at(data, o);
        float f;
        std::memcpy(&f, &v, sizeof f);
        const std::string ftext = v == 0 ? "0" : rez::format_float(f);
        const std::string hex = hex_bytes4(data, o);
        if (ftext.empty()) {
            rez::format(line, sizeof line, "  [%02zu] 0x%04zX u32=%10u i32=%11d hex=%s\n", i, o,
                        static_cast<unsigned>(v), static_cast<int>(v), hex.c_str());
        } else {
            rez::format(line, sizeof line, "  [%02zu] 0x%04zX u32=%10u i32=%11d f32=%s hex=%s\n", i, o,
                        static_cast<unsigned>(v), static_cast<int>(v), ftext.c_str(), hex.c_str());
        }
        out += line;
    }
    return out;
}

std::string hex_dump_bytes(const std::vector<uint8_t>& data) {
    const size_t m = std::min(data.size(), kHexBytes);
    return "\nFirst " + num(m) + " bytes:\n" + hex_byte_rows(data, m, 4, ": ");
}

std::optional<FormatText> preview_bin_table(const std::vector<uint8_t>& bytes, const std::string& name) {
    std::vector<uint8_t> unpacked;
    const bool lzma = rez::is_lzma_alone_header(bytes.data(), bytes.size());
    if (lzma && !rez::lzma_decode(bytes.data(), bytes.size(), unpacked, kLzmaCap)) return std::nullopt;
    const std::vector<uint8_t>& data = lzma ? unpacked : bytes;

    FormatText result;
    result.entry_size = bytes.size();
    result.decoded_size = data.size();
    bool fits = false;
    std::string kind;
    if (is_weapon_model_name(name)) {
        result.text = weapon_model_report(data, name, bytes.size(), fits);
        kind = "Marrowind WeaponModel BIN";
    } else if (is_numbered_bin_name(name)) {
        result.text = weapon_preview_report(data, name, bytes.size(), fits);
        kind = "Marrowind WeaponPreview BIN";
    }
    if (!fits) return std::nullopt;
    result.label = storage_label(kind, result.entry_size, result.decoded_size);
    return result;
}

}  // namespace rezui
