// Raw Deflate streams.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/deflate.h"
#include "fuzz/harness/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A small limit keeps each run fast and still reaches the "output too large" refusal.
    constexpr size_t kLimit = 4u << 20;
    std::vector<uint8_t> out;
    const bool ok = rez::inflate(data, size, out, kLimit);
    QVL_FUZZ_CHECK(ok ? out.size() <= kLimit : out.empty());
    return 0;
}
