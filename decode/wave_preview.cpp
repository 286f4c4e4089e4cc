#include "decode/wave_preview.h"

#include <cstring>

#include "archive/util.h"
#include "decode/byte_read.h"
#include "decode/game_formats.h"

namespace rezui {

namespace {

// Only the head of a sound is read: the chunk list and the format sit at its start.
constexpr uint64_t kWaveReadLimit = 65536;
constexpr size_t kChunkLinesShown = 24;

struct WaveFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sample_rate = 0;
    uint32_t byte_rate = 0;
    uint16_t block_align = 0;
    uint16_t bits_per_sample = 0;
};

std::string chunk_line(const uint8_t* id, uint32_t size) {
    std::string name(reinterpret_cast<const char*>(id), 4);
    while (!name.empty() && (name.back() == '\0' || name.back() == ' ')) name.pop_back();
    return name + " (" + std::to_string(size) + " bytes)";
}

}  // namespace

const char* wave_format_name(uint16_t tag) {
    switch (tag) {
        case 1: return "PCM";
        case 2: return "ADPCM";
        case 3: return "IEEE float";
        case 6: return "A-law";
        case 7: return "mu-law";
        case 17: return "IMA ADPCM";
        case 85: return "MP3";
        case 65534: return "Extensible";
        default: return "Unknown";
    }
}

std::optional<FormatText> preview_wave(const std::vector<uint8_t>& bytes, const std::string& name_utf8) {
    if (bytes.empty()) {
        FormatText empty;
        empty.text = "Empty WAVE file\nFile: " + name_utf8;
        empty.label = "WAVE";
        return empty;
    }
    std::vector<uint8_t> data;
    bool is_lzma = false;
    uint64_t declared = 0;
    if (!load_preview_payload(bytes, kWaveReadLimit, data, is_lzma, declared)) return std::nullopt;
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    const uint64_t size = data.size();

    std::vector<std::string> chunks;
    WaveFormat format;
    bool have_format = false;
    uint64_t audio_size = 0;
    bool have_audio = false;
    if (size >= 20) {
        uint64_t pos = 12;
        for (;;) {
            const uint8_t* chunk = data.data() + pos;
            const uint32_t chunk_size = rez::load_u32le(chunk + 4);
            chunks.push_back(chunk_line(chunk, chunk_size));
            if (std::memcmp(chunk, "fmt ", 4) == 0 && chunk_size >= 16 && pos + 24 <= size) {
                format.tag = load_u16le(chunk + 8);
                format.channels = load_u16le(chunk + 10);
                format.sample_rate = rez::load_u32le(chunk + 12);
                format.byte_rate = rez::load_u32le(chunk + 16);
                format.block_align = load_u16le(chunk + 20);
                format.bits_per_sample = load_u16le(chunk + 22);
                have_format = true;
            } else if (std::memcmp(chunk, "data", 4) == 0) {
                audio_size = chunk_size;
                have_audio = true;
            }
            const uint64_t next = pos + 8 + chunk_size + (chunk_size % 2);
            if (next <= pos || next > 0xFFFFFFFFull) break;
            pos = next;
            if (next + 8 > size) break;
        }
    }

    const std::string storage = storage_summary(is_lzma, "WAVE", bytes.size(), declared, size);
    std::string text = "RIFF WAVE audio\nFile: " + name_utf8 + "\nStorage: " + storage;
    if (have_format) {
        text += "\nFormat: " + std::string(wave_format_name(format.tag)) + " (" + std::to_string(format.tag) + ")" +
                "\nChannels: " + std::to_string(format.channels) + "\nSample rate: " +
                std::to_string(format.sample_rate) + " Hz" + "\nBits per sample: " +
                std::to_string(format.bits_per_sample) + "\nBlock align: " + std::to_string(format.block_align) +
                " bytes";
    }
    if (have_audio) text += "\nAudio data: " + std::to_string(audio_size) + " bytes";
    if (have_format && have_audio && format.byte_rate != 0) {
        const double seconds = static_cast<double>(audio_size) / format.byte_rate;
        const long long minutes = static_cast<long long>(seconds / 60);
        char line[64];
        rez::format(line, sizeof line, "\nDuration: %lld:%06.3f", minutes, seconds - static_cast<double>(minutes) * 60);
        text += line;
    }
    if (!chunks.empty()) {
        text += "\n\nChunks:\n";
        for (size_t i = 0; i < chunks.size() && i < kChunkLinesShown; ++i) text += "- " + chunks[i] + "\n";
    }
    text += truncation_note(declared, size);

    FormatText result;
    result.text = std::move(text);
    result.label = storage;
    result.entry_size = bytes.size();
    result.decoded_size = reported_decoded_size(declared, size);
    return result;
}

}  // namespace rezui
