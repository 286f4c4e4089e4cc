// Writing 7z archives from in-memory files, without compression: each file is one folder
// with the Copy coder, behind a 7z AES-256 coder when a password is given. Folder items
// (a name ending in '/' with no data) become directory records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/sevenzip_comment.h"
#include "archive/zip_writer.h"

namespace rez {

// Appends the 7z variable-length encoding of value.
void sevenzip_write_number(std::vector<uint8_t>& out, uint64_t value);

// Writes a new archive over path (built in memory, written beside it and moved into place).
// A non-empty comment is stored in the program's trailer after the 7z data.
bool sevenzip_create(const std::wstring& path, const std::vector<ArchiveItem>& items, const std::wstring& comment,
                     std::wstring& err, const std::wstring& password = L"");

}  // namespace rez
