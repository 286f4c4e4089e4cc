// Rewriting an existing ZIP archive: members that stay as they are keep their local record
// and stored bytes byte for byte (name bytes, flags, method, encryption, times, extra fields,
// CRC); new content is stored under the archive's own protection; the central directory is
// written anew. Nothing is decrypted or decompressed for a member that is copied.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/zip_reader.h"

namespace rez {

enum class ZipProtection { none, zipcrypto, aes256 };

// The protection new content takes in an archive with these members: WinZip AES when a file
// member uses it, the traditional PKWARE cipher when another one is encrypted, else none.
ZipProtection zip_protection_of(const std::vector<ZipEntry>& entries);

// One member of the rewritten archive, in the order written.
struct ZipRewriteItem {
    // A member of the source archive (from zip_list_entries_in over the same bytes).
    const ZipEntry* member = nullptr;
    // With member: its record and stored bytes are copied. Without: data is written anew.
    bool copy = true;
    // The name written, UTF-8 ('/' separated, a folder ends in '/'). Empty with member: the
    // member's own stored name bytes, flags and Unicode Path field are kept.
    std::string name;
    // Content written anew (stored).
    std::vector<uint8_t> data;
    // Modification time of new content (FILETIME ticks, UTC); 0 takes the member's time when
    // there is one, else 1980-01-01.
    uint64_t mtime = 0;
};

// Builds the rewritten archive in out. comment: the new archive comment, or none to keep the
// source's comment bytes. New content is protected as protection says with password.
bool zip_rewrite(std::span<const uint8_t> source, const std::vector<ZipRewriteItem>& items,
                 const std::optional<std::wstring>& comment, ZipProtection protection, const std::wstring& password,
                 std::vector<uint8_t>& out, std::wstring& err);

// WinZip AES-256 (AE-1: the CRC is kept) of one member's content: salt, password verifier,
// the AES-CTR cipher text and the 10-byte authentication code.
bool winzip_aes_encrypt(const std::string& password, const std::vector<uint8_t>& plain, std::vector<uint8_t>& out);

}  // namespace rez
