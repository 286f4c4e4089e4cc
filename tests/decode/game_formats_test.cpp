#include "decode/game_formats.h"

#include <gtest/gtest.h>

#include "archive/util.h"
#include "decode_fixtures.h"
#include "game_builders.h"
#include "test_support.h"

using gamefix::Bytes;
using gamefix::Writer;
using namespace rezui;

namespace {

Bytes to_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

using decodetest::fixture_bytes;

bool has(const std::optional<FormatText>& r, const std::string& piece) {
    return r && r->text.find(piece) != std::string::npos;
}

}  // namespace

TEST(GameFormats, ExtensionsAndNames) {
    const std::pair<const char*, bool> nav[] = {{"NAV3", true},  {"nav", true}, {"nav12", true},
                                                {"navx", false}, {"na", false}, {"nav1a", false}};
    for (const auto& [ext, ok] : nav) EXPECT_EQ(is_nav_extension(ext), ok) << ext;
    EXPECT_EQ(normalize_extension(" ..TXT "), "txt");
    EXPECT_TRUE(is_other_game_format("a.x", ".nav"));
    EXPECT_TRUE(is_other_game_format("a.x", "WAVE"));
    EXPECT_TRUE(is_other_game_format("level.nav12", ""));
    EXPECT_FALSE(is_other_game_format("level.navx", "navx"));
    EXPECT_FALSE(is_other_game_format("a.ini", "ini"));
}

TEST(GameFormats, NavigationData) {
    Writer w;
    w.u32(3)
        .u32(0xFFFFFFFF)
        .u32(40)
        .raw("VAND")
        .u32(2)
        .raw(std::string("\x01walkable\x02Walkable\x03zone_a", 25));
    auto r = preview_other_game_format(w.out, "lvl.nav2", "nav2");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "NAV/VAND, 45 bytes");
    EXPECT_EQ(r->decoded_size, 45u);
    EXPECT_EQ(
        r->text.substr(0, r->text.find("First bytes:")),
        "LithTech VAND navigation data\nFile: lvl.nav2\nExtension layer: NAV2\nStorage: NAV, 45 bytes\n"
        "Version: 3\nLayer mask: -1\nDeclared payload bytes: 40\nVAND version: 2\n\n"
        "Header int32 values:\n3, -1, 40, 1145979222, 2, 1818326785, 1818386795, 1633092197, 1650551660, "
        "2047042924, 1600482927\n\nEmbedded strings:\n- VAND\n- walkable\n- zone_a\n\n\n");
    EXPECT_NE(r->text.find("00000000  03 00 00 00 FF FF FF FF 28 00 00 00 56 41 4E 44  ........(...VAND\n"),
              std::string::npos);

    Bytes short_nav = w.out;
    short_nav.resize(18);
    EXPECT_TRUE(has(preview_other_game_format(short_nav, "a.nav", ""), "\nVAND version: 0\n"));
    short_nav[12] = 'X';
    EXPECT_FALSE(preview_other_game_format(short_nav, "a.nav", ""));
    EXPECT_FALSE(preview_other_game_format(Bytes(15, 0), "a.nav", ""));
}

TEST(GameFormats, GenericBinaries) {
    auto r = preview_other_game_format({0xFF, 0xFF, 0xFF, 0xFF}, "x.ref", "ref");
    ASSERT_TRUE(r);
    EXPECT_EQ(
        r->text,
        "REF reference data\nFile: x.ref\nStorage: REF reference data, 4 bytes\nSentinel: 0xFFFFFFFF\n");
    r = preview_other_game_format({'a', 'b', 'c'}, "x.apf", "apf");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text,
              "APF path data\nFile: x.apf\nStorage: APF path data, 3 bytes\n\nFirst bytes:\n"
              "00000000  61 62 63" +
                  std::string(39, ' ') + "  abc\n");
    r = preview_other_game_format({}, "x.fxo", "fxo");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "Compiled FXO shader\nFile: x.fxo\nEmpty file");
    EXPECT_EQ(r->label, "Compiled FXO shader");
    EXPECT_EQ(r->entry_size, 0u);

    // Only the first 16 words are listed; strings are kept once, in their first spelling.
    Writer w;
    for (int i = 0; i < 20; ++i) w.u32(static_cast<uint32_t>(-i));
    w.raw(std::string("\0Shader\0SHADER\0 ab \0main_ps\0", 28));
    r = preview_other_game_format(w.out, "x.fxo", "");
    ASSERT_TRUE(r);
    EXPECT_TRUE(
        has(r,
            "\n\nInitial int32 values:\n0, -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13, -14, -15\n"
            "\nEmbedded strings:\n- Shader\n- main_ps\n\n\nFirst bytes:\n"));

    Bytes framed = fixture_bytes(L"zeros_3mib_lzma.fxo");
    r = preview_other_game_format(framed, "big.fxo", "fxo");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->decoded_size, 3145728u);
    const std::string prefix = "LZMA-compressed Compiled FXO shader, " + std::to_string(framed.size()) +
                               " bytes -> 3145728 bytes, previewed ";
    ASSERT_EQ(r->label.rfind(prefix, 0), 0u) << r->label;
    const uint64_t previewed = std::stoull(r->label.substr(prefix.size()));
    EXPECT_GE(previewed, 1048576u);
    EXPECT_LT(previewed, 3145728u);
    EXPECT_TRUE(rez::ends_with(
        r->text, "\nPreview truncated after " + std::to_string(previewed) + " of 3145728 decoded bytes.\n"));
    // A frame that does not state its size is not previewed here.
    EXPECT_FALSE(preview_other_game_format(fixture_bytes(L"ltc_script_lzma.ltc"), "a.txt", "txt"));
}

TEST(GameFormats, EffectCatalog) {
    Writer w;
    w.u32(2).u32(5).raw(std::string("\0FX_Smoke\0CSmokeFX\0", 19));
    auto r = preview_other_game_format(w.out, "client.fxf", "fxf");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text,
              "ClientFX binary catalog\nFile: client.fxf\nStorage: FXF, 27 bytes\nEntry count: 2\nVersion: 5"
              "\n\nNames and class strings:\n- FX_Smoke\n- CSmokeFX\n");
    EXPECT_EQ(r->label, "FXF, 27 bytes");
}

TEST(GameFormats, TextFiles) {
    auto r = preview_other_game_format(to_bytes("key = value\n"), "a.fcf", "fcf");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "key = value\n");
    EXPECT_EQ(r->label, "FCF / UTF-8");
    r = preview_other_game_format({}, "a.txt", "txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Empty text");
    EXPECT_EQ(r->text, "");
    r = preview_other_game_format({0x00, 0x01, 0x02, 0x03, 0x04, 0x05}, "a.txt", "txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "REF reference data, 6 bytes");

    // 5 MiB of three-byte characters: the 4 MiB cut falls inside one.
    std::string big;
    while (big.size() < 5 * 1048576) big += "\xEA\xB0\x80";
    big.resize(5 * 1048576);
    r = preview_other_game_format(to_bytes(big), "big.txt", "txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "TXT / UTF-8");
    EXPECT_EQ(r->decoded_size, 5u * 1048576);
    const std::string note = "\n\n[Preview truncated after 4194304 of 5242880 decoded bytes.]";
    ASSERT_TRUE(rez::ends_with(r->text, note));
    EXPECT_EQ(r->text.size() - note.size(), 4194304u - 4194304u % 3);
}

TEST(GameFormats, StringsAndRows) {
    const Bytes data = to_bytes(std::string("ab\0  abcd  \0ABCD\0xyz1\0toolong", 29));
    EXPECT_EQ(extract_visible_strings(data, 4, 10), (std::vector<std::string>{"abcd", "xyz1", "toolong"}));
    EXPECT_EQ(extract_visible_strings(data, 4, 1), (std::vector<std::string>{"abcd"}));
    EXPECT_EQ(hex_rows(Bytes(17, 0x41), 100),
              "00000000  41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41  AAAAAAAAAAAAAAAA\n"
              "00000010  41                                               A\n");
    EXPECT_EQ(hex_rows(Bytes(17, 0x41), 0), "");
    EXPECT_EQ(storage_summary(true, "K", 10, 100, 50),
              "LZMA-compressed K, 10 bytes -> 100 bytes, previewed 50");
    EXPECT_EQ(storage_summary(true, "K", 10, 100, 100), "LZMA-compressed K, 10 bytes -> 100 bytes");
    EXPECT_EQ(storage_summary(false, "K", 10, 10, 10), "K, 10 bytes");
}
