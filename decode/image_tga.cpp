#include <algorithm>
#include <cstring>

#include "decode/byte_read.h"
#include "decode/image_decode.h"

namespace rezui {

namespace {

constexpr uint64_t kMaxPixels = 0x4000000;

// Reads one pixel value (or colour-map index) at pos and turns it into BGRA.
struct PixelReader {
    const std::vector<uint8_t>& bytes;
    const TgaHeader& header;
    size_t value_size = 0;             // bytes per stored value
    const uint8_t* color_map = nullptr;  // mapped types: entries of 4 bytes

    bool read(size_t& pos, uint8_t bgra[4]) const {
        if (pos > bytes.size() || bytes.size() - pos < value_size) return false;
        const uint8_t* p = bytes.data() + pos;
        pos += value_size;
        if (color_map) {
            // An index past the map has no colour; taking bytes from beyond the map would
            // show whatever follows it.
            if (p[0] >= header.color_map_length) return false;
            std::memcpy(bgra, color_map + 4 * p[0], 4);
        } else if (value_size == 1) {
            bgra[0] = bgra[1] = bgra[2] = p[0];
            bgra[3] = 255;
        } else {
            bgra[0] = p[0];
            bgra[1] = p[1];
            bgra[2] = p[2];
            bgra[3] = value_size == 4 ? p[3] : 255;
        }
        return true;
    }
};

}  // namespace

bool decode_tga_pixels(const std::vector<uint8_t>& bytes, const TgaHeader& header, std::vector<uint8_t>& pixels) {
    const uint64_t count = static_cast<uint64_t>(header.width) * header.height;
    const uint8_t type = header.image_type;
    const bool mapped = type == 1 || type == 9;
    const bool rle = type >= 9;
    PixelReader reader{bytes, header};
    size_t pos = 18 + static_cast<size_t>(header.id_length);

    if (mapped) {
        if (header.color_map_type == 0 || header.color_map_entry_size != 32) return false;
        const size_t map_bytes = static_cast<size_t>(header.color_map_length) * 4;
        if (pos > bytes.size() || bytes.size() - pos < map_bytes) return false;
        reader.color_map = bytes.data() + pos;
        reader.value_size = 1;
        pos += map_bytes;
    } else {
        if (type == 2 || type == 10) {
            if (header.pixel_depth != 24 && header.pixel_depth != 32) return false;
            reader.value_size = header.pixel_depth / 8;
        } else {
            reader.value_size = 1;
        }
        // A true-colour picture may still carry a colour map; its pixels follow it.
        if (header.color_map_type != 0) {
            const size_t entry = (static_cast<size_t>(header.color_map_entry_size) + 7) / 8;
            pos += static_cast<size_t>(header.color_map_length) * entry;
        }
    }

    // Refuse inputs too short for the picture before allocating its pixels: a stored
    // picture needs a value per pixel, a run-length one at least a packet per 128 pixels.
    const uint64_t available = pos <= bytes.size() ? bytes.size() - pos : 0;
    const uint64_t minimum = rle ? (count + 127) / 128 * (1 + reader.value_size) : count * reader.value_size;
    if (available < minimum) return false;

    pixels.assign(count * 4, 0);
    uint8_t* out = pixels.data();
    if (!rle) {
        for (uint64_t i = 0; i < count; ++i)
            if (!reader.read(pos, out + 4 * i)) return false;
    } else {
        uint64_t filled = 0;
        while (filled < count) {
            if (pos >= bytes.size()) return false;
            const uint8_t h = bytes[pos++];
            const uint64_t n = std::min<uint64_t>((h & 0x7F) + 1, count - filled);
            if (h & 0x80) {
                uint8_t bgra[4];
                if (!reader.read(pos, bgra)) return false;
                for (uint64_t k = 0; k < n; ++k) std::memcpy(out + 4 * (filled + k), bgra, 4);
            } else {
                for (uint64_t k = 0; k < n; ++k)
                    if (!reader.read(pos, out + 4 * (filled + k))) return false;
            }
            filled += n;
        }
    }

    if (!(header.descriptor & 0x20)) {
        const size_t row = static_cast<size_t>(header.width) * 4;
        for (size_t top = 0, bottom = header.height - 1u; top < bottom; ++top, --bottom)
            std::swap_ranges(out + top * row, out + (top + 1) * row, out + bottom * row);
    }
    return true;
}

std::optional<DecodedImage> decode_tga(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 18) return std::nullopt;
    const uint8_t* p = bytes.data();
    TgaHeader h;
    h.id_length = p[0];
    h.color_map_type = p[1];
    h.image_type = p[2];
    h.color_map_length = load_u16le(p + 5);
    h.color_map_entry_size = p[7];
    h.width = load_u16le(p + 12);
    h.height = load_u16le(p + 14);
    h.pixel_depth = p[16];
    h.descriptor = p[17];
    if (h.width == 0 || h.height == 0) return std::nullopt;
    if (static_cast<uint64_t>(h.width) * h.height > kMaxPixels) return std::nullopt;
    switch (h.image_type) {
        case 1: case 2: case 3: case 9: case 10: case 11: break;
        default: return std::nullopt;
    }
    DecodedImage image;
    image.width = h.width;
    image.height = h.height;
    if (!decode_tga_pixels(bytes, h, image.pixels)) return std::nullopt;
    return image;
}

}  // namespace rezui
