// Byte buffers to UTF-8 text with the encoding named, and the small text judgements the
// format decoders share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rezui {

// (text in UTF-8, encoding label); empty when no encoding fits.
using OptionalTextPair = std::optional<std::pair<std::string, std::string>>;

// Labels: "UTF-8", "UTF-16 LE", "UTF-16 BE", "CP949", "GB18030".
OptionalTextPair decode_text_auto(const uint8_t* data, size_t size);
inline OptionalTextPair decode_text_auto(const std::vector<uint8_t>& bytes) {
    return decode_text_auto(bytes.data(), bytes.size());
}

// cfg, csv, ini, json, log, lua, nut, txt, xml (ASCII case-insensitive).
bool is_text_extension(const std::string& extension);

// At least 85 % printable ASCII in the first 8 KiB and some structural character.
bool looks_like_text(const std::string& bytes);

// How much a decoded text looks like an engine material or configuration file.
int score_lithtech_text(const std::string& text);
// True when no text decode_text_auto can return for these bytes scores min_score or more,
// judged by their control bytes alone. Stops at the first proof: for searches that try
// many buffers of which nearly all are noise. False means only "not ruled out".
bool lithtech_score_out_of_reach(const uint8_t* data, size_t size, int min_score);
// mode 0: "[section]" lines; mode 1: "key = value" lines.
int count_text_lines_of_kind(const std::string& text, int mode);
// Picture and table file names mentioned in the text (".dtx", ".png", ...).
int count_file_references(const std::string& text);

// Lines split at LF, one trailing CR dropped from each; an empty text is one empty line.
std::vector<std::string> split_lines(const std::string& text);

// Length of the buffer without a UTF-8 sequence cut off at its end. For prefixes read up
// to a size limit: a character split by the cut would otherwise make the whole prefix
// fail as UTF-8.
size_t utf8_complete_prefix_length(const uint8_t* data, size_t size);

}  // namespace rezui
