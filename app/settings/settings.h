// The user's preferences and the settings file "Rezconfig.dat" beside the program: a small
// JSON object XOR-ed with a 16-byte key derived by SHA-256 from a fixed phrase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rezui {

struct Settings {
    std::wstring copyright;
    std::wstring description;
    std::wstring theme;
    std::wstring last_drag_out_folder;
    bool uppercase_rez = false;
    bool uppercase_zip = false;
    bool uppercase_7z = false;
    bool close_to_tray = false;
    bool show_log_box = false;
};

Settings default_settings();
// The program directory's settings file, or settings_file_override when that is set: the test
// programs share one directory, so each test that saves points this at a file of its own.
std::wstring settings_path();
extern std::wstring settings_file_override;
// The defaults with every field the file gives replaced; never fails.
Settings load_settings();
Settings load_settings_from(const std::wstring& path);
// Writes the file beside the old one and then replaces it, so a failed write never
// truncates the settings in place; false (and the old file untouched) on failure.
bool save_settings(const Settings& settings);
bool save_settings_to(const std::wstring& path, const Settings& settings);

std::vector<uint8_t> settings_key();
// The eleven-line JSON text (before scrambling) and its reader.
std::string settings_to_json(const Settings& settings);
Settings settings_from_json(const std::string& text);
std::string settings_json_escape(const std::wstring& text);
bool settings_json_read_string(const std::string& text, size_t& pos, std::string& out);
bool settings_json_read_bare(const std::string& text, size_t& pos, std::string& out);

}  // namespace rezui
