// LZMA decoding in three framings: the LZMA-alone container (13-byte header) found inside
// game entries, the raw LZMA coder of 7z folders and the LZMA2 chunk stream. Whole buffers in,
// whole buffers out; every malformed input gives false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rez {

// The common output limit of the in-memory decoders.
constexpr size_t kMaxDecodedSize = 0x20000000;

// True for a 13-byte LZMA-alone header we produce and accept: properties byte 0x5D or 0x08
// and a size field that is either all ones (unknown) or 1..0x7FFFFFFF.
bool is_lzma_alone_header(const uint8_t* data, size_t length);

// Decodes an LZMA-alone buffer (header included). out is emptied first.
bool lzma_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t max_output);

// As above with a preview mode: partial false decodes in full (limit ignored); partial true
// stops once out holds at least limit bytes (the last step may carry it a little past) or
// the stream ends, and succeeds when at least one byte came out.
bool lzma_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out, uint64_t cap, uint64_t limit,
                 bool partial);

// The decoded bytes when in carries an LZMA-alone header, else a plain copy of in.
bool decompress_if_lzma(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t max_output);

// The 7z LZMA coder: properties[0] is the lc/lp/pb byte; known_size 0 means unknown.
bool lzma_decode_raw(const uint8_t* properties, const uint8_t* data, size_t length, uint64_t known_size,
                     std::vector<uint8_t>& out, size_t max_output);

// An LZMA2 stream; the output is limited to kMaxDecodedSize. out is emptied first.
bool lzma2_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out);
// The same, with the expected output size (0 = unknown) used only to size the first
// allocation; it is trusted no further than the input could plausibly produce.
bool lzma2_decode(const uint8_t* data, size_t length, std::vector<uint8_t>& out, uint64_t size_hint);

}  // namespace rez
