// LZMA2 chunk streams, as 7z folders hold them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/lzma.h"
#include "fuzz/harness/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first four bytes are a size hint, as a 7z header would state one.
    if (size < 4) return 0;
    const uint64_t hint =
        uint64_t{data[0]} | uint64_t{data[1]} << 8 | uint64_t{data[2]} << 16 | uint64_t{data[3]} << 24;
    std::vector<uint8_t> out;
    if (rez::lzma2_decode(data + 4, size - 4, out, hint)) QVL_FUZZ_CHECK(out.size() <= rez::kMaxDecodedSize);
    return 0;
}
