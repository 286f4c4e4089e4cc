// Scanning helpers for the game DAT body text. Every scan moves forward only, so a
// hostile body (long blank runs, endless unterminated keys) costs linear time.
#include "decode/game_dat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace rezui {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

size_t skip_blanks(std::string_view s, size_t pos) {
    while (pos < s.size() && is_blank(s[pos])) ++pos;
    return pos;
}

bool matches_word_ci(std::string_view s, size_t pos, const char* word) {
    for (size_t i = 0; word[i]; ++i) {
        if (pos + i >= s.size() || lower(s[pos + i]) != word[i]) return false;
    }
    return true;
}

// Length of the longest text at `pos` that could be a floating-point number; the C library
// then decides the exact value and extent. Keeps strtod away from the rest of a huge body.
size_t number_span(std::string_view s, size_t pos) {
    size_t p = pos;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    if (matches_word_ci(s, p, "infinity")) return p + 8 - pos;
    if (matches_word_ci(s, p, "inf")) return p + 3 - pos;
    if (matches_word_ci(s, p, "nan")) {
        p += 3;
        if (p < s.size() && s[p] == '(') {
            size_t q = p + 1;
            while (q < s.size() &&
                   (is_digit(s[q]) || (lower(s[q]) >= 'a' && lower(s[q]) <= 'z') || s[q] == '_'))
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
std::optional<double> convert_long_decimal(std::string_view s, size_t pos, size_t span) {
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
std::optional<int32_t> parse_int_run(std::string_view s, size_t pos) {
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
size_t read_numbers(std::string_view s, size_t pos, double* out, size_t count, size_t* end_out = nullptr) {
    size_t got = 0;
    while (got < count) {
        size_t end = 0;
        auto v = scan_number(s, pos, end);
        if (!v) break;
        out[got++] = *v;
        pos = end;
    }
    if (end_out) *end_out = pos;
    return got;
}

std::optional<size_t> find_star_key(std::string_view text, std::string_view key) {
    const size_t at = text.find(std::string("*").append(key));
    if (at == std::string::npos) return std::nullopt;
    return at + key.size() + 1;
}

}  // namespace

std::optional<double> scan_number(std::string_view text, size_t pos, size_t& end) {
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
    // Plain decimals (the bulk of every body) go through the fast exact parser; anything
    // it reads differently from the C library (a '+' sign, hexadecimal, out of range) goes
    // to strtod on a bounded copy.
    const char* first = text.data() + start;
    const char* digits = first + (text[start] == '+' ? 1 : 0);
    if (digits < first + span && (is_digit(*digits) || *digits == '.' || *digits == '-')) {
        double value = 0;
        const auto [ptr, ec] = std::from_chars(digits, first + span, value, std::chars_format::general);
        if (ec == std::errc() && !(ptr - digits >= 2 && digits[0] == '0' && lower(digits[1]) == 'x')) {
            const bool hex_follows = ptr < first + span && lower(*ptr) == 'x';
            if (!hex_follows) {
                end = static_cast<size_t>(ptr - text.data());
                return value;
            }
        }
    }
    const std::string lexeme(text.substr(start, span));
    char* stop = nullptr;
    const double value = std::strtod(lexeme.c_str(), &stop);
    if (stop == lexeme.c_str()) return std::nullopt;
    end = start + static_cast<size_t>(stop - lexeme.c_str());
    return value;
}

std::optional<size_t> find_paren_key(std::string_view text, std::string_view key, size_t start) {
    for (size_t p = text.find('(', start); p != std::string::npos; p = text.find('(', p + 1)) {
        const size_t k = skip_blanks(text, p + 1);
        if (text.compare(k, key.size(), key) == 0 && k + key.size() <= text.size()) return p;
    }
    return std::nullopt;
}

std::string read_quoted_value(std::string_view text, std::string_view key) {
    for (auto p = find_paren_key(text, key); p; p = find_paren_key(text, key, *p + 1)) {
        const size_t after_key = skip_blanks(text, *p + 1) + key.size();
        const size_t q = skip_blanks(text, after_key);
        if (q >= text.size() || text[q] != '"') continue;
        const size_t close = text.find('"', q + 1);
        // No closing quote here means none for any later occurrence either.
        if (close == std::string::npos) return {};
        return std::string(text.substr(q + 1, close - q - 1));
    }
    return {};
}

std::optional<DatTriple> read_paren_triple(std::string_view text, std::string_view key) {
    for (auto p = find_paren_key(text, key); p; p = find_paren_key(text, key, *p + 1)) {
        DatTriple t{};
        if (read_numbers(text, skip_blanks(text, *p + 1) + key.size(), t.data(), 3) == 3) return t;
    }
    return std::nullopt;
}

std::vector<DatTriple> read_all_paren_triples(std::string_view text, std::string_view key) {
    std::vector<DatTriple> all;
    for (auto p = find_paren_key(text, key); p; p = find_paren_key(text, key, *p + 1)) {
        DatTriple t{};
        if (read_numbers(text, skip_blanks(text, *p + 1) + key.size(), t.data(), 3) == 3) all.push_back(t);
    }
    return all;
}

std::optional<int32_t> read_paren_int(std::string_view text, std::string_view key) {
    const auto p = find_paren_key(text, key);
    if (!p) return std::nullopt;
    return parse_int_run(text, skip_blanks(text, *p + 1) + key.size());
}

std::optional<double> read_star_number(std::string_view text, std::string_view key) {
    const auto at = find_star_key(text, key);
    if (!at) return std::nullopt;
    size_t end = 0;
    return scan_number(text, *at, end);
}

std::optional<int32_t> read_star_int(std::string_view text, std::string_view key) {
    const auto at = find_star_key(text, key);
    if (!at) return std::nullopt;
    return parse_int_run(text, *at);
}

std::optional<DatTriple> read_star_triple(std::string_view text, std::string_view key) {
    const auto at = find_star_key(text, key);
    if (!at) return std::nullopt;
    DatTriple t{};
    if (read_numbers(text, *at, t.data(), 3) != 3) return std::nullopt;
    return t;
}

std::vector<PathSample> scan_samples(std::string_view text, size_t from) {
    std::vector<PathSample> samples;
    scan_samples_into(text, from, [&](const PathSample& s) { samples.push_back(s); });
    return samples;
}

size_t scan_samples_into(std::string_view text, size_t from,
                         const std::function<void(const PathSample&)>& sink) {
    size_t count = 0;
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
        size_t rest_end = first_end;
        if (read_numbers(text, first_end, rest, 3, &rest_end) == 3) {
            sink(PathSample{*first, rest[0], rest[1], rest[2]});
            ++count;
            pos = rest_end;
        } else {
            pos = first_end;
        }
    }
    return count;
}

std::vector<std::string_view> split_dat_records(std::string_view body, std::string_view kind) {
    std::vector<size_t> starts;
    for (size_t p = body.find('('); p != std::string::npos; p = body.find('(', p + 1)) {
        const size_t k = skip_blanks(body, p + 1);
        if (body.compare(k, kind.size(), kind) != 0 || k + kind.size() > body.size()) continue;
        if (body.compare(k + kind.size(), 4, "Name") == 0) continue;
        starts.push_back(p);
    }
    std::vector<std::string_view> records;
    records.reserve(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : body.size();
        records.push_back(body.substr(starts[i], end - starts[i]));
    }
    return records;
}

std::string format_dat_number(double value) {
    const bool whole = std::fabs(std::fmod(value, 1.0)) < 1e-6;
    const int precision = whole ? 0 : 6;
    std::string out;
    // Exact fixed-point digits as printf gives them, without printf's cost per call; a
    // value near the top of the double range needs over 300 characters.
    char buf[400];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    if (ec == std::errc()) {
        out.assign(buf, ptr);
    } else {
        const char* fmt = whole ? "%.0f" : "%.6f";
        const int needed = std::snprintf(nullptr, 0, fmt, value);
        if (needed <= 0) return {};
        out.assign(static_cast<size_t>(needed) + 1, '\0');
        std::snprintf(out.data(), out.size(), fmt, value);
        out.resize(static_cast<size_t>(needed));
    }
    if (!whole && out.find('.') != std::string::npos) {
        while (!out.empty() && out.back() == '0') out.pop_back();
        if (!out.empty() && out.back() == '.') out.pop_back();
    }
    return out;
}

std::string format_triple(const DatTriple& t) {
    std::string out = format_dat_number(t[0]);
    out += ' ';
    out += format_dat_number(t[1]);
    out += ' ';
    out += format_dat_number(t[2]);
    return out;
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
