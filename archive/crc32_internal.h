// The two roads of the CRC-32, for the tests and the benchmark: crc32_update folds with
// carry-less multiplication where the CPU has it and uses the tables elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rez {

// crc32_update through the slicing-by-8 tables only, whatever the CPU offers.
uint32_t crc32_update_table(uint32_t crc, const uint8_t* data, size_t length);

// Whether crc32_update folds long inputs with PCLMULQDQ on this CPU.
bool crc32_folds();

}  // namespace rez
