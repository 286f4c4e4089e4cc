// CRC-32 of ZIP, 7z and gzip: reflected polynomial 0xEDB88320, initial value and final XOR
// 0xFFFFFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rez {

// CRC-32 of one buffer.
uint32_t crc32(const uint8_t* data, size_t length);

// Continues a CRC over more data: crc32_update(crc32(a), b) == crc32(a + b); start with 0.
uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length);

// One table step on a raw (not pre/post-inverted) register, as the PKWARE cipher uses it.
uint32_t crc32_step(uint32_t reg, uint8_t byte);

}  // namespace rez
