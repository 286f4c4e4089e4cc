// The program's comment trailer after the 7z data: "7Z_COMMENT_SECTION", a u32 LE length and
// the comment's UTF-8 bytes XOR-ed with an 8-byte key. Other 7z readers see trailing bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rez {

// The comment's UTF-8 bytes, scrambled (the same call unscrambles).
std::vector<uint8_t> sevenzip_comment_bytes(const std::wstring& comment);

// Appends the trailer for a non-empty comment to the archive bytes; an empty one adds nothing.
void sevenzip_append_comment_trailer(std::vector<uint8_t>& file, const std::wstring& comment);

// Position of the trailer that ends exactly at the end of the file, searched within the last
// 64 KiB (the last such marker wins); npos when there is none. A trailer that does not end at
// the end of the file is stored data that merely contains the marker text.
size_t sevenzip_find_comment_trailer(std::span<const uint8_t> file);

// Replaces (or, with an empty comment, removes) the trailer. The new file is written beside
// the old one and then moved over it, so a failure leaves the archive as it was.
bool sevenzip_set_comment(const std::wstring& path, const std::wstring& comment);

}  // namespace rez
