// A small mutation driver for the Windows builds of the harnesses, which run under Wine
// where no libFuzzer exists. It takes the same options scripts/fuzz gives libFuzzer:
//
//   fuzz_x [-max_total_time=S] [-timeout=S] [-max_len=N] [-malloc_limit_mb=N] [-seed=N]
//          [-artifact_prefix=P] [-rss_limit_mb=N (ignored)] (corpus folder | input file)...
//
// Files given alone are run once each (to replay a saved crash). With folders, every file
// in them runs once, then mutated copies of them run until the time is up. A crash (an
// access violation or any other exception, abort, an escaping C++ exception), a run longer
// than the timeout, or an allocation above the limit saves the input as
// <prefix>crash-/timeout-/oom-<hash> and ends with exit code 1. No coverage feedback: the
// native libFuzzer build does the deep search; this one reaches the Win32-backed roads.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

struct Options {
    double max_total_time = 10;
    double timeout = 20;
    size_t max_len = 65536;
    size_t malloc_limit = size_t{600} << 20;
    uint64_t seed = 0;
    std::string artifact_prefix;
    std::vector<std::string> paths;
};

Options options;

// The input being run, for the handlers that save it. Written by the main thread only.
const Bytes* current = nullptr;
std::atomic<ULONGLONG> run_started{0};
std::atomic<bool> running{false};
std::atomic<bool> dumping{false};

uint64_t fnv1a(const Bytes& b) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t c : b) h = (h ^ c) * 1099511628211ull;
    return h;
}

// Saves the current input and ends the process; only the first caller gets through.
[[noreturn]] void save_and_exit(const char* kind, const char* what) {
    if (dumping.exchange(true)) {
        for (;;) Sleep(1000);
    }
    std::fprintf(stderr, "==driver== %s: %s\n", kind, what);
    if (current) {
        char name[64];
        std::snprintf(name, sizeof name, "%s-%016llx", kind,
                      static_cast<unsigned long long>(fnv1a(*current)));
        const std::string path = options.artifact_prefix + name;
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            if (!current->empty()) std::fwrite(current->data(), 1, current->size(), f);
            std::fclose(f);
            std::fprintf(stderr, "==driver== input (%zu bytes) saved as %s\n", current->size(), path.c_str());
        }
    }
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) Sleep(1000);
}

LONG WINAPI on_exception(EXCEPTION_POINTERS* info) {
    char what[96];
    std::snprintf(what, sizeof what, "exception 0x%08lx at %p",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  info->ExceptionRecord->ExceptionAddress);
    save_and_exit("crash", what);
}

void on_abort(int) { save_and_exit("crash", "abort"); }
void on_terminate() { save_and_exit("crash", "uncaught C++ exception"); }

DWORD WINAPI watchdog(void*) {
    for (;;) {
        Sleep(250);
        if (running && GetTickCount64() - run_started > static_cast<ULONGLONG>(options.timeout * 1000))
            save_and_exit("timeout", "one input ran longer than the timeout");
    }
}

bool read_whole(const std::filesystem::path& p, Bytes& out) {
    std::ifstream f(p, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

void run_one(const Bytes& input) {
    current = &input;
    run_started = GetTickCount64();
    running = true;
    LLVMFuzzerTestOneInput(input.data(), input.size());
    running = false;
}

// ---- mutation ----------------------------------------------------------------------

const uint64_t kInteresting[] = {
    0,      1,       0x7F,       0x80,       0xFF,       0x100,       0x7FFF,       0x8000,
    0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x100000000, ~uint64_t{0}, 0x7FFFFFFFFFFFFFFF};

Bytes mutate(const std::vector<Bytes>& corpus, std::mt19937_64& rng) {
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    Bytes b = corpus[pick(corpus.size())];
    const int steps = 1 + static_cast<int>(rng() % 6);
    for (int s = 0; s < steps; ++s) {
        switch (rng() % 9) {
            case 0:  // flip a bit
                if (!b.empty()) b[pick(b.size())] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            case 1:  // set a byte
                if (!b.empty()) b[pick(b.size())] = static_cast<uint8_t>(rng());
                break;
            case 2: {  // an interesting integer, 1 to 8 bytes little-endian
                if (b.empty()) break;
                const size_t width = size_t{1} << (rng() % 4);
                const size_t at = pick(b.size());
                uint64_t v = kInteresting[pick(std::size(kInteresting))];
                if (rng() % 4 == 0) v += static_cast<uint64_t>(static_cast<int>(rng() % 33) - 16);
                for (size_t i = 0; i < width && at + i < b.size(); ++i)
                    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
                break;
            }
            case 3: {  // erase a run
                if (b.empty()) break;
                const size_t at = pick(b.size());
                const size_t n = 1 + pick(std::min<size_t>(b.size() - at, 64));
                b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                        b.begin() + static_cast<std::ptrdiff_t>(at + n));
                break;
            }
            case 4: {  // insert random bytes
                const size_t at = pick(b.size() + 1);
                const size_t n = 1 + pick(16);
                Bytes ins(n);
                for (uint8_t& c : ins) c = static_cast<uint8_t>(rng());
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), ins.begin(), ins.end());
                break;
            }
            case 5: {  // copy a piece of the input over another place
                if (b.size() < 2) break;
                const size_t from = pick(b.size()), to = pick(b.size());
                const size_t n = 1 + pick(std::min<size_t>({b.size() - from, b.size() - to, 64}));
                std::memmove(b.data() + to, b.data() + from, n);
                break;
            }
            case 6: {  // splice in a piece of another corpus file
                const Bytes& other = corpus[pick(corpus.size())];
                if (other.empty()) break;
                const size_t from = pick(other.size());
                const size_t n = 1 + pick(std::min<size_t>(other.size() - from, 256));
                const size_t at = pick(b.size() + 1);
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at),
                         other.begin() + static_cast<std::ptrdiff_t>(from),
                         other.begin() + static_cast<std::ptrdiff_t>(from + n));
                break;
            }
            case 7:  // cut the tail
                if (!b.empty()) b.resize(pick(b.size()));
                break;
            default:  // add or subtract a little in one byte
                if (!b.empty()) b[pick(b.size())] += static_cast<uint8_t>(static_cast<int>(rng() % 71) - 35);
                break;
        }
    }
    if (b.size() > options.max_len) b.resize(options.max_len);
    return b;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void parse(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string value = a.substr(a.find('=') + 1);
        if (starts_with(a, "-max_total_time="))
            options.max_total_time = std::atof(value.c_str());
        else if (starts_with(a, "-timeout="))
            options.timeout = std::atof(value.c_str());
        else if (starts_with(a, "-max_len="))
            options.max_len = std::strtoull(value.c_str(), nullptr, 10);
        else if (starts_with(a, "-malloc_limit_mb="))
            options.malloc_limit = std::strtoull(value.c_str(), nullptr, 10) << 20;
        else if (starts_with(a, "-seed="))
            options.seed = std::strtoull(value.c_str(), nullptr, 10);
        else if (starts_with(a, "-artifact_prefix="))
            options.artifact_prefix = value;
        else if (starts_with(a, "-"))
            std::fprintf(stderr, "==driver== option ignored: %s\n", a.c_str());
        else
            options.paths.push_back(a);
    }
}

}  // namespace

// Every allocation of the harnesses and the code under test comes through here, so one
// that asks for more than the limit is caught where it is made.
void* operator new(size_t size) {
    if (size > options.malloc_limit) {
        char what[80];
        std::snprintf(what, sizeof what, "allocation of %zu bytes above the limit", size);
        save_and_exit("oom", what);
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return operator new(size, std::nothrow); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
    parse(argc, argv);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // Only what nothing handles: Wine's own code catches faults it causes on purpose.
    SetUnhandledExceptionFilter(on_exception);
    std::signal(SIGABRT, on_abort);
    std::set_terminate(on_terminate);
    CloseHandle(CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr));

    std::vector<Bytes> corpus;
    bool any_folder = false;
    for (const std::string& p : options.paths) {
        std::error_code ec;
        if (std::filesystem::is_directory(p, ec)) {
            any_folder = true;
            for (const auto& e : std::filesystem::directory_iterator(p, ec)) {
                Bytes b;
                if (e.is_regular_file() && read_whole(e.path(), b)) corpus.push_back(std::move(b));
            }
        } else {
            Bytes b;
            if (!read_whole(p, b)) {
                std::fprintf(stderr, "==driver== cannot read %s\n", p.c_str());
                return 2;
            }
            corpus.push_back(std::move(b));
        }
    }
    for (const Bytes& b : corpus) run_one(b);
    std::fprintf(stderr, "==driver== %zu inputs ran\n", corpus.size());
    if (!any_folder) return 0;
    if (corpus.empty()) corpus.emplace_back();

    std::mt19937_64 rng(options.seed ? options.seed : GetTickCount64());
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(options.max_total_time * 1000);
    uint64_t runs = 0;
    while (GetTickCount64() < end) {
        const Bytes input = mutate(corpus, rng);
        run_one(input);
        ++runs;
    }
    std::fprintf(stderr, "==driver== %llu mutated inputs ran, no failure\n",
                 static_cast<unsigned long long>(runs));
    return 0;
}
