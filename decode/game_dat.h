// The game's small scrambled ".dat" data files (zones, environment sounds, move paths,
// camera animations) turned into tidy text.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/format_text.h"

namespace rezui {

using DatTriple = std::array<double, 3>;

struct ZoneRecord {
    std::string name;
    std::optional<DatTriple> pos;
    std::optional<DatTriple> rot;
    std::optional<int32_t> floor;
    std::string sound_type;
    std::vector<std::string> fmod_events;
    std::vector<DatTriple> points;
};

struct EnvSoundRecord {
    std::string name;
    std::string zone_name;
    std::string sound_type;
    std::optional<DatTriple> pos;
    std::vector<std::string> sound_names;  // always three
    std::optional<double> decay;
    std::optional<double> radius_in;
    std::optional<double> radius_out;
};

struct PathSample {
    double lead = 0;
    double x = 0, y = 0, z = 0;
};

struct CameraTrack {
    std::string name;
    std::optional<DatTriple> local_pos;
    std::optional<int32_t> frame_count;
    std::vector<PathSample> samples;
};

// Nothing when the entry is not one of these files (too short, or a version outside 1..1024).
std::optional<FormatText> convert_game_dat_to_text(const std::vector<uint8_t>& bytes,
                                                   const std::string& entry_name);

// ---- scanning the loosely structured body text ----------------------------------

// Number as the C library reads it, starting at `pos` after optional white space; on success
// `end` is just past it.
std::optional<double> scan_number(std::string_view text, size_t pos, size_t& end);

std::optional<size_t> find_paren_key(std::string_view text, std::string_view key, size_t start = 0);
std::string read_quoted_value(std::string_view text, std::string_view key);
std::optional<DatTriple> read_paren_triple(std::string_view text, std::string_view key);
std::vector<DatTriple> read_all_paren_triples(std::string_view text, std::string_view key);
std::optional<int32_t> read_paren_int(std::string_view text, std::string_view key);
std::optional<double> read_star_number(std::string_view text, std::string_view key);
std::optional<int32_t> read_star_int(std::string_view text, std::string_view key);
std::optional<DatTriple> read_star_triple(std::string_view text, std::string_view key);
std::vector<PathSample> scan_samples(std::string_view text, size_t from = 0);
// The same walk, handing each sample to `sink` instead of collecting them; the count.
size_t scan_samples_into(std::string_view text, size_t from,
                         const std::function<void(const PathSample&)>& sink);
std::vector<std::string_view> split_dat_records(std::string_view body, std::string_view kind);

std::string format_dat_number(double value);
std::string format_triple(const DatTriple& t);
std::string escape_quoted(const std::string& text);

}  // namespace rezui
