#include "decode/game_formats.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "archive/lzma.h"
#include "archive/util.h"
#include "decode/byte_read.h"
#include "decode/text_decode.h"

namespace rezui {
namespace {

constexpr std::array<const char*, 15> kExtensions = {"apf",  "cft",  "fcf",  "fxf",  "fxo",
                                                     "nav",  "nav2", "nav3", "nav4", "nav5",
                                                     "nav6", "ref",  "txt",  "wav",  "wave"};
constexpr uint64_t kBinaryLimit = 1048576;
constexpr uint64_t kTextLimit = 4194304;
constexpr uint64_t kLzmaPreviewCap = 134217728;
constexpr uint64_t kMaxStatedSize = 2147483647;

std::string num(uint64_t v) { return std::to_string(v); }

// The first `words` little-endian int32 values, signed, joined by ", ".
std::string value_list(const std::vector<uint8_t>& data, size_t words) {
    std::string out;
    for (size_t i = 0; i < words; ++i) {
        if (i) out += ", ";
        out += std::to_string(read_i32_at(data, 4 * i));
    }
    return out;
}

void append_strings(std::string& out, const char* heading, const std::vector<std::string>& strings) {
    if (strings.empty()) return;
    out += heading;
    for (const std::string& s : strings) out += "- " + s + "\n";
}

struct Payload {
    std::vector<uint8_t> data;
    bool is_lzma = false;
    uint64_t declared = 0;

    uint64_t decoded() const { return data.size(); }
    std::string summary(const std::string& kind, uint64_t entry_size) const {
        return storage_summary(is_lzma, kind, entry_size, declared, decoded());
    }
};

std::optional<Payload> load(const std::vector<uint8_t>& bytes, uint64_t limit) {
    Payload p;
    if (!load_preview_payload(bytes, limit, p.data, p.is_lzma, p.declared)) return std::nullopt;
    return p;
}

FormatText result(std::string text, std::string label, uint64_t entry_size, const Payload& p) {
    FormatText r;
    r.text = std::move(text);
    r.label = std::move(label);
    r.entry_size = entry_size;
    r.decoded_size = reported_decoded_size(p.declared, p.decoded());
    return r;
}

FormatText empty_result(std::string text, std::string label) {
    FormatText r;
    r.text = std::move(text);
    r.label = std::move(label);
    return r;
}

std::optional<FormatText> preview_navigation(const std::vector<uint8_t>& bytes, const std::string& name,
                                             const std::string& ext) {
    auto p = load(bytes, kBinaryLimit);
    if (!p) return std::nullopt;
    const std::vector<uint8_t>& d = p->data;
    if (d.size() < 16 || !std::equal(d.begin() + 12, d.begin() + 16, "VAND")) return std::nullopt;
    std::string out =
        "LithTech VAND navigation data\nFile: " + name + "\nExtension layer: " + rez::to_upper_ascii(ext) +
        "\nStorage: " + p->summary("NAV", bytes.size()) + "\nVersion: " + std::to_string(read_i32_at(d, 0)) +
        "\nLayer mask: " + std::to_string(read_i32_at(d, 4)) +
        "\nDeclared payload bytes: " + std::to_string(read_i32_at(d, 8)) +
        "\nVAND version: " + std::to_string(d.size() >= 20 ? read_i32_at(d, 16) : 0) + "\n\n" +
        "Header int32 values:\n" + value_list(d, std::min<size_t>(d.size(), 96) / 4);
    append_strings(out, "\n\nEmbedded strings:\n", extract_visible_strings(d, 4, 16));
    out += "\n\nFirst bytes:\n" + hex_rows(d, 128);
    out += truncation_note(p->declared, p->decoded());
    return result(std::move(out), p->summary("NAV/VAND", bytes.size()), bytes.size(), *p);
}

std::optional<FormatText> preview_generic_binary(const std::vector<uint8_t>& bytes, const std::string& name,
                                                 const std::string& kind) {
    if (bytes.empty()) return empty_result(kind + "\nFile: " + name + "\nEmpty file", kind);
    auto p = load(bytes, kBinaryLimit);
    if (!p) return std::nullopt;
    const std::vector<uint8_t>& d = p->data;
    std::string out = kind + "\nFile: " + name + "\nStorage: " + p->summary(kind, bytes.size());
    if (d.size() == 4 && d[0] == 0xFF && d[1] == 0xFF && d[2] == 0xFF && d[3] == 0xFF) {
        out += "\nSentinel: 0xFFFFFFFF\n";
    } else {
        if (d.size() >= 4)
            out += "\n\nInitial int32 values:\n" + value_list(d, std::min<size_t>(d.size(), 64) / 4);
        append_strings(out, "\n\nEmbedded strings:\n", extract_visible_strings(d, 4, 48));
        out += "\n\nFirst bytes:\n" + hex_rows(d, 128);
    }
    out += truncation_note(p->declared, p->decoded());
    return result(std::move(out), p->summary(kind, bytes.size()), bytes.size(), *p);
}

std::optional<FormatText> preview_effect_catalog(const std::vector<uint8_t>& bytes, const std::string& name) {
    auto p = load(bytes, kBinaryLimit);
    if (!p) return std::nullopt;
    const std::vector<uint8_t>& d = p->data;
    std::string out =
        "ClientFX binary catalog\nFile: " + name + "\nStorage: " + p->summary("FXF", bytes.size());
    if (d.size() >= 8)
        out +=
            "\nEntry count: " + std::to_string(read_i32_at(d, 0)) + "\nVersion: " + std::to_string(read_i32_at(d, 4));
    append_strings(out, "\n\nNames and class strings:\n", extract_visible_strings(d, 4, 96));
    out += truncation_note(p->declared, p->decoded());
    return result(std::move(out), p->summary("FXF", bytes.size()), bytes.size(), *p);
}

std::optional<FormatText> preview_text_file(const std::vector<uint8_t>& bytes, const std::string& name,
                                            const std::string& ext) {
    if (bytes.empty()) return empty_result("", "Empty text");
    auto p = load(bytes, kTextLimit);
    if (!p) return std::nullopt;
    const bool truncated = p->declared > p->decoded();
    // A prefix cut at the limit may end inside a UTF-8 character, which alone would make
    // the whole prefix fail as UTF-8.
    const size_t usable =
        truncated ? utf8_complete_prefix_length(p->data.data(), p->data.size()) : p->data.size();
    auto text = decode_text_auto(p->data.data(), usable);
    if (!text) return preview_other_game_format(bytes, name, "ref");
    std::string out = std::move(text->first);
    if (truncated)
        out += "\n\n[Preview truncated after " + num(p->decoded()) + " of " + num(p->declared) +
               " decoded bytes.]";
    const std::string kind = ext.empty() ? "Text" : rez::to_upper_ascii(ext);
    return result(std::move(out), (p->is_lzma ? "LZMA-compressed " : "") + kind + " / " + text->second,
                  bytes.size(), *p);
}

}  // namespace

std::string normalize_extension(const std::string& ext) {
    std::string s = rez::trim(ext);
    size_t dots = 0;
    while (dots < s.size() && s[dots] == '.') ++dots;
    return rez::to_lower_ascii(s.substr(dots));
}

bool is_nav_extension(const std::string& ext) {
    if (ext.size() < 3 || !rez::iequals_ascii(ext.substr(0, 3), "nav")) return false;
    return std::all_of(ext.begin() + 3, ext.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool is_other_game_format(const std::string& name_utf8, const std::string& extension) {
    const std::string ext = normalize_extension(extension);
    for (const char* e : kExtensions)
        if (rez::iequals_ascii(ext, e)) return true;
    return is_nav_extension(normalize_extension(rez::extension_of(name_utf8)));
}

bool load_preview_payload(const std::vector<uint8_t>& bytes, uint64_t limit, std::vector<uint8_t>& out,
                          bool& is_lzma, uint64_t& declared_size) {
    out.clear();
    is_lzma = rez::is_lzma_alone_header(bytes.data(), bytes.size());
    declared_size = bytes.size();
    if (!is_lzma) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(limit, bytes.size()));
        out.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        return true;
    }
    if (bytes.size() < 13 || (bytes[0] != 0x5D && bytes[0] != 0x08)) return false;
    uint64_t stated = 0;
    for (int i = 7; i >= 0; --i) stated = (stated << 8) | bytes[5 + i];
    if (stated < 1 || stated > kMaxStatedSize) return false;
    declared_size = stated;
    return rez::lzma_decode(bytes.data(), bytes.size(), out, kLzmaPreviewCap, limit, true);
}

std::string storage_summary(bool is_lzma, const std::string& kind, uint64_t entry_size,
                            uint64_t declared_size, uint64_t decoded_size) {
    if (!is_lzma) return kind + ", " + num(entry_size) + " bytes";
    std::string s =
        "LZMA-compressed " + kind + ", " + num(entry_size) + " bytes -> " + num(declared_size) + " bytes";
    if (declared_size > decoded_size) s += ", previewed " + num(decoded_size);
    return s;
}

std::string truncation_note(uint64_t declared_size, uint64_t decoded_size) {
    if (declared_size <= decoded_size) return {};
    return "\nPreview truncated after " + num(decoded_size) + " of " + num(declared_size) +
           " decoded bytes.\n";
}

uint64_t reported_decoded_size(uint64_t declared_size, uint64_t decoded_size) {
    return std::min<uint64_t>(std::max(declared_size, decoded_size), 4294967295u);
}

std::vector<std::string> extract_visible_strings(const std::vector<uint8_t>& data, uint64_t min_length,
                                                 uint64_t max_count) {
    std::vector<std::string> found;
    std::string run;
    auto flush = [&] {
        if (run.size() >= min_length) found.push_back(rez::trim(run));
        run.clear();
    };
    for (uint8_t c : data) {
        if (c >= 0x20 && c <= 0x7E) {
            run.push_back(static_cast<char>(c));
            continue;
        }
        flush();
        if (found.size() >= max_count) break;
    }
    if (found.size() < max_count) flush();

    std::vector<std::string> kept;
    std::unordered_set<std::string> seen;
    for (std::string& s : found) {
        if (s.size() < min_length) continue;
        if (!seen.insert(rez::to_lower_ascii(s)).second) continue;
        kept.push_back(std::move(s));
    }
    if (kept.size() > max_count) kept.resize(static_cast<size_t>(max_count));
    return kept;
}

std::string hex_rows(const std::vector<uint8_t>& data, uint64_t limit) { return hex_byte_rows(data, limit, 8, "  "); }

std::optional<FormatText> preview_other_game_format(const std::vector<uint8_t>& bytes,
                                                    const std::string& name_utf8,
                                                    const std::string& extension) {
    std::string ext = normalize_extension(extension);
    if (ext.empty()) ext = normalize_extension(rez::extension_of(name_utf8));
    if (ext == "cft") return preview_cft_table(bytes, name_utf8);
    if (ext == "wav" || ext == "wave") return preview_wave(bytes, name_utf8);
    if (is_nav_extension(ext)) return preview_navigation(bytes, name_utf8, ext);
    if (ext == "fxo") return preview_generic_binary(bytes, name_utf8, "Compiled FXO shader");
    if (ext == "apf") return preview_generic_binary(bytes, name_utf8, "APF path data");
    if (ext == "ref") return preview_generic_binary(bytes, name_utf8, "REF reference data");
    if (ext == "fxf") return preview_effect_catalog(bytes, name_utf8);
    return preview_text_file(bytes, name_utf8, ext);
}

}  // namespace rezui
