#include "app/settings/settings.h"

#include <windows.h>
#include <bcrypt.h>

#include "archive/util.h"

namespace rezui {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void skip_space(const std::string& text, size_t& pos) {
    while (pos < text.size() && is_space(text[pos])) ++pos;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

std::vector<uint8_t> scramble(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> key = settings_key();
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < out.size(); ++i) out[i] ^= key[i % key.size()];
    return out;
}

void json_line(std::string& out, const char* key, const std::string& value, bool quoted, bool last) {
    out += "  \"";
    out += key;
    out += "\": ";
    if (quoted) out += '"';
    out += value;
    if (quoted) out += '"';
    if (!last) out += ',';
    out += '\n';
}

}  // namespace

Settings default_settings() {
    Settings s;
    s.copyright = rez::from_utf8("RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.");
    s.description = rez::from_utf8("LithTech Resource File");
    s.theme = rez::from_utf8("浅色");
    return s;
}

std::wstring settings_file_override;

std::wstring settings_path() {
    return settings_file_override.empty() ? rez::exe_directory() + L"\\Rezconfig.dat" : settings_file_override;
}

std::vector<uint8_t> settings_key() {
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return std::vector<uint8_t>(16, 0x3C);
    static const char phrase[] = "BramblePostLedgerSeal_v1";
    uint8_t digest[32] = {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0))) {
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(phrase)), 24, 0);
        BCryptFinishHash(hash, digest, sizeof(digest), 0);
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(alg, 0);
    return std::vector<uint8_t>(digest, digest + 16);
}

std::string settings_json_escape(const std::wstring& text) {
    std::string utf8 = rez::to_utf8(text);
    std::string out;
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            rez::format(buf, sizeof(buf), "\\u%04X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string settings_to_json(const Settings& s) {
    std::string out = "{\n";
    json_line(out, "copyright", settings_json_escape(s.copyright), true, false);
    json_line(out, "description", settings_json_escape(s.description), true, false);
    json_line(out, "theme", settings_json_escape(s.theme), true, false);
    json_line(out, "lastDragOutFolder", settings_json_escape(s.last_drag_out_folder), true, false);
    json_line(out, "uppercaseRez", s.uppercase_rez ? "true" : "false", false, false);
    json_line(out, "uppercaseZip", s.uppercase_zip ? "true" : "false", false, false);
    json_line(out, "uppercase7z", s.uppercase_7z ? "true" : "false", false, false);
    json_line(out, "closeToTray", s.close_to_tray ? "true" : "false", false, false);
    json_line(out, "showLogBox", s.show_log_box ? "true" : "false", false, true);
    out += "}\n";
    return out;
}

bool settings_json_read_string(const std::string& text, size_t& pos, std::string& out) {
    skip_space(text, pos);
    if (pos >= text.size() || text[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < text.size()) {
        char c = text[pos++];
        if (c == '"') return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= text.size()) return false;
        char e = text[pos++];
        switch (e) {
        case 'b': out += '\x08'; break;
        case 'f': out += '\x0C'; break;
        case 'n': out += '\x0A'; break;
        case 'r': out += '\x0D'; break;
        case 't': out += '\x09'; break;
        case 'u': {
            if (text.size() - pos < 4) return false;
            unsigned unit = 0;
            for (int i = 0; i < 4; ++i) unit = unit * 16 + static_cast<unsigned>(hex_value(text[pos + i]));
            pos += 4;
            out += rez::to_utf8(std::wstring(1, static_cast<wchar_t>(unit)));
            break;
        }
        default: out += e; break;
        }
    }
    return false;
}

bool settings_json_read_bare(const std::string& text, size_t& pos, std::string& out) {
    skip_space(text, pos);
    if (pos < text.size() && text[pos] == '"') return settings_json_read_string(text, pos, out);
    size_t start = pos;
    while (pos < text.size() && text[pos] != ',' && text[pos] != '}' && text[pos] != '\n') ++pos;
    if (pos == start) return false;
    out = text.substr(start, pos - start);
    while (!out.empty() && is_space(out.back())) out.pop_back();
    return true;
}

Settings settings_from_json(const std::string& text) {
    Settings s = default_settings();
    if (text.empty()) return s;
    size_t pos = 0;
    skip_space(text, pos);
    if (pos < text.size() && text[pos] == '{') ++pos;
    for (;;) {
        std::string key, value;
        if (!settings_json_read_string(text, pos, key)) break;
        skip_space(text, pos);
        if (pos < text.size() && text[pos] == ':') ++pos;
        if (!settings_json_read_bare(text, pos, value)) break;
        bool flag = value == "true";
        if (key == "copyright") s.copyright = rez::from_utf8(value);
        else if (key == "description") s.description = rez::from_utf8(value);
        else if (key == "theme") s.theme = rez::from_utf8(value);
        else if (key == "lastDragOutFolder") s.last_drag_out_folder = rez::from_utf8(value);
        else if (key == "uppercaseRez") s.uppercase_rez = flag;
        else if (key == "uppercaseZip") s.uppercase_zip = flag;
        else if (key == "uppercase7z") s.uppercase_7z = flag;
        else if (key == "closeToTray") s.close_to_tray = flag;
        else if (key == "showLogBox") s.show_log_box = flag;
        if (pos < text.size() && text[pos] == ',') ++pos;
        if (pos >= text.size()) break;
    }
    return s;
}

Settings load_settings_from(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return default_settings();
    rez::FileHandle file(h);
    std::vector<uint8_t> bytes;
    if (!rez::read_all(file, bytes)) return default_settings();
    file.close();
    std::vector<uint8_t> plain = scramble(bytes);
    return settings_from_json(std::string(plain.begin(), plain.end()));
}

Settings load_settings() { return load_settings_from(settings_path()); }

bool save_settings_to(const std::wstring& path, const Settings& settings) {
    std::string text = settings_to_json(settings);
    std::vector<uint8_t> bytes = scramble(std::vector<uint8_t>(text.begin(), text.end()));
    std::wstring temp = path + L".tmp";
    if (!rez::write_file(temp, bytes.data(), bytes.size())) {
        DeleteFileW(temp.c_str());
        return false;
    }
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool save_settings(const Settings& settings) { return save_settings_to(settings_path(), settings); }

}  // namespace rezui
