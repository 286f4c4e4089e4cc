// 7z archives: in memory, the signature header, plain or encoded header, the listing and
// its comment trailer, then every file cut out of its decoded folder; then the same archive
// by path, as the program reads members through its cache of the last decoded folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/password.h"
#include "archive/sevenzip_folder_reader.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "fuzz/harness/check.h"
#include "fuzz/harness/scratch_file.h"

namespace {

// Mutations almost never keep the two header checksums right, and the reader stops at them;
// each input therefore also runs with both made right, so the header parser sees it.
bool fix_header_crcs(std::vector<uint8_t>& file) {
    if (file.size() < 32 || file[0] != '7' || file[1] != 'z') return false;
    uint64_t offset = 0, length = 0;
    for (int i = 7; i >= 0; --i) {
        offset = offset << 8 | file[12 + i];
        length = length << 8 | file[20 + i];
    }
    if (offset <= file.size() - 32 && length <= file.size() - 32 - offset)
        rez::store_u32le(file.data() + 28,
                         rez::crc32(file.data() + 32 + offset, static_cast<size_t>(length)));
    rez::store_u32le(file.data() + 8, rez::crc32(file.data() + 12, 20));
    return true;
}

// Extraction reads a folder through a window; whatever the whole decode gave, the window must
// give the same bytes (a tiny step makes the window move often).
void read_through_window(const std::vector<uint8_t>& file, const rez::SevenZipDatabase& db, uint64_t folder,
                         const std::vector<uint8_t>& whole) {
    rez::SevenZipFolderReader reader;
    std::wstring err;
    if (!reader.open(file, db, folder, err, 1)) {
        QVL_FUZZ_CHECK(!err.empty());
        return;
    }
    for (const rez::SevenZipPlace& p : rez::sevenzip_folder_places(db, folder)) {
        if (p.start > whole.size() || p.size > whole.size() - p.start || p.start > reader.size() ||
            p.size > reader.size() - p.start)
            break;
        size_t at = 0;
        const bool ok = reader.pump(p.start, p.size,
                                    [&](const uint8_t* d, size_t n) {
                                        QVL_FUZZ_CHECK(std::equal(d, d + n, whole.data() + p.start + at));
                                        at += n;
                                        return true;
                                    },
                                    err);
        QVL_FUZZ_CHECK(ok && at == p.size);
    }
}

void read_archive(const std::vector<uint8_t>& file) {
    (void)rez::sevenzip_comment_of(file);
    rez::SevenZipDatabase db;
    std::wstring err;
    if (!rez::sevenzip_open(file, db, err)) {
        QVL_FUZZ_CHECK(!err.empty());
        return;
    }
    const std::vector<rez::SevenZipEntry> entries = rez::sevenzip_entries_of(db);
    std::map<uint64_t, std::vector<uint8_t>> folders;  // decoded once, as the reader's cache does
    size_t tried = 0;
    for (const rez::SevenZipEntry& e : entries) {
        if (e.is_dir || e.folder == rez::kSevenZipNoFolder) continue;
        if (++tried > 64) break;
        std::wstring entry_err;
        if (!rez::sevenzip_check_entry_size(db, e, entry_err)) continue;
        auto it = folders.find(e.folder);
        if (it == folders.end()) {
            std::vector<uint8_t> decoded;
            if (!rez::sevenzip_unpack_folder(file, db, e.folder, decoded, entry_err)) {
                QVL_FUZZ_CHECK(!entry_err.empty());
                continue;
            }
            read_through_window(file, db, e.folder, decoded);
            it = folders.emplace(e.folder, std::move(decoded)).first;
        }
        std::vector<uint8_t> out;
        if (rez::sevenzip_slice_entry(db, e, it->second, out, entry_err))
            QVL_FUZZ_CHECK(out.size() == e.size);
    }
}

void read_by_path(const std::vector<uint8_t>& file) {
    const std::wstring path = qvl_fuzz::write_scratch_file(L"7z", file.data(), file.size());
    // The cache knows a file by its size and time; every input is a new archive.
    rez::sevenzip_drop_cache();
    (void)rez::sevenzip_header_is_encrypted(path);
    (void)rez::sevenzip_needs_password(path);
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    if (!rez::sevenzip_list_entries(path, entries, comment, err)) return;
    size_t tried = 0;
    for (const rez::SevenZipEntry& e : entries) {
        if (e.is_dir) continue;
        if (++tried > 16) break;
        std::vector<uint8_t> out;
        std::wstring entry_err;
        if (rez::sevenzip_extract_entry(path, e, out, entry_err)) {
            QVL_FUZZ_CHECK(out.size() == e.size);
        } else {
            QVL_FUZZ_CHECK(!entry_err.empty());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool password_set = (rez::set_current_password(L"fuzz"), true);
    (void)password_set;
    std::vector<uint8_t> file(data, data + size);
    read_archive(file);
    if (fix_header_crcs(file)) read_archive(file);
    read_by_path(file);
    return 0;
}
