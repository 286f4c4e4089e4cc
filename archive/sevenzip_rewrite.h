// Rewriting an existing 7z archive while keeping what is not changed as it is stored.
//
// A folder (packed stream) all of whose files are kept is copied packed, byte for byte, with
// its coders (LZMA, LZMA2, BCJ chains, AES, ...), pack and unpack sizes and CRCs; its files
// keep their names (unless renamed), times, attributes and empty-file / anti flags. Directory
// records and empty files are carried over the same way. Only a folder that loses a file is
// decoded, and its remaining files are stored again by our writer (Copy, behind 7z AES-256
// when the archive is encrypted), as are the new files. A header that was encrypted stays
// encrypted. Failures are false plus one Chinese message; the source is never changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rez {

// One record of the rewritten archive: a kept record of the source or a new one.
struct SevenZipRewriteItem {
    static constexpr size_t kNew = SIZE_MAX;
    // Kept record: its index in the source listing (sevenzip_entries_of / sevenzip_list_entries
    // order, directories included). kNew: a new record made of name and data.
    size_t index = kNew;
    // Kept: the new UTF-8 name when renamed or moved, empty = unchanged (a trailing '/' on a
    // directory is dropped). New: its name, '/' separated; a name ending in '/' with no data is
    // a directory record.
    std::string name;
    std::vector<uint8_t> data;  // new content (index == kNew)
    uint64_t mtime = 0;         // new content: FILETIME ticks, 0 = the time of the rewrite
};

// done/total in bytes of work; returning false cancels (err "已取消").
using SevenZipRewriteProgress = std::function<bool(uint64_t done, uint64_t total)>;

struct SevenZipRewriteOptions {
    // A password change: every kept file is decoded and stored again under new_password
    // (empty: plain), nothing is copied packed; the header is encrypted with new_password when
    // the source header was encrypted and new_password is not empty.
    bool replace_password = false;
    std::wstring new_password;
    SevenZipRewriteProgress progress;
};

// Writes the rewritten archive to target (with write_file_replacing: beside it, then moved
// into place; the source is read whole first, so target may even be the source). The records
// come out in the order of items, except that the kept files of one copied folder stay
// together in their stored order (placed where the first of them is). Source records not named
// by any item are dropped; naming one twice is an error.
// Reading (a folder that loses a file, an encrypted header) uses the held password of
// archive/password.h (get_current_password()). password is the archive's password for new
// and re-stored content: used when the source has encrypted content or an encrypted header
// (an archive without encryption stays without); an encrypted header is written encrypted with
// it. False with err on any failure; target is then left as it was.
bool sevenzip_rewrite(const std::wstring& source, const std::wstring& target,
                      const std::vector<SevenZipRewriteItem>& items, const std::wstring& comment,
                      const std::wstring& password, std::wstring& err, const SevenZipRewriteOptions& options = {});

}  // namespace rez
