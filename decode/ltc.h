// LTC files: the game stores them plain, LZMA-framed, as its own LZSS stream, or under one
// of several scrambling layers. The decoder tries each wrapping and keeps the first that
// gives readable text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rezui {

struct LtcText {
    std::string text;      // UTF-8, header lines first once ltc_add_header has run
    std::string encoding;  // label of the text decoder, or "raw/hex"
    std::string label;     // the road that worked
    uint64_t entry_size = 0;
    uint64_t decoded_size = 0;
};

// Always engaged: when nothing fits, a hex dump that says so.
std::optional<LtcText> decode_ltc_preview(const std::vector<uint8_t>& bytes, const std::string& name_utf8);

std::optional<LtcText> ltc_buffer_to_text(const std::vector<uint8_t>& candidate, uint64_t entry_size,
                                          const std::string& label_prefix);
std::optional<LtcText> rez_crypto_try_phase(const std::vector<uint8_t>& bytes, uint64_t phase, bool dec);
std::optional<LtcText> rez_crypto_search_phases(const std::vector<uint8_t>& bytes);

std::optional<std::vector<uint8_t>> ltc_xor_table_key(const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> ltc_xor_derived_key(const std::vector<uint8_t>& bytes);
std::optional<std::pair<std::vector<uint8_t>, uint64_t>> ltc_xor_alt_keys(const std::vector<uint8_t>& bytes);

std::string ltc_hex_dump(const std::vector<uint8_t>& bytes, bool marker_present);
std::optional<LtcText> ltc_add_header(const std::string& name_utf8, std::optional<LtcText> result);

// The scrambled files' 4-byte marker and the XOR keys of the game's LTC tools.
extern const uint8_t kLtcMarker[4];
extern const uint8_t kLtcTableKey[16];

}  // namespace rezui
