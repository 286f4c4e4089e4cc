// The game formats as the preview dispatcher shows them.
#include <gtest/gtest.h>

#include "archive/rez_model.h"
#include "archive/util.h"
#include "decode/preview.h"
#include "decode_fixtures.h"
#include "game_builders.h"
#include "test_support.h"

using gamefix::Bytes;
using gamefix::Writer;
using rezui::build_entry_preview;

namespace {

using decodetest::fixture_bytes;

Bytes game_dat(const std::string& body) {
    Bytes v{7, 0, 0, 0};
    rez::rez_crypto_encode(v.data(), v.size(), 0);
    Bytes b(body.begin(), body.end());
    rez::rez_crypto_encode(b.data(), b.size(), 0);
    v.insert(v.end(), b.begin(), b.end());
    return v;
}

}  // namespace

TEST(GamePreview, DatEntries) {
    const Bytes world = fixture_bytes(L"world_lzma.dat");
    auto p = build_entry_preview("maps\\Town.DAT", world);
    EXPECT_EQ(p.summary, "DAT World / LZMA: LithTech DAT world v85");
    EXPECT_EQ(p.text,
              "; World: maps\\Town.DAT\n; LithTech DAT world v85\n; Meshes: 1, Vertices: 3, Triangles: 1\n; "
              "Bytes: " +
                  std::to_string(world.size()) + " -> 469\n\nMesh: RenderNode 1, Vertices=3, Triangles=1\n");
    EXPECT_FALSE(p.is_image);

    p = build_entry_preview("zones.dat", game_dat("( Zoneman ( Pos 1 2 3 ) )"));
    EXPECT_EQ(p.summary, "DAT Text: Marrowind DAT / Zoneman");
    EXPECT_EQ(p.text.rfind("; decoded from zones.dat\n; version 7, zones 1", 0), 0u);

    p = build_entry_preview("odd.dat", Bytes{1, 2, 3});
    EXPECT_EQ(p.summary, "Binary (dat), 3 bytes");
}

TEST(GamePreview, BinAndLtcEntries) {
    Writer table;
    table.u32(1).u32(42).zeros(68);
    auto p = build_entry_preview("WeaponModel2.bin", table.out);
    EXPECT_EQ(p.summary, "BIN: Marrowind WeaponModel BIN, 76 bytes");
    EXPECT_EQ(p.text.rfind("Marrowind UI script BIN\nFile: WeaponModel2.bin\nKind: WeaponModel table\n", 0),
              0u);
    const Bytes framed = fixture_bytes(L"weaponmodel_lzma.bin");
    EXPECT_EQ(build_entry_preview("WeaponModel2.bin", framed).summary,
              "BIN / LZMA: Marrowind WeaponModel BIN, 76 bytes");
    EXPECT_EQ(build_entry_preview("other.bin", table.out).summary, "Binary (bin), 76 bytes");
    EXPECT_EQ(build_entry_preview("WeaponModel2.bin", Bytes(70, 0)).summary, "Binary (bin), 70 bytes");

    const std::string script = "Name = \"menu\"\n";
    p = build_entry_preview("menu.LTC", Bytes(script.begin(), script.end()));
    EXPECT_EQ(p.summary, "LTC: LTC text / UTF-8");
    EXPECT_EQ(p.text, "; decoded from menu.LTC\n; LTC text, bytes 14 -> 14\n\n" + script);
    p = build_entry_preview("menu.ltc", fixture_bytes(L"ltc_script_lzma.ltc"));
    EXPECT_EQ(p.summary, "LTC / LZMA: LTC text / UTF-8");
    p = build_entry_preview("menu.ltc", Bytes{0x01, 0x02});
    EXPECT_EQ(p.summary, "LTC: ALL DECODE STRATEGIES FAILED - raw 2 bytes / raw/hex");
}

TEST(GamePreview, OtherGameFormats) {
    const std::string text = "key = value\n";
    auto p = build_entry_preview("notes.TXT", Bytes(text.begin(), text.end()));
    EXPECT_EQ(p.summary, "Resource: TXT / UTF-8");
    EXPECT_EQ(p.text, text);
    p = build_entry_preview("x.ref", {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(p.summary, "Resource: REF reference data, 4 bytes");
    p = build_entry_preview("level.nav12", {1, 2, 3});  // no VAND tag: later branches
    EXPECT_EQ(p.summary, "Binary (nav12), 3 bytes");
    Writer cft;
    cft.u8('s').u8('u').u32(0).u32(0).u32(0);
    for (uint8_t& b : cft.out) b ^= 0x6D;
    p = build_entry_preview("t.cft", cft.out);
    EXPECT_EQ(p.summary, "Resource: CFT / LZMA / XOR 0x6D / CSV");
    p = build_entry_preview("t.cft", fixture_bytes(L"table_lzma.cft"));
    EXPECT_EQ(p.summary, "Resource / LZMA: CFT / LZMA / XOR 0x6D / CSV");
}
