// LZMA in its two single-stream framings: the LZMA-alone container (full and preview
// decodes) and the raw coder of 7z folders, whose properties byte comes first here.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/lzma.h"
#include "fuzz/harness/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kLimit = 4u << 20;
    std::vector<uint8_t> out;
    if (rez::lzma_decode(data, size, out, kLimit)) QVL_FUZZ_CHECK(out.size() <= kLimit);

    out.clear();
    if (rez::lzma_decode(data, size, out, kLimit, 4096, true)) QVL_FUZZ_CHECK(!out.empty());

    if (size >= 1) {
        // Known size from the next byte (0: unknown, end marker or input end).
        const uint64_t known = size >= 2 ? uint64_t{data[1]} * 97 : 0;
        out.clear();
        if (rez::lzma_decode_raw(data, data + (size >= 2 ? 2 : 1), size - (size >= 2 ? 2 : 1), known, out,
                                 kLimit)) {
            QVL_FUZZ_CHECK(out.size() <= kLimit);
            if (known) QVL_FUZZ_CHECK(out.size() == known);
        }
    }
    return 0;
}
