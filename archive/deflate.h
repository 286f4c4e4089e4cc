// Raw Deflate (RFC 1951) decoder for whole in-memory buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace rez {

// Decodes the whole stream into out (emptied first). Fails, leaving out empty, on any
// malformed input, on input that ends early, or when the output would exceed max_output.
// Bytes after the final block are ignored.
bool inflate(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t max_output);

// Receives decoded bytes in order; false stops decoding (inflate_to then fails).
using InflateSink = std::function<bool(const uint8_t* data, size_t length)>;

// The same decoding through a bounded window: output goes to sink in pieces of about
// `piece` bytes (at least 64 KiB), so a large stream never needs its whole output in memory.
// produced is the total handed over. On failure the sink may already hold part of the
// output; the caller discards it.
bool inflate_to(const uint8_t* data, size_t length, size_t max_output, const InflateSink& sink,
                uint64_t& produced, size_t piece = size_t{1} << 20);

}  // namespace rez
