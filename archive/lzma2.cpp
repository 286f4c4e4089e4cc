// LZMA2 chunk stream. The output vector itself serves as the dictionary: dict_start marks
// where the current dictionary began, which is the same as keeping a separate working
// buffer and appending it at each dictionary reset, without the copies.
#include <algorithm>
#include <cstring>

#include "archive/lzma.h"
#include "archive/lzma_internal.h"

namespace rez {

bool lzma2_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out) {
    return lzma2_decode(data, length, out, 0);
}

bool lzma2_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out, uint64_t size_hint) {
    using lzma_detail::Stop;
    out.clear();
    if (!data || length == 0) return false;
    if (size_hint) {
        // Stored chunks add 3 bytes per 64 KiB and LZMA chunks cannot expand data by more than
        // a few hundred times, so a hint far above that is not believed.
        const uint64_t plausible = std::min<uint64_t>(uint64_t{length} * 256, kMaxDecodedSize);
        out.reserve(static_cast<size_t>(std::min(size_hint, plausible)) + 16);
    }
    lzma_detail::Model model;
    model.set_properties(0);
    size_t dict_start = 0;
    size_t pos = 0;
    size_t i = 0;
    bool ok = true;
    while (i < length) {
        const uint8_t control = data[i];
        if (control == 0x00) break;
        if (control == 0x01 || control == 0x02) {
            if (length - i < 3) { ok = false; break; }
            const size_t size = ((size_t{data[i + 1]} << 8) | data[i + 2]) + 1;
            if (length - i - 3 < size) { ok = false; break; }
            if (control == 0x01) dict_start = pos;
            if (size > kMaxDecodedSize - pos) { ok = false; break; }
            if (out.size() < pos + size) {
                // Within the reserved room when there is some; doubling only beyond it.
                const size_t needed = pos + size;
                out.resize(out.capacity() >= needed ? out.capacity() : std::max(out.size() * 2, needed + 65536));
            }
            std::memcpy(out.data() + pos, data + i + 3, size);
            pos += size;
            i += 3 + size;
            continue;
        }
        if (control < 0x80) { ok = false; break; }
        if (length - i < 5) { ok = false; break; }
        const size_t unpacked = ((size_t{control & 0x1Fu} << 16) | (size_t{data[i + 1]} << 8) | data[i + 2]) + 1;
        const size_t packed = ((size_t{data[i + 3]} << 8) | data[i + 4]) + 1;
        size_t j = i + 5;
        if (control >= 0xC0) {
            if (j >= length) { ok = false; break; }
            const uint8_t props = data[j++];
            if (props >= 225) { ok = false; break; }
            const unsigned lc = props % 9, lp = (props / 9) % 5;
            if (lc + lp > 4) { ok = false; break; }
            model.set_properties(props);
            model.reset();
            if (control >= 0xE0) dict_start = pos;
        } else if (control >= 0xA0) {
            model.reset();
        }
        if (packed < 5 || length - j < packed) { ok = false; break; }
        if (unpacked > kMaxDecodedSize - pos) { ok = false; break; }
        lzma_detail::Run run;
        run.in = data + j;
        run.in_length = packed;
        run.dict_start = dict_start;
        run.hard_limit = pos + unpacked;
        run.stop_at = run.hard_limit;
        run.exact = true;
        if (lzma_detail::decode(model, run, out, pos) != Stop::kLimit || pos != run.hard_limit) { ok = false; break; }
        i = j + packed;
    }
    out.resize(pos);
    return ok && pos > 0;
}

}  // namespace rez
