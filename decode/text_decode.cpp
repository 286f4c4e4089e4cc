#include "decode/text_decode.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "archive/util.h"
#include "decode/korean_reading.h"
#include "decode/text_codepage.h"

namespace rezui {

namespace {

struct Candidate {
    const char* label;
    unsigned code_page;
};

constexpr std::array<Candidate, 3> kCandidates = {{
    {"UTF-8", 65001},
    {"CP949", 949},
    {"GB18030", kCodePageGb18030},
}};

constexpr std::array<const char*, 9> kTextExtensions = {"cfg", "csv", "ini", "json", "log",
                                                          "lua", "nut", "txt", "xml"};

constexpr std::array<const char*, 8> kReferenceSuffixes = {".png", ".dds", ".dtx", ".tga",
                                                             ".jpg", ".jpeg", ".bmp", ".bin"};

// Weights of the engine-text score. A text with every feature and no control character
// scores kScoreCeiling, which lets a search rule out a buffer by its controls alone.
constexpr long long kTexturesScore = 120;
constexpr long long kSpecularScore = 80;
constexpr long long kSpecularTexturesScore = 200;  // replaces the textures score
constexpr long long kMapNamesScore = 30;
constexpr long long kXmlScore = 60;
constexpr long long kSectionScore = 24;
constexpr long long kReferencesCap = 30;
constexpr long long kKeyValuesCap = 40;
constexpr long long kLinesScore = 8;
constexpr long long kControlPenalty = 10;
constexpr long long kScoreCeiling = std::max({kTexturesScore, kSpecularScore, kSpecularTexturesScore}) +
                                    kMapNamesScore + kXmlScore + kSectionScore + kReferencesCap + kKeyValuesCap +
                                    kLinesScore;

bool is_control(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

// The check every decoded text must pass: few control bytes and stray 0xFF / 0xFD.
bool passes_text_check(const std::string& text) {
    size_t bad = 0;
    for (unsigned char c : text)
        if (c == 0xFF || c == 0xFD || is_control(c)) ++bad;
    return bad <= std::max<size_t>(2, text.size() / 50);
}

// UTF-16 after a byte-order mark. Trailing NULs are dropped as whole units: dropping
// them as bytes first would cut the high byte off the last character of an LE text.
std::optional<std::string> decode_utf16(const uint8_t* data, size_t size, bool little_endian) {
    std::wstring units;
    units.reserve((size - 2) / 2);
    for (size_t i = 2; i + 1 < size; i += 2) {
        const unsigned lo = little_endian ? data[i] : data[i + 1];
        const unsigned hi = little_endian ? data[i + 1] : data[i];
        units.push_back(static_cast<wchar_t>(lo | (hi << 8)));
    }
    while (!units.empty() && units.back() == 0) units.pop_back();
    if (units.empty()) return std::string();
    std::string text = rez::to_utf8(units);
    // An empty result from characters means the conversion failed, not an empty text.
    if (text.empty() || !passes_text_check(text)) return std::nullopt;
    return text;
}

// Well-formed UTF-8 as the platform's strict conversion accepts it: no overlong forms,
// no encoded surrogates, nothing above U+10FFFF.
bool is_valid_utf8(const uint8_t* p, size_t size) {
    size_t i = 0;
    while (i < size) {
        // ASCII runs are the common case; take them eight bytes at a time.
        while (i + 8 <= size) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= size) break;
        const uint8_t b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (size - i < len || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

// Bytes that can start no UTF-8 sequence and continue none: each becomes one U+FFFD in
// the replacing conversion, so their count is a floor for its replacement count.
size_t never_utf8_bytes(const uint8_t* p, size_t size) {
    size_t n = 0;
    for (size_t i = 0; i < size; ++i) n += (p[i] == 0xC0 || p[i] == 0xC1 || p[i] >= 0xF5);
    return n;
}

std::string try_candidate(const uint8_t* data, size_t size, unsigned code_page) {
    if (code_page == 65001 && size <= static_cast<size_t>(INT_MAX)) {
        // The platform's round trip through UTF-16 gives well-formed UTF-8 back unchanged,
        // and would refuse input with too many bytes that are never UTF-8.
        if (is_valid_utf8(data, size)) return std::string(reinterpret_cast<const char*>(data), size);
        if (never_utf8_bytes(data, size) > std::max<size_t>(2, size / 50)) return std::string();
    }
    std::wstring wide;
    if (codepage_to_wide(data, size, code_page, true, wide) && !wide.empty()) return rez::to_utf8(wide);
    if (!codepage_to_wide(data, size, code_page, false, wide)) return std::string();
    const size_t converted = std::min<size_t>(size, INT_MAX);
    const int default_char = codepage_default_char(code_page);
    size_t bad = 0;
    for (wchar_t c : wide)
        if (c == 0xFFFD || (default_char >= 0 && c == static_cast<wchar_t>(default_char))) ++bad;
    if (bad > std::max<size_t>(2, converted / 50)) return std::string();
    return rez::to_utf8(wide);
}

// The candidate's text when it passes every check, else empty.
std::string accepted_reading(const uint8_t* data, size_t size, unsigned code_page) {
    std::string text = try_candidate(data, size, code_page);
    if (text.empty()) return text;
    if (text.size() >= 3 && text.find("\xEF\xBF\xBD") != std::string::npos) return std::string();
    if (!passes_text_check(text)) return std::string();
    return text;
}

// Every candidate text keeps the control bytes that stand at a character boundary: the
// byte before them is ASCII, which no code page here takes as a lead byte, so the control
// is a character of its own in each reading. (After a lead byte a reading may swallow it:
// code page 949 takes it as the trail byte of one bad character.) True once more of them
// than limit are found.
bool boundary_controls_exceed(const uint8_t* data, size_t size, size_t limit) {
    size_t controls = 0;
    for (size_t i = 0; i < size; ++i) {
        if (is_control(data[i]) && (i == 0 || data[i - 1] < 0x80) && ++controls > limit) return true;
    }
    return false;
}

// No code page makes more than 3 UTF-8 bytes of one input byte. More boundary controls
// than the text check allows for 3 * size therefore rule out every candidate before any
// conversion runs, which keeps the phase search of scrambled files quick on the many
// phases that give noise.
bool candidates_cannot_pass(const uint8_t* data, size_t size) {
    return boundary_controls_exceed(data, size, std::max<size_t>(2, size / 50 * 3 + (size % 50) * 3 / 50));
}

}  // namespace

OptionalTextPair decode_text_auto(const uint8_t* data, size_t size) {
    if (!data) size = 0;
    size_t n = size;
    while (n > 0 && data[n - 1] == 0) --n;

    if (n >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        std::string text(reinterpret_cast<const char*>(data) + 3, n - 3);
        if (passes_text_check(text)) return std::make_pair(std::move(text), std::string("UTF-8"));
    } else if (n >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        if (auto text = decode_utf16(data, size, true)) return std::make_pair(std::move(*text), std::string("UTF-16 LE"));
    } else if (n >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
        if (auto text = decode_utf16(data, size, false)) return std::make_pair(std::move(*text), std::string("UTF-16 BE"));
    }

    if (candidates_cannot_pass(data, n)) return std::nullopt;
    for (const Candidate& c : kCandidates) {
        std::string text = accepted_reading(data, n, c.code_page);
        if (text.empty()) continue;
        // Code page 949 also reads most GB2312 text; Chinese comes out as rare Hangul and
        // Hanja, and is then taken as GB18030 when that reads it too.
        if (c.code_page == 949 && !plausible_korean_reading(text)) {
            std::string chinese = accepted_reading(data, n, kCodePageGb18030);
            if (!chinese.empty()) return std::make_pair(std::move(chinese), std::string("GB18030"));
        }
        return std::make_pair(std::move(text), std::string(c.label));
    }
    return std::nullopt;
}

bool is_text_extension(const std::string& extension) {
    for (const char* e : kTextExtensions)
        if (rez::iequals_ascii(extension, e)) return true;
    return false;
}

bool looks_like_text(const std::string& bytes) {
    const size_t total = std::min<size_t>(bytes.size(), 8192);
    if (total == 0) return true;
    size_t printable = 0;
    bool structural = false;
    for (size_t i = 0; i < total; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if ((c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\r') ++printable;
        if (c && std::strchr("\r\n\"'():=[]_{}", c)) structural = true;
    }
    return printable * 100 >= total * 85 && structural;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t lf = text.find('\n', start);
        std::string piece = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        if (!piece.empty() && piece.back() == '\r') piece.pop_back();
        lines.push_back(std::move(piece));
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    return lines;
}

int count_file_references(const std::string& text) {
    const std::string lower = rez::to_lower_ascii(text);
    int count = 0;
    for (const char* suffix : kReferenceSuffixes) {
        const size_t len = std::strlen(suffix);
        for (size_t pos = lower.find(suffix); pos != std::string::npos; pos = lower.find(suffix, pos + len)) {
            const size_t after = pos + len;
            if (after < lower.size()) {
                const char c = lower[after];
                if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) continue;
            }
            if (count < INT_MAX) ++count;
        }
    }
    return count;
}

int count_text_lines_of_kind(const std::string& text, int mode) {
    int count = 0;
    for (const std::string& line : split_lines(text)) {
        bool hit = false;
        if (mode == 0) {
            const std::string t = rez::trim(line);
            hit = t.size() >= 3 && t.size() <= 82 && t.front() == '[' && t.back() == ']' &&
                  t.find_first_of("[]", 1) == t.size() - 1;
        } else if (mode == 1) {
            const size_t eq = line.find('=');
            hit = eq != std::string::npos && eq >= 1 && eq <= 120 && !rez::trim(line.substr(0, eq)).empty() &&
                  !rez::trim(line.substr(eq + 1)).empty();
        }
        if (hit && count < INT_MAX) ++count;
    }
    return count;
}

int score_lithtech_text(const std::string& text) {
    if (rez::trim(text).empty()) return 0;
    const std::string lower = rez::to_lower_ascii(text);
    const auto has = [&lower](const char* word) { return lower.find(word) != std::string::npos; };

    const bool textures = has("[textures]");
    long long score = textures ? kTexturesScore : 0;
    if (has("specularmapname")) score = textures ? kSpecularTexturesScore : kSpecularScore;
    if (has("normalmapname") || has("envcubemapname") || has("diffusemappingenabled")) score += kMapNamesScore;
    if (has("<?xml")) score += kXmlScore;
    if (count_text_lines_of_kind(text, 0) >= 1) score += kSectionScore;
    score += std::min<long long>(3LL * count_file_references(text), kReferencesCap);
    score += std::min<long long>(4LL * count_text_lines_of_kind(text, 1), kKeyValuesCap);
    const long long lines = static_cast<long long>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (lines >= 4) score += kLinesScore;
    long long controls = 0;
    for (unsigned char c : text)
        if (is_control(c)) ++controls;
    score -= kControlPenalty * controls;
    return static_cast<int>(std::max<long long>(score, INT_MIN));
}

bool lithtech_score_out_of_reach(const uint8_t* data, size_t size, int min_score) {
    if (min_score <= 0) return false;  // a blank text scores 0 whatever it holds
    if (min_score > kScoreCeiling) return true;
    if (!data) size = 0;
    size_t n = size;
    while (n > 0 && data[n - 1] == 0) --n;  // decode_text_auto drops these too
    // A UTF-16 reading makes its characters of byte pairs: its controls are not these bytes.
    if (n >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) return false;
    // Every other reading keeps the controls at character boundaries (boundary_controls_exceed),
    // and each of them costs the score its penalty.
    return boundary_controls_exceed(data, n, static_cast<size_t>((kScoreCeiling - min_score) / kControlPenalty));
}

size_t utf8_complete_prefix_length(const uint8_t* data, size_t size) {
    // Walk back over at most three continuation bytes to the lead byte of the last sequence.
    size_t back = 0;
    while (back < 3 && back < size && (data[size - 1 - back] & 0xC0) == 0x80) ++back;
    if (back == size) return size;
    const size_t lead_pos = size - 1 - back;
    const uint8_t lead = data[lead_pos];
    size_t need = 1;
    if ((lead & 0xE0) == 0xC0)
        need = 2;
    else if ((lead & 0xF0) == 0xE0)
        need = 3;
    else if ((lead & 0xF8) == 0xF0)
        need = 4;
    return (need > 1 && back + 1 < need) ? lead_pos : size;
}

}  // namespace rezui
