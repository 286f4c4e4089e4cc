#include "app/tools/sfx_container.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "archive/temp_note.h"
#include "archive/util.h"

namespace rezui {
namespace {

// The markers are stored scrambled with a key the optimiser cannot see through: a bare
// copy of either program must not find a marker in its own data and take whatever follows
// it for an archive.
volatile unsigned char marker_key = 0x5A;

std::string unscramble(std::initializer_list<unsigned char> bytes) {
    std::string text;
    for (unsigned char b : bytes) text += static_cast<char>(b ^ marker_key);
    return text;
}

constexpr size_t kMarkerSize = 14;        // "REZ_SFX_HEADER"
constexpr size_t kLegacyMarkerSize = 17;  // "REZ_SFX_MARKER_v1"

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void skip_space(const std::string& text, size_t& pos) {
    while (pos < text.size() && is_space(text[pos])) ++pos;
}

// Last occurrence of marker that starts at or before from.
bool find_last(const std::vector<uint8_t>& file, const std::string& marker, size_t& found) {
    if (file.size() < marker.size()) return false;
    for (size_t p = file.size() - marker.size() + 1; p-- > 0;) {
        if (file[p] == static_cast<uint8_t>(marker[0]) && std::memcmp(file.data() + p, marker.data(), marker.size()) == 0) {
            found = p;
            return true;
        }
    }
    return false;
}

uint64_t load_u64le(const uint8_t* p) {
    return static_cast<uint64_t>(rez::load_u32le(p)) | (static_cast<uint64_t>(rez::load_u32le(p + 4)) << 32);
}

bool locate_current(const std::vector<uint8_t>& file, SfxLocation& out) {
    const size_t size = file.size();
    size_t p = 0;
    if (size < 18 || !find_last(file, sfx_marker(), p)) return false;
    if (size - p < 18) return false;
    const uint32_t header_size = rez::load_u32le(file.data() + p + kMarkerSize);
    if (header_size > kSfxMaxHeader || size - p - 18 < static_cast<size_t>(header_size) + 4) return false;
    const size_t archive_size_at = p + 18 + header_size;
    const uint32_t archive_size = rez::load_u32le(file.data() + archive_size_at);
    if (archive_size == 0 || size - archive_size_at - 4 < archive_size) return false;
    out.archive_offset = archive_size_at + 4;
    out.archive_size = archive_size;
    out.has_header = true;
    out.header.assign(reinterpret_cast<const char*>(file.data() + p + 18), header_size);
    return true;
}

bool locate_legacy(const std::vector<uint8_t>& file, SfxLocation& out) {
    const size_t size = file.size();
    size_t p = 0;
    if (size < 21 || !find_last(file, sfx_legacy_marker(), p)) return false;
    if (size - p < kLegacyMarkerSize + 8) return false;
    const uint64_t archive_size = load_u64le(file.data() + p + kLegacyMarkerSize);
    const size_t offset = p + kLegacyMarkerSize + 8;
    // Compared against what is left, so that a huge stored length cannot wrap the sum.
    if (archive_size == 0 || archive_size > size - offset) return false;
    out.archive_offset = offset;
    out.archive_size = archive_size;
    out.has_header = false;
    out.header.clear();
    return true;
}

std::wstring temp_archive_path() {
    wchar_t buffer[520] = {};
    const DWORD n = GetTempPathW(520, buffer);
    std::wstring folder = (n == 0 || n >= 520) ? L"C:\\Windows\\Temp\\" : std::wstring(buffer, n);
    return folder + L"rez_sfx_" + std::to_wstring(GetCurrentProcessId()) + L".rez";
}

// Writes the embedded archive out; a write cut short (a full disk) removes what it wrote
// and says why.
bool write_temp_archive(const std::wstring& temp, const uint8_t* data, size_t size, std::wstring& error) {
    DWORD code = ERROR_SUCCESS;
    {
        rez::FileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
        if (!file) {
            error = L"无法创建临时文件: " + temp;
            return false;
        }
        for (size_t done = 0; done < size && code == ERROR_SUCCESS;) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(file.get(), data + done, chunk, &written, nullptr) || written != chunk)
                code = GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : GetLastError();
            done += written;
        }
        if (code == ERROR_SUCCESS && !FlushFileBuffers(file.get())) code = GetLastError();
    }
    if (code == ERROR_SUCCESS) return true;
    DeleteFileW(temp.c_str());
    const std::wstring amount = std::to_wstring((static_cast<uint64_t>(size) + (1u << 20) - 1) >> 20) + L" MiB";
    if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL)
        error = L"临时文件夹所在磁盘空间不足，无法写出内嵌的资源包（需要 " + amount + L"）: " + temp;
    else
        error = L"写入临时文件失败（错误 " + std::to_wstring(code) + L"）: " + temp;
    return false;
}

bool read_whole(const std::wstring& path, std::vector<uint8_t>& out) {
    rez::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && rez::read_all(file, out);
}

// One file named by two paths: the same full path, or (both existing) the same volume and
// file index, which also catches other spellings of one file.
bool same_file(const std::wstring& a, const std::wstring& b) {
    auto full = [](const std::wstring& path) {
        wchar_t buffer[1040];
        const DWORD n = GetFullPathNameW(path.c_str(), 1040, buffer, nullptr);
        return (n == 0 || n >= 1040) ? path : std::wstring(buffer, n);
    };
    if (CompareStringOrdinal(full(a).c_str(), -1, full(b).c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        rez::FileHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!identity(a, ia) || !identity(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

void append_u32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    rez::store_u32le(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

void append_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint32_t hex4(const std::string& text, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        const char c = text[at + i];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        value = (value << 4) | digit;
    }
    return value;
}

void append_hex_escape(std::string& out, uint32_t unit) {
    char buffer[8];
    rez::format(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(unit));
    out += buffer;
}

std::string quoted(const std::string& utf8) {
    std::string out(1, '"');
    out += sfx_json_escape(utf8);
    out += '"';
    return out;
}

}  // namespace

std::string sfx_marker() {
    return unscramble({0x08, 0x1F, 0x00, 0x05, 0x09, 0x1C, 0x02, 0x05, 0x12, 0x1F, 0x1B, 0x1E, 0x1F, 0x08});
}

std::string sfx_legacy_marker() {
    return unscramble({0x08, 0x1F, 0x00, 0x05, 0x09, 0x1C, 0x02, 0x05, 0x17, 0x1B, 0x08, 0x11, 0x1F, 0x08, 0x05,
                       0x2C, 0x6B});
}

std::string sfx_json_escape(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = static_cast<uint8_t>(utf8[i]);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b < 0x20) {
            append_hex_escape(out, b);
        } else if (b >= 0x80) {
            size_t more = 0;
            uint32_t cp = b;
            if ((b & 0xE0) == 0xC0) more = 1, cp = b & 0x1F;
            else if ((b & 0xF0) == 0xE0) more = 2, cp = b & 0x0F;
            else if ((b & 0xF8) == 0xF0) more = 3, cp = b & 0x07;
            if (i + more >= n && more > 0) {
                out += static_cast<char>(b);  // cut-off sequence: the lead byte as it is
                continue;
            }
            for (size_t k = 1; k <= more; ++k) cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
            i += more;
            if (cp <= 0xFFFF) {
                append_hex_escape(out, cp);
            } else {
                append_hex_escape(out, ((cp - 0x10000) >> 10) + 0xD800);
                append_hex_escape(out, ((cp - 0x10000) & 0x3FF) | 0xDC00);
            }
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string sfx_config_json(const SfxConfig& c) {
    std::string json = "{";
    json += "\"Title\":" + quoted(c.title);
    json += ",\"Description\":" + quoted(c.description);
    json += ",\"DefaultPath\":" + quoted(c.default_path);
    json += ",\"ImageBase64\":" + quoted(c.image_base64);
    json += ",\"IconBase64\":" + quoted(c.icon_base64);
    json += std::string(",\"CreateDesktopShortcut\":") + (c.create_shortcut ? "true" : "false");
    json += ",\"ShortcutTarget\":" + quoted(c.shortcut_target);
    json += std::string(",\"Mode\":") + (c.mode == "installer" ? "\"installer\"" : "\"sfx\"");
    json += ",\"Intro\":" + quoted(c.intro);
    json += ",\"License\":" + quoted(c.license);
    json += ",\"Readme\":" + quoted(c.readme);
    json += ",\"RunProgram\":" + quoted(c.run_program);
    json += "}";
    return json;
}

bool sfx_json_read_string(const std::string& text, size_t& pos, std::string& out) {
    out.clear();
    skip_space(text, pos);
    if (pos >= text.size() || text[pos] != '"') return false;
    ++pos;
    const size_t n = text.size();
    while (pos < n) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            out += c;
            ++pos;
            continue;
        }
        if (pos + 1 >= n) {  // a lone backslash at the very end
            out += c;
            ++pos;
            return false;
        }
        const char e = text[pos + 1];
        pos += 2;
        switch (e) {
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            if (n - pos < 4) {
                out += 'u';
                break;
            }
            uint32_t cp = hex4(text, pos);
            pos += 4;
            if (cp >= 0xD800 && cp <= 0xDBFF && n - pos >= 6 && text[pos] == '\\' && text[pos + 1] == 'u') {
                const uint32_t low = hex4(text, pos + 2);
                pos += 6;
                cp = (cp << 10) + low - 0x35FDC00;
            }
            append_utf8(out, cp);
            break;
        }
        default: out += e; break;
        }
    }
    return false;
}

bool sfx_json_read_bare(const std::string& text, size_t& pos, std::string& out) {
    out.clear();
    skip_space(text, pos);
    if (pos >= text.size()) return false;
    if (text[pos] == '"') return sfx_json_read_string(text, pos, out);
    const size_t start = pos;
    while (pos < text.size() && text[pos] != ',' && text[pos] != '}' && text[pos] != '\n') ++pos;
    size_t end = pos;
    while (end > start && is_space(text[end - 1])) --end;
    out.assign(text, start, end - start);
    return !out.empty();
}

bool parse_sfx_config(const std::string& json, SfxConfig& config) {
    size_t pos = 0;
    skip_space(json, pos);
    if (pos >= json.size()) return true;
    if (json[pos] == '{') ++pos;
    std::string key, value;
    while (true) {
        if (!sfx_json_read_string(json, pos, key)) break;
        skip_space(json, pos);
        if (pos < json.size() && json[pos] == ':') ++pos;
        if (!sfx_json_read_bare(json, pos, value)) break;
        const std::string k = rez::to_lower_ascii(key);
        if (k == "title") config.title = value;
        else if (k == "description") config.description = value;
        else if (k == "defaultpath") config.default_path = value;
        else if (k == "imagebase64") config.image_base64 = value;
        else if (k == "iconbase64") config.icon_base64 = value;
        else if (k == "shortcuttarget") config.shortcut_target = value;
        else if (k == "mode") config.mode = value;
        else if (k == "intro") config.intro = value;
        else if (k == "license") config.license = value;
        else if (k == "readme") config.readme = value;
        else if (k == "runprogram") config.run_program = value;
        else if (k == "createshortcut" || k == "createdesktopshortcut") config.create_shortcut = value == "true";
        if (pos < json.size() && json[pos] == ',') ++pos;
        if (pos >= json.size()) break;
    }
    return true;
}

bool locate_sfx(const std::vector<uint8_t>& file, SfxLocation& out) {
    return locate_current(file, out) || locate_legacy(file, out);
}

bool sfx_config_showable(const SfxConfig& config, std::wstring& error) {
    const size_t length = rez::from_utf8(config.title).size();
    if (length <= kSfxMaxTitle) return true;
    error = L"自解压程序的设置无效：标题过长（" + std::to_wstring(length) + L" 个字符，最多 " +
            std::to_wstring(kSfxMaxTitle) + L" 个）。";
    return false;
}

bool read_sfx(const std::wstring& exe_path, SfxPayload& out) {
    std::vector<uint8_t> file;
    if (!read_whole(exe_path, file)) return false;
    SfxLocation where;
    if (!locate_sfx(file, where)) return false;
    const std::wstring temp = temp_archive_path();
    if (!write_temp_archive(temp, file.data() + where.archive_offset, static_cast<size_t>(where.archive_size),
                            out.error))
        return false;
    out.temp_archive = temp;
    out.archive_size = where.archive_size;
    if (where.has_header) parse_sfx_config(where.header, out.config);
    return true;
}

int build_sfx(const std::wstring& stub, const std::wstring& rez, const std::wstring& output, const SfxConfig& config,
              std::wstring& error) {
    std::vector<uint8_t> host, archive;
    if (!read_whole(stub, host)) {
        error = L"无法读取源程序";
        return 0;
    }
    if (!read_whole(rez, archive)) {
        error = L"无法读取 REZ 文件";
        return 0;
    }
    // A container without archive bytes never reads back; say so before anything is written.
    if (archive.empty()) {
        error = L"REZ 文件为空，无法生成自解压程序";
        return 0;
    }
    // Writing over one of the inputs would destroy it while it is still needed.
    if (same_file(output, stub)) {
        error = L"输出程序不能是宿主程序本身";
        return 0;
    }
    if (same_file(output, rez)) {
        error = L"输出程序不能是 REZ 资源包本身";
        return 0;
    }
    const std::string json = sfx_config_json(config);
    if (archive.size() > 0xFFFFFFFFull) {
        error = L"REZ 文件超过 4 GiB，自解压容器格式无法表示该长度";
        return 0;
    }
    if (json.size() > kSfxMaxHeader) {
        error = L"自解压配置数据过大（背景图或介绍/许可文本超过 16MB），请更换较小的背景图";
        return 0;
    }
    const std::string marker = sfx_marker();
    std::vector<uint8_t> image;
    image.reserve(host.size() + marker.size() + 8 + json.size() + archive.size());
    image.insert(image.end(), host.begin(), host.end());
    image.insert(image.end(), marker.begin(), marker.end());
    append_u32(image, static_cast<uint32_t>(json.size()));
    image.insert(image.end(), json.begin(), json.end());
    append_u32(image, static_cast<uint32_t>(archive.size()));
    image.insert(image.end(), archive.begin(), archive.end());
    host.clear();
    host.shrink_to_fit();

    // The new program is written beside the output and checked there; an existing output
    // is replaced only by a complete file that reads back.
    const std::wstring temp = rez::temp_name_beside(output);
    const rez::TempFileNote note(temp);
    if (!rez::write_file(temp, image.data(), image.size())) {
        rez::delete_file(temp);
        error = L"写入自解压文件失败";
        return 0;
    }
    image.clear();
    image.shrink_to_fit();
    std::vector<uint8_t> written;
    SfxLocation where;
    if (!read_whole(temp, written) || !locate_sfx(written, where) || !where.has_header || where.header != json ||
        where.archive_size != archive.size() ||
        std::memcmp(written.data() + where.archive_offset, archive.data(), archive.size()) != 0) {
        rez::delete_file(temp);
        error = L"生成的自解压数据验证失败";
        return 0;
    }
    if (!rez::move_file_replace(temp, output)) {
        rez::delete_file(temp);
        error = L"无法覆盖目标程序";
        return 0;
    }
    return 1;
}

}  // namespace rezui
