// The game's scrambled text files: ".enc" entries (base64 under a one-byte XOR) and ".cfg"
// entries, which may be plain, LZMA-packed, the same base64, or RezCrypto-scrambled at an
// unknown phase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rezui {

struct TextCandidate {
    std::string text;     // two header lines, an empty line, then the decoded text
    std::string summary;  // strategy / encoding / score
    uint64_t entry_size = 0;
    uint64_t candidate_size = 0;
    int score = 0;
};

bool is_enc_entry(const std::string& name, const std::string& extension);

// XOR-0xA3 base64 (optionally inside an LZMA frame) to bytes; true when any byte came out.
bool base64_decode(const std::vector<uint8_t>& in, std::vector<uint8_t>& out);

// Tries the schemes in turn and keeps the first (or, for the phase search, the best)
// text that scores as engine text.
std::optional<TextCandidate> decode_enc_text(const std::vector<uint8_t>& payload, const std::string& name,
                                             uint64_t lzma_limit);

std::optional<TextCandidate> describe_decoded_text(const std::string& name, const std::vector<uint8_t>& payload,
                                                   const uint8_t* candidate, size_t candidate_size,
                                                   const std::string& strategy);

// Filler pattern (mostly 0xFF, real bytes in one lane of three): no text hides in it.
bool detect_ff_lanes(const std::vector<uint8_t>& bytes);

}  // namespace rezui
