// Reading 7z archives: the signature header, the plain or encoded header, listing with the
// program's comment trailer, and extraction of one file by decoding its folder. Coders read:
// Copy, LZMA, LZMA2, Deflate and 7z AES-256. Listing reads the whole file each time; reading
// members keeps the last decoded folder (see sevenzip_extract_entry). Failures are false plus
// one Chinese message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace rez {

// Header bytes with a read position; a read past the end sets the error flag and yields zeros.
struct SevenZipByteReader {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool error = false;

    uint8_t read_byte();
    uint32_t read_u32();
    uint64_t read_u64();
    // Copies n bytes (zeros and the error flag when they are not all there).
    bool read_bytes(size_t n, std::vector<uint8_t>& out);
    bool skip(uint64_t n);
    size_t remaining() const { return error ? 0 : size - pos; }
};

struct SevenZipCoder {
    std::vector<uint8_t> method_id;
    uint64_t in_streams = 1;
    uint64_t out_streams = 1;
    std::vector<uint8_t> properties;
};

struct SevenZipFolder {
    std::vector<SevenZipCoder> coders;
    std::vector<std::pair<uint64_t, uint64_t>> bind_pairs;  // (in index, out index)
    std::vector<uint64_t> packed_streams;                   // in-stream indices fed from pack streams
    std::vector<uint64_t> unpack_sizes;                     // one per coder out stream
    bool crc_defined = false;
    uint32_t crc = 0;
    uint64_t unpack_stream_count = 1;  // files stored in the folder
};

struct SevenZipDatabase {
    uint64_t pack_pos = 0;
    std::vector<uint64_t> pack_sizes;
    std::vector<SevenZipFolder> folders;
    std::vector<uint64_t> substream_sizes;
    std::vector<bool> substream_crc_defined;
    std::vector<uint32_t> substream_crcs;
    std::vector<std::string> names;
    std::vector<bool> is_dir;
    std::vector<bool> has_stream;
    std::vector<uint64_t> file_folder;  // all ones for a file in no folder
    std::vector<uint64_t> file_index_in_folder;
};

struct SevenZipEntry {
    std::string name;  // UTF-8 path as stored
    uint64_t size = 0;
    bool is_dir = false;
    bool encrypted = false;
    uint64_t folder = 0;
    uint64_t index_in_folder = 0;
};

constexpr uint64_t kSevenZipNoFolder = ~uint64_t{0};

// Numbers and bit vectors of the 7z header encoding.
uint64_t sevenzip_read_number(SevenZipByteReader& r);
// An all-defined byte first: nonzero means every item is true, else one bit per item.
std::vector<bool> sevenzip_read_bool_vector(SevenZipByteReader& r, size_t count);

// Parsing steps; each false on malformed or truncated input.
bool sevenzip_read_folder(SevenZipByteReader& r, SevenZipFolder& folder);
bool sevenzip_read_streams_info(SevenZipByteReader& r, SevenZipDatabase& db);
bool sevenzip_read_files_info(SevenZipByteReader& r, SevenZipDatabase& db);
bool sevenzip_read_header(SevenZipByteReader& r, SevenZipDatabase& db);
// Passes over the archive properties when type (the property just read) opens them, leaving
// in type the one that follows.
bool sevenzip_skip_archive_properties(SevenZipByteReader& r, uint64_t& type);
uint64_t sevenzip_folder_unpack_size(const SevenZipFolder& folder);

bool sevenzip_open(std::span<const uint8_t> file, SevenZipDatabase& db, std::wstring& err);
// The same, also giving the plain header bytes (starting with the Header byte 01; an encoded
// header decoded with the held password) and whether that header was encrypted.
bool sevenzip_open_header(std::span<const uint8_t> file, SevenZipDatabase& db, std::vector<uint8_t>& header,
                          bool& header_encrypted, std::wstring& err);
bool sevenzip_decode_folder(const SevenZipFolder& folder, const std::vector<uint8_t>& packed,
                            std::vector<uint8_t>& out);
// The same over packed bytes that lie inside a larger buffer (the archive file itself).
bool sevenzip_decode_folder_span(const SevenZipFolder& folder, const uint8_t* packed, size_t packed_length,
                                 std::vector<uint8_t>& out);
bool sevenzip_aes_decrypt(const SevenZipCoder& coder, const std::vector<uint8_t>& input, uint64_t unpack_size,
                          std::vector<uint8_t>& out);

bool sevenzip_list_entries(const std::wstring& path, std::vector<SevenZipEntry>& entries, std::wstring& comment,
                           std::wstring& err);
// One file's bytes. The parsed header and the last decoded folder of the last archive read
// are kept (sevenzip_cache.cpp), so the files of one solid folder, read one after another,
// cost one decode; a changed file or another held password is read afresh.
bool sevenzip_extract_entry(const std::wstring& path, const SevenZipEntry& entry, std::vector<uint8_t>& out,
                            std::wstring& err);
// The same for the first file whose listed name equals name byte for byte.
bool sevenzip_extract_member(const std::wstring& path, const std::string& name, std::vector<uint8_t>& out,
                             std::wstring& err);
// Lets the kept folder go; called when another archive is opened or the open one is closed
// or rewritten.
void sevenzip_drop_cache();
// Folders decoded since the program started, each decode counted once whoever asked.
uint64_t sevenzip_folders_decoded();
bool sevenzip_needs_password(const std::wstring& path);
// True only when the file list itself is encrypted: the header is an encoded header whose
// folder has a 7z AES coder. Then, and only then, a listing can fail for want of a password;
// any other listing failure is damage or not a 7z at all.
bool sevenzip_header_is_encrypted(const std::wstring& path);

// ---- in-memory forms, so a caller that walks a whole archive reads and parses it once ----

// True when a coder of the folder is 7z AES.
bool sevenzip_folder_is_encrypted(const SevenZipFolder& folder);
// True when every coder of the folder is one this reader decodes.
bool sevenzip_folder_is_supported(const SevenZipFolder& folder);
// True when the folder is a single LZMA or LZMA2 coder with a stated output size (lzma2 says
// which): such a folder can be decoded through a window (see SevenZipFolderReader).
bool sevenzip_folder_is_one_lzma(const SevenZipFolder& folder, bool& lzma2);
// The largest output the header asks of a decoder that works in memory (LZMA, LZMA2,
// Deflate), which must stay within kMaxDecodedSize; 0 when the folder has none.
uint64_t sevenzip_folder_limited_size(const SevenZipFolder& folder);
// False, with a message naming the entry and the size, when the entry or the folder that
// holds it is too large to be decoded in memory.
bool sevenzip_check_entry_size(const SevenZipDatabase& db, const SevenZipEntry& entry, std::wstring& err);
// The listing of an opened database (one entry per file, header order).
std::vector<SevenZipEntry> sevenzip_entries_of(const SevenZipDatabase& db);
// The comment trailer at the end of the file, or empty.
std::wstring sevenzip_comment_of(std::span<const uint8_t> file);
// Where a folder's packed bytes lie in the archive, after checking they lie inside it and
// that the folder is not too large to decode here; counted as one folder decode.
bool sevenzip_folder_input(std::span<const uint8_t> file, const SevenZipDatabase& db, uint64_t folder,
                           const uint8_t*& packed, size_t& packed_length, std::wstring& err);
// The message for a folder whose bytes did not decode.
std::wstring sevenzip_decode_failure(const SevenZipFolder& folder);
// Decodes one whole folder of an opened archive.
bool sevenzip_unpack_folder(std::span<const uint8_t> file, const SevenZipDatabase& db, uint64_t folder,
                            std::vector<uint8_t>& decoded, std::wstring& err);
// Where an entry's bytes lie inside its decoded folder, their CRC checked: data points into
// decoded, so it is valid as long as the folder's bytes are.
bool sevenzip_entry_span(const SevenZipDatabase& db, const SevenZipEntry& entry, const uint8_t* decoded,
                         size_t decoded_size, const uint8_t*& data, size_t& size, std::wstring& err);
// The message for an entry whose bytes do not match their stored CRC; it names the entry.
std::wstring sevenzip_crc_failure(const SevenZipEntry& entry);
// Cuts an entry's bytes out of its decoded folder and checks their CRC.
bool sevenzip_slice_entry(const SevenZipDatabase& db, const SevenZipEntry& entry,
                          const std::vector<uint8_t>& decoded, std::vector<uint8_t>& out, std::wstring& err);

}  // namespace rez
