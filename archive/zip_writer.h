// ZIP writer (ZIP32, every entry stored, optionally under the traditional PKWARE cipher):
// new archives, entries appended, the archive comment replaced. Each call builds the whole
// archive in memory and replaces the target only once it is written completely.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rez {

// One file to write into a ZIP or 7z archive. A name ending in '/' with no data is a folder.
struct ArchiveItem {
    std::string name;           // UTF-8, '/' separated
    std::vector<uint8_t> data;  // the whole content
};

// GBK when the text holds Chinese or Hangul (and GBK can write it), else UTF-8.
std::vector<uint8_t> zip_encode_comment(const std::wstring& comment);

bool zip_create(const std::wstring& path, const std::vector<ArchiveItem>& items, const std::wstring& comment,
                std::wstring& err, const std::wstring& password = L"");
bool zip_append(const std::wstring& path, const std::vector<ArchiveItem>& items, std::wstring& err,
                const std::wstring& password = L"");
bool zip_set_comment(const std::wstring& path, const std::wstring& comment);

}  // namespace rez
