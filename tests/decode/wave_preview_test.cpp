#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/util.h"
#include "decode/game_formats.h"
#include "decode/wave_preview.h"
#include "decode_fixtures.h"
#include "test_support.h"

namespace {

using decodetest::Bytes;
using decodetest::fixture_bytes;

void append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void append32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void append16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

Bytes riff_head() {
    Bytes b;
    append(b, "RIFF");
    append32(b, 0);
    append(b, "WAVE");
    return b;
}

void fmt_chunk(Bytes& b, uint16_t tag, uint16_t channels, uint32_t rate, uint32_t byte_rate, uint16_t align,
               uint16_t bits) {
    append(b, "fmt ");
    append32(b, 16);
    append16(b, tag);
    append16(b, channels);
    append32(b, rate);
    append32(b, byte_rate);
    append16(b, align);
    append16(b, bits);
}

std::string preview_text(const Bytes& b, const std::string& name = "s.wav") {
    const auto r = rezui::preview_wave(b, name);
    return r ? r->text : "<none>";
}

TEST(WavePreview, SmallPcmFile) {
    Bytes b = riff_head();
    fmt_chunk(b, 1, 2, 44100, 88200, 2, 8);
    append(b, "data");
    append32(b, 0);
    ASSERT_EQ(b.size(), 44u);
    const auto r = rezui::preview_wave(b, "snd\\hit.wav");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->text,
              "RIFF WAVE audio\nFile: snd\\hit.wav\nStorage: WAVE, 44 bytes\nFormat: PCM (1)\nChannels: 2\n"
              "Sample rate: 44100 Hz\nBits per sample: 8\nBlock align: 2 bytes\nAudio data: 0 bytes\n"
              "Duration: 0:00.000\n\nChunks:\n- fmt (16 bytes)\n- data (0 bytes)\n");
    EXPECT_EQ(r->label, "WAVE, 44 bytes");
    EXPECT_EQ(r->entry_size, 44u);
    EXPECT_EQ(r->decoded_size, 44u);
}

TEST(WavePreview, FilesFromPythonsWaveModule) {
    std::string text = preview_text(fixture_bytes(L"stereo16_1s.wav"));
    EXPECT_NE(text.find("\nChannels: 2\nSample rate: 44100 Hz\nBits per sample: 16\nBlock align: 4 bytes\n"
                        "Audio data: 176400 bytes\nDuration: 0:01.000\n"),
              std::string::npos)
        << text;
    text = preview_text(fixture_bytes(L"silence_mono8.wav"));
    EXPECT_NE(text.find("\nDuration: 0:00.500\n"), std::string::npos) << text;

    // Only the first 64 KiB of a long sound are read.
    const Bytes long_sound = fixture_bytes(L"long_stereo16.wav");
    const auto r = rezui::preview_wave(long_sound, "long.wav");
    ASSERT_TRUE(r.has_value());
    EXPECT_NE(r->text.find("\nAudio data: 10485760 bytes\n"), std::string::npos);
    EXPECT_NE(r->text.find("\nDuration: 0:59.443\n"), std::string::npos) << r->text;
    const std::string note =
        "\nPreview truncated after 65536 of " + std::to_string(long_sound.size()) + " decoded bytes.\n";
    ASSERT_GE(r->text.size(), note.size());
    EXPECT_EQ(r->text.substr(r->text.size() - note.size()), note);
    EXPECT_EQ(r->decoded_size, long_sound.size());
}

TEST(WavePreview, OddAndDamagedFiles) {
    // A "fmt " chunk shorter than 16 bytes is listed but not read; tag names.
    Bytes b = riff_head();
    append(b, "fmt ");
    append32(b, 14);
    b.resize(b.size() + 14, 1);
    append(b, "LIST");
    append32(b, 3);
    append(b, "abc");
    b.push_back(0);  // pad byte after an odd size
    fmt_chunk(b, 65534, 1, 8000, 0, 1, 8);
    std::string text = preview_text(b);
    EXPECT_NE(text.find("- fmt (14 bytes)\n- LIST (3 bytes)\n- fmt (16 bytes)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nFormat: Extensible (65534)\n"), std::string::npos);
    EXPECT_EQ(text.find("Duration"), std::string::npos);

    // A size that runs past the end ends the list at that chunk.
    b = riff_head();
    append(b, "junk");
    append32(b, 0xFFFFFFF0u);
    append(b, "data");
    append32(b, 4);
    text = preview_text(b);
    EXPECT_NE(text.find("\n\nChunks:\n- junk (4294967280 bytes)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Audio data"), std::string::npos);

    // 12 to 19 bytes: the tags only.
    b = riff_head();
    append(b, "da");
    EXPECT_EQ(preview_text(b), "RIFF WAVE audio\nFile: s.wav\nStorage: WAVE, 14 bytes");

    EXPECT_EQ(preview_text({}), "Empty WAVE file\nFile: s.wav");
    for (const Bytes& bad : {Bytes{'R', 'I', 'F', 'F'}, [] { Bytes x = riff_head(); x[8] = 'X'; return x; }(),
                             [] { Bytes x = riff_head(); x[0] = 'r'; return x; }()})
        EXPECT_FALSE(rezui::preview_wave(bad, "x.wav").has_value());

    EXPECT_STREQ(rezui::wave_format_name(0), "Unknown");
    EXPECT_STREQ(rezui::wave_format_name(17), "IMA ADPCM");
    EXPECT_STREQ(rezui::wave_format_name(85), "MP3");
}

}  // namespace
