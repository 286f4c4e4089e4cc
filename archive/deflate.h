// Raw Deflate (RFC 1951) decoder for whole in-memory buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rez {

// Decodes the whole stream into out (emptied first). Fails, leaving out empty, on any
// malformed input, on input that ends early, or when the output would exceed max_output.
// Bytes after the final block are ignored.
bool inflate(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t max_output);

}  // namespace rez
