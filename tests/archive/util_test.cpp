#include "archive/util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "test_support.h"

namespace {

TEST(ArchivePath, SplitDropsEmptyComponentsAndJoinUsesSingleBackslashes) {
    const auto parts = rez::split_archive_path("\\\\worlds\\maps//rus\\");
    ASSERT_EQ(parts, (std::vector<std::string>{"worlds", "maps", "rus"}));
    EXPECT_EQ(rez::join_archive_path(parts), "worlds\\maps\\rus");
    EXPECT_TRUE(rez::split_archive_path("").empty());
    EXPECT_TRUE(rez::split_archive_path("\\/\\").empty());
    EXPECT_EQ(rez::join_archive_path({}), "");
}

TEST(ArchivePath, FileNameAndExtension) {
    struct Case {
        const char* path;
        const char* name;
        const char* ext;
    } cases[] = {
        {"a/b\\c.DTX", "c.DTX", "DTX"},  {"dir.v2\\readme", "readme", ""}, {"name.", "name.", ""},
        {".hidden", ".hidden", "hidden"}, {"a.tar.gz", "a.tar.gz", "gz"},   {"folder\\", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rez::file_name_of(c.path), c.name) << c.path;
        EXPECT_EQ(rez::extension_of(c.path), c.ext) << c.path;
    }
}

TEST(ArchivePath, SanitizeFileName) {
    EXPECT_EQ(rez::sanitize_file_name("  "), "unnamed");
    EXPECT_EQ(rez::sanitize_file_name("a:b?c"), "a_b_c");
    EXPECT_EQ(rez::sanitize_file_name("\tname "), "_name");
    EXPECT_EQ(rez::sanitize_file_name("x<>|\"*/\\y"), "x_______y");
    EXPECT_EQ(rez::sanitize_file_name("\xE4\xB8\xAD.txt."), "\xE4\xB8\xAD.txt.");
    // Device names, whatever the case, extension or trailing spaces and dots, would send the
    // data to a device: they get a leading underscore. Near misses stay as they are.
    const struct {
        const char* name;
        const char* sanitised;
    } devices[] = {
        {"CON", "_CON"},         {"nul.txt", "_nul.txt"},   {"Com1 .x", "_Com1 .x"}, {"aux.tar.gz", "_aux.tar.gz"},
        {"PRN.", "_PRN."},       {" lpt9 ", "_lpt9"},       {"LPT1", "_LPT1"},       {"com9", "_com9"},
        {"COM0", "COM0"},        {"LPT10", "LPT10"},        {"CONSOLE", "CONSOLE"},  {"xnul", "xnul"},
        {"con_", "con_"},        {"a.con", "a.con"},        {"NUL:", "NUL_"},        {"nul:.txt", "nul_.txt"},
    };
    for (const auto& d : devices) EXPECT_EQ(rez::sanitize_file_name(d.name), d.sanitised) << d.name;
}

TEST(ArchivePath, SanitizeRelativePath) {
    const struct {
        const char* path;
        const char* out;  // null: refused
    } cases[] = {
        {"a:b/c?d.txt", "a_b\\c_d.txt"}, {"/abs.txt", "abs.txt"},   {"\\\\srv\\x", "srv\\x"},
        {"C:/x", "C_\\x"},             {"a//b/", "a\\b"},          {"", "unnamed"},
        {"/", "unnamed"},              {"CON/nul.txt", "_CON\\_nul.txt"}, {" ../x", nullptr},
        {"..", nullptr},               {"a/../b", nullptr},         {"./a", nullptr},
        {"...", nullptr},              {"a/. ./b", nullptr},        {"x/.. /y", nullptr},
        {"..a/b..", "..a\\b.."},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(rez::sanitize_relative_path(c.path, out), c.out != nullptr) << '"' << c.path << '"';
        EXPECT_EQ(out, c.out ? c.out : "") << '"' << c.path << '"';
    }
}

TEST(ArchivePath, SafeRelativePath) {
    struct Case {
        const char* path;
        bool safe;
    } cases[] = {
        {"..", false},          {"a\\..\\b", false},     {"a/../b", false},   {"C:\\x", false},
        {"a:b", false},         {"\\x", false},          {"/x", false},       {"\\\\srv\\x", false},
        {"//srv/x", false},     {"", false},             {".. ", false},      {"a\\. .\\b", false},
        {"..foo", true},        {".\\a", true},          {"a\\b\\c.txt", true}, {"a/b/c", true},
        {"...", true},          {"x..y\\z", true},
    };
    for (const auto& c : cases) EXPECT_EQ(rez::is_safe_relative_path(c.path), c.safe) << '"' << c.path << '"';
}

TEST(Text, CaseTrimAndSuffix) {
    EXPECT_EQ(rez::to_upper_ascii("abc\xC3\xA9z"), "ABC\xC3\xA9Z");
    EXPECT_EQ(rez::to_lower_ascii("ABC\xC3\x89Z"), "abc\xC3\x89z");
    EXPECT_TRUE(rez::iequals_ascii("Worlds\\A.DAT", "worlds\\a.dat"));
    EXPECT_FALSE(rez::iequals_ascii("ab", "abc"));
    EXPECT_TRUE(rez::iequals_ascii("", ""));
    EXPECT_EQ(rez::trim(std::string(" \t\r\nx y\0 ", 9)), "x y");
    EXPECT_EQ(rez::trim(std::string("\0 \n", 3)), "");
    EXPECT_TRUE(rez::ends_with("file.rez", ".rez"));
    EXPECT_TRUE(rez::ends_with("x", ""));
    EXPECT_FALSE(rez::ends_with("ez", ".rez"));
}

TEST(Text, Utf8RoundTripAndCodePages) {
    const std::wstring wide = L"资源包\u00e9x";
    EXPECT_EQ(rez::from_utf8(rez::to_utf8(wide)), wide);
    EXPECT_EQ(rez::to_utf8(L""), "");
    // "한" in code page 949 is B0 A1? no: C7 D1.
    const char korean[] = "\xC7\xD1";
    EXPECT_EQ(rez::codepage_to_utf8(korean, 2, 949), "\xED\x95\x9C");
    EXPECT_EQ(rez::codepage_to_utf8(korean, 0, 949), "");
    // An invalid code page leaves the bytes as they are.
    EXPECT_EQ(rez::codepage_to_utf8(korean, 2, 12345), std::string(korean, 2));
}

TEST(Text, FormatFloat) {
    struct Case {
        float v;
        const char* text;
    } cases[] = {{0.0f, "0"},     {-0.0f, "0"},     {1.5f, "1.5"},       {100.0f, "100"}, {-2.25f, "-2.25"},
                 {0.1f, "0.1"},   {3.0f, "3"},      {0.000001f, ""},     {2000000.0f, ""}, {1e6f, "1000000"},
                 {1e-5f, "0.00001"}};
    for (const auto& c : cases) EXPECT_EQ(rez::format_float(c.v), c.text) << c.v;
    EXPECT_EQ(rez::format_float(std::numeric_limits<float>::infinity()), "");
    EXPECT_EQ(rez::format_float(std::numeric_limits<float>::quiet_NaN()), "");
}

TEST(Text, FormatIsBoundedAndReportsFullLength) {
    char buf[6];
    EXPECT_EQ(rez::format(buf, sizeof buf, "%s-%zu", "abcdef", size_t{42}), 9);
    EXPECT_STREQ(buf, "abcde");
}

TEST(Text, HexDump) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 20; ++i) data.push_back(static_cast<uint8_t>(0x3E + i));
    const std::string dump = rez::hex_dump(data.data(), data.size(), 18);
    const std::string expected =
        "; Binary data - 20 bytes total, showing first 18\n\n"
        "0000  3E 3F 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D  >?@ABCDEFGHIJKLM\n"
        "0010  4E 4F                                            NO\n"
        "; ... 2 more bytes\n";
    EXPECT_EQ(dump, expected);
    EXPECT_EQ(rez::hex_dump(nullptr, 0, 100), "; Binary data - 0 bytes total, showing first 0\n\n");
    const uint8_t ctl[] = {0x00, 0x7F, 0x20};
    EXPECT_EQ(rez::hex_dump(ctl, 3, 3).substr(48), "0000  00 7F 20" + std::string(39, ' ') + "  .. \n");
}

TEST(Bytes, LittleEndian) {
    uint8_t b[5] = {};
    rez::store_u32le(b + 1, 0xA1B2C3D4u);
    EXPECT_EQ(b[1], 0xD4);
    EXPECT_EQ(b[4], 0xA1);
    EXPECT_EQ(rez::load_u32le(b + 1), 0xA1B2C3D4u);
}

TEST(Files, WriteReadAppendAndReplace) {
    qvltest::ScratchDir dir(L"util");
    const std::wstring a = dir / L"a.bin", b = dir / L"b.bin";
    const uint8_t bytes[] = {1, 2, 3, 4};
    ASSERT_TRUE(rez::write_file(a, bytes, 4));
    std::vector<uint8_t> got;
    ASSERT_TRUE(rez::read_file(a, got));
    EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3, 4}));

    {
        rez::FileHandle f(CreateFileW(a.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(f.is_open());
        ASSERT_TRUE(rez::write_at(f, 1, bytes + 3, 1));
        ASSERT_TRUE(rez::append_to_file(f, bytes, 2));
        ASSERT_TRUE(rez::read_all(f, got));
        EXPECT_EQ(got, (std::vector<uint8_t>{1, 4, 3, 4, 1, 2}));
    }

    ASSERT_TRUE(rez::write_file(b, nullptr, 0));
    ASSERT_TRUE(rez::read_file(b, got));
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(rez::move_file_replace(a, b));
    EXPECT_FALSE(rez::file_exists(a));
    ASSERT_TRUE(rez::read_file(b, got));
    EXPECT_EQ(got.size(), 6u);
    EXPECT_FALSE(rez::file_exists(dir.path()));  // folders are not files
    EXPECT_TRUE(rez::delete_file(b));
    EXPECT_FALSE(rez::read_file(b, got));

    rez::FileHandle closed;
    EXPECT_FALSE(rez::read_all(closed, got));
    EXPECT_FALSE(rez::write_at(closed, 0, bytes, 1));
}

// Extraction maps the archive; a file another program writes to cannot be mapped safely and
// is read instead, and an empty file has no bytes either way.
TEST(Files, MapOrReadGivesTheBytesWhetherMappedOrRead) {
    qvltest::ScratchDir dir(L"mapped");
    const std::wstring full = dir / L"full.bin", empty = dir / L"empty.bin", missing = dir / L"none.bin";
    std::vector<uint8_t> bytes(70000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    ASSERT_TRUE(rez::write_file(full, bytes.data(), bytes.size()));
    ASSERT_TRUE(rez::write_file(empty, nullptr, 0));
    auto same = [&](std::span<const uint8_t> got) {
        return got.size() == bytes.size() && std::equal(got.begin(), got.end(), bytes.begin());
    };
    {
        rez::MappedFile mapped;
        std::vector<uint8_t> copy;
        std::span<const uint8_t> got;
        ASSERT_TRUE(rez::map_or_read(full, mapped, copy, got));
        EXPECT_TRUE(copy.empty());  // mapped, not read
        EXPECT_TRUE(same(got));
    }
    {
        rez::FileHandle writer(CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer.is_open());
        rez::MappedFile mapped;
        EXPECT_FALSE(mapped.open(full));
        std::vector<uint8_t> copy;
        std::span<const uint8_t> got;
        ASSERT_TRUE(rez::map_or_read(full, mapped, copy, got));
        EXPECT_EQ(copy.size(), bytes.size());
        EXPECT_TRUE(same(got));
    }
    rez::MappedFile mapped;
    std::vector<uint8_t> copy;
    std::span<const uint8_t> got;
    ASSERT_TRUE(rez::map_or_read(empty, mapped, copy, got));
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(rez::map_or_read(missing, mapped, copy, got));
}

TEST(Files, ExeDirectoryIsAFolderWithoutTrailingSeparator) {
    const std::wstring dir = rez::exe_directory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), L'\\');
    EXPECT_NE(GetFileAttributesW(dir.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
