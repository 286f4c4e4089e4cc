// Times rezui::build_entry_preview the way the preview pane calls it: the entry's bytes
// already in memory, on a thread with COM initialised. The preview runs on the UI thread,
// so every figure here is time the window does not respond.
//
// Usage: preview_bench --generated          large inputs built here (see make_inputs)
//        preview_bench <file> <entry name> [<file> <entry name> ...]   (ASCII arguments)
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/rez_model.h"
#include "archive/util.h"
#include "decode/preview.h"

namespace {

struct Input {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Deterministic filler so that runs compare.
struct Lcg {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint8_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint8_t>(state >> 56);
    }
};

void append(std::vector<uint8_t>& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

// 64 MiB of configuration-like UTF-8 text.
std::vector<uint8_t> big_text() {
    std::vector<uint8_t> out;
    out.reserve(64u << 20);
    char line[96];
    for (unsigned i = 0; out.size() < (64u << 20); ++i) {
        rez::format(line, sizeof line, "Key_%07u = value %u ; comment text for line %u\r\n", i, i * 7, i);
        append(out, line);
    }
    out.resize(64u << 20);
    return out;
}

// A 4096 x 4096 DXT5 texture (version -5, pixel format 6) with noise blocks.
std::vector<uint8_t> big_dtx() {
    std::vector<uint8_t> out(4 + 156, 0);
    rez::store_u32le(out.data(), static_cast<uint32_t>(-5));
    out[4] = 0x00, out[5] = 0x10;  // width 4096
    out[6] = 0x00, out[7] = 0x10;  // height 4096
    out[4 + 18] = 6;
    Lcg rng;
    const size_t blocks = 1024u * 1024u;
    out.reserve(out.size() + blocks * 16);
    for (size_t i = 0; i < blocks * 16; ++i) out.push_back(rng.next());
    return out;
}

// 32 MiB that no LTC wrapping turns into text.
std::vector<uint8_t> big_ltc() {
    std::vector<uint8_t> out(32u << 20);
    Lcg rng;
    for (auto& b : out) b = rng.next();
    return out;
}

// A 16 MiB game DAT: scrambled version word, then a scrambled body of records.
std::vector<uint8_t> game_dat(const std::string& record_format, bool move_path) {
    std::string body = move_path ? "*MOVE_PATH\n{\n" : "";
    char record[256];
    for (unsigned i = 0; body.size() < (16u << 20) - 4; ++i) {
        rez::format(record, sizeof record, record_format.c_str(), i, i * 0.5, i * 0.25, i * 2.0);
        body += record;
    }
    body.resize((16u << 20) - 4);
    std::vector<uint8_t> version(4);
    rez::store_u32le(version.data(), 3);
    rez::rez_crypto_encode(version.data(), version.size(), 0);
    std::vector<uint8_t> out(body.begin(), body.end());
    rez::rez_crypto_encode(out.data(), out.size(), 0);
    out.insert(out.begin(), version.begin(), version.end());
    return out;
}

// Scrambled the way the phase search reads back with its decode direction at the phase.
std::vector<uint8_t> scrambled_text(const std::string& text, size_t phase) {
    std::vector<uint8_t> out(text.begin(), text.end());
    rez::rez_crypto_encode(out.data(), out.size(), phase);
    return out;
}

// A material of about 4 KiB: scores high, so the search stops at its phase.
std::string material_text() {
    std::string text = "[textures]\r\n";
    char line[128];
    for (unsigned i = 0; text.size() < 4000; ++i) {
        rez::format(line, sizeof line, "DiffuseMapName%u=tex\\wall_%u.dtx\r\nSpecularMapName%u=tex\\wall_%u_s.dtx\r\n",
                    i, i, i, i);
        text += line;
    }
    return text;
}

// Plain settings of about 4 KiB: a modest score, so the search tries every phase.
std::string settings_text() {
    std::string text;
    char line[64];
    for (unsigned i = 0; text.size() < 4000; ++i) {
        rez::format(line, sizeof line, "Setting_%u = %u\r\n", i, i * 3);
        text += line;
    }
    return text;
}

std::vector<Input> make_inputs() {
    std::vector<Input> inputs;
    inputs.push_back({"big.ini", big_text()});
    inputs.push_back({"big.txt", inputs.back().bytes});
    inputs.push_back({"big.dtx", big_dtx()});
    inputs.push_back({"big.ltc", big_ltc()});
    inputs.push_back({"zones.dat", game_dat("( Zoneman ( ZonemanName \"zone_%u\" ) ( Pos %g %g %g ) ( Floor 2 )"
                                            " ( Point 1 2 3 ) ( Point 4 5 6 ) )\n",
                                            false)});
    inputs.push_back({"path.dat", game_dat("%u   %g\t%g          %g\n", true)});
    std::vector<uint8_t> cfg(8192);
    Lcg rng;
    for (auto& b : cfg) b = rng.next();
    inputs.push_back({"noise.cfg", cfg});
    // Noise with the top bit set: at nearly every phase of the search it has too few control
    // bytes after ASCII to be refused before the full text detection.
    for (auto& b : cfg) b = static_cast<uint8_t>(rng.next() | 0x80);
    inputs.push_back({"crafted.cfg", cfg});
    inputs.push_back({"material.cfg", scrambled_text(material_text(), 777)});
    inputs.push_back({"settings.cfg", scrambled_text(settings_text(), 500)});
    return inputs;
}

double time_once(const Input& in, rezui::EntryPreview& preview) {
    const auto start = std::chrono::steady_clock::now();
    preview = rezui::build_entry_preview(in.name, in.bytes);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Input> inputs;
    if (argc == 2 && std::strcmp(argv[1], "--generated") == 0) {
        inputs = make_inputs();
    } else if (argc >= 3 && argc % 2 == 1) {
        for (int i = 1; i + 1 < argc; i += 2) {
            Input in{argv[i + 1], {}};
            if (!rez::read_file(rez::from_utf8(argv[i]), in.bytes)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 1;
            }
            inputs.push_back(std::move(in));
        }
    } else {
        std::fprintf(stderr, "usage: preview_bench --generated | <file> <entry name> [...]\n");
        return 2;
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    double slowest = 0;
    std::string slowest_name;
    std::printf("%-12s %12s %10s %10s  %s\n", "entry", "bytes", "best ms", "median ms", "summary");
    for (const Input& in : inputs) {
        rezui::EntryPreview preview;
        std::vector<double> runs;
        for (int run = 0; run < 5; ++run) runs.push_back(time_once(in, preview));
        std::sort(runs.begin(), runs.end());
        const double median = runs[runs.size() / 2];
        std::printf("%-12s %12zu %10.1f %10.1f  %s\n", in.name.c_str(), in.bytes.size(), runs.front(), median,
                    preview.summary.c_str());
        if (median > slowest) slowest = median, slowest_name = in.name;
    }
    std::printf("slowest (median): %s %.1f ms (goal: under 1000 ms)\n", slowest_name.c_str(), slowest);
    CoUninitialize();
    return slowest < 1000 ? 0 : 1;
}
