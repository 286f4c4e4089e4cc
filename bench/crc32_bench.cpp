// Throughput of the CRC-32, both roads: the slicing-by-8 tables and crc32_update (which
// folds with PCLMULQDQ where the CPU has it), in memory, no I/O.
// Usage: crc32_bench [MiB=256] [runs=7]
// Prints, per road, the median over the runs of one pass over the whole buffer, then the
// same for short inputs (the buffer's first 1 MiB cut in pieces of one size, again and again
// up to the same total), to show where folding starts to pay. GB = 10^9 bytes.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "archive/crc32.h"
#include "archive/crc32_internal.h"

namespace {

using Update = uint32_t (*)(uint32_t, const uint8_t*, size_t);

double seconds_now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(freq.QuadPart);
}

// GB/s of the median run; `piece` 0 means the whole buffer in one call.
double median_rate(Update update, const std::vector<uint8_t>& data, size_t piece, size_t total, int runs,
                   uint32_t& sink) {
    std::vector<double> rates;
    for (int r = 0; r < runs; ++r) {
        double t0 = seconds_now();
        if (piece == 0) {
            sink ^= update(0, data.data(), data.size());
        } else {
            const size_t window = std::min<size_t>(data.size(), size_t{1} << 20) / piece * piece;
            for (size_t done = 0; done < total; done += piece)
                sink ^= update(sink, data.data() + done % window, piece);
        }
        rates.push_back(double(total) / (seconds_now() - t0) / 1e9);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    const size_t mib = argc > 1 ? std::max(1, _wtoi(argv[1])) : 256;
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 7;

    std::vector<uint8_t> data(mib << 20);
    uint32_t s = 2463534242u;
    for (auto& b : data) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = static_cast<uint8_t>(s);
    }

    const struct {
        const char* name;
        Update update;
    } roads[] = {{"table", rez::crc32_update_table}, {"crc32_update", rez::crc32_update}};

    std::printf("crc32_bench folds=%s buffer=%zu MiB runs=%d (median GB/s)\n",
                rez::crc32_folds() ? "yes" : "no", mib, runs);
    uint32_t sink = 0;
    const uint32_t whole = rez::crc32_update_table(0, data.data(), data.size());
    bool same = rez::crc32(data.data(), data.size()) == whole;
    for (const auto& road : roads)
        std::printf("  %-13s whole buffer  %7.2f\n", road.name,
                    median_rate(road.update, data, 0, data.size(), runs, sink));
    for (size_t piece : {32, 63, 64, 80, 128, 256, 4096, 65536}) {
        std::printf("  pieces of %5zu bytes:", piece);
        for (const auto& road : roads)
            std::printf("  %s %6.2f", road.name,
                        median_rate(road.update, data, piece, data.size(), runs, sink));
        std::printf("\n");
    }
    std::printf("  crc32=%08X %s (sink %08X)\n", whole, same ? "both roads agree" : "ROADS DIFFER", sink);
    return same ? 0 : 1;
}
