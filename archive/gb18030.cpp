#include "archive/gb18030.h"

#include <algorithm>

namespace rez {
namespace gb18030_detail {

namespace {

int trail_index(uint8_t trail) {
    if (trail >= 0x40 && trail <= 0x7E) return trail - 0x40;
    if (trail >= 0x80 && trail <= 0xFE) return trail - 0x80 + 63;
    return -1;
}

bool is_lead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool is_digit(uint8_t b) { return b >= 0x30 && b <= 0x39; }

}  // namespace

uint32_t two_byte(uint8_t lead, uint8_t trail) {
    const int t = trail_index(trail);
    if (!is_lead(lead) || t < 0) return 0;
    return kTwoByte[static_cast<size_t>(lead - 0x81) * 190 + static_cast<size_t>(t)];
}

uint32_t four_byte(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    if (!is_lead(b1) || !is_digit(b2) || !is_lead(b3) || !is_digit(b4)) return 0;
    const uint32_t linear = ((static_cast<uint32_t>(b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 +
                            (b4 - 0x30);
    if (linear < kBmpFourByteCount) {
        // Last range whose start is at or below the index.
        const FourByteRange* begin = kFourByteRanges;
        const FourByteRange* end = kFourByteRanges + kFourByteRangeCount;
        const FourByteRange* it =
            std::upper_bound(begin, end, linear, [](uint32_t v, const FourByteRange& r) { return v < r.linear; });
        if (it == begin) return 0;
        --it;
        return it->code_point + (linear - it->linear);
    }
    if (linear >= kSupplementaryBase && linear - kSupplementaryBase <= 0xFFFFF)
        return 0x10000 + (linear - kSupplementaryBase);
    return 0;
}

}  // namespace gb18030_detail

bool gb18030_to_wide(const uint8_t* data, size_t size, bool strict, std::wstring& out) {
    using namespace gb18030_detail;
    out.clear();
    out.reserve(size);
    size_t i = 0;
    while (i < size) {
        const uint8_t b = data[i];
        if (b < 0x80) {
            out.push_back(static_cast<wchar_t>(b));
            ++i;
            continue;
        }
        uint32_t cp = 0;
        size_t used = 1;
        if (is_lead(b) && i + 1 < size) {
            const uint8_t b2 = data[i + 1];
            if (is_digit(b2)) {
                if (i + 3 < size) {
                    cp = four_byte(b, b2, data[i + 2], data[i + 3]);
                    // A well-formed but unmapped four-byte code is one bad character, not four.
                    if (is_lead(data[i + 2]) && is_digit(data[i + 3])) used = 4;
                }
            } else {
                cp = two_byte(b, b2);
                if (cp) used = 2;
            }
        }
        if (cp == 0) {
            if (strict) {
                out.clear();
                return false;
            }
            out.push_back(L'?');
            i += used;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
        i += used;
    }
    return true;
}

}  // namespace rez
