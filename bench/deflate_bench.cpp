// Times our Deflate decoder on one file: a gzip file (its member's raw stream is inflated
// and checked against the trailer's CRC and size) or a raw Deflate stream.
// Usage: deflate_bench <file> [repeats]    (a /unix/path is taken as Z:\unix\path)
// Prints one line: "deflate_bench bytes_in=.. bytes_out=.. seconds=.. mb_per_s=.. crc32=.. ok|FAILED"
// with the best time of the repeats; MB = 10^6 bytes of output.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/util.h"
#include "host_path.h"

namespace {

// Offset of the raw stream inside a gzip member, or 0 when the data is not gzip.
size_t gzip_payload(const std::vector<uint8_t>& d) {
    if (d.size() < 18 || d[0] != 0x1F || d[1] != 0x8B || d[2] != 8) return 0;
    uint8_t flags = d[3];
    size_t p = 10;
    if (flags & 4) {
        if (p + 2 > d.size()) return 0;
        p += 2 + (d[p] | (d[p + 1] << 8));
    }
    for (uint8_t bit : {uint8_t{8}, uint8_t{16}})
        if (flags & bit) {
            while (p < d.size() && d[p]) ++p;
            ++p;
        }
    if (flags & 2) p += 2;
    return p < d.size() ? p : 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    if (argc < 2) {
        std::fprintf(stderr, "usage: deflate_bench <file.gz|file.deflate> [repeats]\n");
        return 2;
    }
    int repeats = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    std::vector<uint8_t> file;
    if (!rez::read_file(host_path(argv[1]), file)) {
        std::fprintf(stderr, "cannot read input\n");
        return 2;
    }
    size_t start = gzip_payload(file);
    bool gzip = start != 0;
    const uint8_t* data = file.data() + start;
    size_t length = file.size() - start;

    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    double best = 1e30;
    std::vector<uint8_t> out;
    bool ok = true;
    for (int r = 0; r < repeats && ok; ++r) {
        QueryPerformanceCounter(&t0);
        ok = rez::inflate(data, length, out, size_t{1} << 36);
        QueryPerformanceCounter(&t1);
        best = std::min(best, double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart));
    }
    uint32_t crc = rez::crc32(out.data(), out.size());
    if (ok && gzip) {
        const uint8_t* tail = file.data() + file.size() - 8;
        ok = rez::load_u32le(tail) == crc && rez::load_u32le(tail + 4) == static_cast<uint32_t>(out.size());
    }
    std::printf("deflate_bench bytes_in=%zu bytes_out=%zu seconds=%.4f mb_per_s=%.1f crc32=%08X %s\n", length,
                out.size(), best, best > 0 ? double(out.size()) / best / 1e6 : 0.0, crc,
                ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
