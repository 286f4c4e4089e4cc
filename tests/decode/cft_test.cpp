#include <gtest/gtest.h>

#include "archive/util.h"
#include "decode/game_formats.h"
#include "game_builders.h"
#include "test_support.h"

using gamefix::Bytes;
using gamefix::Writer;
using namespace rezui;

namespace {

std::string name_field(const std::string& name) {
    std::string f = name;
    f.resize(64, '\0');
    return f;
}

// The table image before the XOR layer.
Writer cft_image(uint32_t columns, int32_t rows, const std::vector<std::string>& names) {
    Writer w;
    w.raw("su").u32(0).u32(columns).u32(static_cast<uint32_t>(rows));
    for (const std::string& n : names) w.raw(name_field(n));
    return w;
}

Bytes scrambled(Bytes b) {
    for (uint8_t& c : b) c ^= 0x6D;
    return b;
}

std::optional<FormatText> cft(const Bytes& image) {
    return preview_other_game_format(scrambled(image), "items.cft", "cft");
}

}  // namespace

TEST(Cft, NumberRowsAsCsv) {
    Writer w = cft_image(3, 2, {"Id", "Name,Short", ""});
    w.u32(1).u32(2).u32(3).u32(4).u32(5).u32(4294967295u);
    auto r = cft(w.out);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "CFT / LZMA / XOR 0x6D / CSV");
    EXPECT_EQ(r->text,
              "Marrowind CFT table\nFile: items.cft\nStorage: CFT, 230 bytes\nColumns: 3\nRows: 2\n"
              "\nColumn names:\n- Id\n- Name,Short\n- Column 3\n"
              "\nCSV data (first rows):\nId,\"Name,Short\",Column 3\n1,2,3\n4,5,4294967295\n");
    EXPECT_EQ(r->entry_size, 230u);
    EXPECT_EQ(r->decoded_size, 230u);
}

TEST(Cft, StringRowsAndLimits) {
    // Too short for one row of numbers: NUL-terminated strings, columns per row.
    Writer s = cft_image(5, 5, {"Key", "Text", "C", "D", "E"});
    s.raw(std::string(" a \0say \"hi\"\0b\0", 15));
    auto r = cft(s.out);
    ASSERT_TRUE(r);
    EXPECT_TRUE(rez::ends_with(r->text, "\nCSV data (first rows):\nKey,Text,C,D,E\na,\"say \"\"hi\"\"\",b\n"))
        << r->text;

    // More rows stored than shown: the data ends first.
    Writer many = cft_image(1, 2000, {"N"});
    for (uint32_t i = 0; i < 3; ++i) many.u32(i);
    r = cft(many.out);
    ASSERT_TRUE(r);
    EXPECT_NE(r->text.find("\nRows: 2000\n"), std::string::npos);
    EXPECT_TRUE(rez::ends_with(r->text, "N\n0\n1\n2\n"));
    Writer capped = cft_image(1, 2000, {"N"});
    for (uint32_t i = 0; i < 1100; ++i) capped.u32(i);
    r = cft(capped.out);
    ASSERT_TRUE(r);
    EXPECT_TRUE(rez::ends_with(r->text, "\n1022\n1023\n"));

    EXPECT_FALSE(cft(cft_image(4097, 0, {}).out));
    EXPECT_FALSE(cft(cft_image(1, -1, {"A"}).out));
    r = cft(cft_image(4096, 1, {}).out);
    ASSERT_TRUE(r);
    EXPECT_NE(r->text.find("\nColumns: 4096\n"), std::string::npos);
    EXPECT_EQ(r->text.find("Column names"), std::string::npos);

    Writer none = cft_image(0, 3, {});
    none.raw(std::string("END\0hello table\0", 16));
    r = cft(none.out);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text,
              "Marrowind CFT table\nFile: items.cft\nStorage: CFT, 30 bytes\nColumns: 0\nRows: 3\n"
              "\nVisible strings:\n- hello table\n");
}

TEST(Cft, NameFields) {
    std::vector<std::string> names(7, "c");
    names[5] = "";
    std::string long_name(64, 'L');
    names[6] = long_name;
    auto r = cft(cft_image(7, 0, names).out);
    ASSERT_TRUE(r);
    EXPECT_NE(r->text.find("- Column 6\n- " + long_name + "\n"), std::string::npos);
    const uint8_t field[64] = {' ', 'a', 0x01, 'b', ' ', 0};
    EXPECT_EQ(fixed_name_field(field), "ab");
    EXPECT_EQ(csv_quote(""), "");
    EXPECT_EQ(csv_quote("a\nb"), "\"a\nb\"");
}

TEST(Cft, NotATableIsShownAsText) {
    const std::string text = "name = sword\n";
    auto r = preview_other_game_format(Bytes(text.begin(), text.end()), "items.cft", "cft");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "TXT / UTF-8");
    EXPECT_EQ(r->text, text);
    r = preview_other_game_format(Bytes{0x01, 0x02, 0x03, 0x04}, "items.cft", "cft");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "REF reference data, 4 bytes");
}

TEST(Cft, LzmaFramedTable) {
    Bytes framed;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"table_lzma.cft"), framed));
    auto r = preview_other_game_format(framed, "t.cft", "cft");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "CFT / LZMA / XOR 0x6D / CSV");
    EXPECT_NE(r->text.find("Storage: LZMA-compressed CFT, " + std::to_string(framed.size()) +
                           " bytes -> 82 bytes\n"),
              std::string::npos);
    EXPECT_TRUE(rez::ends_with(r->text, "\nCSV data (first rows):\nLevel\n7\n"));
}
