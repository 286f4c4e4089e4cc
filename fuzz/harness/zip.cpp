// ZIP archives in memory: the end record, the central directory, then every listed
// member read back (stored, Deflate, and both kinds of encryption under a known password).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/password.h"
#include "archive/zip_reader.h"
#include "fuzz/harness/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool password_set = (rez::set_current_password(L"fuzz"), true);
    (void)password_set;
    const std::vector<uint8_t> file(data, data + size);
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    if (!rez::zip_list_entries_in(file, entries, comment, err)) {
        QVL_FUZZ_CHECK(!err.empty());
        return 0;
    }
    size_t tried = 0;
    for (const rez::ZipEntry& e : entries) {
        if (e.is_dir) continue;
        if (++tried > 64) break;
        std::vector<uint8_t> out;
        std::wstring member_err;
        if (!rez::zip_extract_entry_in(file, e, out, member_err)) QVL_FUZZ_CHECK(!member_err.empty());
    }
    return 0;
}
