// CFT data tables: every byte XOR 0x6D, then "su", the column and row counts, 64-byte
// column names and the rows as numbers or NUL-terminated strings.
#include <algorithm>

#include "archive/util.h"
#include "decode/game_formats.h"

namespace rezui {
namespace {

constexpr uint8_t kCftKey = 0x6D;
constexpr uint64_t kCftLimit = 1048576;
constexpr size_t kHeaderSize = 14;
constexpr size_t kNameField = 64;
constexpr uint32_t kMaxColumns = 4096;
constexpr size_t kMaxListedNames = 128;
constexpr size_t kMaxRows = 1024;

std::string num(uint64_t v) { return std::to_string(v); }

std::string join(const std::vector<std::string>& cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) out += ',';
        out += cells[i];
    }
    return out;
}

}  // namespace

std::string fixed_name_field(const uint8_t* field) {
    size_t n = 0;
    while (n < kNameField && field[n] != 0) ++n;
    const std::string trimmed = rez::trim(std::string(reinterpret_cast<const char*>(field), n));
    std::string out;
    for (char c : trimmed)
        if (static_cast<unsigned char>(c) >= 0x20) out.push_back(c);
    return out;
}

std::string csv_quote(const std::string& field) {
    if (field.find_first_of(",\"\n\r") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::optional<FormatText> preview_cft_table(const std::vector<uint8_t>& bytes, const std::string& name_utf8) {
    std::vector<uint8_t> data;
    bool is_lzma = false;
    uint64_t declared = 0;
    if (!load_preview_payload(bytes, kCftLimit, data, is_lzma, declared)) return std::nullopt;
    for (uint8_t& b : data) b ^= kCftKey;
    if (data.size() < kHeaderSize || data[0] != 's' || data[1] != 'u')
        return preview_other_game_format(bytes, name_utf8, "txt");

    const uint32_t columns = rez::load_u32le(data.data() + 6);
    const auto rows = static_cast<int32_t>(rez::load_u32le(data.data() + 10));
    if (columns > kMaxColumns || rows < 0) return std::nullopt;

    const size_t start = kHeaderSize + kNameField * size_t{columns};
    std::vector<std::string> names;
    if (columns >= 1 && data.size() >= start) {
        for (uint32_t i = 0; i < columns; ++i) {
            std::string n = fixed_name_field(data.data() + kHeaderSize + kNameField * i);
            if (rez::trim(n).empty()) n = "Column " + num(i + 1);
            names.push_back(std::move(n));
        }
    }

    std::string out = "Marrowind CFT table\nFile: " + name_utf8 +
                      "\nStorage: " + storage_summary(is_lzma, "CFT", bytes.size(), declared, data.size()) +
                      "\nColumns: " + num(columns) + "\nRows: " + std::to_string(rows) + "\n";
    if (!names.empty()) {
        out += "\nColumn names:\n";
        for (size_t i = 0; i < std::min(names.size(), kMaxListedNames); ++i) out += "- " + names[i] + "\n";
        if (names.size() > kMaxListedNames) out += "- ... " + num(names.size() - kMaxListedNames) + " more\n";
    }

    std::vector<std::string> strings = extract_visible_strings(data, 3, 32);
    strings.erase(std::remove_if(strings.begin(), strings.end(),
                                 [&](const std::string& s) {
                                     if (rez::iequals_ascii(s, "END")) return true;
                                     return std::any_of(
                                         names.begin(), names.end(),
                                         [&](const std::string& n) { return rez::iequals_ascii(s, n); });
                                 }),
                  strings.end());
    if (!strings.empty()) {
        out += "\nVisible strings:\n";
        for (const std::string& s : strings) out += "- " + s + "\n";
    }

    if (rows >= 1 && !names.empty()) {
        std::vector<std::string> header;
        for (const std::string& n : names) header.push_back(csv_quote(n));
        out += "\nCSV data (first rows):\n" + join(header) + "\n";
        const size_t row_size = 4 * size_t{columns};
        const size_t available = data.size() > start ? data.size() - start : 0;
        size_t shown = std::min<size_t>(static_cast<size_t>(rows), kMaxRows);
        if (available >= row_size) {
            shown = std::min(available / row_size, shown);
            for (size_t r = 0; r < shown; ++r) {
                std::vector<std::string> cells;
                for (size_t c = 0; c < columns; ++c)
                    cells.push_back(num(rez::load_u32le(data.data() + start + r * row_size + 4 * c)));
                const std::string line = join(cells);
                if (!line.empty()) out += line + "\n";
            }
        } else {
            size_t p = start;
            for (size_t r = 0; r < shown && p < data.size(); ++r) {
                std::vector<std::string> cells;
                for (size_t c = 0; c < columns && p < data.size(); ++c) {
                    size_t end = p;
                    while (end < data.size() && data[end] != 0) ++end;
                    cells.push_back(
                        csv_quote(rez::trim(std::string(data.begin() + static_cast<std::ptrdiff_t>(p),
                                                        data.begin() + static_cast<std::ptrdiff_t>(end)))));
                    p = end + 1;
                }
                const std::string line = join(cells);
                if (!line.empty()) out += line + "\n";
            }
        }
    }
    out += truncation_note(declared, data.size());

    FormatText result;
    result.text = std::move(out);
    result.label = "CFT / LZMA / XOR 0x6D / CSV";
    result.entry_size = bytes.size();
    result.decoded_size = reported_decoded_size(declared, data.size());
    return result;
}

}  // namespace rezui
