// Pure pieces of the browser, preview table and list icons: size texts, display paths,
// sort order, CSV parsing, separator choice, column titles and widths, icon keys and the
// pixel scaling of thumbnails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/browser/browser.h"
#include "app/browser/list_icons.h"
#include "app/browser/preview_pane.h"

namespace {

TEST(FormatSize, Table) {
    struct Case {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 字节"},
        {1023, L"1023 字节"},
        {1024, L"1.0 KB"},
        {1536, L"1.5 KB"},
        {1048575, L"1024.0 KB"},
        {1048576, L"1.0 MB"},
        {1073741823, L"1024.0 MB"},
        {1073741824, L"1.00 GB"},
        {0x8000000000000000ull, L"8589934592.00 GB"},
    };
    for (const Case& c : cases) EXPECT_EQ(rezui::format_size(c.bytes), c.text) << c.bytes;
}

TEST(EntryDisplayPath, FilesGetLowerCaseExtensionFoldersNone) {
    rez::Entry file;
    file.name = "TEXTURE";
    file.ext = "DTX";
    EXPECT_EQ(rezui::entry_display_path(file, L""), L"TEXTURE.dtx");
    EXPECT_EQ(rezui::entry_display_path(file, L"A\\B"), L"A\\B\\TEXTURE.dtx");
    rez::Entry dir;
    dir.is_dir = true;
    dir.name = "Maps";
    dir.ext = "X";  // never shown for a folder
    EXPECT_EQ(rezui::entry_display_path(dir, L"A"), L"A\\Maps");
    rez::Entry bare;
    bare.name = "readme";
    EXPECT_EQ(rezui::entry_display_path(bare, L""), L"readme");
}

TEST(BrowserSort, FoldersFirstThenNamesIgnoringAsciiCase) {
    std::vector<rez::Entry> v(3);
    v[0].name = "B";
    v[1].name = "a";
    v[2].name = "z";
    v[2].is_dir = true;
    std::stable_sort(v.begin(), v.end(), rezui::compare_archive_rows);
    EXPECT_EQ(v[0].name, "z");
    EXPECT_EQ(v[1].name, "a");
    EXPECT_EQ(v[2].name, "B");
}

TEST(BrowserTexture, OnlyPngDtxTgaInAnyCase) {
    EXPECT_TRUE(rezui::is_texture_name("a.PNG"));
    EXPECT_TRUE(rezui::is_texture_name("x.y.dtx"));
    EXPECT_TRUE(rezui::is_texture_name("t.Tga"));
    EXPECT_FALSE(rezui::is_texture_name("png"));
    EXPECT_FALSE(rezui::is_texture_name("a.pngx"));
    EXPECT_FALSE(rezui::is_texture_name("a."));
}

TEST(CsvParse, QuotesSeparatorsAndEmptyFields) {
    using V = std::vector<std::string>;
    EXPECT_EQ(rezui::parse_csv_line("", ','), V{""});
    EXPECT_EQ(rezui::parse_csv_line("a,b,,c", ','), (V{"a", "b", "", "c"}));
    EXPECT_EQ(rezui::parse_csv_line("\"x,y\",z", ','), (V{"x,y", "z"}));
    EXPECT_EQ(rezui::parse_csv_line("\"say \"\"hi\"\"\";2", ';'), (V{"say \"hi\"", "2"}));
    EXPECT_EQ(rezui::parse_csv_line("a,", ','), (V{"a", ""}));
    EXPECT_EQ(rezui::parse_csv_line("\"open", ','), V{"open"});
}

TEST(CsvSeparator, Table) {
    EXPECT_EQ(rezui::choose_csv_separator("a\tb\tc\td,e,f"), '\t');  // 3 tabs, 2 commas
    EXPECT_EQ(rezui::choose_csv_separator("a\tb\tc,d,e"), ',');      // 2 tabs, 2 commas
    EXPECT_EQ(rezui::choose_csv_separator("a,b;c;d"), ';');          // 1 comma, 2 semicolons
    EXPECT_EQ(rezui::choose_csv_separator("abc"), ',');
    EXPECT_EQ(rezui::choose_csv_separator("a\tb;c;d"), ';');         // tabs below semicolons
}

TEST(CsvTitles, BlanksNumberedRepeatsSuffixed) {
    std::vector<std::string> t = rezui::csv_column_titles({"A", " A ", "", "A"});
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], "A");
    EXPECT_EQ(t[1], "A (2)");
    EXPECT_EQ(t[2], "列3");
    EXPECT_EQ(t[3], "A (3)");
}

TEST(CsvColumnWidth, ClampedBetween80And360) {
    EXPECT_EQ(rezui::preview_column_width(100), 360);
    EXPECT_EQ(rezui::preview_column_width(3), 80);
    EXPECT_EQ(rezui::preview_column_width(20), 184);
    EXPECT_EQ(rezui::preview_column_width(static_cast<size_t>(-1)), 360);
}

TEST(PreviewText, MixedLineEndsBecomeOneCrLfEach) {
    EXPECT_EQ(rezui::to_crlf("a\r\nb\nc\rd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(rezui::to_crlf("\n\n"), "\r\n\r\n");
    EXPECT_EQ(rezui::to_crlf("\r\r\n"), "\r\n\r\n");
}

TEST(PreviewPicture, SizeCheckedAgainstBufferWithoutOverflow) {
    EXPECT_TRUE(rezui::picture_fits_buffer(1, 1, 4));
    EXPECT_FALSE(rezui::picture_fits_buffer(1, 1, 3));
    EXPECT_TRUE(rezui::picture_fits_buffer(200, 100, 80000));
    EXPECT_FALSE(rezui::picture_fits_buffer(200, 100, 79999));
    EXPECT_FALSE(rezui::picture_fits_buffer(0, 10, 1000));
    // 0x40000000 * 4 * 4 wraps to 0 in 32 bits and 0x10000 * 0x10000 * 4 to 0 in 34 bits.
    EXPECT_FALSE(rezui::picture_fits_buffer(0x40000000u, 4, 16));
    EXPECT_FALSE(rezui::picture_fits_buffer(0xFFFFFFFFu, 0xFFFFFFFFu, 64));
    EXPECT_FALSE(rezui::picture_fits_buffer(0x10000u, 0x10000u, 1024));
}

TEST(IconKey, Table) {
    struct Case {
        const wchar_t* name;
        bool dir;
        const wchar_t* key;
    } cases[] = {
        {L"anything", true, L"folder"},
        {L"", false, L"file"},
        {L"readme", false, L"file"},
        {L"archive.", false, L"file"},
        {L"fileTXT", false, L"file"},
        {L"file.TXT", false, L".txt"},
        {L"file.exe", false, L".exe"},  // an archive entry hands "file" + ".exe"
        {L"C:\\Tools\\RUN.EXE", false, L"C:\\Tools\\RUN.EXE"},
        {L"\\\\server\\share\\a.lnk", false, L"\\\\server\\share\\a.lnk"},
        {L"C:\\Docs\\notes.TXT", false, L".txt"},
        {L"C:\\x\\y.appref-ms", false, L"C:\\x\\y.appref-ms"},
    };
    for (const Case& c : cases) EXPECT_EQ(rezui::icon_key(c.name, c.dir), c.key) << c.name;
}

std::vector<uint8_t> solid(int w, int h, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = b;
        px[i + 1] = g;
        px[i + 2] = r;
        px[i + 3] = a;
    }
    return px;
}

TEST(BoxFilter, AveragesBlocksWithTruncation) {
    // 2x1 source: (0,0,0,0) and (3,5,7,255) -> one pixel of the truncated means.
    std::vector<uint8_t> src = {0, 0, 0, 0, 3, 5, 7, 255};
    uint8_t dst[4] = {};
    rezui::box_downscale(src.data(), 2, 1, dst, 1, 1);
    EXPECT_EQ(dst[0], 1);
    EXPECT_EQ(dst[1], 2);
    EXPECT_EQ(dst[2], 3);
    EXPECT_EQ(dst[3], 127);
    // Enlarging repeats the source pixel (each block has at least one pixel).
    uint8_t one[4] = {9, 8, 7, 6};
    std::vector<uint8_t> big(3 * 2 * 4);
    rezui::box_downscale(one, 1, 1, big.data(), 3, 2);
    for (size_t i = 0; i < big.size(); i += 4) EXPECT_EQ(big[i], 9);
}

TEST(Thumbnail64, WideTextureCenteredVertically) {
    std::vector<uint8_t> src = solid(200, 100, 10, 20, 30, 255);
    std::vector<uint8_t> out(64 * 64 * 4, 0xAA);
    rezui::thumbnail_64(src.data(), 200, 100, out.data());
    auto alpha = [&](int x, int y) { return out[(static_cast<size_t>(y) * 64 + x) * 4 + 3]; };
    EXPECT_EQ(alpha(0, 15), 0);
    EXPECT_EQ(alpha(0, 16), 255);
    EXPECT_EQ(alpha(63, 47), 255);
    EXPECT_EQ(alpha(63, 48), 0);
    EXPECT_EQ(out[(static_cast<size_t>(30) * 64 + 10) * 4 + 2], 30);
}

TEST(Thumbnail64, TallThinTextureIsNeverZeroWide) {
    std::vector<uint8_t> src = solid(1, 1000, 1, 2, 3, 200);
    std::vector<uint8_t> out(64 * 64 * 4, 0xAA);
    rezui::thumbnail_64(src.data(), 1, 1000, out.data());
    int opaque_columns = 0;
    for (int x = 0; x < 64; ++x)
        if (out[(static_cast<size_t>(10) * 64 + x) * 4 + 3] == 200) ++opaque_columns;
    EXPECT_EQ(opaque_columns, 1);
    EXPECT_EQ(out[(static_cast<size_t>(0) * 64 + 31) * 4 + 3], 200);   // column (64-1)/2 = 31
    EXPECT_EQ(out[(static_cast<size_t>(63) * 64 + 31) * 4 + 3], 200);  // all 64 rows
}

TEST(Thumbnail64, EmptyPictureGivesTransparentSquare) {
    std::vector<uint8_t> out(64 * 64 * 4, 0xAA);
    rezui::thumbnail_64(nullptr, 0, 0, out.data());
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0; }));
}

}  // namespace
