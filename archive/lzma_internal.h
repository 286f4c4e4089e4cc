// The LZMA model and decoding loop shared by the LZMA-alone, raw 7z and LZMA2 framings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rez::lzma_detail {

struct Model {
    unsigned lc = 0, lp = 0, pb = 0;
    std::vector<uint16_t> probs;
    uint32_t state = 0;
    uint32_t rep[4] = {0, 0, 0, 0};  // distances minus one

    // Takes lc/lp/pb from a properties byte (false at 225 and above) and sizes the model.
    bool set_properties(uint8_t byte);
    // Probabilities to one half, state and last distances to their start values.
    void reset();
};

enum class Stop {
    kLimit,      // the output reached the stop position
    kEndMarker,  // a valid end marker was read
    kInputDone,  // unknown size: code 0 and every input byte consumed
    kError,
};

struct Run {
    const uint8_t* in = nullptr;  // range-coded bytes; at least 5
    size_t in_length = 0;
    size_t dict_start = 0;  // first output byte a distance may reach
    size_t hard_limit = 0;  // output a literal or match may never pass
    size_t stop_at = 0;     // decoding ends successfully once the output holds this much
    bool exact = false;     // the stream has a known size: no input-end or end-marker stop
};

// Decodes into buf from position pos (buf.size() is the allocated room; it grows as needed
// and never beyond hard_limit plus a little slack). pos is updated to the bytes decoded.
Stop decode(Model& model, const Run& run, std::vector<uint8_t>& buf, size_t& pos);

}  // namespace rez::lzma_detail
