// Every preview decoder, reached the way the preview pane reaches them: through the one
// entry point, with a name that picks the decoder. The input is the entry name, a zero
// byte, then the entry's bytes; an input without a zero byte in its first 64 is all bytes
// of an entry named "x.txt".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decode/preview.h"
#include "fuzz/harness/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name = "x.txt";
    size_t skip = 0;
    if (const void* zero = std::memchr(data, 0, size < 64 ? size : 64)) {
        skip = static_cast<size_t>(static_cast<const uint8_t*>(zero) - data);
        name.assign(reinterpret_cast<const char*>(data), skip);
        ++skip;
    }
    const std::vector<uint8_t> bytes(data + skip, data + size);
    const rezui::EntryPreview p = rezui::build_entry_preview(name, bytes);
    QVL_FUZZ_CHECK(p.name == name);
    QVL_FUZZ_CHECK(p.is_image == p.image.has_value());
    if (p.image) {
        QVL_FUZZ_CHECK(p.image->width > 0 && p.image->height > 0);
        QVL_FUZZ_CHECK(p.image->pixels.size() == uint64_t{p.image->width} * p.image->height * 4);
    }
    return 0;
}
