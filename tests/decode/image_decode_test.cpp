#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/util.h"
#include "decode/image_decode.h"
#include "decode_fixtures.h"
#include "test_support.h"

namespace {

using decodetest::Bytes;
using decodetest::fixture_bytes;

void put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A DTX texture laid out byte by byte: header fields at their offsets, then pixel data.
Bytes make_dtx(int32_t version, uint16_t w, uint16_t h, uint8_t format, uint32_t flags, uint8_t extra0,
               const Bytes& data, bool leading_zero = false) {
    const size_t start = leading_zero ? 8 : 4;
    Bytes b(start + (version == -2 ? 28 : 156), 0);
    rez::store_u32le(b.data() + start - 4, static_cast<uint32_t>(version));
    put16(b, start, w);
    put16(b, start + 2, h);
    rez::store_u32le(b.data() + start + 8, flags);
    b[start + 16] = extra0;
    b[start + 18] = format;
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes bgra(std::initializer_list<uint8_t> v) { return Bytes(v); }

Bytes pixel_at(const rezui::DecodedImage& img, uint32_t x, uint32_t y) {
    const size_t at = (static_cast<size_t>(y) * img.width + x) * 4;
    return Bytes(img.pixels.begin() + at, img.pixels.begin() + at + 4);
}

// The 3x2 picture of the fixtures (picture.pam, RGBA) as BGRA rows.
Bytes reference_picture(bool opaque) {
    const Bytes pam = fixture_bytes(L"picture.pam");
    Bytes out;
    const size_t body = pam.size() - 24;
    for (size_t i = body; i + 3 < pam.size(); i += 4) {
        out.insert(out.end(), {pam[i + 2], pam[i + 1], pam[i], opaque ? uint8_t(255) : pam[i + 3]});
    }
    return out;
}

TEST(DtxTexture, PaletteAndPlainLayouts) {
    Bytes palette_data(8, 0);
    for (int i = 0; i < 256; ++i)
        palette_data.insert(palette_data.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), uint8_t(255 - i)});
    palette_data.insert(palette_data.end(), {0, 1, 2, 3, 200, 255});
    for (int32_t version : {-2, -3, -5}) {
        // Version -2 ignores byte 18; a format byte there must not change the layout.
        const auto img = rezui::decode_dtx_texture(make_dtx(version, 3, 2, version == -2 ? 4 : 0, 0, 0, palette_data));
        ASSERT_TRUE(img.has_value()) << version;
        EXPECT_EQ(img->width, 3u);
        EXPECT_EQ(img->height, 2u);
        EXPECT_EQ(pixel_at(*img, 1, 0), bgra({1, 2, 3, 254}));
        EXPECT_EQ(pixel_at(*img, 1, 1), bgra({200, 144, 88, 55}));
    }

    const Bytes quad = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    auto img = rezui::decode_dtx_texture(make_dtx(-5, 2, 2, 3, 8, 0, quad));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->pixels, quad);
    img = rezui::decode_dtx_texture(make_dtx(-5, 2, 2, 3, 0x88, 7, quad, true));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(pixel_at(*img, 0, 0), bgra({3, 2, 1, 255}));
    EXPECT_EQ(pixel_at(*img, 1, 1), bgra({15, 14, 13, 255}));
}

TEST(DtxTexture, Refusals) {
    const Bytes quad(16, 9);
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"flags 8 with extra byte", make_dtx(-5, 2, 2, 3, 8, 1, quad)},
        {"format 3 other flags", make_dtx(-5, 2, 2, 3, 0, 0, quad)},
        {"format 1", make_dtx(-5, 2, 2, 1, 8, 0, quad)},
        {"format 7", make_dtx(-5, 2, 2, 7, 8, 0, quad)},
        {"version -4", make_dtx(-4, 2, 2, 3, 8, 0, quad)},
        {"width 0", make_dtx(-5, 0, 2, 3, 8, 0, quad)},
        {"width 16385", make_dtx(-5, 16385, 1, 3, 8, 0, quad)},
        {"too many pixels", make_dtx(-5, 4096, 4097, 6, 0, 0, quad)},
        {"data short by one", make_dtx(-5, 2, 2, 3, 8, 0, Bytes(15, 9))},
        {"palette short", make_dtx(-2, 2, 2, 0, 0, 0, Bytes(1035, 0))},
        {"dxt short", make_dtx(-5, 5, 3, 4, 0, 0, Bytes(15, 0))},
        {"first word 7", [] { Bytes b = make_dtx(-5, 2, 2, 3, 8, 0, Bytes(16, 9)); b[0] = 7, b[1] = b[2] = b[3] = 0; return b; }()},
        {"leading zero, 35 bytes", Bytes{0, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0,
                                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"31 bytes", Bytes(31, 0)},
        {"lzma frame that does not decode", Bytes{0x5D, 0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                  1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
    };
    for (const auto& c : cases) EXPECT_FALSE(rezui::decode_dtx_texture(c.bytes).has_value()) << c.what;
}

TEST(DtxTexture, LzmaFramedTexture) {
    const auto img = rezui::decode_dtx_texture(fixture_bytes(L"lzma_texture.dtx"));
    ASSERT_TRUE(img.has_value());
    Bytes expected;
    for (uint8_t i = 0; i < 16; ++i) expected.push_back(i);
    EXPECT_EQ(img->pixels, expected);
}

Bytes color_block(uint16_t c0, uint16_t c1, uint32_t indices) {
    Bytes b(8);
    put16(b, 0, c0);
    put16(b, 2, c1);
    rez::store_u32le(b.data() + 4, indices);
    return b;
}

TEST(DtxTexture, Dxt1EdgesAndThreeColourMode) {
    // 5 x 3 pixels: two blocks; only column 4 of the second block lies inside.
    Bytes blocks = color_block(0xF800, 0x001F, 0xE4E4E4E4);  // pixel x takes colour x
    const Bytes second = color_block(0x07E0, 0x0000, 0);
    blocks.insert(blocks.end(), second.begin(), second.end());
    auto img = rezui::decode_dtx_texture(make_dtx(-5, 5, 3, 4, 0, 0, blocks));
    ASSERT_TRUE(img.has_value());
    ASSERT_EQ(img->pixels.size(), 5u * 3 * 4);
    for (uint32_t y = 0; y < 3; ++y) {
        EXPECT_EQ(pixel_at(*img, 0, y), bgra({0, 0, 255, 255}));
        EXPECT_EQ(pixel_at(*img, 1, y), bgra({255, 0, 0, 255}));
        EXPECT_EQ(pixel_at(*img, 2, y), bgra({85, 0, 170, 255}));
        EXPECT_EQ(pixel_at(*img, 3, y), bgra({170, 0, 85, 255}));
        EXPECT_EQ(pixel_at(*img, 4, y), bgra({0, 255, 0, 255}));
    }

    // c0 == c1: colour 2 is the mean, colour 3 transparent black.
    uint8_t out[64];
    const Bytes equal = color_block(0x8410, 0x8410, 0xE4E4E4E4);
    rezui::decode_dxt_color_block(equal.data(), nullptr, true, out);
    EXPECT_EQ(Bytes(out + 8, out + 12), bgra({131, 129, 131, 255}));
    EXPECT_EQ(Bytes(out + 12, out + 16), bgra({0, 0, 0, 0}));
    // The same colours outside DXT1 keep four opaque colours.
    rezui::decode_dxt_color_block(equal.data(), nullptr, false, out);
    EXPECT_EQ(Bytes(out + 12, out + 16), bgra({131, 129, 131, 255}));
}

TEST(DtxTexture, Dxt3AndDxt5Alpha) {
    // DXT3: alpha nibble i for pixel i; colours with c0 < c1 still use four colours.
    Bytes block = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    const Bytes colours = color_block(0x001F, 0xF800, 0xFFFFFFFF);
    block.insert(block.end(), colours.begin(), colours.end());
    auto img = rezui::decode_dtx_texture(make_dtx(-5, 4, 4, 5, 0, 0, block));
    ASSERT_TRUE(img.has_value());
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(pixel_at(*img, i % 4, i / 4), bgra({85, 0, 170, uint8_t(i * 17)})) << i;

    // DXT5: pixel i takes alpha index i % 8, in both interpolation modes.
    for (const auto& [a0, a1, levels] :
         {std::tuple{255, 0, Bytes{255, 0, 218, 182, 145, 109, 72, 36}},
          std::tuple{0, 255, Bytes{0, 255, 51, 102, 153, 204, 0, 255}}}) {
        Bytes b5 = {uint8_t(a0), uint8_t(a1)};
        uint64_t bits = 0;
        for (int i = 15; i >= 0; --i) bits = (bits << 3) | static_cast<uint64_t>(i % 8);
        for (int k = 0; k < 6; ++k) b5.push_back(static_cast<uint8_t>(bits >> (8 * k)));
        const Bytes c = color_block(0x07E0, 0x07E0, 0);
        b5.insert(b5.end(), c.begin(), c.end());
        img = rezui::decode_dtx_texture(make_dtx(-5, 4, 4, 6, 0, 0, b5));
        ASSERT_TRUE(img.has_value());
        for (uint32_t i = 0; i < 16; ++i)
            EXPECT_EQ(pixel_at(*img, i % 4, i / 4), bgra({0, 255, 0, levels[i % 8]})) << a0 << " " << i;
    }
}

TEST(TgaImage, PicturesFromImageMagick) {
    const struct {
        const wchar_t* file;
        bool opaque;
    } cases[] = {
        {L"picture_bottom_up32.tga", false},
        {L"picture_bottom_up24.tga", true},
        {L"picture_top_down32.tga", false},
        {L"picture_rle32.tga", false},
    };
    for (const auto& c : cases) {
        const auto img = rezui::decode_tga(fixture_bytes(c.file));
        ASSERT_TRUE(img.has_value()) << rez::to_utf8(c.file);
        EXPECT_EQ(img->width, 3u);
        EXPECT_EQ(img->height, 2u);
        EXPECT_EQ(img->pixels, reference_picture(c.opaque)) << rez::to_utf8(c.file);
    }
    const Bytes gray_file = fixture_bytes(L"picture_gray.tga");
    const auto gray = rezui::decode_tga(gray_file);
    const auto gray_rle = rezui::decode_tga(fixture_bytes(L"picture_gray_rle.tga"));
    ASSERT_TRUE(gray && gray_rle);
    EXPECT_EQ(gray->pixels, gray_rle->pixels);
    const uint8_t v = gray_file[18 + gray_file[0]];
    EXPECT_EQ(pixel_at(*gray, 0, 0), bgra({v, v, v, 255}));
    // A colour map of 24-bit entries is not a layout the game uses.
    EXPECT_FALSE(rezui::decode_tga(fixture_bytes(L"picture_palette24.tga")).has_value());
}

Bytes tga_header(uint8_t type, uint16_t w, uint16_t h, uint8_t depth, uint8_t descriptor, uint8_t map_type = 0,
                 uint16_t map_length = 0, uint8_t map_entry = 0) {
    Bytes b(18, 0);
    b[1] = map_type;
    b[2] = type;
    put16(b, 5, map_length);
    b[7] = map_entry;
    put16(b, 12, w);
    put16(b, 14, h);
    b[16] = depth;
    b[17] = descriptor;
    return b;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(TgaImage, BuiltByHand) {
    const Bytes map = {1, 2, 3, 4, 5, 6, 7, 8};  // two 32-bit entries (b, g, r, a)
    // Colour-mapped, stored and run-length.
    auto img = rezui::decode_tga(cat(cat(tga_header(1, 2, 1, 8, 0x20, 1, 2, 32), map), {1, 0}));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->pixels, (Bytes{5, 6, 7, 8, 1, 2, 3, 4}));
    img = rezui::decode_tga(cat(cat(tga_header(9, 3, 1, 8, 0x20, 1, 2, 32), map), {0x82, 1}));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->pixels, (Bytes{5, 6, 7, 8, 5, 6, 7, 8, 5, 6, 7, 8}));
    // The last packet asks for more pixels than are missing: cut, not refused.
    img = rezui::decode_tga(cat(tga_header(10, 2, 1, 24, 0x20), {0xFF, 9, 8, 7}));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->pixels, (Bytes{9, 8, 7, 255, 9, 8, 7, 255}));
    // An ID field and a colour map before true-colour pixels are both stepped over.
    img = rezui::decode_tga(cat([] { Bytes h = tga_header(2, 1, 1, 32, 0x20, 1, 1, 24); h[0] = 2; return h; }(),
                                {0xAA, 0xBB, 0xEE, 0xEE, 0xEE, 1, 2, 3, 4}));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->pixels, (Bytes{1, 2, 3, 4}));
    // Bottom-up rows: the last stored row is the top one.
    img = rezui::decode_tga(cat(tga_header(3, 1, 3, 8, 0), {10, 20, 30}));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->pixels, (Bytes{30, 30, 30, 255, 20, 20, 20, 255, 10, 10, 10, 255}));

    const struct {
        const char* what;
        Bytes bytes;
    } refused[] = {
        {"index past the colour map", cat(cat(tga_header(1, 2, 1, 8, 0x20, 1, 2, 32), map), {0, 2})},
        {"run-length index past the map", cat(cat(tga_header(9, 2, 1, 8, 0x20, 1, 2, 32), map), {0x81, 5})},
        {"mapped without a map", cat(tga_header(1, 1, 1, 8, 0x20, 0, 0, 32), {0})},
        {"16-bit true colour", cat(tga_header(2, 1, 1, 16, 0x20), {1, 2})},
        {"image type 4", cat(tga_header(4, 1, 1, 8, 0x20), {1})},
        {"zero width", cat(tga_header(3, 0, 1, 8, 0x20), {1})},
        {"too many pixels", tga_header(10, 65535, 65535, 24, 0)},
        {"stored pixels cut short", cat(tga_header(2, 2, 1, 24, 0x20), {1, 2, 3, 4, 5})},
        {"packets run out", cat(tga_header(10, 200, 1, 24, 0x20), {0x80, 1, 2, 3, 0x81, 1, 2, 3})},
        {"17 bytes", Bytes(17, 0)},
    };
    for (const auto& c : refused) EXPECT_FALSE(rezui::decode_tga(c.bytes).has_value()) << c.what;
}

class WicImage : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(WicImage, PngFromImageMagick) {
    auto img = rezui::decode_image_wic(fixture_bytes(L"picture.png"));
    ASSERT_TRUE(img.has_value());
    EXPECT_EQ(img->width, 3u);
    EXPECT_EQ(img->height, 2u);
    EXPECT_EQ(img->pixels, reference_picture(false));

    img = rezui::decode_image_wic(fixture_bytes(L"one_pixel.png"));
    ASSERT_TRUE(img.has_value());
    ASSERT_EQ(img->pixels.size(), 4u);
    EXPECT_EQ(Bytes(img->pixels.begin(), img->pixels.begin() + 3), (Bytes{50, 100, 200}));
    EXPECT_NEAR(img->pixels[3], 128, 1);

    Bytes cut = fixture_bytes(L"picture.png");
    cut.resize(cut.size() / 3);
    EXPECT_FALSE(rezui::decode_image_wic(cut).has_value());
    EXPECT_FALSE(rezui::decode_image_wic(Bytes(100, 0x42)).has_value());
    EXPECT_FALSE(rezui::decode_image_wic(Bytes{}).has_value());
}

}  // namespace
