// The archive model: naming, lookup by path, ids, statistics, the key table and type texts.
#include <gtest/gtest.h>

#include "archive/rez_model.h"

namespace {

rez::Entry file(const std::string& name, const std::string& ext, uint32_t id = 0, uint32_t size = 0) {
    rez::Entry e;
    e.name = name;
    e.ext = ext;
    e.id = id;
    e.size = size;
    return e;
}

rez::Entry dir(const std::string& name, std::vector<rez::Entry> children = {}) {
    rez::Entry e;
    e.is_dir = true;
    e.name = name;
    e.children = std::move(children);
    return e;
}

TEST(RezModel, NameWithExt) {
    EXPECT_EQ(file("a", "LTB").name_with_ext(), "a.ltb");
    EXPECT_EQ(file("TEXTURE", "DTX").name_with_ext(), "TEXTURE.dtx");
    EXPECT_EQ(file("readme", "").name_with_ext(), "readme");
    EXPECT_EQ(dir("Maps").name_with_ext(), "Maps");
    rez::Entry d = dir("Maps");
    d.ext = "X";  // a directory never shows a type
    EXPECT_EQ(d.name_with_ext(), "Maps");
}

TEST(RezModel, SplitNameExt) {
    struct Case {
        const char* in;
        bool split;
        const char* stem;
        const char* type;
    } cases[] = {{"a.b.c", true, "a.b", "c"}, {".cfg", false, ".cfg", ""}, {"archive.", false, "archive.", ""},
                 {"readme", false, "readme", ""}, {"x.DTX", true, "x", "DTX"}};
    for (const Case& c : cases) {
        std::string stem, type;
        EXPECT_EQ(rez::split_name_ext(c.in, stem, type), c.split) << c.in;
        EXPECT_EQ(stem, c.stem) << c.in;
        EXPECT_EQ(type, c.type) << c.in;
    }
}

TEST(RezModel, FindEntryByPath) {
    rez::RezFile m;
    m.root.children = {dir("Textures", {file("TEXTURE", "DTX", 1), dir("Sub", {file("deep", "dat", 2)})}),
                       file("", "cfg", 3), file("TEXTURE", "", 4)};
    EXPECT_EQ(m.find_entry(""), &m.root);
    const rez::Entry* tex = &m.root.children[0].children[0];
    for (const char* p : {"Textures\\TEXTURE.DTX", "textures/texture.dtx", "\\\\Textures//Texture\\", "TEXTURES\\texture"})
        EXPECT_EQ(m.find_entry(p), tex) << p;
    EXPECT_EQ(m.find_entry("textures\\sub\\DEEP.DAT"), &m.root.children[0].children[1].children[0]);
    EXPECT_EQ(m.find_entry(".cfg"), &m.root.children[1]);  // empty name, type cfg
    EXPECT_EQ(m.find_entry("Textures\\TEXTURE.png"), nullptr);
    EXPECT_EQ(m.find_entry("Textures.x"), nullptr);  // a directory is found by its name only
    EXPECT_EQ(m.find_entry("nothing"), nullptr);
    const rez::RezFile& cm = m;
    EXPECT_EQ(cm.find_entry_const("Textures"), &m.root.children[0]);
}

TEST(RezModel, DotComponentFindsWholeNameWhenItComesFirst) {
    rez::RezFile m;
    m.root.children = {file(".cfg", ""), file("", "cfg")};
    EXPECT_EQ(m.find_entry(".cfg"), &m.root.children[0]);
}

TEST(RezModel, EntryMatchesComponent) {
    rez::Entry f = file("TEX", "DTX");
    EXPECT_TRUE(rez::entry_matches_component(f, "tex.dtx", "tex", "dtx"));
    EXPECT_TRUE(rez::entry_matches_component(f, "tex", "tex", ""));
    // Without a type the whole component must match: "." (no stem, no type) finds a
    // nameless entry by lookup, but does not name it here.
    rez::Entry nameless = file("", "");
    EXPECT_FALSE(rez::entry_matches_component(nameless, ".", "", ""));
    rez::Entry holder;
    holder.is_dir = true;
    holder.children = {nameless};
    EXPECT_EQ(holder.find_child("."), &holder.children[0]);
    EXPECT_TRUE(rez::entry_matches_component(file("tex", ""), "TEX", "TEX", ""));
    EXPECT_FALSE(rez::entry_matches_component(dir("tex"), "tex.dtx", "tex", "dtx"));
}

TEST(RezModel, Ids) {
    rez::RezFile m;
    m.next_id = 10;
    m.used_ids = {10, 11, 13};
    EXPECT_EQ(m.next_free_id(), 12u);
    EXPECT_EQ(m.next_id, 13u);
    EXPECT_EQ(m.next_free_id(), 14u);
    m.root.children = {file("a", "", 7), dir("d", {file("b", "", 9)})};
    m.build_used_ids();
    EXPECT_EQ(m.used_ids, (std::set<uint32_t>{7, 9}));
    rez::RezFile fresh;
    EXPECT_EQ(fresh.next_free_id(), 10000000u);
    EXPECT_EQ(fresh.next_free_id(), 10000001u);
}

TEST(RezModel, Stats) {
    rez::RezFile m;
    rez::Stats s = m.stats();
    EXPECT_EQ(s.dirs, 1u);
    EXPECT_EQ(s.files, 0u);
    EXPECT_EQ(s.bytes, 0u);
    m.root.children = {file("a", "", 1, 10), dir("d", {file("b", "", 2, 5), dir("e")})};
    s = m.stats();
    EXPECT_EQ(s.dirs, 3u);
    EXPECT_EQ(s.files, 2u);
    EXPECT_EQ(s.bytes, 15u);
}

TEST(RezModel, DefaultsAndEngineLayoutByName) {
    rez::RezFile m;
    EXPECT_EQ(m.user_title, "LithTech Resource File");
    EXPECT_EQ(m.signature_text, "RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.");
    EXPECT_TRUE(m.root.is_dir);
    EXPECT_TRUE(m.root.loaded);
    EXPECT_EQ(m.next_id, 10000000u);
    rez::Entry e;
    EXPECT_FALSE(e.is_dir);
    EXPECT_TRUE(e.loaded);
    EXPECT_FALSE(e.hidden);
    EXPECT_TRUE(rez::RezFile(L"C:\\game\\ENGINE.REZ").engine_layout);
    EXPECT_TRUE(rez::RezFile(L"C:/game/Engine.rez").engine_layout);
    EXPECT_FALSE(rez::RezFile(L"C:\\game\\engine.rez2").engine_layout);
    EXPECT_FALSE(rez::RezFile(L"engine.rez.bak").engine_layout);
    EXPECT_FALSE(rez::RezFile(L"C:\\engine.rez\\game.rez").engine_layout);
}

TEST(RezModel, NameOrderAndCase) {
    EXPECT_TRUE(rez::name_less_ci(L"alpha", L"Beta"));
    EXPECT_FALSE(rez::name_less_ci(L"BETA", L"alpha"));
    EXPECT_EQ(rez::file_name_utf8(L"C:\\x/y\\z.txt"), "z.txt");
    EXPECT_EQ(rez::file_name_utf8(L"C:\\x\\"), "");
    rez::uppercase_rez_names = true;
    EXPECT_EQ(rez::apply_rez_name_case("textures.dtx"), "TEXTURES.DTX");
    rez::uppercase_rez_names = false;
    EXPECT_EQ(rez::apply_rez_name_case("textures.dtx"), "textures.dtx");
}

TEST(RezCrypto, TableFollowsItsStatedRule) {
    const std::vector<uint8_t>& t = rez::rez_crypto_table();
    ASSERT_EQ(t.size(), 1013u);
    uint32_t s = 0x51A7C0DE;
    for (size_t i = 0; i < t.size(); ++i) {
        s = s * 1664525u + 1013904223u;
        ASSERT_EQ(t[i], s >> 24) << i;
    }
    EXPECT_EQ(&t, &rez::rez_crypto_table());
}

TEST(RezCrypto, RoundTripAndOffsetDependence) {
    std::vector<uint8_t> plain(3000);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + 3);
    for (uint64_t base : {0ull, 1ull, 1012ull, 1013ull, 0xFFFFFFF0ull}) {
        std::vector<uint8_t> b = plain;
        rez::rez_crypto_encode(b.data(), b.size(), base);
        EXPECT_NE(b, plain);
        rez::rez_crypto_decode(b, static_cast<size_t>(base));
        EXPECT_EQ(b, plain) << base;
    }
    // One byte by the formula: plain = (NOT enc XOR T[base mod 1013]) + 0x49.
    std::vector<uint8_t> one = {0x5A};
    rez::rez_crypto_decode(one, 2000);
    EXPECT_EQ(one[0], static_cast<uint8_t>((static_cast<uint8_t>(~0x5A) ^ rez::rez_crypto_table()[2000 % 1013]) + 0x49));
    std::vector<uint8_t> a = plain, b = plain;
    rez::rez_crypto_encode(a.data(), a.size(), 168);
    rez::rez_crypto_encode(b.data(), b.size(), 169);
    EXPECT_NE(a, b);
}

TEST(RezCrypto, TypeText) {
    EXPECT_EQ(rez::type_text_to_u32("DTX"), 0x00445458u);  // bytes X T D 0
    EXPECT_EQ(rez::type_text_from_u32(0x00445458u), "DTX");
    EXPECT_EQ(rez::type_text_from_u32(0), "");
    EXPECT_EQ(rez::type_text_to_u32(""), 0u);
    EXPECT_EQ(rez::type_text_from_u32(rez::type_text_to_u32("A")), "A");
    EXPECT_EQ(rez::type_text_from_u32(rez::type_text_to_u32("WAVE")), "WAVE");
    EXPECT_EQ(rez::type_text_from_u32(rez::type_text_to_u32("SPRITE")), "SPRI");
}

}  // namespace
