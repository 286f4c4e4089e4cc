// GB18030 to UTF-16 without the platform: Wine 8 has no code page 54936, and the text
// detection must still recognise GB18030 there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rez {

// Decodes GB18030 bytes to UTF-16. Strict: false on the first invalid or unmapped
// sequence (out is then empty). Replacing: each such sequence becomes '?', the default
// character the platform reports for code page 54936; always true.
bool gb18030_to_wide(const uint8_t* data, size_t size, bool strict, std::wstring& out);

namespace gb18030_detail {

constexpr size_t kTwoByteCount = 126 * 190;
constexpr uint32_t kBmpFourByteCount = 39420;  // four-byte linear indices of the BMP
constexpr uint32_t kSupplementaryBase = 189000;  // linear index of 90 30 81 30 = U+10000

struct FourByteRange {
    uint32_t linear;
    uint32_t code_point;
};

extern const uint16_t kTwoByte[kTwoByteCount];
extern const FourByteRange kFourByteRanges[];
extern const size_t kFourByteRangeCount;

// Code point of a two-byte code, 0 when the bytes are not one.
uint32_t two_byte(uint8_t lead, uint8_t trail);
// Code point of a four-byte code, 0 when the bytes are not one or it is unmapped.
uint32_t four_byte(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);

}  // namespace gb18030_detail
}  // namespace rez
