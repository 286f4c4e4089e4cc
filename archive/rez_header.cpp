#include "archive/rez_header.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/rez_internal.h"
#include "archive/rez_model.h"
#include "archive/util.h"

namespace rez {
namespace {

constexpr size_t kSignatureAt = 2;
constexpr size_t kTitleAt = 64;
constexpr size_t kTextSize = 60;

std::string stored_text(const uint8_t* p) {
    size_t n = kTextSize;
    while (n > 0 && (p[n - 1] == 0 || p[n - 1] == 0x20)) --n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void put_text(uint8_t* p, const std::string& text) {
    std::memset(p, ' ', kTextSize);
    std::memcpy(p, text.data(), std::min(text.size(), kTextSize));
}

// Reads the header and checks the three marker bytes; only these are looked at, so a
// header this program did not write itself is still accepted.
bool read_header(FileHandle& file, uint8_t (&header)[kRezHeaderSize], std::wstring& err) {
    if (!detail::read_exact_at(file, 0, header, kRezHeaderSize)) {
        err = L"读取文件头失败";
        return false;
    }
    if (header[0] != 0x0D || header[1] != 0x0A || header[126] != 0x1A) {
        err = L"不是有效的 REZ 文件";
        return false;
    }
    return true;
}

}  // namespace

bool read_rez_header_texts(const std::wstring& path, std::string& signature_text, std::string& user_title,
                           std::wstring& err) {
    signature_text.clear();
    user_title.clear();
    if (!file_exists(path)) {
        err = L"文件不存在";
        return false;
    }
    FileHandle file = detail::open_for_read(path);
    if (!file) {
        err = L"无法打开文件: " + path;
        return false;
    }
    uint8_t header[kRezHeaderSize];
    if (!read_header(file, header, err)) return false;
    signature_text = stored_text(header + kSignatureAt);
    user_title = stored_text(header + kTitleAt);
    return true;
}

bool write_rez_header_texts(const std::wstring& path, const std::string& signature_text,
                            const std::string& user_title, std::wstring& err) {
    if (!file_exists(path)) {
        err = L"文件不存在";
        return false;
    }
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        err = L"无法打开文件写入";
        return false;
    }
    uint8_t header[kRezHeaderSize];
    if (!read_header(file, header, err)) return false;
    put_text(header + kSignatureAt, signature_text);
    put_text(header + kTitleAt, user_title);
    // Only the two text ranges are written: whatever else the header holds stays as it was.
    if (!write_at(file, kSignatureAt, header + kSignatureAt, kTextSize) ||
        !write_at(file, kTitleAt, header + kTitleAt, kTextSize)) {
        err = L"写入文件头失败";
        return false;
    }
    return true;
}

}  // namespace rez
