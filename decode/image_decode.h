// Pictures to 32-bit pixels: the engine's DTX textures, TGA, and whatever the platform's
// imaging component reads (PNG). Every decoder gives an empty optional for bytes it cannot
// decode and never throws on bad data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rezui {

// width * height pixels of 4 bytes in the order blue, green, red, alpha (the layout of a
// 32-bit DIB), top row first, no row padding.
struct DecodedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;
};

std::optional<DecodedImage> decode_dtx_texture(const std::vector<uint8_t>& bytes);
std::optional<DecodedImage> decode_image_wic(const std::vector<uint8_t>& bytes);
std::optional<DecodedImage> decode_tga(const std::vector<uint8_t>& bytes);

// Block compression formats of DTX textures.
enum DxtFormat : int { kDxt1 = 4, kDxt3 = 5, kDxt5 = 6 };

// Decodes the 8-byte colour part of a block into 16 BGRA pixels (row-major in the block).
// alpha: 16 alpha values, or null for opaque colours; dxt1: the three-colour rule applies.
void decode_dxt_color_block(const uint8_t* block, const uint8_t* alpha, bool dxt1, uint8_t out[64]);

// Decodes block (bx, by) of an image of width x height pixels into pixels (BGRA rows);
// pixels outside the image are skipped.
void decode_dxt_image(const uint8_t* block, uint32_t bx, uint32_t by, uint32_t width, uint32_t height, int format,
                      uint8_t* pixels);

// TGA header fields the pixel decoder needs.
struct TgaHeader {
    uint8_t id_length = 0;
    uint8_t color_map_type = 0;
    uint8_t image_type = 0;
    uint16_t color_map_length = 0;
    uint8_t color_map_entry_size = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixel_depth = 0;
    uint8_t descriptor = 0;
};

bool decode_tga_pixels(const std::vector<uint8_t>& bytes, const TgaHeader& header, std::vector<uint8_t>& pixels);

}  // namespace rezui
