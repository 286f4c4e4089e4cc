// ZIP reader (ZIP32): end record, central-directory listing and one entry's data (stored or
// Deflate; plain, traditional PKWARE encryption or WinZip AES). Stateless: every call reads
// the whole file. Password failures say "密码", checksum failures "CRC".
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace rez {

struct ZipEocd {
    uint64_t position = 0;  // offset of the end-of-central-directory record
    uint16_t entry_count = 0;
    uint32_t directory_size = 0;
    uint32_t directory_offset = 0;
    uint16_t comment_length = 0;
    // Bytes in front of the archive proper (a stub); added to every stored offset.
    uint64_t base_offset = 0;
};

struct ZipEntry {
    std::string name;     // UTF-8, '/' separated, as stored
    uint32_t method = 0;  // for WinZip AES the real method from the 0x9901 record
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    uint64_t data_offset = 0;  // absolute offset of the entry's stored bytes
    uint32_t crc32 = 0;
    bool is_dir = false;
    uint16_t dos_time = 0;
    uint16_t dos_date = 0;
    uint32_t encryption = 0;  // 0 none, 1 traditional PKWARE, 2 WinZip AES
    uint32_t aes_strength = 3;
    uint16_t flags = 0;
    uint64_t local_offset = 0;    // absolute offset of the local record
    uint64_t central_offset = 0;  // absolute offset of the central record
};

bool zip_find_eocd(std::span<const uint8_t> file, ZipEocd& out);
std::wstring zip_decode_comment(const uint8_t* bytes, size_t length);

bool zip_list_entries(const std::wstring& path, std::vector<ZipEntry>& entries, std::wstring& comment,
                      std::wstring& err);
bool zip_extract_entry(const std::wstring& path, const ZipEntry& entry, std::vector<uint8_t>& out,
                       std::wstring& err);
bool zip_needs_password(const std::wstring& path);

// The same two operations on an archive already in memory (read or mapped), so that a
// caller walking every member reads the file once.
bool zip_list_entries_in(std::span<const uint8_t> file, std::vector<ZipEntry>& entries,
                         std::wstring& comment, std::wstring& err);
bool zip_extract_entry_in(std::span<const uint8_t> file, const ZipEntry& entry, std::vector<uint8_t>& out,
                          std::wstring& err);

// Whether zip_extract_entry_to can take the member: a file stored or Deflated, unencrypted.
bool zip_entry_streams(const ZipEntry& entry);
// The member's bytes handed to sink in pieces (stored bytes in one piece, straight from the
// archive), with the same checks and messages as zip_extract_entry_in; size and CRC are
// checked as the bytes go by, so only at the end. On failure the sink may already hold part
// of the output, which the caller discards.
bool zip_extract_entry_to(std::span<const uint8_t> file, const ZipEntry& entry,
                          const std::function<bool(const uint8_t* data, size_t length)>& sink, std::wstring& err);

}  // namespace rez
