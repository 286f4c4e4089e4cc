// Whole-file rewrites of archives that must survive a failed write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rez {

// Writes the bytes beside `path` and then moves them over it in one step, so that a failed
// or cut-short write leaves an existing file exactly as it was. On failure nothing is left
// behind but the untouched original.
bool write_file_replacing(const std::wstring& path, const uint8_t* data, size_t length);

inline bool write_file_replacing(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    return write_file_replacing(path, bytes.data(), bytes.size());
}

}  // namespace rez
