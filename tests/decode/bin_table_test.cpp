#include "decode/bin_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "archive/util.h"
#include "game_builders.h"
#include "test_support.h"

using gamefix::Bytes;
using gamefix::Writer;
using namespace rezui;

TEST(BinTable, NameTests) {
    const std::pair<const char*, bool> model[] = {
        {"weaponmodel.BIN", true},    {"WEAPONMODEL7.bin", true},
        {"WeaponModel", true},        {"ui\\WeaponModel12.bin", true},
        {"WeaponModel7a.bin", false}, {"WeaponModel_.bin", false},
        {"Weapon.bin", false}};
    for (const auto& [name, ok] : model) EXPECT_EQ(is_weapon_model_name(name), ok) << name;
    const std::pair<const char*, bool> numbered[] = {{"12-345.bin", true}, {"-345.bin", false},
                                                     {"12-.bin", false},   {"12-3-4.bin", false},
                                                     {"ab-12.bin", false}, {"1-2", true}};
    for (const auto& [name, ok] : numbered) EXPECT_EQ(is_numbered_bin_name(name), ok) << name;
    EXPECT_TRUE(is_bin_table_entry("12-345.BIN", "BIN"));
    EXPECT_FALSE(is_bin_table_entry("12-345.bin", "dat"));
    EXPECT_FALSE(is_bin_table_entry("other.bin", "bin"));
}

TEST(BinTable, WeaponModelLayouts) {
    struct Case {
        size_t size;
        const char* layout;  // nullptr: no report
    };
    const Case cases[] = {
        {4, "\nHeader/version: 0\nRecords: 0\n"},
        {76, "\nLayout: 4-byte header + 1 records x 72 bytes\nHeader/version: 0\n\nRecords:\n"},
        {68, "\nLayout: 1 records x 68 bytes\n\nRecords:\n"},
        {0, "\nLayout: 0 records x 68 bytes\n\nRecords:\n"},
        {1156, "\nLayout: 4-byte header + 16 records x 72 bytes\n"},
        {70, nullptr},
    };
    for (const Case& c : cases) {
        auto r = preview_bin_table(Bytes(c.size, 0), "WeaponModel3.bin");
        if (!c.layout) {
            EXPECT_FALSE(r) << c.size;
            continue;
        }
        ASSERT_TRUE(r) << c.size;
        EXPECT_EQ(r->label, "Marrowind WeaponModel BIN, " + std::to_string(c.size) + " bytes");
        EXPECT_NE(r->text.find(c.layout), std::string::npos) << c.size << "\n" << r->text;
    }
    auto shop = preview_bin_table(Bytes(68, 0), "WeaponModel3.bin");
    EXPECT_NE(shop->text.find("Kind: Shop2 WeaponModel table\n"), std::string::npos);
    EXPECT_EQ(preview_bin_table(Bytes(4, 0), "WeaponModel3.bin")->text.find("First "), std::string::npos);

    Writer w;
    w.u32(9);
    for (uint32_t i = 0; i < 200; ++i) {
        w.u32(500 + i);
        w.zeros(68);
    }
    auto r = preview_bin_table(w.out, "WeaponModel.bin");
    ASSERT_TRUE(r);
    EXPECT_NE(
        r->text.find("Record 127 @ 0x23BC, model id 627:\n  [00] 0x23BC u32=       627 i32=        627"),
        std::string::npos);
    EXPECT_EQ(r->text.find("Record 128 "), std::string::npos);
    EXPECT_NE(r->text.find("... 72 more records omitted.\n\nFirst 160 bytes:\n0000: 09 00 00 00 F4 01"),
              std::string::npos);
    EXPECT_FALSE(preview_bin_table(w.out, "Other.bin"));
}

TEST(BinTable, WeaponPreviewEntry) {
    Writer w;
    w.u8(3).u32(1002).u32(1).u32(7).f32(1.0f);
    auto r = preview_bin_table(w.out, "5-1001.bin");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "Marrowind WeaponPreview BIN, 17 bytes");
    EXPECT_EQ(r->text,
              "Marrowind UI script BIN\nFile: 5-1001.bin\nKind: WeaponPreview entry\n"
              "Storage: WeaponPreview BIN, 17 bytes\nLayout: 1 byte header + 4 little-endian uint32/float32 "
              "fields\n\n"
              "Known fields:\n- Header byte: 3\n- File category: 5\n- File entry id: 1001\n"
              "- Field 0 / item id: 1002\n- Field 1 / preview slot: 1\n"
              "- Field 2 / model group id: 7 (WeaponModel7.bin)\n- Field 3 / model id: 1065353216\n"
              "- Note: file entry id differs from embedded item id (1001 != 1002).\n"
              "- Last field marker: 0x3F800000\n\nFields:\n"
              "  [00] 0x0001 u32=      1002 i32=       1002 hex=EA 03 00 00\n"
              "  [01] 0x0005 u32=         1 i32=          1 hex=01 00 00 00\n"
              "  [02] 0x0009 u32=         7 i32=          7 hex=07 00 00 00\n"
              "  [03] 0x000D u32=1065353216 i32= 1065353216 f32=1 hex=00 00 80 3F\n"
              "\nFirst 17 bytes:\n"
              "0000: 03 EA 03 00 00 01 00 00 00 07 00 00 00 00 00 80  ................\n"
              "0010: 3F                                               ?\n");
    EXPECT_EQ(preview_bin_table(w.out, "5-1002.bin")->text.find("- Note:"), std::string::npos);
    EXPECT_TRUE(preview_bin_table(Bytes(257, 0), "1-2.bin"));
    EXPECT_FALSE(preview_bin_table(Bytes(261, 0), "1-2.bin"));
    EXPECT_FALSE(preview_bin_table(Bytes(13, 0), "1-2.bin"));
    EXPECT_FALSE(preview_bin_table(Bytes(20, 0), "1-2.bin"));
}

TEST(BinTable, FieldReadings) {
    Writer w;
    w.u32(0).f32(1e-6f).f32(std::numeric_limits<float>::quiet_NaN()).f32(-2.5f).u32(0xFFFFFFFF);
    Bytes data = w.out;
    data.resize(data.size() - 1);  // the last field reaches past the data
    EXPECT_EQ(dump_u32_fields(data, 0, 5),
              "  [00] 0x0000 u32=         0 i32=          0 f32=0 hex=00 00 00 00\n"
              "  [01] 0x0004 u32= 897988541 i32=  897988541 hex=BD 37 86 35\n"
              "  [02] 0x0008 u32=2143289344 i32= 2143289344 hex=00 00 C0 7F\n"
              "  [03] 0x000C u32=3223322624 i32=-1071644672 f32=-2.5 hex=00 00 20 C0\n"
              "  [04] 0x0010 u32=         0 i32=          0 f32=0 hex=\n");
    EXPECT_EQ(read_u16_at(data, 18), 0);
    EXPECT_EQ(read_u16_at(data, 17), 0xFFFF);
    EXPECT_EQ(read_u32_at(data, SIZE_MAX), 0u);
}

TEST(BinTable, LzmaFramedTable) {
    Bytes framed;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"weaponmodel_lzma.bin"), framed));
    auto r = preview_bin_table(framed, "WeaponModel2.bin");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->decoded_size, 76u);
    EXPECT_EQ(r->label, "LZMA-compressed Marrowind WeaponModel BIN, " + std::to_string(framed.size()) +
                            " bytes -> 76 bytes");
    EXPECT_NE(r->text.find("Storage: LZMA-compressed WeaponModel BIN, "), std::string::npos);
    Bytes broken = framed;
    broken.resize(broken.size() / 2);
    EXPECT_FALSE(preview_bin_table(broken, "WeaponModel2.bin"));
}
