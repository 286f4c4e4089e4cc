// One REZ directory block, parsed in either layout. The first byte picks the layout and the
// scrambling phase (the block's file offset).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/rez_model.h"
#include "fuzz/harness/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool engine_layout = data[0] & 1;
    const uint64_t base = data[0] >> 1;
    std::vector<uint8_t> block(data + 1, data + size);
    rez::Entry parent;
    parent.is_dir = true;
    size_t pos = 0;
    std::wstring err;
    rez::parse_directory_block(block, pos, parent, engine_layout, base, err);
    QVL_FUZZ_CHECK(pos <= block.size());
    // Every record takes more than 16 bytes (an engine-layout folder with an empty name: 17).
    QVL_FUZZ_CHECK(parent.children.size() <= block.size() / 17);
    return 0;
}
