#include <gtest/gtest.h>
#include <objbase.h>

#include <random>
#include <string>
#include <vector>

#include "archive/util.h"
#include "decode/preview.h"
#include "decode_fixtures.h"
#include "test_support.h"

namespace {

using decodetest::Bytes;
using decodetest::bytes_of;
using decodetest::fixture_bytes;

std::string size_of(const Bytes& b) { return std::to_string(b.size()); }

class EntryPreview : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(EntryPreview, TextBinaryAndRawBranches) {
    const Bytes text = bytes_of("key = value\n");
    const Bytes lzma_text = fixture_bytes(L"lzma_text.ini");
    const Bytes broken = fixture_bytes(L"lzma_broken.ini");
    Bytes long_text(2000, 'a');
    const struct {
        std::string name;
        Bytes bytes;
        std::string text;  // empty: not checked
        std::string summary;
    } cases[] = {
        {"README", text, "key = value\n", "UTF-8, 12 bytes"},
        {"dir\\SETTINGS.INI", text, "key = value\n", "UTF-8, 12 bytes"},
        {"x.Lua", text, "key = value\n", "UTF-8, 12 bytes"},
        {"empty.ini", {}, "", "Latin1, 0 bytes"},
        {"nul.ini", Bytes(4, 0), std::string(4, '\0'), "Latin1, 4 bytes"},
        {"packed.ini", lzma_text, rez::vector_to_string(fixture_bytes(L"lzma_text.plain")),
         "UTF-8 / LZMA, " + size_of(lzma_text) + " bytes"},
        // A frame that does not decode is shown from its stored bytes, without the tag.
        {"broken.xyz", broken, "", "Binary (xyz), " + size_of(broken) + " bytes"},
        {"notes.xyz", long_text, "", "Binary (xyz), 2000 bytes"},
        {"bad.png", text, "", "Binary (png), 12 bytes"},
        {"bad.DTX", text, "", "Binary (dtx), 12 bytes"},
        {"bad.tga", text, "", "Binary (tga), 12 bytes"},
    };
    for (const auto& c : cases) {
        const rezui::EntryPreview p = rezui::build_entry_preview(c.name, c.bytes);
        EXPECT_EQ(p.name, c.name);
        EXPECT_EQ(p.summary, c.summary) << c.name;
        if (!c.text.empty() || c.bytes.empty()) {
            EXPECT_EQ(p.text, c.text) << c.name;
        }
        EXPECT_FALSE(p.is_image);
        EXPECT_FALSE(p.image.has_value());
    }
    // The dump states the whole length and shows the first 1024 bytes.
    const rezui::EntryPreview dump = rezui::build_entry_preview("notes.xyz", long_text);
    EXPECT_EQ(dump.text.rfind("; Binary data - 2000 bytes total, showing first 1024\n\n", 0), 0u);
    EXPECT_NE(dump.text.find("; ... 976 more bytes\n"), std::string::npos);
    EXPECT_EQ(dump.text, rez::hex_dump(long_text.data(), long_text.size(), 1024));
}

TEST_F(EntryPreview, Pictures) {
    const Bytes png = fixture_bytes(L"picture.png");
    const Bytes tga = fixture_bytes(L"picture_rle32.tga");
    const Bytes dtx = fixture_bytes(L"lzma_texture.dtx");
    const struct {
        std::string name;
        Bytes bytes;
        std::string text;
        std::string summary;
    } cases[] = {
        {"ui\\picture.PNG", png, "PNG image: 3x2", "PNG / 3x2px / " + size_of(png) + " bytes"},
        {"picture.tga", tga, "TGA image image: 3x2", "TGA / 3x2px / " + size_of(tga) + " bytes"},
        {"wall.dtx", dtx, "DTX texture image: 2x2", "DTX / LZMA / 2x2px / " + size_of(dtx) + " bytes"},
    };
    for (const auto& c : cases) {
        const rezui::EntryPreview p = rezui::build_entry_preview(c.name, c.bytes);
        EXPECT_EQ(p.text, c.text);
        EXPECT_EQ(p.summary, c.summary);
        ASSERT_TRUE(p.is_image);
        ASSERT_TRUE(p.image.has_value());
        EXPECT_EQ(p.image->pixels.size(), size_t{p.image->width} * p.image->height * 4);
    }
}

TEST_F(EntryPreview, EncAndCfgEntries) {
    const Bytes enc = fixture_bytes(L"scrambled.enc");
    const Bytes plain = fixture_bytes(L"lzma_text.plain");
    rezui::EntryPreview p = rezui::build_entry_preview("strings.enc", enc);
    EXPECT_EQ(p.text, rez::vector_to_string(plain));
    EXPECT_EQ(p.summary, "ENC Base64 / UTF-8 / " + size_of(enc) + " -> " + size_of(plain) + " bytes");

    // Not base64 after the XOR: an ".enc" entry ends as a dump.
    p = rezui::build_entry_preview("strings.enc", bytes_of("plain words"));
    EXPECT_EQ(p.summary, "Binary (enc), 11 bytes");

    p = rezui::build_entry_preview("mat.cfg", plain);
    EXPECT_EQ(p.summary.rfind("plain-text / UTF-8 / score=", 0), 0u) << p.summary;
    EXPECT_EQ(p.text.rfind("; decoded from mat.cfg\n; plain-text / ", 0), 0u);

    // A "cfg" entry that scores as no engine text goes on to the text branch.
    const Bytes prose = bytes_of(std::string(9000, 'x'));
    p = rezui::build_entry_preview("long.cfg", prose);
    EXPECT_EQ(p.summary, "UTF-8, 9000 bytes");
}

// Random, truncated and bit-flipped inputs always give a filled preview.
TEST_F(EntryPreview, HostileInputsAlwaysGiveAPreview) {
    std::mt19937 rng(4711);
    std::vector<Bytes> seeds = {fixture_bytes(L"picture.png"), fixture_bytes(L"picture_rle32.tga"),
                                fixture_bytes(L"lzma_texture.dtx"), fixture_bytes(L"scrambled.enc"),
                                fixture_bytes(L"lzma_text.ini")};
    const char* names[] = {"a.png", "a.tga", "a.dtx", "a.enc", "a.ini", "a", "a.cfg"};
    for (int round = 0; round < 60; ++round) {
        Bytes b = seeds[round % seeds.size()];
        if (round % 3 == 0) b.resize(rng() % (b.size() + 1));
        for (int k = 0; k < 4 && !b.empty(); ++k) b[rng() % b.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        if (round % 7 == 0) {
            b.resize(200 + rng() % 600);
            for (auto& x : b) x = static_cast<uint8_t>(rng());
        }
        for (const char* name : names) {
            const rezui::EntryPreview p = rezui::build_entry_preview(name, b);
            EXPECT_FALSE(p.summary.empty()) << name << " round " << round;
            if (p.is_image) {
                ASSERT_TRUE(p.image.has_value());
                EXPECT_EQ(p.image->pixels.size(), size_t{p.image->width} * p.image->height * 4);
            }
        }
    }
}

}  // namespace
