#include "archive/codepage.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "archive/zip_reader.h"

namespace {

// "资源包说明：版本Ⅱ ḿ ǹ" in GB18030: GBK cannot read the four-byte "ḿ" (81 35 F4 37).
const uint8_t kGb18030Comment[] = {0xd7, 0xca, 0xd4, 0xb4, 0xb0, 0xfc, 0xcb, 0xb5, 0xc3, 0xf7, 0xa3, 0xba, 0xb0,
                                   0xe6, 0xb1, 0xbe, 0xa2, 0xf2, 0x20, 0x81, 0x35, 0xf4, 0x37, 0x20, 0xa8, 0xbf};

TEST(CodePage, Gb18030WorksWithOrWithoutThePlatform) {
    std::wstring out;
    ASSERT_TRUE(rez::codepage_to_wide(kGb18030Comment, sizeof kGb18030Comment, rez::kCodePageGb18030, true, out));
    EXPECT_EQ(out, L"资源包说明：版本Ⅱ ḿ ǹ");
    const uint8_t ansi[] = {'a', 'b'};
    ASSERT_TRUE(rez::codepage_to_wide(ansi, 2, CP_ACP, false, out));
    EXPECT_EQ(out, L"ab");
}

TEST(ZipComment, Gb18030FourByteTextWinsOverGbk) {
    // "游戏资源龰龱龲文件": the three newer ideographs take four bytes each in GB18030.
    const uint8_t comment[] = {0xd3, 0xce, 0xcf, 0xb7, 0xd7, 0xca, 0xd4, 0xb4, 0x82, 0x35, 0x90, 0x33,
                               0x82, 0x35, 0x90, 0x34, 0x82, 0x35, 0x90, 0x35, 0xce, 0xc4, 0xbc, 0xfe};
    EXPECT_EQ(rez::zip_decode_comment(comment, sizeof comment), L"游戏资源\u9fb0\u9fb1\u9fb2文件");
}

}  // namespace
