// Byte-by-byte builders for the game-format fixtures of the decoder tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gamefix {

using Bytes = std::vector<uint8_t>;

struct Writer {
    Bytes out;
    Writer& u8(uint8_t v) {
        out.push_back(v);
        return *this;
    }
    Writer& u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        return u8(static_cast<uint8_t>(v >> 8));
    }
    Writer& u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        return u16(static_cast<uint16_t>(v >> 16));
    }
    Writer& f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return u32(bits);
    }
    Writer& zeros(size_t n) {
        out.insert(out.end(), n, 0);
        return *this;
    }
    Writer& raw(const std::string& s) {
        out.insert(out.end(), s.begin(), s.end());
        return *this;
    }
    Writer& raw(const Bytes& b) {
        out.insert(out.end(), b.begin(), b.end());
        return *this;
    }
    // u16 length + bytes, the world files' string form.
    Writer& str16(const std::string& s) {
        u16(static_cast<uint16_t>(s.size()));
        return raw(s);
    }
};

// The LTC LZSS stream: a zero header, then bits taken from the low end of each byte,
// fields most significant bit first.
struct LzssWriter {
    Bytes out{0, 0, 0, 0};
    size_t bit = 32;
    LzssWriter& put_bit(unsigned b) {
        if (bit / 8 >= out.size()) out.push_back(0);
        if (b) out[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
        ++bit;
        return *this;
    }
    void put(uint32_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) put_bit((value >> i) & 1u);
    }
    LzssWriter& literal(uint8_t c) {
        put_bit(1);
        put(c, 8);
        return *this;
    }
    LzssWriter& text(const std::string& s) {
        for (char c : s) literal(static_cast<uint8_t>(c));
        return *this;
    }
    // Copies length bytes from 1-based ring position p.
    LzssWriter& copy(uint32_t p, uint32_t length) {
        put_bit(0);
        put(p, 12);
        put(length - 2, 4);
        return *this;
    }
    LzssWriter& end() {
        put_bit(0);
        put(0, 12);
        return *this;
    }
    // Pads to a whole byte count of at least 6.
    Bytes bytes() const {
        Bytes b = out;
        while (b.size() < 6) b.push_back(0);
        return b;
    }
};

}  // namespace gamefix
