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
    kBeyondWindow,  // a distance reaches before the first byte the buffer still holds
};

struct Run {
    const uint8_t* in = nullptr;  // range-coded bytes; at least 5
    size_t in_length = 0;
    // First output byte a distance may reach, as a buffer position. A window that dropped
    // older output keeps it as buffer position minus dropped bytes, modulo 2^64, so the
    // distance from it and the position bits stay those of the whole stream.
    size_t dict_start = 0;
    size_t hard_limit = 0;  // output a literal or match may never pass
    size_t stop_at = 0;     // decoding ends successfully once the output holds this much
    bool exact = false;     // the stream has a known size: no input-end or end-marker stop
};

// The range decoder between calls on one stream.
struct Cursor {
    uint32_t range = 0, code = 0;
    const uint8_t* p = nullptr;
    const uint8_t* end = nullptr;
    bool overrun = false;
};

// Room kept ahead of the output position so a match can be copied in 8-byte pieces.
constexpr size_t kCopySlack = 16;
// The longest match.
constexpr size_t kMaxMatch = 273;

// Decodes into buf from position pos (buf.size() is the allocated room; it grows as needed
// and never beyond hard_limit plus a little slack). pos is updated to the bytes decoded.
Stop decode(Model& model, const Run& run, std::vector<uint8_t>& buf, size_t& pos);

// The same in steps: start reads the first five bytes of run.in (false when there are not
// five), resume decodes until run.stop_at and can be called again with a later stop on the
// same stream (run.in is not read again; the cursor carries the input position). A buffer
// that moves its bytes between calls shifts pos, dict_start and the stops alike.
bool start(Cursor& cursor, const uint8_t* in, size_t in_length);
Stop resume(Model& model, Cursor& cursor, const Run& run, std::vector<uint8_t>& buf, size_t& pos);

// One LZMA2 chunk header at data[i]: what kind of chunk, its sizes and its resets.
struct Lzma2Chunk {
    enum class Kind { kEnd, kStored, kLzma, kBad } kind = Kind::kBad;
    bool dict_reset = false;
    bool state_reset = false;  // probabilities, state and distances to their start
    bool new_properties = false;
    uint8_t properties = 0;
    size_t unpacked = 0;
    size_t packed = 0;  // LZMA chunks; stored chunks carry unpacked bytes
    size_t data_at = 0;  // where the chunk's bytes begin
};
Lzma2Chunk lzma2_chunk_at(const uint8_t* data, size_t length, size_t i);

// The dictionary size a raw LZMA (5 bytes) or LZMA2 (1 byte) properties field states; 0 when
// the field is malformed.
uint64_t lzma_dictionary_size(const uint8_t* properties, size_t length);
uint64_t lzma2_dictionary_size(const uint8_t* properties, size_t length);

}  // namespace rez::lzma_detail
