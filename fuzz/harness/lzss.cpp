// The LTC files' LZSS stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/lzss_ltc.h"
#include "fuzz/harness/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> in(data, data + size);
    if (auto out = rezui::lzss_decompress_ltc(in)) QVL_FUZZ_CHECK(out->size() <= rezui::kLtcLzssOutputCap);
    return 0;
}
