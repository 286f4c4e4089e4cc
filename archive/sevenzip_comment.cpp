// Comment trailer of 7z archives.
#include "archive/sevenzip_comment.h"

#include <windows.h>

#include <cstring>

#include "archive/replace_file.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"

namespace rez {
namespace {

const char kMarker[] = "7Z_COMMENT_SECTION";
constexpr size_t kMarkerSize = 18;
constexpr size_t kTrailerHead = kMarkerSize + 4;
constexpr size_t kSearchWindow = 65536;
const uint8_t kCommentKey[8] = {0x6B, 0x0E, 0x93, 0xD2, 0xA7, 0x41, 0x5C, 0xF8};

void scramble(std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] ^= kCommentKey[i % 8];
}

}  // namespace

std::vector<uint8_t> sevenzip_comment_bytes(const std::wstring& comment) {
    const std::string utf8 = to_utf8(comment);
    std::vector<uint8_t> bytes(utf8.begin(), utf8.end());
    scramble(bytes);
    return bytes;
}

void sevenzip_append_comment_trailer(std::vector<uint8_t>& file, const std::wstring& comment) {
    if (comment.empty()) return;
    const std::vector<uint8_t> bytes = sevenzip_comment_bytes(comment);
    file.insert(file.end(), kMarker, kMarker + kMarkerSize);
    uint8_t length[4];
    store_u32le(length, static_cast<uint32_t>(bytes.size()));
    file.insert(file.end(), length, length + 4);
    file.insert(file.end(), bytes.begin(), bytes.end());
}

size_t sevenzip_find_comment_trailer(std::span<const uint8_t> file) {
    const size_t size = file.size();
    if (size < kTrailerHead) return std::string::npos;
    const size_t lowest = size > kSearchWindow ? size - kSearchWindow : 0;
    for (size_t pos = size - kMarkerSize + 1; pos-- > lowest;) {
        if (std::memcmp(file.data() + pos, kMarker, kMarkerSize) != 0) continue;
        if (size - pos < kTrailerHead) continue;
        const uint32_t length = load_u32le(file.data() + pos + kMarkerSize);
        if (uint64_t{length} == uint64_t{size - pos - kTrailerHead}) return pos;
    }
    return std::string::npos;
}

std::wstring sevenzip_comment_of(std::span<const uint8_t> file) {
    const size_t pos = sevenzip_find_comment_trailer(file);
    if (pos == std::string::npos) return std::wstring();
    std::vector<uint8_t> bytes(file.begin() + static_cast<ptrdiff_t>(pos + kTrailerHead), file.end());
    scramble(bytes);
    return from_utf8(std::string(bytes.begin(), bytes.end()));
}

bool sevenzip_set_comment(const std::wstring& path, const std::wstring& comment) {
    std::vector<uint8_t> file;
    if (!read_file(path, file)) return false;
    const size_t pos = sevenzip_find_comment_trailer(file);
    if (pos != std::string::npos) file.resize(pos);
    sevenzip_append_comment_trailer(file, comment);
    return write_file_replacing(path, file);
}

}  // namespace rez
