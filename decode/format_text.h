// Result of the previews that turn one of the game's data formats into text.
#pragma once

#include <cstdint>
#include <string>

namespace rezui {

struct FormatText {
    std::string text;           // the generated preview text
    std::string label;          // kind label shown in the summary line
    uint64_t entry_size = 0;    // byte count of the entry as handed in
    uint64_t decoded_size = 0;  // byte count once any LZMA framing is removed
};

}  // namespace rezui
