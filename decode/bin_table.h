// The game's small ".bin" weapon tables: "WeaponModel" record tables and numbered weapon
// preview entries, shown as a field-by-field report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/byte_read.h"
#include "decode/format_text.h"

namespace rezui {

bool is_bin_table_entry(const std::string& name, const std::string& extension);
bool is_weapon_model_name(const std::string& name);
bool is_numbered_bin_name(const std::string& name);

std::optional<FormatText> preview_bin_table(const std::vector<uint8_t>& bytes, const std::string& name);

// One line per 32-bit field: unsigned, signed, float and hex readings.
std::string dump_u32_fields(const std::vector<uint8_t>& data, size_t base, size_t count);
std::string hex_dump_bytes(const std::vector<uint8_t>& data);
// "AA BB CC DD", or empty past the data.
std::string hex_bytes4(const std::vector<uint8_t>& data, size_t offset);

}  // namespace rezui
