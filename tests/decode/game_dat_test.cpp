#include "decode/game_dat.h"

#include <gtest/gtest.h>

#include <cmath>

#include "archive/rez_model.h"
#include "game_builders.h"

using gamefix::Bytes;
using namespace rezui;

namespace {

// Version and body scrambled each on its own, both starting at table index 0.
Bytes game_dat(uint32_t version, const std::string& body) {
    Bytes v(4);
    for (int i = 0; i < 4; ++i) v[i] = static_cast<uint8_t>(version >> (8 * i));
    rez::rez_crypto_encode(v.data(), v.size(), 0);
    Bytes b(body.begin(), body.end());
    rez::rez_crypto_encode(b.data(), b.size(), 0);
    v.insert(v.end(), b.begin(), b.end());
    return v;
}

std::string header(const std::string& what, size_t body_size, uint32_t version = 7) {
    const std::string n = std::to_string(body_size + 4);
    return "; decoded from z.dat\n; version " + std::to_string(version) + ", " + what + ", bytes " + n +
           " -> " + n + "\n\n";
}

}  // namespace

TEST(GameDat, RefusesShortEntriesAndBadVersions) {
    EXPECT_FALSE(convert_game_dat_to_text(Bytes(4, 0), "z.dat"));
    EXPECT_FALSE(convert_game_dat_to_text(game_dat(0, "x"), "z.dat"));
    EXPECT_FALSE(convert_game_dat_to_text(game_dat(1025, "x"), "z.dat"));
    auto r = convert_game_dat_to_text(game_dat(1024, "x"), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / Binary");
    EXPECT_EQ(r->entry_size, 5u);
    EXPECT_EQ(r->decoded_size, 5u);
}

TEST(GameDat, ZonesAreRewritten) {
    const std::string body =
        "( Zoneman (ZonemanName \"Gate\\A\") (Pos 1 2) (Pos 4 5.5 6) (Rot 0 0.1234567 3.0000004)"
        " (Floor 12abc) (SoundType \"wind\") (EnvFModEvent2 \"e2\") (EnvFModEvent3 \"e3\")"
        " (Point 1 1 1) (Point -2 0 2.5) )\n"
        "( Zoneman ( Pos 9 9 9 ) ( Floor abc ) )\n"
        "( Zoneman ( SoundType \"dropped: no name, pos or points\" ) )\n"
        "*MOVE_PATH 1 2 3 4\n";
    auto r = convert_game_dat_to_text(game_dat(7, body), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / Zoneman");
    EXPECT_EQ(r->text, header("zones 2", body.size()) +
                           "( Zoneman\n"
                           "\t( ZonemanName \"Gate\\\\A\" )\n"
                           "\t( Pos 4 5.5 6 )\n"
                           "\t( Rot 0 0.123457 3 )\n"
                           "\t( Floor 12 )\n"
                           "\t( SoundType \"wind\" )\n"
                           "\t( EnvFModEvent1 \"e2\" )\n"
                           "\t( EnvFModEvent2 \"e3\" )\n"
                           "\t( Point 1 1 1 )\n"
                           "\t( Point -2 0 2.5 )\n"
                           ")\n\n"
                           "( Zoneman\n"
                           "\t( ZonemanName \"Zoneman\" )\n"
                           "\t( Pos 9 9 9 )\n"
                           "\t( Floor  )\n"
                           ")\n\n");
}

TEST(GameDat, ZoneWithOnlyANameIsKept) {
    auto r = convert_game_dat_to_text(game_dat(7, "(Zoneman (ZonemanName \"Hall\"))"), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / Zoneman");
}

TEST(GameDat, EnvSoundsAlwaysWriteThreeSoundNames) {
    const std::string body =
        "( EnvSound ( EnvSoundName \"Rain\" ) ( ZoneName \"Z1\" ) ( Pos 1 2 3 ) ( SoundName1 \"a.wav\" )"
        " (SoundName3   snd\\b\x01.wav  ) ( Decay 0.5 ) ( Radius_In 10 ) ( Radius_Out 2e1 ) ( SoundType "
        "\"loop\" ) )\n"
        "( EnvSound ( soundType \"x\" ) )\n"  // dropped
        "( Zoneman ( Floor 1 ) )\n"           // dropped too: the body falls through to the sounds
        "*MOVE_PATH\n";
    auto r = convert_game_dat_to_text(game_dat(7, body), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / EnvSound");
    EXPECT_EQ(r->text, header("env sounds 1", body.size()) +
                           "( EnvSound\n"
                           "\t( EnvSoundName \"Rain\" )\n"
                           "\t( ZoneName \"Z1\" )\n"
                           "\t( Pos 1 2 3 )\n"
                           "\t( SoundName1 \"a.wav\" )\n"
                           "\t( SoundName2 \"\" )\n"
                           "\t( SoundName3 \"snd\\\\b.wav\" )\n"
                           "\t( Decay 0.5 )\n"
                           "\t( Radius_In 10 )\n"
                           "\t( Radius_Out 20 )\n"
                           "\t( soundType \"loop\" )\n"
                           ")\n\n");
}

TEST(GameDat, MovePathTakesEveryRunOfFourNumbers) {
    const std::string body =
        "*SCENE_FIRSTFRAME 0\n*SCENE_FRAMESPEED 30.5\n"
        "stray 1 2 3 4 before\n"
        "*MOVE_PATH\n{\n*ANIMATION_FRAME_COUNT 2\n*CONTROL_POS_SAMPLE\n{\n0 1.5 -2 3\n"
        "10\n20 30\n40\n 7 8 9\n}\n}\n";
    auto r = convert_game_dat_to_text(game_dat(3, body), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / MovePath");
    EXPECT_EQ(r->text, header("path samples 3", body.size(), 3) +
                           "*SCENE_FIRSTFRAME 0\n*SCENE_FRAMESPEED 30.5\n"
                           "*MOVE_PATH\n{\n\t*ANIMATION_FRAME_COUNT 2\n\t*CONTROL_POS_SAMPLE\n\t{\n"
                           "\t\t1 2 3 4\n\t\t0 1.5 -2 3\n\t\t10 20 30 40\n\t}\n}\n");
}

TEST(GameDat, CameraTracks) {
    const std::string body =
        "*SCENE_LASTFRAME 99\n"
        "*CAMERA_Main_ANIMATION {\n*LOCAL_POS 1 2 3\n}\n"
        "*CAMERA_Side_ANIMATION {\n*ANIMATION_FRAME_COUNT 5\n*CONTROL_POS_SAMPLE {\n0 1 2 3\n1 4 5 6\n}\n}\n";
    auto r = convert_game_dat_to_text(game_dat(7, body), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / CameraAnimation");
    EXPECT_EQ(r->text,
              header("camera tracks 2, samples 2", body.size()) +
                  "*SCENE_LASTFRAME 99\n\n"
                  "*CAMERA_Main_ANIMATION\n{\n\t*LOCAL_POS 1 2 3\n}\n\n"
                  "*CAMERA_Side_ANIMATION\n{\n\t*ANIMATION_FRAME_COUNT 5\n\t*CONTROL_POS_SAMPLE\n\t{\n"
                  "\t\t0 1 2 3\n\t\t1 4 5 6\n\t}\n}\n\n");
}

TEST(GameDat, UnknownBodyIsDumped) {
    const std::string body = "*CAMERA_ without its closing word";
    auto r = convert_game_dat_to_text(game_dat(9, body), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / Binary");
    const std::string n = std::to_string(body.size() + 4);
    EXPECT_EQ(r->text.substr(0, r->text.find("; Binary data")),
              "; decoded from z.dat\n; Marrowind DAT binary body\n; version 9, bytes " + n + " -> " + n +
                  "\n\n; The body is binary. First decoded bytes:\n");
    EXPECT_NE(r->text.find("*CAMERA_ without"), std::string::npos);
}

TEST(GameDatScan, NumbersAndIntegers) {
    const std::pair<double, const char*> numbers[] = {
        {2, "2"},         {2.5, "2.5"},     {0.1234567, "0.123457"},
        {3.0000004, "3"}, {-0.25, "-0.25"}, {1e20, "100000000000000000000"}};
    for (const auto& [v, text] : numbers) EXPECT_EQ(format_dat_number(v), text);
    // A value near the top of the double range needs over 300 characters.
    EXPECT_EQ(format_dat_number(1e308).size(), 309u);
    EXPECT_EQ(format_dat_number(-1.5e300).substr(0, 4), "-150");

    const std::pair<const char*, std::optional<int32_t>> ints[] = {{"(Floor 12abc)", 12},
                                                                   {"(Floor abc)", std::nullopt},
                                                                   {"(Floor 12-3)", 12},
                                                                   {"(Floor -7)", -7},
                                                                   {"(Floor --7)", std::nullopt},
                                                                   {"(Floor 2147483647)", 2147483647},
                                                                   {"(Floor 2147483648)", std::nullopt},
                                                                   {"(Floor -2147483648)", INT32_MIN},
                                                                   {"(Floor)", std::nullopt}};
    for (const auto& [text, expected] : ints) EXPECT_EQ(read_paren_int(text, "Floor"), expected) << text;

    EXPECT_EQ(read_quoted_value("(Key \"a\" (Key \"b\"", "Key"), "a");
    EXPECT_EQ(read_quoted_value("(Key x) (Key \"b\")", "Key"), "b");
    EXPECT_EQ(read_quoted_value("(Key \"open", "Key"), "");
    EXPECT_EQ(escape_quoted("a\\b\"c"), "a\\\\b\\\"c");
}

TEST(GameDatScan, HostileBodiesStayLinear) {
    // Long blank runs and unterminated keys: a quadratic scan would not finish here.
    const std::string blanks(4 << 20, ' ');
    std::string body = "1" + blanks + "2" + blanks + "x" + blanks + "3";
    EXPECT_TRUE(scan_samples(body).empty());
    std::string keys;
    for (int i = 0; i < 200000; ++i) keys += "(Key x ";
    keys += "(Key \"" + blanks;
    for (int i = 0; i < 200000; ++i) keys += "(Key ";
    EXPECT_EQ(read_quoted_value(keys, "Key"), "");
    std::string opens = "(" + blanks;
    for (int i = 0; i < 100000; ++i) opens += "(Pos 1 2 ";
    EXPECT_FALSE(read_paren_triple(opens, "Pos"));
    // A megabyte of digits is one number, converted without reading it all exactly.
    const std::string digits = "*SCENE_FIRSTFRAME " + std::string(1 << 20, '9');
    auto big = read_star_number(digits, "SCENE_FIRSTFRAME");
    ASSERT_TRUE(big);
    EXPECT_TRUE(std::isinf(*big));
    auto small = read_star_number("*K 0." + std::string(1 << 20, '0') + "1", "K");
    ASSERT_TRUE(small);
    EXPECT_EQ(*small, 0.0);
    auto mid = read_star_number("*K " + std::string(300, '0') + "12.5e1", "K");
    ASSERT_TRUE(mid);
    EXPECT_DOUBLE_EQ(*mid, 125.0);

    auto r = convert_game_dat_to_text(game_dat(1, "*MOVE_PATH" + blanks + "1" + blanks + "2"), "z.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind DAT / MovePath");
}
