// Times our LZMA / LZMA2 decoding on the folders of a 7z archive, the same work `7z t` does:
// decode every folder and check every file's CRC.
// Usage: lzma_bench <archive.7z> [repeats]    (a /unix/path is taken as Z:\unix\path)
// Prints one line: "lzma_bench folders=.. bytes_in=.. bytes_out=.. seconds=.. mb_per_s=.. ok|FAILED"
// with the best time of the repeats; MB = 10^6 bytes of output.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "host_path.h"

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) {
        std::fprintf(stderr, "usage: lzma_bench <archive.7z> [repeats]\n");
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    std::vector<uint8_t> file;
    if (!rez::read_file(host_path(argv[1]), file)) {
        std::fprintf(stderr, "cannot read input\n");
        return 2;
    }
    rez::SevenZipDatabase db;
    std::wstring err;
    if (!rez::sevenzip_open(file, db, err)) {
        std::fprintf(stderr, "cannot open: %s\n", rez::to_utf8(err).c_str());
        return 2;
    }
    uint64_t packed = 0;
    for (uint64_t s : db.pack_sizes) packed += s;

    // Each file's CRC is checked in place in its decoded folder, as `7z t` does. The first run
    // writes into fresh memory (like a new process); later runs reuse the buffer.
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    double best = 1e30, first = 0;
    uint64_t produced = 0;
    bool ok = true;
    std::vector<uint8_t> decoded;
    for (int r = 0; r < repeats && ok; ++r) {
        produced = 0;
        QueryPerformanceCounter(&t0);
        for (size_t f = 0; f < db.folders.size() && ok; f++) {
            ok = rez::sevenzip_unpack_folder(file, db, f, decoded, err);
            if (!ok) break;
            produced += decoded.size();
            uint64_t sub = 0;
            for (size_t i = 0; i < f; i++) sub += db.folders[i].unpack_stream_count;
            size_t at = 0;
            for (uint64_t k = 0; k < db.folders[f].unpack_stream_count && ok; k++, sub++) {
                const size_t n = static_cast<size_t>(db.substream_sizes[sub]);
                ok = at + n <= decoded.size() &&
                     (!db.substream_crc_defined[sub] || rez::crc32(decoded.data() + at, n) == db.substream_crcs[sub]);
                at += n;
            }
            if (!ok) err = L"CRC";
        }
        QueryPerformanceCounter(&t1);
        const double seconds = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
        if (r == 0) first = seconds;
        best = std::min(best, seconds);
    }
    if (!ok) std::fprintf(stderr, "%s\n", rez::to_utf8(err).c_str());
    std::printf("lzma_bench folders=%zu bytes_in=%llu bytes_out=%llu seconds=%.4f mb_per_s=%.1f "
                "first_seconds=%.4f first_mb_per_s=%.1f %s\n",
                db.folders.size(), static_cast<unsigned long long>(packed), static_cast<unsigned long long>(produced),
                best, best > 0 ? double(produced) / best / 1e6 : 0.0, first,
                first > 0 ? double(produced) / first / 1e6 : 0.0, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
