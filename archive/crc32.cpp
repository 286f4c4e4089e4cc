#include "archive/crc32.h"

#include <array>

namespace rez {
namespace {

// Eight tables let the main loop consume 8 bytes per step ("slicing by 8").
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const CrcTables& tables() {
    static const CrcTables instance;
    return instance;
}

}  // namespace

uint32_t crc32_step(uint32_t reg, uint8_t byte) { return tables().t[0][(reg ^ byte) & 0xFF] ^ (reg >> 8); }

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length) {
    const auto& t = tables().t;
    uint32_t c = ~crc;
    while (length >= 8) {
        uint32_t lo = c ^ (static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                           (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24));
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
        data += 8;
        length -= 8;
    }
    while (length--) c = t[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
    return ~c;
}

uint32_t crc32(const uint8_t* data, size_t length) { return crc32_update(0, data, length); }

}  // namespace rez
