// Times reading every member of a 7z one by one, the way thumbnails and previews do it on
// the user-interface thread (rez::extract_archive_entry per member), and counts the folder
// decodes that took. In a solid archive the first member pays for the folder; the rest are
// cut from the kept folder.
//
// Usage: sevenzip_member_bench <archive.7z>   (an ASCII path; a Linux one is taken as Z:\...)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/member_extract.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "host_path.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sevenzip_member_bench <archive.7z>\n");
        return 2;
    }
    const std::wstring archive = host_path(rez::from_utf8(argv[1]).c_str());
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    if (!rez::sevenzip_list_entries(archive, entries, comment, err)) {
        std::fprintf(stderr, "listing failed: %s\n", rez::to_utf8(err).c_str());
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    const uint64_t decodes_before = rez::sevenzip_folders_decoded();
    double first_ms = -1, rest_ms = 0;
    size_t read = 0;
    uint64_t bytes = 0;
    for (const auto& e : entries) {
        if (e.is_dir) continue;
        const auto start = Clock::now();
        std::vector<uint8_t> out;
        if (!rez::extract_archive_entry(rez::ArchiveMember{archive, e.name, false}, out, err)) {
            std::fprintf(stderr, "%s: %s\n", e.name.c_str(), rez::to_utf8(err).c_str());
            return 1;
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (first_ms < 0)
            first_ms = ms;
        else
            rest_ms += ms;
        read++;
        bytes += out.size();
    }
    std::printf("%zu members, %.1f MB: first %.0f ms, each further %.1f ms on average, %llu folder decodes\n", read,
                static_cast<double>(bytes) / 1e6, first_ms, read > 1 ? rest_ms / static_cast<double>(read - 1) : 0.0,
                static_cast<unsigned long long>(rez::sevenzip_folders_decoded() - decodes_before));
    return 0;
}
