// Bounds-checked little-endian reads and hex rows shared by the binary-format previews.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rezui {

// The caller has checked that two bytes are there.
inline uint16_t load_u16le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Little-endian reads; 0 when the value would reach past the data.
inline uint32_t read_u32_at(const std::vector<uint8_t>& data, size_t offset) {
    if (offset > data.size() || data.size() - offset < 4) return 0;
    const uint8_t* p = data.data() + offset;
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint16_t read_u16_at(const std::vector<uint8_t>& data, size_t offset) {
    if (offset > data.size() || data.size() - offset < 2) return 0;
    return load_u16le(data.data() + offset);
}

inline int32_t read_i32_at(const std::vector<uint8_t>& data, size_t offset) {
    return static_cast<int32_t>(read_u32_at(data, offset));
}

// Rows of 16 bytes over the first `limit` bytes: the offset in `offset_digits` hex digits,
// `gap`, the bytes in hex (padded to full width), two blanks and the printable characters.
std::string hex_byte_rows(const std::vector<uint8_t>& data, uint64_t limit, int offset_digits, const char* gap);

}  // namespace rezui
