#include "decode/ltc.h"

#include <algorithm>

#include "archive/lzma.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "decode/lzss_ltc.h"
#include "decode/text_codepage.h"
#include "decode/text_decode.h"

namespace rezui {

const uint8_t kLtcMarker[4] = {0xC4, 0xE1, 0x59, 0x7B};
const uint8_t kLtcTableKey[16] = {0xC4, 0xE1, 0x59, 0x7B, 0x2D, 0x6A, 0x90, 0xF3,
                                  0xB1, 0x5E, 0x48, 0xC7, 0xA9, 0xD0, 0x3E, 0x61};

namespace {

constexpr size_t kLzmaCap = 0x20000000;
constexpr size_t kProbeSize = 256;
constexpr uint64_t kPhasesSearched = 512;
constexpr size_t kDumpBytes = 512;

const uint8_t kAltKey0[16] = {0x3F, 0x9A, 0x00, 0xC6, 0xE2, 0x14, 0x7B, 0xD8,
                              0x5A, 0x6C, 0x1F, 0x91, 0xB3, 0xE8, 0x27, 0x4D};
const uint8_t kAltKey1[4] = {0xC4, 0xE1, 0x59, 0x7B};
const uint8_t kAltKey2[4] = {0x8D, 0x2E, 0xF0, 0x63};
const uint8_t kAltKey3[4] = {0xB6, 0x93, 0x7A, 0x1E};

struct KeyRef {
    const uint8_t* key;
    size_t length;
};
const KeyRef kAltKeys[4] = {{kAltKey0, 16}, {kAltKey1, 4}, {kAltKey2, 4}, {kAltKey3, 4}};

bool starts_with_marker(const std::vector<uint8_t>& b) {
    return b.size() >= 4 && std::equal(kLtcMarker, kLtcMarker + 4, b.begin());
}

std::vector<uint8_t> xor_with(const std::vector<uint8_t>& bytes, const uint8_t* key, size_t length) {
    std::vector<uint8_t> out(bytes);
    size_t k = 0;
    for (uint8_t& b : out) {
        b ^= key[k];
        if (++k == length) k = 0;
    }
    return out;
}

// The printable test looks at the first 8 KiB of the decoded text only, and every reading
// the text decoder may choose (byte-order mark, UTF-8, CP949, GB18030) converts from the
// start, character by character. So the start of the buffer alone can rule text out, which
// saves decoding many megabytes per attempt on large files that are not text at all.
constexpr size_t kTextWindow = 8192;
constexpr size_t kPrefixBytes = 65536;

// False only when no reading of the buffer can pass the printable test. `total` is the
// buffer length without trailing NUL bytes; prefix holds at least kPrefixBytes of it.
bool may_read_as_text(const uint8_t* prefix, size_t total) {
    if (total <= kPrefixBytes) return true;  // decoding it whole is cheap
    auto window_ok = [](std::wstring wide, bool& decided) {
        // The last characters may come from a sequence cut at the prefix end.
        wide.resize(wide.size() > 4 ? wide.size() - 4 : 0);
        const std::string text = rez::to_utf8(wide);
        decided = text.size() >= kTextWindow;
        return !decided || looks_like_text(text.substr(0, kTextWindow));
    };
    bool decided = false;
    if (prefix[0] == 0xEF && prefix[1] == 0xBB && prefix[2] == 0xBF) {
        if (looks_like_text(std::string(reinterpret_cast<const char*>(prefix) + 3, kTextWindow))) return true;
    }
    if ((prefix[0] == 0xFF && prefix[1] == 0xFE) || (prefix[0] == 0xFE && prefix[1] == 0xFF)) {
        const bool le = prefix[0] == 0xFF;
        std::wstring units;
        for (size_t i = 2; i + 1 < kPrefixBytes; i += 2)
            units.push_back(static_cast<wchar_t>(le ? prefix[i] | (prefix[i + 1] << 8)
                                                    : prefix[i + 1] | (prefix[i] << 8)));
        if (window_ok(units, decided)) return true;
    }
    for (unsigned code_page : {65001u, 949u, kCodePageGb18030}) {
        std::wstring wide;
        if (!codepage_to_wide(prefix, kPrefixBytes, code_page, false, wide)) return true;
        if (window_ok(std::move(wide), decided)) return true;
    }
    return false;
}

size_t without_trailing_nuls(const std::vector<uint8_t>& bytes) {
    size_t n = bytes.size();
    while (n > 0 && bytes[n - 1] == 0) --n;
    return n;
}

// The decoded text when the bytes decode and read as text; min16 asks for 16 bytes or more.
std::optional<std::pair<std::string, std::string>> accepted_text(const std::vector<uint8_t>& bytes,
                                                                 bool min16) {
    if (!may_read_as_text(bytes.data(), without_trailing_nuls(bytes))) return std::nullopt;
    auto decoded = decode_text_auto(bytes.data(), bytes.size());
    if (!decoded || !looks_like_text(decoded->first)) return std::nullopt;
    if (min16 && decoded->first.size() < 16) return std::nullopt;
    return decoded;
}

std::optional<LtcText> make(std::pair<std::string, std::string> text, std::string label, uint64_t entry_size,
                            uint64_t decoded_size) {
    LtcText r;
    r.text = std::move(text.first);
    r.encoding = std::move(text.second);
    r.label = std::move(label);
    r.entry_size = entry_size;
    r.decoded_size = decoded_size;
    return r;
}

std::optional<LtcText> try_lzss(const std::vector<uint8_t>& candidate, uint64_t entry_size,
                                const std::string& label) {
    auto out = lzss_decompress_ltc(candidate);
    if (!out) return std::nullopt;
    auto text = accepted_text(*out, false);
    if (!text) return std::nullopt;
    return make(std::move(*text), label, entry_size, out->size());
}

// The LZMA-or-unchanged attempt. `tested_plain` tells whether the candidate itself went to
// the text decoder (no LZMA header), so that a later plain attempt can reuse the answer.
std::optional<LtcText> try_lzma_or_unchanged(const std::vector<uint8_t>& candidate, uint64_t entry_size,
                                             const std::string& label, bool& tested_plain,
                                             std::optional<std::pair<std::string, std::string>>& plain_text) {
    tested_plain = false;
    if (rez::is_lzma_alone_header(candidate.data(), candidate.size())) {
        std::vector<uint8_t> out;
        if (!rez::lzma_decode(candidate.data(), candidate.size(), out, kLzmaCap)) return std::nullopt;
        auto text = accepted_text(out, false);
        if (!text) return std::nullopt;
        return make(std::move(*text), label, entry_size, out.size());
    }
    tested_plain = true;
    plain_text = accepted_text(candidate, false);
    if (!plain_text) return std::nullopt;
    return make(*plain_text, label, entry_size, candidate.size());
}

std::optional<LtcText> try_plain(const std::vector<uint8_t>& candidate, uint64_t entry_size,
                                 const std::string& label,
                                 const std::optional<std::pair<std::string, std::string>>* known) {
    // Same bytes as the unchanged attempt: its verdict stands, only the length rule is new.
    auto text = known ? *known : accepted_text(candidate, false);
    if (!text || text->first.size() < 16) return std::nullopt;
    return make(std::move(*text), label, entry_size, candidate.size());
}

void rez_crypto_apply(std::vector<uint8_t>& data, size_t count, uint64_t phase, bool dec) {
    const std::vector<uint8_t>& table = rez::rez_crypto_table();
    const size_t length = table.size();
    if (length == 0) return;
    size_t t = static_cast<size_t>(phase % length);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t k = table[t];
        const uint8_t c = data[i];
        data[i] = dec ? static_cast<uint8_t>((~c ^ k) + 0x49) : static_cast<uint8_t>(~((c - 0x49) ^ k));
        if (++t == length) t = 0;
    }
}

bool probe_passes(const std::vector<uint8_t>& probe) {
    if (probe[0] == 0x5D || probe[0] == 0x08) return true;
    if (probe[0] == 0 && probe[1] == 0 && probe[2] == 0 && probe[3] == 0) return true;
    size_t printable = 0;
    for (uint8_t c : probe)
        if ((c >= 0x20 && c <= 0x7E) || c == 0x09 || c == 0x0A || c == 0x0D) ++printable;
    return printable * 100 >= probe.size() * 60;
}

std::string num(uint64_t v) { return std::to_string(v); }

}  // namespace

std::optional<LtcText> ltc_buffer_to_text(const std::vector<uint8_t>& candidate, uint64_t entry_size,
                                          const std::string& label_prefix) {
    if (auto r = try_lzss(candidate, entry_size, label_prefix + " -> LTC native -> LTA")) return r;
    bool tested_plain = false;
    std::optional<std::pair<std::string, std::string>> plain;
    if (auto r =
            try_lzma_or_unchanged(candidate, entry_size, label_prefix + " -> LZMA text", tested_plain, plain))
        return r;
    return try_plain(candidate, entry_size, label_prefix + " text", tested_plain ? &plain : nullptr);
}

std::optional<LtcText> rez_crypto_try_phase(const std::vector<uint8_t>& bytes, uint64_t phase, bool dec) {
    const size_t probe_size = std::min(bytes.size(), kProbeSize);
    if (probe_size < 4) return std::nullopt;
    std::vector<uint8_t> probe(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(probe_size));
    rez_crypto_apply(probe, probe.size(), phase, dec);
    if (!probe_passes(probe)) return std::nullopt;

    // Descramble the start first: most probes that pass lead nowhere, and the whole buffer
    // is only worth descrambling when the start could be an LZMA frame, an LZSS stream or text.
    {
        const size_t n = bytes.size();
        size_t total = n;
        const std::vector<uint8_t>& table = rez::rez_crypto_table();
        while (total > 0) {
            const uint8_t k = table[(phase + total - 1) % table.size()];
            const uint8_t c = bytes[total - 1];
            const uint8_t plain =
                dec ? static_cast<uint8_t>((~c ^ k) + 0x49) : static_cast<uint8_t>(~((c - 0x49) ^ k));
            if (plain != 0) break;
            --total;
        }
        std::vector<uint8_t> start(bytes.begin(),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, kPrefixBytes)));
        rez_crypto_apply(start, start.size(), phase, dec);
        const bool lzma = rez::is_lzma_alone_header(start.data(), start.size());
        const bool lzss = start[0] == 0 && start[1] == 0 && start[2] == 0 && start[3] == 0;
        if (!lzma && !lzss && !may_read_as_text(start.data(), total)) return std::nullopt;
    }
    std::vector<uint8_t> data(bytes);
    rez_crypto_apply(data, data.size(), phase, dec);
    const std::string prefix = std::string("RezCrypto ") + (dec ? "dec" : "enc") + " phase-" + num(phase);
    const uint64_t n = bytes.size();

    // Plain first here; the unchanged attempt then repeats its verdict on the same bytes.
    auto plain = accepted_text(data, false);
    if (plain && plain->first.size() >= 16) return make(*plain, prefix + " text", n, data.size());
    if (rez::is_lzma_alone_header(data.data(), data.size())) {
        std::vector<uint8_t> out;
        if (rez::lzma_decode(data.data(), data.size(), out, kLzmaCap)) {
            if (auto text = accepted_text(out, false))
                return make(std::move(*text), prefix + " -> LZMA text", n, out.size());
        }
    } else if (plain) {
        return make(std::move(*plain), prefix + " -> LZMA text", n, data.size());
    }
    return try_lzss(data, n, prefix + " -> LTC native -> LTA");
}

std::optional<LtcText> rez_crypto_search_phases(const std::vector<uint8_t>& bytes) {
    const uint64_t phases = std::min<uint64_t>(rez::rez_crypto_table().size(), kPhasesSearched);
    for (uint64_t p = 0; p < phases; ++p) {
        if (auto r = rez_crypto_try_phase(bytes, p, true)) return r;
        if (auto r = rez_crypto_try_phase(bytes, p, false)) return r;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ltc_xor_table_key(const std::vector<uint8_t>& bytes) {
    return xor_with(bytes, kLtcTableKey, sizeof(kLtcTableKey));
}

std::optional<std::vector<uint8_t>> ltc_xor_derived_key(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 4) return std::nullopt;
    const uint8_t key[4] = {bytes[0], bytes[1], bytes[2], bytes[3]};
    if ((key[0] | key[1] | key[2] | key[3]) == 0) return std::nullopt;
    return xor_with(bytes, key, 4);
}

std::optional<std::pair<std::vector<uint8_t>, uint64_t>> ltc_xor_alt_keys(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 4) return std::nullopt;
    for (uint64_t k = 0; k < 4; ++k) {
        const KeyRef& key = kAltKeys[k];
        // Only the first four bytes decide; XOR the whole buffer for the key that fits.
        bool zero = true;
        for (size_t i = 0; i < 4; ++i) zero = zero && (bytes[i] ^ key.key[i % key.length]) == 0;
        if (zero) return std::make_pair(xor_with(bytes, key.key, key.length), k);
    }
    return std::nullopt;
}

std::string ltc_hex_dump(const std::vector<uint8_t>& bytes, bool marker_present) {
    const size_t n = bytes.size();
    const size_t shown = std::min(n, kDumpBytes);
    std::string out =
        "; LTC raw hex dump (" + num(n) + " bytes, showing first " + num(shown) + ")\n; First 8 bytes: ";
    char buf[128];
    for (size_t i = 0; i < std::min<size_t>(n, 8); ++i) {
        rez::format(buf, sizeof(buf), "%02X ", bytes[i]);
        out += buf;
    }
    out += std::string("\n; Marrowind magic (C4 E1 59 7B): ") + (marker_present ? "yes" : "no") + "\n";
    if (n >= 4) {
        rez::format(buf, sizeof(buf),
                    "; If XOR-encrypted, derived 4-byte key would be: %02X %02X %02X %02X\n", bytes[0],
                    bytes[1], bytes[2], bytes[3]);
        out += buf;
    }
    out += "\n";
    out += rez::hex_dump(bytes.data(), shown, shown);
    if (n > kDumpBytes) out += "... (" + num(n - kDumpBytes) + " more bytes)\n";
    return out;
}

std::optional<LtcText> ltc_add_header(const std::string& name_utf8, std::optional<LtcText> result) {
    if (!result) return result;
    result->text = "; decoded from " + name_utf8 + "\n; " + result->label + ", bytes " +
                   num(result->entry_size) + " -> " + num(result->decoded_size) + "\n\n" + result->text;
    return result;
}

std::optional<LtcText> decode_ltc_preview(const std::vector<uint8_t>& bytes, const std::string& name_utf8) {
    const uint64_t n = bytes.size();
    const bool marker = starts_with_marker(bytes);

    // 1: plain or LZMA-framed text.
    {
        std::vector<uint8_t> unpacked;
        bool have = true;
        const bool lzma = rez::is_lzma_alone_header(bytes.data(), bytes.size());
        if (lzma) have = rez::lzma_decode(bytes.data(), bytes.size(), unpacked, kLzmaCap);
        const std::vector<uint8_t>& decoded = lzma ? unpacked : bytes;
        if (have) {
            if (auto text = accepted_text(decoded, false)) {
                const uint64_t tested = decoded.size();
                return ltc_add_header(
                    name_utf8,
                    make(std::move(*text), tested == n ? "LTC text" : "LZMA-compressed LTC", n, tested));
            }
        }
    }
    // 2: the marker scheme.
    if (marker) {
        if (auto r = ltc_buffer_to_text(*ltc_xor_table_key(bytes), n, "Marrowind XOR"))
            return ltc_add_header(name_utf8, std::move(r));
    }
    // 3: the file's own first four bytes as the key.
    if (auto derived = ltc_xor_derived_key(bytes)) {
        if (auto r = ltc_buffer_to_text(*derived, n, "Derived XOR key"))
            return ltc_add_header(name_utf8, std::move(r));
    }
    // 4: the first alternative key that zeroes the header, and only that one.
    if (auto alt = ltc_xor_alt_keys(bytes)) {
        if (auto r = ltc_buffer_to_text(alt->first, n, "Alt XOR key-" + num(alt->second)))
            return ltc_add_header(name_utf8, std::move(r));
    }
    // 5 and 6: the archive's byte cipher, also behind the marker layer.
    if (auto r = rez_crypto_search_phases(bytes)) return ltc_add_header(name_utf8, std::move(r));
    if (marker) {
        if (auto r = rez_crypto_search_phases(*ltc_xor_table_key(bytes)))
            return ltc_add_header(name_utf8, std::move(r));
    }
    // 7: the payload as it is.
    if (auto r = ltc_buffer_to_text(bytes, n, "Raw LTC")) return ltc_add_header(name_utf8, std::move(r));

    LtcText failed;
    failed.text = ltc_hex_dump(bytes, marker);
    failed.encoding = "raw/hex";
    failed.label = "ALL DECODE STRATEGIES FAILED - raw " + num(n) + " bytes";
    if (marker) failed.label += " (Marrowind XOR detected)";
    failed.entry_size = failed.decoded_size = n;
    return ltc_add_header(name_utf8, std::move(failed));
}

}  // namespace rezui
