// The banner picture: Base64 text from the container and its decoding into a bitmap.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runner/banner.h"

namespace {

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(RunnerBase64, DecodesWhateverSpacingAndPaddingTheTextCarries) {
    const struct {
        const char* text;
        std::string decoded;
    } cases[] = {
        {"SGVsbG8sIHdvcmxkIQ==", "Hello, world!"},
        {"SGVs\r\nbG8s\nIHdv\tcmxk IQ", "Hello, world!"},  // line breaks, tab, space, no padding
        {"=S=G=V=s", "Hel"},                                   // "=" skipped wherever it stands
        {"QQ", "A"},                                           // leftover bits dropped
        {"Q", ""},
        {"", ""},
        {"+/+/", "\xfb\xff\xbf"},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::base64_decode(c.text), bytes(c.decoded)) << c.text;
}

TEST(RunnerBase64, ACharacterOutsideTheAlphabetEmptiesTheResult) {
    for (const char* text : {"SGVsbG8-", "SGVs_bG8", "SGVs.bG8", "SGVsbG8\x01"})
        EXPECT_TRUE(rezui::base64_decode(text).empty()) << text;
}

// A 24-bit BMP of the given size, every pixel one colour.
std::vector<uint8_t> bmp(int width, int height, uint8_t blue, uint8_t green, uint8_t red) {
    const int row = (width * 3 + 3) & ~3;
    const uint32_t size = 54 + static_cast<uint32_t>(row * height);
    std::vector<uint8_t> b(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &b[54 + static_cast<size_t>(y) * row + static_cast<size_t>(x) * 3];
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    return b;
}

struct Com {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~Com() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
};

TEST(RunnerBanner, APictureBecomesABitmapOfItsSizeAndColour) {
    Com com;
    const std::vector<uint8_t> picture = bmp(5, 3, 0x30, 0x60, 0x90);
    int width = 0, height = 0;
    HBITMAP bitmap = rezui::decode_banner_image(picture.data(), static_cast<uint32_t>(picture.size()), width, height);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
    const auto* pixel = static_cast<const uint8_t*>(section.dsBm.bmBits);
    EXPECT_EQ(pixel[0], 0x30);
    EXPECT_EQ(pixel[1], 0x60);
    EXPECT_EQ(pixel[2], 0x90);
    DeleteObject(bitmap);
}

TEST(RunnerBanner, TooWideOrUndecodablePicturesGiveNoBitmap) {
    Com com;
    const std::vector<std::vector<uint8_t>> refused = {bmp(8193, 1, 0, 0, 0), bytes("not a picture at all"), {}};
    for (const auto& picture : refused) {
        int width = -1, height = -1;
        EXPECT_EQ(rezui::decode_banner_image(picture.data(), static_cast<uint32_t>(picture.size()), width, height),
                  nullptr);
        EXPECT_EQ(width, -1);
    }
    // The widest accepted side still decodes.
    const std::vector<uint8_t> widest = bmp(8192, 1, 0, 0, 0);
    int width = 0, height = 0;
    HBITMAP bitmap = rezui::decode_banner_image(widest.data(), static_cast<uint32_t>(widest.size()), width, height);
    EXPECT_NE(bitmap, nullptr);
    EXPECT_EQ(width, 8192);
    DeleteObject(bitmap);
}

}  // namespace
