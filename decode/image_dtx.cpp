#include <cstring>

#include "archive/lzma.h"
#include "archive/util.h"
#include "decode/byte_read.h"
#include "decode/image_decode.h"

namespace rezui {

namespace {

constexpr uint32_t kMaxDtxSide = 16384;
constexpr uint64_t kMaxDtxPixels = 1ull << 24;
constexpr size_t kLzmaOutputLimit = 0x20000000;

void expand_565(uint16_t c, uint8_t bgra[4]) {
    bgra[2] = static_cast<uint8_t>(((c >> 11) & 0x1F) * 255 / 31);
    bgra[1] = static_cast<uint8_t>(((c >> 5) & 0x3F) * 255 / 63);
    bgra[0] = static_cast<uint8_t>((c & 0x1F) * 255 / 31);
    bgra[3] = 255;
}

enum class Layout { Palette, Bgra32, Rgbx32, Dxt };

}  // namespace

void decode_dxt_color_block(const uint8_t* block, const uint8_t* alpha, bool dxt1, uint8_t out[64]) {
    const uint16_t c0 = load_u16le(block);
    const uint16_t c1 = load_u16le(block + 2);
    uint8_t colors[4][4];
    expand_565(c0, colors[0]);
    expand_565(c1, colors[1]);
    if (!dxt1 || c0 > c1) {
        for (int ch = 0; ch < 3; ++ch) {
            colors[2][ch] = static_cast<uint8_t>((2 * colors[0][ch] + colors[1][ch]) / 3);
            colors[3][ch] = static_cast<uint8_t>((colors[0][ch] + 2 * colors[1][ch]) / 3);
        }
        colors[2][3] = colors[3][3] = 255;
    } else {
        for (int ch = 0; ch < 3; ++ch) colors[2][ch] = static_cast<uint8_t>((colors[0][ch] + colors[1][ch]) >> 1);
        colors[2][3] = 255;
        std::memset(colors[3], 0, 4);
    }
    const uint32_t indices = rez::load_u32le(block + 4);
    for (int i = 0; i < 16; ++i) {
        const uint8_t* c = colors[(indices >> (2 * i)) & 3];
        uint8_t* px = out + 4 * i;
        px[0] = c[0];
        px[1] = c[1];
        px[2] = c[2];
        px[3] = alpha ? alpha[i] : c[3];
    }
}

void decode_dxt_image(const uint8_t* block, uint32_t bx, uint32_t by, uint32_t width, uint32_t height, int format,
                      uint8_t* pixels) {
    uint8_t alpha[16];
    const uint8_t* alpha_table = nullptr;
    const uint8_t* color = block;
    if (format == kDxt3) {
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = (bits << 8) | block[i];
        for (int i = 0; i < 16; ++i) alpha[i] = static_cast<uint8_t>(((bits >> (4 * i)) & 0xF) * 17);
        alpha_table = alpha;
        color = block + 8;
    } else if (format == kDxt5) {
        const unsigned a0 = block[0], a1 = block[1];
        unsigned levels[8] = {a0, a1};
        if (a0 > a1) {
            for (unsigned k = 1; k <= 6; ++k) levels[k + 1] = ((7 - k) * a0 + k * a1) / 7;
        } else {
            for (unsigned k = 1; k <= 4; ++k) levels[k + 1] = ((5 - k) * a0 + k * a1) / 5;
            levels[6] = 0;
            levels[7] = 255;
        }
        uint64_t bits = 0;
        for (int i = 7; i >= 2; --i) bits = (bits << 8) | block[i];
        for (int i = 0; i < 16; ++i) alpha[i] = static_cast<uint8_t>(levels[(bits >> (3 * i)) & 7]);
        alpha_table = alpha;
        color = block + 8;
    }
    uint8_t texels[64];
    decode_dxt_color_block(color, alpha_table, format == kDxt1, texels);
    for (uint32_t y = 0; y < 4; ++y) {
        const uint64_t py = 4ull * by + y;
        if (py >= height) break;
        for (uint32_t x = 0; x < 4; ++x) {
            const uint64_t px = 4ull * bx + x;
            if (px >= width) break;
            std::memcpy(pixels + (py * width + px) * 4, texels + (4 * y + x) * 4, 4);
        }
    }
}

std::optional<DecodedImage> decode_dtx_texture(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> unpacked;
    const uint8_t* data = bytes.data();
    size_t size = bytes.size();
    if (rez::is_lzma_alone_header(data, size)) {
        if (!rez::lzma_decode(data, size, unpacked, kLzmaOutputLimit, 0, false)) return std::nullopt;
        data = unpacked.data();
        size = unpacked.size();
    }
    if (size < 32) return std::nullopt;

    size_t start = 4;
    int32_t version = static_cast<int32_t>(rez::load_u32le(data));
    if (version == 0) {
        if (size < 36) return std::nullopt;
        version = static_cast<int32_t>(rez::load_u32le(data + 4));
        start = 8;
    }
    if (version != -2 && version != -3 && version != -5) return std::nullopt;

    const uint8_t* h = data + start;
    const uint32_t width = load_u16le(h);
    const uint32_t height = load_u16le(h + 2);
    if (width < 1 || width > kMaxDtxSide || height < 1 || height > kMaxDtxSide) return std::nullopt;
    const uint64_t pixel_count = static_cast<uint64_t>(width) * height;
    if (pixel_count > kMaxDtxPixels) return std::nullopt;
    const uint32_t flags = rez::load_u32le(h + 8);
    const uint8_t extra0 = h[16];
    const uint8_t format = version == -5 ? h[18] : 0;
    const uint64_t offset = start + (version == -2 ? 28 : 156);
    if (offset >= size) return std::nullopt;

    Layout layout;
    uint64_t need = 0;
    if (version != -5 || format == 0) {
        layout = Layout::Palette;
        need = 1032 + pixel_count;
    } else if (format == 3 && flags == 8 && extra0 == 0) {
        layout = Layout::Bgra32;
        need = pixel_count * 4;
    } else if (format == 3 && flags == 0x88) {
        layout = Layout::Rgbx32;
        need = pixel_count * 4;
    } else if (format == kDxt1 || format == kDxt3 || format == kDxt5) {
        layout = Layout::Dxt;
        need = ((width + 3ull) / 4) * ((height + 3ull) / 4) * (format == kDxt1 ? 8 : 16);
    } else {
        return std::nullopt;
    }
    if (offset + need > size) return std::nullopt;

    DecodedImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(pixel_count * 4);
    uint8_t* out = image.pixels.data();
    const uint8_t* src = data + offset;
    switch (layout) {
        case Layout::Palette: {
            // Palette entries are already blue, green, red, alpha.
            uint8_t palette[256][4];
            std::memcpy(palette, src + 8, sizeof palette);
            const uint8_t* index = src + 1032;
            for (uint64_t i = 0; i < pixel_count; ++i) std::memcpy(out + 4 * i, palette[index[i]], 4);
            break;
        }
        case Layout::Bgra32:
            std::memcpy(out, src, pixel_count * 4);
            break;
        case Layout::Rgbx32:
            for (uint64_t i = 0; i < pixel_count; ++i) {
                out[4 * i] = src[4 * i + 2];
                out[4 * i + 1] = src[4 * i + 1];
                out[4 * i + 2] = src[4 * i];
                out[4 * i + 3] = 255;
            }
            break;
        case Layout::Dxt: {
            const uint32_t bw = (width + 3) / 4, bh = (height + 3) / 4;
            const size_t block_size = format == kDxt1 ? 8 : 16;
            for (uint32_t by = 0; by < bh; ++by)
                for (uint32_t bx = 0; bx < bw; ++bx, src += block_size)
                    decode_dxt_image(src, bx, by, width, height, format, out);
            break;
        }
    }
    return image;
}

}  // namespace rezui
