// Times rezui::build_entry_preview on files given on the command line, the way the preview
// pane calls it (bytes already in memory, UI thread with COM initialised).
// Usage: preview_bench <file> <entry name> [<file> <entry name> ...] (ASCII arguments)
#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/util.h"
#include "decode/preview.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: preview_bench <file> <entry name> [...]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::vector<uint8_t> bytes;
        if (!rez::read_file(rez::from_utf8(argv[i]), bytes)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            status = 1;
            continue;
        }
        const std::string name = argv[i + 1];
        double best = 1e30;
        rezui::EntryPreview preview;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            preview = rezui::build_entry_preview(name, bytes);
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            if (took.count() < best) best = took.count();
        }
        std::printf("%-28s %10zu bytes %9.1f ms  %s\n", name.c_str(), bytes.size(), best, preview.summary.c_str());
    }
    CoUninitialize();
    return status;
}
