// REZ timings: pack a disk folder and save, open, load every folder, save again from the
// archive, extract everything. Prints one line per step and the peak working set.
// Usage: rez_bench <source folder> <work folder>
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double peak_mib() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc))) return -1;
    return static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// The same files copied by plain Win32 calls, as a floor for extraction on this system
// (under Wine each file creation costs far more than on a native file system).
uint64_t copy_tree(const std::wstring& from, const std::wstring& to, std::vector<uint8_t>& buf) {
    CreateDirectoryW(to.c_str(), nullptr);
    uint64_t bytes = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((from + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring n = fd.cFileName;
        if (n == L"." || n == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            bytes += copy_tree(from + L"\\" + n, to + L"\\" + n, buf);
            continue;
        }
        HANDLE in = CreateFileW((from + L"\\" + n).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE out = CreateFileW((to + L"\\" + n).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD got = 0, put = 0;
        while (ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0) {
            WriteFile(out, buf.data(), got, &put, nullptr);
            bytes += got;
        }
        CloseHandle(in);
        CloseHandle(out);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return bytes;
}

void line(const char* step, double secs, uint64_t bytes) {
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf("%-28s %9.3f s  %10.1f MiB/s  peak %8.1f MiB\n", step, secs, secs > 0 ? mib / secs : 0.0, peak_mib());
    std::fflush(stdout);
}

bool fail(const char* step, const std::wstring& err) {
    std::printf("%s failed: %s\n", step, rez::to_utf8(err).c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::printf("usage: rez_bench <source folder> <work folder>\n");
        return 2;
    }
    // The script passes plain ASCII paths.
    const std::wstring src = rez::from_utf8(argv[1]);
    const std::wstring work = rez::from_utf8(argv[2]);
    rez::create_directories(work);
    const std::wstring a = work + L"\\a.rez";
    const std::wstring b = work + L"\\b.rez";
    const std::wstring out = work + L"\\out";
    std::wstring err;
    // Callbacks as the UI passes them: they cost a call per step and per file.
    auto progress = [](int, const std::wstring&) { return true; };

    auto t0 = Clock::now();
    rez::RezFile packed;
    if (!packed.add_directory_contents_to_root(src, err)) { fail("pack", err); return 1; }
    line("add folder (model)", seconds_since(t0), 0);
    const rez::Stats s = packed.stats();
    std::printf("entries: %llu folders, %llu files, %.1f MiB\n", static_cast<unsigned long long>(s.dirs - 1),
                static_cast<unsigned long long>(s.files), static_cast<double>(s.bytes) / (1024.0 * 1024.0));
    t0 = Clock::now();
    if (!packed.save(a, err, progress)) { fail("save from disk", err); return 1; }
    line("save from disk files", seconds_since(t0), s.bytes);
    packed = rez::RezFile();

    t0 = Clock::now();
    rez::RezFile m;
    if (!rez::RezFile::open(a, m, err)) { fail("open", err); return 1; }
    line("open", seconds_since(t0), 0);

    t0 = Clock::now();
    std::wstring lerr;
    if (!m.load_all_directories(lerr, progress) || !lerr.empty()) { fail("load", lerr); return 1; }
    line("load all directories", seconds_since(t0), 0);

    t0 = Clock::now();
    if (!m.save(b, err, progress)) { fail("save", err); return 1; }
    line("save from archive", seconds_since(t0), s.bytes);

    rez::RezFile e;
    if (!rez::RezFile::open(b, e, err)) { fail("open b", err); return 1; }
    t0 = Clock::now();
    if (!e.extract_to_directory(out, err, progress)) { fail("extract", err); return 1; }
    line("extract all (incl. loading)", seconds_since(t0), s.bytes);

    std::vector<uint8_t> buf(4u << 20);
    t0 = Clock::now();
    const uint64_t copied = copy_tree(src, work + L"\\copy", buf);
    line("plain Win32 copy (floor)", seconds_since(t0), copied);
    return 0;
}
