// Small read-only previews of further game resources: navigation data, compiled effects,
// path and reference data, the effect catalog, CFT tables, RIFF WAVE sound and text files
// with game extensions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/format_text.h"

namespace rezui {

bool is_other_game_format(const std::string& name_utf8, const std::string& extension);
std::optional<FormatText> preview_other_game_format(const std::vector<uint8_t>& bytes,
                                                    const std::string& name_utf8,
                                                    const std::string& extension);

bool is_nav_extension(const std::string& ext);
// Trimmed, leading dots removed, ASCII lower case.
std::string normalize_extension(const std::string& ext);

// At most `limit` bytes of the entry, LZMA frame removed (decoding stops once the limit
// is reached). declared_size: the frame's stated size, or the entry size when unframed.
bool load_preview_payload(const std::vector<uint8_t>& bytes, uint64_t limit, std::vector<uint8_t>& out,
                          bool& is_lzma, uint64_t& declared_size);
std::string storage_summary(bool is_lzma, const std::string& kind, uint64_t entry_size,
                            uint64_t declared_size, uint64_t decoded_size);
// "\nPreview truncated after ..." when only part of the payload was decoded, else empty.
std::string truncation_note(uint64_t declared_size, uint64_t decoded_size);
// min(max(declared, decoded), 4294967295): the decoded size the results report.
uint64_t reported_decoded_size(uint64_t declared_size, uint64_t decoded_size);

std::vector<std::string> extract_visible_strings(const std::vector<uint8_t>& data, uint64_t min_length,
                                                 uint64_t max_count);
std::string hex_rows(const std::vector<uint8_t>& data, uint64_t limit);

// CFT tables (XOR 0x6D, "su" header, fixed-width column names, rows).
std::optional<FormatText> preview_cft_table(const std::vector<uint8_t>& bytes, const std::string& name_utf8);
std::string fixed_name_field(const uint8_t* field);
std::string csv_quote(const std::string& field);

// RIFF WAVE sound, built with the WAVE previewer.
std::optional<FormatText> preview_wave(const std::vector<uint8_t>& bytes, const std::string& name_utf8);

}  // namespace rezui
