// Text and archive-path helpers.
#include "archive/util.h"

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace rez {

int format(char* buffer, size_t capacity, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
#if defined(__MINGW32__)
    // The MinGW runtime's own printf follows C99 (returns the full length, knows %zu/%llu).
    int n = __mingw_vsnprintf(buffer, capacity, fmt, args);
#else
    int n = std::vsnprintf(buffer, capacity, fmt, args);
#endif
    va_end(args);
    if (buffer && capacity > 0 && n < 0) buffer[0] = '\0';
    return n;
}

std::string to_utf8(const std::wstring& text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
    const int in_len = static_cast<int>(text.size());
    int need = WideCharToMultiByte(CP_UTF8, 0, text.data(), in_len, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return {};
    std::string out(static_cast<size_t>(need), '\0');
    int got = WideCharToMultiByte(CP_UTF8, 0, text.data(), in_len, out.data(), need, nullptr, nullptr);
    if (got <= 0) return {};
    out.resize(static_cast<size_t>(got));
    return out;
}

static std::wstring multibyte_to_wide(unsigned code_page, const char* bytes, size_t length) {
    if (length == 0) return {};
    const int in_len = static_cast<int>(length > 0x7FFFFFFFu ? 0x7FFFFFFFu : length);
    int need = MultiByteToWideChar(code_page, 0, bytes, in_len, nullptr, 0);
    if (need <= 0) return {};
    std::wstring out(static_cast<size_t>(need), L'\0');
    int got = MultiByteToWideChar(code_page, 0, bytes, in_len, out.data(), need);
    if (got <= 0) return {};
    out.resize(static_cast<size_t>(got));
    return out;
}

std::wstring from_utf8(const std::string& text) {
    if (text.size() > static_cast<size_t>(INT_MAX)) return {};
    return multibyte_to_wide(CP_UTF8, text.data(), text.size());
}

std::string codepage_to_utf8(const char* bytes, size_t length, unsigned code_page) {
    if (length == 0) return {};
    std::wstring wide = multibyte_to_wide(code_page, bytes, length);
    if (wide.empty()) return std::string(bytes, length);
    return to_utf8(wide);
}

std::string codepage_to_utf8(const uint8_t* bytes, size_t length, unsigned code_page) {
    return codepage_to_utf8(reinterpret_cast<const char*>(bytes), length, code_page);
}

std::string bytes_to_string(const uint8_t* bytes, size_t length) {
    if (length == 0) return {};
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

std::string vector_to_string(const std::vector<uint8_t>& bytes) { return bytes_to_string(bytes.data(), bytes.size()); }

std::string to_upper_ascii(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string to_lower_ascii(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool iequals_ascii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

static bool is_trim_byte(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && is_trim_byte(text[begin])) ++begin;
    while (end > begin && is_trim_byte(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool ends_with(const std::string& text, const std::string& suffix) {
    return suffix.size() <= text.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::wstring format_byte_size(uint64_t bytes) {
    if (bytes < 1024) return std::to_wstring(bytes) + L" 字节";
    char buf[64];
    if (bytes < 1048576ull)
        format(buf, sizeof buf, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    else if (bytes < 1073741824ull)
        format(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
    else
        format(buf, sizeof buf, "%.2f GB", static_cast<double>(bytes) / 1073741824.0);
    return std::wstring(buf, buf + std::char_traits<char>::length(buf));
}

std::string format_float(float value) {
    if (value == 0.0f) return "0";
    if (!std::isfinite(value)) return {};
    const float magnitude = std::fabs(value);
    if (magnitude < 1e-5f || magnitude > 1e6f) return {};
    char buf[64];
    format(buf, sizeof buf, "%.5f", static_cast<double>(value));
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s;
}

std::string hex_dump(const uint8_t* data, size_t total, size_t max_shown) {
    const size_t shown = (data == nullptr) ? 0 : (total < max_shown ? total : max_shown);
    std::string out;
    char line[128];
    format(line, sizeof line, "; Binary data - %llu bytes total, showing first %llu\n\n",
           static_cast<unsigned long long>(total), static_cast<unsigned long long>(shown));
    out += line;
    out.reserve(out.size() + (shown / 16 + 1) * 76 + 64);
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t off = 0; off < shown; off += 16) {
        const size_t n = (shown - off < 16) ? shown - off : 16;
        format(line, sizeof line, "%04zX  ", off);
        out += line;
        std::string hex;
        for (size_t i = 0; i < n; ++i) {
            if (i) hex += ' ';
            hex += kHex[data[off + i] >> 4];
            hex += kHex[data[off + i] & 15];
        }
        hex.resize(47, ' ');
        out += hex;
        out += "  ";
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = data[off + i];
            out += (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
        }
        out += '\n';
    }
    if (total > shown) {
        format(line, sizeof line, "; ... %llu more bytes\n", static_cast<unsigned long long>(total - shown));
        out += line;
    }
    return out;
}

// ---- archive paths ----------------------------------------------------------

static std::string backslashed(const std::string& path) {
    std::string s = path;
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

std::vector<std::string> split_archive_path(const std::string& path) {
    std::vector<std::string> parts;
    const std::string s = backslashed(path);
    size_t start = 0;
    while (start <= s.size()) {
        size_t sep = s.find('\\', start);
        if (sep == std::string::npos) sep = s.size();
        if (sep > start) parts.push_back(s.substr(start, sep - start));
        start = sep + 1;
    }
    return parts;
}

std::string join_archive_path(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) {
        if (!out.empty()) out += '\\';
        out += part;
    }
    return out;
}

std::string file_name_of(const std::string& path) {
    const std::string s = backslashed(path);
    const size_t sep = s.rfind('\\');
    return sep == std::string::npos ? s : s.substr(sep + 1);
}

std::string extension_of(const std::string& path) {
    const std::string name = file_name_of(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size()) return {};
    return name.substr(dot + 1);
}

// Windows reads the part before the first dot, less trailing spaces, as the name; these
// names open a device whatever the extension or case.
static bool is_device_name(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    base = to_upper_ascii(base);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

std::string sanitize_file_name(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20) {
            c = '_';
            continue;
        }
        switch (c) {
            case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
                c = '_';
                break;
            default:
                break;
        }
    }
    out = trim(out);
    if (out.empty()) return "unnamed";
    // Opening CON, NUL.txt or "com1 .x" reaches a device, so the data would never land in a
    // file: such names get a leading underscore.
    if (is_device_name(out)) out.insert(out.begin(), '_');
    return out;
}

bool is_dots_only_name(const std::string& name) {
    return !name.empty() && name.find_first_not_of(". ") == std::string::npos;
}

bool sanitize_relative_path(const std::string& path, std::string& out) {
    std::vector<std::string> parts = split_archive_path(path);
    if (parts.empty()) parts.push_back("");
    for (std::string& part : parts) {
        part = sanitize_file_name(part);
        if (is_dots_only_name(part)) {
            out.clear();
            return false;
        }
    }
    out = join_archive_path(parts);
    return true;
}

// Windows drops trailing dots and spaces from a path component, so ".. " or ". ." reach
// the parent folder just like "..".
static bool is_parent_component(const std::string& component) {
    if (component == "..") return true;
    size_t end = component.size();
    while (end > 0 && (component[end - 1] == '.' || component[end - 1] == ' ')) --end;
    return end == 0 && component.find(' ') != std::string::npos && component.find('.') != std::string::npos;
}

bool is_safe_relative_path(const std::string& path) {
    if (path.empty()) return false;
    if (path.find(':') != std::string::npos) return false;
    if (path[0] == '/' || path[0] == '\\') return false;  // also covers "\\" and "//"
    size_t start = 0;
    while (start <= path.size()) {
        size_t sep = path.find_first_of("/\\", start);
        if (sep == std::string::npos) sep = path.size();
        if (is_parent_component(path.substr(start, sep - start))) return false;
        start = sep + 1;
    }
    return true;
}

}  // namespace rez
