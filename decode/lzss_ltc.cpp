#include "decode/lzss_ltc.h"

#include <array>

namespace rezui {
namespace {

constexpr size_t kRingSize = 4096;

uint64_t bits_left(const LtcBitReader& r) {
    const uint64_t total = static_cast<uint64_t>(r.size) * 8;
    return r.position < total ? total - r.position : 0;
}

uint32_t read_bit(LtcBitReader& r) {
    const uint32_t bit = (r.data[r.position >> 3] >> (r.position & 7)) & 1u;
    ++r.position;
    return bit;
}

// Caller has checked that `count` bits are left.
uint32_t read_bits(LtcBitReader& r, unsigned count) {
    uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) value = (value << 1) | read_bit(r);
    return value;
}

}  // namespace

uint32_t ltc_read_bits12(LtcBitReader& reader) {
    const uint64_t left = bits_left(reader);
    const unsigned take = left < 12 ? static_cast<unsigned>(left) : 12u;
    const uint32_t value = read_bits(reader, take);
    return value << (12 - take);
}

std::optional<std::vector<uint8_t>> lzss_decompress_ltc(const std::vector<uint8_t>& in) {
    const size_t n = in.size();
    if (n < 6 || in[0] != 0 || in[1] != 0 || in[2] != 0 || in[3] != 0) return std::nullopt;

    std::array<uint8_t, kRingSize> ring;
    ring.fill(0x20);
    size_t w = 0;
    LtcBitReader reader{in.data(), n, 32};
    // Grown as bytes are produced: most candidate buffers handed in are refused within a few
    // tokens, and room taken in advance for a large entry could fail a preview on memory.
    std::vector<uint8_t> out;

    for (;;) {
        if (read_bit(reader)) {
            if (bits_left(reader) < 8) return std::nullopt;
            if (out.size() >= kLtcLzssOutputCap) return std::nullopt;
            const auto byte = static_cast<uint8_t>(read_bits(reader, 8));
            out.push_back(byte);
            ring[w] = byte;
            w = (w + 1) & (kRingSize - 1);
        } else {
            const uint32_t p = ltc_read_bits12(reader);
            if (p == 0) return out;
            if (bits_left(reader) < 4) return std::nullopt;
            const uint32_t length = read_bits(reader, 4) + 2;
            if (kLtcLzssOutputCap - out.size() < length) return std::nullopt;
            size_t from = p - 1;
            for (uint32_t k = 0; k < length; ++k) {
                const uint8_t byte = ring[from];
                from = (from + 1) & (kRingSize - 1);
                out.push_back(byte);
                ring[w] = byte;
                w = (w + 1) & (kRingSize - 1);
            }
        }
        if (bits_left(reader) == 0) return std::nullopt;
    }
}

}  // namespace rezui
