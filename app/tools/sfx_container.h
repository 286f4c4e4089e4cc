// The self-extractor container: a runner program with a marker, a one-line JSON header of
// presentation settings and a REZ archive appended to it. Compiled into both the main
// program and the runner (library sfx_container), so it uses nothing but the archive
// library's file and text helpers and Win32.
//
// Layout written (all integers unsigned little-endian):
//   runner bytes | "REZ_SFX_HEADER" | L: u32 | JSON (L bytes) | A: u32 | REZ (A bytes)
// Older self-extractors carry, read only:
//   runner bytes | "REZ_SFX_MARKER_v1" | N: u64 | REZ (N bytes)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rezui {

// Text fields are UTF-8.
struct SfxConfig {
    std::string title = "自解压程序";
    std::string description = "点击“解压”按钮将文件释放到指定目录。";
    std::string default_path;
    std::string image_base64;
    std::string icon_base64;  // carried along; nothing shows it
    bool create_shortcut = true;
    std::string shortcut_target;  // relative to the extraction folder
    std::string mode = "sfx";     // "installer" selects the runner's wizard
    std::string intro;
    std::string license;
    std::string readme;
    std::string run_program;  // relative to the extraction folder
};

struct SfxPayload {
    std::wstring temp_archive;  // the caller deletes this file when the path is not empty
    // Set when the file does carry a container that could not be unpacked (the temporary
    // archive could not be written): why, for the user. Empty when there is no container.
    std::wstring error;
    uint64_t archive_size = 0;
    SfxConfig config;  // keeps the caller's values where the header has no such key
};

// Longest title a self-extractor shows (UTF-16 units); it names the window, its headings
// and the shortcut.
constexpr size_t kSfxMaxTitle = 1024;
// Whether the settings can be shown: false, with error set, for a title too long for a
// window caption.
bool sfx_config_showable(const SfxConfig& config, std::wstring& error);

// Largest JSON header a container may carry.
constexpr uint32_t kSfxMaxHeader = 16u * 1024 * 1024;

// The two marker texts. They are put together at run time so that neither program carries
// them whole in its own bytes.
std::string sfx_marker();
std::string sfx_legacy_marker();

// Writes runner + container to output and checks that it reads back; 1 on success, else 0
// with error set. An existing output is replaced only by a complete, verified new file.
int build_sfx(const std::wstring& stub, const std::wstring& rez, const std::wstring& output, const SfxConfig& config,
              std::wstring& error);

// The appended container of a program file: its archive goes to the temporary file
// "rez_sfx_<process id>.rez" (out.temp_archive), its settings into out.config. False when
// the file carries no valid container, or when the temporary file cannot be written: then
// out.error names the cause and no part of that file is left behind.
bool read_sfx(const std::wstring& exe_path, SfxPayload& out);

// Where the parts of a container lie inside a program file's bytes.
struct SfxLocation {
    size_t archive_offset = 0;
    uint64_t archive_size = 0;
    bool has_header = false;  // false for the older layout
    std::string header;       // the JSON text
};
// Finds the last container of the current layout, else of the older one.
bool locate_sfx(const std::vector<uint8_t>& file, SfxLocation& out);

// The header as written: one line, twelve members in a fixed order, ASCII only.
std::string sfx_config_json(const SfxConfig& config);
std::string sfx_json_escape(const std::string& utf8);
// Lenient reader of flat objects: keys compare case-insensitively; it stops quietly at the
// first thing it cannot read, keeping what it has set so far. Always true.
bool parse_sfx_config(const std::string& json, SfxConfig& config);
bool sfx_json_read_string(const std::string& text, size_t& pos, std::string& out);
bool sfx_json_read_bare(const std::string& text, size_t& pos, std::string& out);

}  // namespace rezui
