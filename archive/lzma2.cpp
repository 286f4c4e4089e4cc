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
        const lzma_detail::Lzma2Chunk c = lzma_detail::lzma2_chunk_at(data, length, i);
        using Kind = lzma_detail::Lzma2Chunk::Kind;
        if (c.kind == Kind::kEnd) break;
        if (c.kind == Kind::kBad || c.unpacked > kMaxDecodedSize - pos) { ok = false; break; }
        if (c.dict_reset) dict_start = pos;
        if (c.kind == Kind::kStored) {
            if (out.size() < pos + c.unpacked) {
                // Within the reserved room when there is some; doubling only beyond it.
                const size_t needed = pos + c.unpacked;
                out.resize(out.capacity() >= needed ? out.capacity() : std::max(out.size() * 2, needed + 65536));
            }
            std::memcpy(out.data() + pos, data + c.data_at, c.unpacked);
            pos += c.unpacked;
            i = c.data_at + c.unpacked;
            continue;
        }
        if (c.new_properties) model.set_properties(c.properties);
        if (c.state_reset) model.reset();
        lzma_detail::Run run;
        run.in = data + c.data_at;
        run.in_length = c.packed;
        run.dict_start = dict_start;
        run.hard_limit = pos + c.unpacked;
        run.stop_at = run.hard_limit;
        run.exact = true;
        if (lzma_detail::decode(model, run, out, pos) != Stop::kLimit || pos != run.hard_limit) { ok = false; break; }
        i = c.data_at + c.packed;
    }
    out.resize(pos);
    return ok && pos > 0;
}

}  // namespace rez
