// Scanning helpers for the game DAT body text. Every scan moves forward only, so a
// hostile body (long blank runs, endless unterminated keys) costs linear time.
#include "decode/game_dat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace rezui {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

size_t skip_blanks(const std::string& s, size_t pos) {
    while (pos < s.size() && is_blank(s[pos])) ++pos;
    return pos;
}

bool matches_word_ci(const std::string& s, size_t pos, const char* word) {
    for (size_t i = 0; word[i]; ++i) {
        if (pos + i >= s.size() || lower(s[pos + i]) != word[i]) return false;
    }
    return true;
}

// Length of the longest text at `pos` that could be a floating-point number; the C library
// then decides the exact value and extent. Keeps strtod away from the rest of a huge body.
size_t number_span(const std::string& s, size_t pos) {
    size_t p = pos;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    if (matches_word_ci(s, p, "infinity")) return p + 8 - pos;
    if (matches_word_ci(s, p, "inf")) return p + 3 - pos;
    if (matches_word_ci(s, p, "nan")) {
        p += 3;
        if (p < s.size() && s[p] == '(') {
            size_t q = p + 1;
            while (q < s.size() && (is_digit(s[q]) || (lower(s[q]) >= 'a' && lower(s[q]) <= 'z') ||
                                    s[q] == '_'))
                ++q;
            if (q < s.size() && s[q] == ')') p = q + 1;
        }
        return p - pos;
    }
    if (p + 1 < s.size() && s[p] == '0' && lower(s[p + 1]) == 'x') {
        size_t q = p + 2;
        while (q < s.size() && is_hex_digit(s[q])) ++q;
        if (q < s.size() && s[q] == '.') {
            ++q;
            while (q < s.size() && is_hex_digit(s[q])) ++q;
        }
        if (q < s.size() && lower(s[q]) == 'p') {
            size_t e = q + 1;
            if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
            if (e < s.size() && is_digit(s[e])) {
                while (e < s.size() && is_digit(s[e])) ++e;
                q = e;
            }
        }
        return q - pos;
    }
    while (p < s.size() && is_digit(s[p])) ++p;
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && is_digit(s[p])) ++p;
    }
    if (p < s.size() && lower(s[p]) == 'e') {
        size_t e = p + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
        if (e < s.size() && is_digit(s[e])) {
            while (e < s.size() && is_digit(s[e])) ++e;
            p = e;
        }
    }
    return p - pos;
}

constexpr size_t kLongNumber = 256;

// Plain decimal text of any length, shortened to its leading significant digits; nothing
// for other shapes (hexadecimal, infinity, NaN).
std::optional<double> convert_long_decimal(const std::string& s, size_t pos, size_t span) {
    const size_t stop = pos + span;
    size_t p = pos;
    std::string out;
    if (s[p] == '+' || s[p] == '-') out.push_back(s[p++]);
    if (p + 1 < stop && s[p] == '0' && lower(s[p + 1]) == 'x') return std::nullopt;
    if (p < stop && !is_digit(s[p]) && s[p] != '.') return std::nullopt;
    std::string digits;
    int64_t exponent = 0;  // value = 0.digits * 10^exponent
    bool seen_point = false, leading = true;
    for (; p < stop && (is_digit(s[p]) || (s[p] == '.' && !seen_point)); ++p) {
        if (s[p] == '.') {
            seen_point = true;
            continue;
        }
        if (leading && s[p] == '0') {
            if (seen_point) --exponent;
            continue;
        }
        leading = false;
        if (digits.size() < 40) digits.push_back(s[p]);
        if (!seen_point && exponent < (int64_t{1} << 40)) ++exponent;
    }
    if (p < stop && lower(s[p]) == 'e') {
        ++p;
        bool negative = false;
        if (p < stop && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
        int64_t e = 0;
        for (; p < stop && is_digit(s[p]); ++p)
            if (e < (int64_t{1} << 40)) e = e * 10 + (s[p] - '0');
        exponent += negative ? -e : e;
    }
    if (digits.empty()) digits.push_back('0');
    if (exponent > 100000) exponent = 100000;
    if (exponent < -100000) exponent = -100000;
    out += "0." + digits + "e" + std::to_string(exponent);
    return std::strtod(out.c_str(), nullptr);
}

// Integer from a run of digits and '-': the longest valid leading part must fit an int.
std::optional<int32_t> parse_int_run(const std::string& s, size_t pos) {
    pos = skip_blanks(s, pos);
    size_t p = pos;
    bool negative = false;
    if (p < s.size() && s[p] == '-') {
        negative = true;
        ++p;
    }
    if (p >= s.size() || !is_digit(s[p])) return std::nullopt;
    int64_t value = 0;
    const int64_t limit = negative ? int64_t{2147483648} : int64_t{2147483647};
    bool overflow = false;
    for (; p < s.size() && is_digit(s[p]); ++p) {
        if (!overflow) {
            value = value * 10 + (s[p] - '0');
            if (value > limit) overflow = true;
        }
    }
    if (overflow) return std::nullopt;
    return static_cast<int32_t>(negative ? -value : value);
}

// Up to `count` numbers after `pos`; stops at the first thing that is not a number.
size_t read_numbers(const std::string& s, size_t pos, double* out, size_t count) {
    size_t got = 0;
    while (got < count) {
        size_t end = 0;
        auto v = scan_number(s, pos, end);
        if (!v) break;
        out[got++] = *v;
        pos = end;
    }
    return got;
}

std::optional<size_t> find_star_key(const std::string& text, const std::string& key) {
    const size_t at = text.find("*" + key);
    if (at == std::string::npos) return std::nullopt;
    return at + key.size() + 1;
}

}  // namespace

std::optional<double> scan_number(const std::string& text, size_t pos, size_t& end) {
    const size_t start = skip_blanks(text, pos);
    const size_t span = number_span(text, start);
    if (span == 0) return std::nullopt;
    if (span > kLongNumber) {
        // The C library's exact conversion of a megabyte of digits can take ages; forty
        // significant digits decide every bit of a double anyway.
        if (auto v = convert_long_decimal(text, start, span)) {
            end = start + span;
            return v;
        }
    }
    const std::string lexeme = text.substr(start, span);
    char* stop = nullptr;
    const double value = std::strtod(lexeme.c_str(), &stop);
    if (stop == lexeme.c_str()) return std::nullopt;
    end = start + static_cast<size_t>(stop - lexeme.c_str());
    return value;
}

std::optional<size_t> find_paren_key(const std::string& text, const std::string& key,
                                     size_t start) {
    for (size_t p = text.find('(', start); p != std::string::npos; p = text.find('(', p + 1)) {
        const size_t k = skip_blanks(text, p + 1);
        if (text.compare(k, key.size(), key) == 0 && k + key.size() <= text.size()) return p;
    }
    return std::nullopt;
}

std::string read_quoted_value(const std::string& text, const std::string& key) {
    for (auto p = find_paren_key(text, key); p; p = find_paren_key(text, key, *p + 1)) {
        const size_t after_key = skip_blanks(text, *p + 1) + key.size();
        const size_t q = skip_blanks(text, after_key);
        if (q >= text.size() || text[q] != '"') continue;
        const size_t close = text.find('"', q + 1);
        // No closing quote here means none for any later occurrence either.
        if (close == std::string::npos) return {};
        return text.substr(q + 1, close - q - 1);
    }
    return {};
}

std::optional<DatTriple> read_paren_triple(const std::string& text, const std::string& key) {
    for (auto p = find_paren_key(text, key); p; p = find_paren_key(text, key, *p + 1)) {
        DatTriple t{};
        if (read_numbers(text, skip_blanks(text, *p + 1) + key.size(), t.data(), 3) == 3) return t;
    }
    return std::nullopt;
}

std::vector<DatTriple> read_all_paren_triples(const std::string& text, const std::string& key) {
    std::vector<DatTriple> all;
    for (auto p = find_paren_key(text, key); p; p = find_paren_key(text, key, *p + 1)) {
        DatTriple t{};
        if (read_numbers(text, skip_blanks(text, *p + 1) + key.size(), t.data(), 3) == 3)
            all.push_back(t);
    }
    return all;
}

std::optional<int32_t> read_paren_int(const std::string& text, const std::string& key) {
    const auto p = find_paren_key(text, key);
    if (!p) return std::nullopt;
    return parse_int_run(text, skip_blanks(text, *p + 1) + key.size());
}

std::optional<double> read_star_number(const std::string& text, const std::string& key) {
    const auto at = find_star_key(text, key);
    if (!at) return std::nullopt;
    size_t end = 0;
    return scan_number(text, *at, end);
}

std::optional<int32_t> read_star_int(const std::string& text, const std::string& key) {
    const auto at = find_star_key(text, key);
    if (!at) return std::nullopt;
    return parse_int_run(text, *at);
}

std::optional<DatTriple> read_star_triple(const std::string& text, const std::string& key) {
    const auto at = find_star_key(text, key);
    if (!at) return std::nullopt;
    DatTriple t{};
    if (read_numbers(text, *at, t.data(), 3) != 3) return std::nullopt;
    return t;
}

std::vector<PathSample> scan_samples(const std::string& text, size_t from) {
    std::vector<PathSample> samples;
    size_t pos = from;
    while (pos < text.size()) {
        if (pos > from) {
            const char prev = text[pos - 1];
            if (is_digit(prev) || prev == '-' || prev == '.') {
                ++pos;
                continue;
            }
        }
        size_t end = 0;
        const auto first = scan_number(text, pos, end);
        if (!first) {
            // Every later start inside the same blank run would fail on the same character.
            pos = is_blank(text[pos]) ? skip_blanks(text, pos) + 1 : pos + 1;
            continue;
        }
        double rest[3];
        const size_t first_end = end;
        if (read_numbers(text, first_end, rest, 3) == 3) {
            samples.push_back(PathSample{*first, rest[0], rest[1], rest[2]});
            size_t e = first_end;
            for (int i = 0; i < 3; ++i) scan_number(text, e, e);
            pos = e;
        } else {
            pos = first_end;
        }
    }
    return samples;
}

std::vector<std::string> split_dat_records(const std::string& body, const std::string& kind) {
    std::vector<size_t> starts;
    for (size_t p = body.find('('); p != std::string::npos; p = body.find('(', p + 1)) {
        const size_t k = skip_blanks(body, p + 1);
        if (body.compare(k, kind.size(), kind) != 0 || k + kind.size() > body.size()) continue;
        if (body.compare(k + kind.size(), 4, "Name") == 0) continue;
        starts.push_back(p);
    }
    std::vector<std::string> records;
    records.reserve(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : body.size();
        records.push_back(body.substr(starts[i], end - starts[i]));
    }
    return records;
}

std::string format_dat_number(double value) {
    const bool whole = std::fabs(std::fmod(value, 1.0)) < 1e-6;
    const char* fmt = whole ? "%.0f" : "%.6f";
    // Sized from the formatter itself: a value near the double range has over 300 digits.
    const int needed = std::snprintf(nullptr, 0, fmt, value);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(out.data(), out.size(), fmt, value);
    out.resize(static_cast<size_t>(needed));
    if (!whole && out.find('.') != std::string::npos) {
        while (!out.empty() && out.back() == '0') out.pop_back();
        if (!out.empty() && out.back() == '.') out.pop_back();
    }
    return out;
}

std::string format_triple(const DatTriple& t) {
    return format_dat_number(t[0]) + " " + format_dat_number(t[1]) + " " +
           format_dat_number(t[2]);
}

std::string escape_quoted(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

}  // namespace rezui
