#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "archive/util.h"
#include "archive/gb18030.h"
#include "archive/codepage.h"
#include "decode_fixtures.h"
#include "test_support.h"

namespace {

using decodetest::fixture_bytes;

std::wstring as_utf16(const std::vector<uint8_t>& le) {
    std::wstring out;
    for (size_t i = 0; i + 1 < le.size(); i += 2) out.push_back(static_cast<wchar_t>(le[i] | (le[i + 1] << 8)));
    return out;
}

std::wstring decode(const std::string& bytes, bool strict, bool* ok = nullptr) {
    std::wstring out;
    const bool r = rez::gb18030_to_wide(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), strict, out);
    if (ok) *ok = r;
    return out;
}

// Every two-byte and every BMP four-byte code decodes as Python's codec says.
TEST(Gb18030, AllCodesMatchTheReferenceCodec) {
    for (const auto& [bin, utf16] : {std::pair{L"gb18030_two.bin", L"gb18030_two.utf16"},
                                      std::pair{L"gb18030_four.bin", L"gb18030_four.utf16"}}) {
        const std::vector<uint8_t> in = fixture_bytes(bin);
        const std::wstring expected = as_utf16(fixture_bytes(utf16));
        ASSERT_FALSE(in.empty());
        std::wstring out;
        ASSERT_TRUE(rez::gb18030_to_wide(in.data(), in.size(), true, out));
        ASSERT_EQ(out.size(), expected.size());
        size_t mismatches = 0;
        for (size_t i = 0; i < out.size(); ++i) mismatches += out[i] != expected[i];
        EXPECT_EQ(mismatches, 0u) << rez::to_utf8(bin);
    }
}

TEST(Gb18030, SampleTextWithSupplementaryCharacter) {
    const std::vector<uint8_t> in = fixture_bytes(L"gb18030_text.bin");
    const std::vector<uint8_t> utf8 = fixture_bytes(L"gb18030_text.utf8");
    std::wstring out;
    ASSERT_TRUE(rez::gb18030_to_wide(in.data(), in.size(), true, out));
    EXPECT_EQ(rez::to_utf8(out), rez::vector_to_string(utf8));
}

// The platform's code page 936 is GBK. GB18030 agrees with it on the whole GBK range
// except the 81 codes (the euro sign, ideographic description characters, radicals and
// CJK extension A characters) that GBK leaves in the private use area and GB18030 assigns.
TEST(Gb18030, AgreesWithPlatformGbkOnTheGbkRange) {
    size_t compared = 0;
    size_t assigned_by_gb18030 = 0;
    std::vector<std::string> differences;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            wchar_t wide[4] = {};
            const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, 2, wide, 4);
            if (n != 1) continue;
            ++compared;
            const uint32_t ours = rez::gb18030_detail::two_byte(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail));
            const bool gbk_private = wide[0] >= 0xE000 && wide[0] <= 0xF8FF;
            const bool ours_private = ours >= 0xE000 && ours <= 0xF8FF;
            if (ours != wide[0] && (!gbk_private || ours_private || ours == 0)) {
                char line[64];
                rez::format(line, sizeof line, "%02X%02X: 936 U+%04X, ours U+%04X", lead, trail, wide[0], ours);
                differences.push_back(line);
            } else if (ours != wide[0]) {
                ++assigned_by_gb18030;
            }
        }
    }
    std::string all;
    for (const auto& d : differences) all += d + "\n";
    EXPECT_GT(compared, 21000u);
    EXPECT_TRUE(differences.empty()) << all;
    EXPECT_LE(assigned_by_gb18030, 81u);
}

// Supplementary planes and the edges of the four-byte space, as the reference codec has them.
TEST(Gb18030, FourByteEdges) {
    const struct {
        std::string bytes;
        std::wstring expected;
    } cases[] = {
        {"\x81\x30\x81\x30", L"\x0080"},
        {"\x84\x31\xA4\x39", L"\xFFFF"},
        {"\x90\x30\x81\x30", L"\xD800\xDC00"},
        {"\xE3\x32\x9A\x35", L"\xDBFF\xDFFF"},
        {"a\x95\x32\x82\x36z", L"a\xD840\xDC00z"},  // U+20000
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(decode(c.bytes, true, &ok), c.expected) << rez::hex_dump(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), 8);
        EXPECT_TRUE(ok);
    }
}

// Strict mode refuses every bad sequence; replacing mode puts one '?' per bad sequence
// and keeps what follows it.
TEST(Gb18030, InvalidSequences) {
    const struct {
        std::string bytes;
        std::wstring replaced;
    } cases[] = {
        {"\x80", L"?"},                          // not a lead byte
        {"a\xFF", L"a?"},                        // not a lead byte
        {"\xB0", L"?"},                          // lead byte at the end
        {"\xB0\x7Fz", L"?\x7Fz"},              // 0x7F is no trail byte: the lead alone is bad
        {"\xB0\x20", L"? "},                    // an ASCII byte after a lead survives
        {"\x84\x31\xA5\x30x", L"?x"},         // well-formed four-byte code past the BMP table
        {"\xE3\x32\x9A\x36", L"?"},           // past U+10FFFF
        {"\x81\x30\x81", L"?0?"},              // four-byte code cut short
        {"\x81\x30\x20\x30", L"?0 0"},        // third byte out of range
    };
    for (const auto& c : cases) {
        const std::string shown = rez::hex_dump(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), 8);
        bool ok = true;
        EXPECT_TRUE(decode(c.bytes, true, &ok).empty()) << shown;
        EXPECT_FALSE(ok) << shown;
        EXPECT_EQ(decode(c.bytes, false, &ok), c.replaced) << shown;
        EXPECT_TRUE(ok);
    }
}

// The conversion layer reaches GB18030 whether or not the platform has code page 54936.
TEST(Gb18030, CodePageLayerServesGb18030) {
    const std::vector<uint8_t> in = fixture_bytes(L"gb18030_text.bin");
    std::wstring out;
    ASSERT_TRUE(rez::codepage_to_wide(in.data(), in.size(), rez::kCodePageGb18030, true, out));
    EXPECT_EQ(rez::to_utf8(out), rez::vector_to_string(fixture_bytes(L"gb18030_text.utf8")));
    EXPECT_EQ(rez::codepage_default_char(rez::kCodePageGb18030), '?');

    const uint8_t bad[] = {'o', 'k', 0x80};
    EXPECT_FALSE(rez::codepage_to_wide(bad, sizeof bad, rez::kCodePageGb18030, true, out));
    ASSERT_TRUE(rez::codepage_to_wide(bad, sizeof bad, rez::kCodePageGb18030, false, out));
    EXPECT_EQ(out, L"ok?");
    EXPECT_FALSE(rez::codepage_to_wide(bad, 0, 949, false, out));
}

}  // namespace
