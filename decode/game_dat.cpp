// Game DAT files: a scrambled version number, then a scrambled loosely structured text body.
#include "decode/game_dat.h"

#include <initializer_list>
#include <string_view>

#include "archive/lzma.h"
#include "archive/rez_model.h"
#include "archive/util.h"

namespace rezui {
namespace {

constexpr size_t kLzmaCap = 0x20000000;
constexpr size_t kBinaryDumpBytes = 512;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string num(uint64_t v) { return std::to_string(v); }

// Appends the pieces in one go: the outputs run to many megabytes of short lines.
void put(std::string& out, std::initializer_list<std::string_view> pieces) {
    for (std::string_view p : pieces) out.append(p);
}

std::string header_lines(const std::string& name) { return "; decoded from " + name + "\n"; }

// "(SoundNameK" without blanks, its text up to ')' kept printable and trimmed.
std::string loose_sound_name(std::string_view record, std::string_view key) {
    const size_t at = record.find(std::string("(").append(key));
    if (at == std::string::npos) return {};
    size_t p = at + key.size() + 1;
    while (p < record.size() && is_blank(record[p])) ++p;
    const size_t close = record.find(')', p);
    if (close == std::string::npos) return {};
    std::string kept;
    for (size_t i = p; i < close; ++i) {
        const auto c = static_cast<unsigned char>(record[i]);
        if (c >= 0x20 && c <= 0x7E) kept.push_back(static_cast<char>(c));
    }
    return rez::trim(kept);
}

std::optional<double> number_after_paren_key(std::string_view record, std::string_view key) {
    const auto p = find_paren_key(record, key);
    if (!p) return std::nullopt;
    size_t k = *p + 1;
    while (k < record.size() && is_blank(record[k])) ++k;
    size_t end = 0;
    return scan_number(record, k + key.size(), end);
}

// One zone record, or nothing when it carries none of a name, a position or points.
std::optional<ZoneRecord> read_zone(std::string_view rec) {
    ZoneRecord z;
    z.name = read_quoted_value(rec, "ZonemanName");
    if (z.name.empty()) z.name = "Zoneman";
    z.pos = read_paren_triple(rec, "Pos");
    z.rot = read_paren_triple(rec, "Rot");
    z.floor = read_paren_int(rec, "Floor");
    z.sound_type = read_quoted_value(rec, "SoundType");
    for (int k = 1; k <= 3; ++k) {
        std::string ev = read_quoted_value(rec, "EnvFModEvent" + std::to_string(k));
        if (!ev.empty()) z.fmod_events.push_back(std::move(ev));
    }
    z.points = read_all_paren_triples(rec, "Point");
    if (!z.pos && z.points.empty() && z.name == "Zoneman") return std::nullopt;
    return z;
}

// One sound record, or nothing when it carries none of a name, a position or sounds.
std::optional<EnvSoundRecord> read_env_sound(std::string_view rec) {
    EnvSoundRecord e;
    e.name = read_quoted_value(rec, "EnvSoundName");
    if (e.name.empty()) e.name = "EnvSound";
    e.zone_name = read_quoted_value(rec, "ZoneName");
    e.pos = read_paren_triple(rec, "Pos");
    bool any_sound = false;
    for (int k = 1; k <= 3; ++k) {
        const std::string key = "SoundName" + std::to_string(k);
        std::string v = read_quoted_value(rec, key);
        if (v.empty()) v = loose_sound_name(rec, key);
        any_sound = any_sound || !v.empty();
        e.sound_names.push_back(std::move(v));
    }
    e.decay = number_after_paren_key(rec, "Decay");
    e.radius_in = number_after_paren_key(rec, "Radius_In");
    e.radius_out = number_after_paren_key(rec, "Radius_Out");
    e.sound_type = read_quoted_value(rec, "soundType");
    if (e.sound_type.empty()) e.sound_type = read_quoted_value(rec, "SoundType");
    if (!e.pos && !any_sound && e.name == "EnvSound") return std::nullopt;
    return e;
}

std::vector<CameraTrack> read_camera_tracks(std::string_view body) {
    std::vector<CameraTrack> tracks;
    const std::string camera = "*CAMERA_", animation = "_ANIMATION";
    size_t p = body.find(camera);
    while (p != std::string::npos) {
        const size_t a = body.find(animation, p + camera.size());
        if (a == std::string::npos) break;
        const size_t next = body.find(camera, a + animation.size());
        const size_t end = next == std::string::npos ? body.size() : next;
        const std::string_view track_text = body.substr(p, end - p);
        CameraTrack t;
        t.name = std::string(body.substr(p + camera.size(), a - p - camera.size()));
        t.local_pos = read_star_triple(track_text, "LOCAL_POS");
        t.frame_count = read_star_int(track_text, "ANIMATION_FRAME_COUNT");
        const size_t s = track_text.find("*CONTROL_POS_SAMPLE");
        if (s != std::string::npos) t.samples = scan_samples(track_text, s);
        tracks.push_back(std::move(t));
        p = next;
    }
    return tracks;
}

void append_sample_line(std::string& out, const PathSample& s) {
    put(out, {"\t\t", format_dat_number(s.lead), " ", format_dat_number(s.x), " ", format_dat_number(s.y),
              " ", format_dat_number(s.z), "\n"});
}

void append_sample_lines(std::string& out, const std::vector<PathSample>& samples) {
    out.reserve(out.size() + samples.size() * 24);
    for (const PathSample& s : samples) append_sample_line(out, s);
}

void append_scene_lines(std::string& out, std::string_view body) {
    for (const char* key : {"SCENE_FIRSTFRAME", "SCENE_LASTFRAME", "SCENE_FRAMESPEED"}) {
        if (auto v = read_star_number(body, key))
            out += std::string("*") + key + " " + format_dat_number(*v) + "\n";
    }
}

void append_zone(std::string& out, const ZoneRecord& z) {
    put(out, {"( Zoneman\n\t( ZonemanName \"", escape_quoted(z.name), "\" )\n"});
    if (z.pos) put(out, {"\t( Pos ", format_triple(*z.pos), " )\n"});
    if (z.rot) put(out, {"\t( Rot ", format_triple(*z.rot), " )\n"});
    put(out, {"\t( Floor ", z.floor ? std::to_string(*z.floor) : std::string(), " )\n"});
    if (!z.sound_type.empty()) out += "\t( SoundType \"" + escape_quoted(z.sound_type) + "\" )\n";
    for (size_t i = 0; i < z.fmod_events.size(); ++i)
        out += "\t( EnvFModEvent" + num(i + 1) + " \"" + escape_quoted(z.fmod_events[i]) + "\" )\n";
    for (const DatTriple& pt : z.points) put(out, {"\t( Point ", format_triple(pt), " )\n"});
    out += ")\n\n";
}

void append_env_sound(std::string& out, const EnvSoundRecord& e) {
    put(out, {"( EnvSound\n\t( EnvSoundName \"", escape_quoted(e.name), "\" )\n"});
    if (!e.zone_name.empty()) out += "\t( ZoneName \"" + escape_quoted(e.zone_name) + "\" )\n";
    if (e.pos) put(out, {"\t( Pos ", format_triple(*e.pos), " )\n"});
    for (size_t i = 0; i < e.sound_names.size(); ++i)
        put(out, {"\t( SoundName", num(i + 1), " \"", escape_quoted(e.sound_names[i]), "\" )\n"});
    if (e.decay) out += "\t( Decay " + format_dat_number(*e.decay) + " )\n";
    if (e.radius_in) out += "\t( Radius_In " + format_dat_number(*e.radius_in) + " )\n";
    if (e.radius_out) out += "\t( Radius_Out " + format_dat_number(*e.radius_out) + " )\n";
    if (!e.sound_type.empty()) out += "\t( soundType \"" + escape_quoted(e.sound_type) + "\" )\n";
    out += ")\n\n";
}

}  // namespace

std::optional<FormatText> convert_game_dat_to_text(const std::vector<uint8_t>& bytes,
                                                   const std::string& entry_name) {
    // Fresh multi-megabyte buffers are slow to fill on some systems: no copy of an entry
    // that is not LZMA-framed, and the body is unscrambled straight into its string.
    std::vector<uint8_t> unpacked;
    bool framed = rez::is_lzma_alone_header(bytes.data(), bytes.size());
    if (framed && !rez::decompress_if_lzma(bytes, unpacked, kLzmaCap)) framed = false;
    const std::vector<uint8_t>& data = framed ? unpacked : bytes;
    if (data.size() < 5) return std::nullopt;

    uint8_t version_bytes[4] = {data[0], data[1], data[2], data[3]};
    rez::rez_crypto_decode(version_bytes, 4, 0);
    const uint32_t version = rez::load_u32le(version_bytes);
    if (version < 1 || version > 1024) return std::nullopt;

    std::string body(reinterpret_cast<const char*>(data.data()) + 4, data.size() - 4);
    rez::rez_crypto_decode(reinterpret_cast<uint8_t*>(body.data()), body.size(), 0);

    FormatText result;
    result.entry_size = bytes.size();
    result.decoded_size = data.size();
    const std::string prefix =
        data.size() != bytes.size() ? "LZMA-compressed Marrowind DAT / " : "Marrowind DAT / ";
    const std::string sizes =
        ", bytes " + num(result.entry_size) + " -> " + num(result.decoded_size) + "\n\n";
    const std::string head = header_lines(entry_name) + "; version " + num(version);

    // Records are written as they are read: holding hundreds of thousands of them first
    // costs more than the text itself. The header, which needs their count, goes in front.
    auto records_text = [&](const char* kind, size_t per_record, auto read, auto append) -> size_t {
        const std::vector<std::string_view> records = split_dat_records(body, kind);
        std::string text;
        if (records.empty()) return 0;
        text.reserve(256 + records.size() * per_record);
        size_t count = 0;
        for (std::string_view rec : records) {
            if (auto r = read(rec)) {
                append(text, *r);
                ++count;
            }
        }
        result.text = std::move(text);
        return count;
    };
    if (const size_t zones = records_text("Zoneman", 128, read_zone, append_zone)) {
        result.label = prefix + "Zoneman";
        result.text.insert(0, head + ", zones " + num(zones) + sizes);
        return result;
    }
    if (const size_t sounds = records_text("EnvSound", 160, read_env_sound, append_env_sound)) {
        result.label = prefix + "EnvSound";
        result.text.insert(0, head + ", env sounds " + num(sounds) + sizes);
        return result;
    }
    result.text.clear();
    if (body.find("*MOVE_PATH") != std::string::npos) {
        result.label = prefix + "MovePath";
        std::string& out = result.text;
        append_scene_lines(out, body);
        out += "*MOVE_PATH\n{\n";
        if (auto count = read_star_int(body, "ANIMATION_FRAME_COUNT"))
            out += "\t*ANIMATION_FRAME_COUNT " + std::to_string(*count) + "\n";
        out += "\t*CONTROL_POS_SAMPLE\n\t{\n";
        // Samples go straight to the text; the header with their count is put in front.
        out.reserve(256 + body.size() + body.size() / 4);
        const size_t samples =
            scan_samples_into(body, 0, [&](const PathSample& s) { append_sample_line(out, s); });
        out += "\t}\n}\n";
        out.insert(0, head + ", path samples " + num(samples) + sizes);
        return result;
    }
    if (body.find("*CAMERA_") != std::string::npos) {
        if (auto tracks = read_camera_tracks(body); !tracks.empty()) {
            uint64_t total = 0;
            for (const CameraTrack& t : tracks) total += t.samples.size();
            result.label = prefix + "CameraAnimation";
            std::string& out = result.text;
            out = head + ", camera tracks " + num(tracks.size()) + ", samples " + num(total) + sizes;
            append_scene_lines(out, body);
            out += "\n";
            for (const CameraTrack& t : tracks) {
                out += "*CAMERA_" + t.name + "_ANIMATION\n{\n";
                if (t.local_pos) out += "\t*LOCAL_POS " + format_triple(*t.local_pos) + "\n";
                if (t.frame_count) out += "\t*ANIMATION_FRAME_COUNT " + std::to_string(*t.frame_count) + "\n";
                if (!t.samples.empty()) {
                    out += "\t*CONTROL_POS_SAMPLE\n\t{\n";
                    append_sample_lines(out, t.samples);
                    out += "\t}\n";
                }
                out += "}\n\n";
            }
            return result;
        }
    }
    result.label = prefix + "Binary";
    result.text = header_lines(entry_name) + "; Marrowind DAT binary body\n; version " + num(version) +
                  sizes + "; The body is binary. First decoded bytes:\n" +
                  rez::hex_dump(reinterpret_cast<const uint8_t*>(body.data()), body.size(), kBinaryDumpBytes);
    return result;
}

}  // namespace rezui
