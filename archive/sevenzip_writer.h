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

// The 7z AES-256 sealing of our writer: one random salt and IV per archive, the key derived
// once from the password (cycles power 19).
class SevenZipSealer {
public:
    // "7z AES 密钥派生失败" when the key cannot be made.
    bool init(const std::wstring& password, std::wstring& err);
    // Zero-pads the bytes to a multiple of 16 (nothing becomes 16 zero bytes) and encrypts them
    // with AES-256-CBC; "7z AES 加密失败" on failure.
    bool seal(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::wstring& err) const;
    // Appends the folder record of a sealed stream: two coders, Copy behind 7z AES, bound.
    void put_folder(std::vector<uint8_t>& h) const;

private:
    std::vector<uint8_t> key_, iv_, salt_;
};

// Appends the folder record of a plain stored stream: one Copy coder.
void sevenzip_put_copy_folder(std::vector<uint8_t>& h);

// Ends an archive built in buf (its first 32 bytes kept for the start header, the packed
// streams after them): appends the header, fills in the start header with the given minor
// version, adds the comment trailer and writes the whole over path.
bool sevenzip_finish(std::vector<uint8_t>& buf, const std::vector<uint8_t>& header, uint8_t minor_version,
                     const std::wstring& comment, const std::wstring& path, std::wstring& err);

// Writes a new archive over path (built in memory, written beside it and moved into place).
// A non-empty comment is stored in the program's trailer after the 7z data.
bool sevenzip_create(const std::wstring& path, const std::vector<ArchiveItem>& items, const std::wstring& comment,
                     std::wstring& err, const std::wstring& password = L"");

}  // namespace rez
