// The LTC files' own LZSS stream: a zero header, then literal and ring-copy tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rezui {

// Bit cursor over an LZSS stream; bits are taken from the low end of each byte.
struct LtcBitReader {
    const uint8_t* data = nullptr;
    size_t size = 0;         // bytes
    uint64_t position = 32;  // bit position, the 4-byte header already passed
};

constexpr size_t kLtcLzssOutputCap = 268435456;

// Up to 12 bits, most significant first; bits past the end read as zero.
uint32_t ltc_read_bits12(LtcBitReader& reader);

// The decoded bytes, or nothing when the buffer is not one complete stream.
std::optional<std::vector<uint8_t>> lzss_decompress_ltc(const std::vector<uint8_t>& in);

}  // namespace rezui
