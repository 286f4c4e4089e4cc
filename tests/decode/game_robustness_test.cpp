// Random, truncated and damaged inputs for the game-format decoders: every call returns
// (no crash, no hang) and answers within the formats' bounds.
#include <gtest/gtest.h>

#include <random>

#include "archive/rez_model.h"
#include "decode/bin_table.h"
#include "decode/game_dat.h"
#include "decode/game_formats.h"
#include "decode/lzss_ltc.h"
#include "decode/preview.h"
#include "decode/world.h"
#include "game_builders.h"

using gamefix::Bytes;
using gamefix::LzssWriter;
using gamefix::Writer;
using namespace rezui;

namespace {

Bytes random_bytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& c : b) c = static_cast<uint8_t>(rng());
    return b;
}

// Valid-looking starts for each format, to be cut and damaged.
std::vector<Bytes> seeds() {
    std::vector<Bytes> out;
    Writer world;
    world.u32(85)
        .zeros(20)
        .u32(60)
        .zeros(32)
        .u32(1)
        .zeros(24)
        .u32(1)
        .str16("a.dtx")
        .str16("")
        .u8(0)
        .u32(1)
        .str16("")
        .zeros(8)
        .u32(0)
        .u32(3);
    for (int v = 0; v < 3; ++v) world.zeros(68);
    world.u32(1)
        .u32(0)
        .u32(1)
        .u32(2)
        .zeros(4)
        .u32(1)
        .u8(1)
        .zeros(28)
        .u32(1)
        .u8(0)
        .zeros(20)
        .u32(1)
        .str16("x")
        .zeros(12)
        .u32(0)
        .u32(1)
        .u32(1)
        .zeros(16)
        .u32(0)
        .zeros(9)
        .u32(1)
        .str16("g")
        .u32(0)
        .zeros(4)
        .u32(1)
        .str16("")
        .zeros(24)
        .f32(1)
        .f32(1)
        .f32(1)
        .u8(0);
    out.push_back(world.out);

    const std::string body =
        "( Zoneman ( ZonemanName \"z\" ) ( Pos 1 2 3 ) ( Point 4 5 6 ) )\n"
        "( EnvSound ( SoundName1 \"a\" ) ( Decay 2 ) )\n*MOVE_PATH 1 2 3 4\n*CAMERA_A_ANIMATION 5 6 7 8";
    Bytes dat{5, 0, 0, 0};
    rez::rez_crypto_encode(dat.data(), 4, 0);
    Bytes scrambled(body.begin(), body.end());
    rez::rez_crypto_encode(scrambled.data(), scrambled.size(), 0);
    dat.insert(dat.end(), scrambled.begin(), scrambled.end());
    out.push_back(dat);

    out.push_back(LzssWriter().text("Name = \"x\"\n").copy(1, 17).end().bytes());
    Writer preview;
    preview.u8(1).u32(5).u32(6).u32(7).u32(8);
    out.push_back(preview.out);

    Writer cft;
    cft.u8('s').u8('u').u32(0).u32(2).u32(3).raw(std::string(64, 'A')).raw(std::string(64, '\0'));
    cft.raw(std::string("x\0yy\0zzz\0", 9));
    for (uint8_t& c : cft.out) c ^= 0x6D;
    out.push_back(cft.out);
    Writer nav;
    nav.u32(1).u32(2).u32(3).u8('V').u8('A').u8('N').u8('D').u32(4).raw(std::string("\0name\0", 6));
    out.push_back(nav.out);
    return out;
}

void exercise(const Bytes& b) {
    (void)preview_lithtech_world(b);
    (void)convert_game_dat_to_text(b, "r.dat");
    (void)lzss_decompress_ltc(b);
    (void)preview_bin_table(b, "WeaponModel.bin");
    (void)preview_bin_table(b, "1-2.bin");
    for (const char* ext : {"cft", "nav", "fxo", "fxf", "txt"}) (void)preview_other_game_format(b, "r", ext);
    for (const char* name : {"r.dat", "WeaponModel.bin", "r.ltc", "r.cft", "r.nav3", "r.txt"}) {
        const EntryPreview p = build_entry_preview(name, b);
        ASSERT_FALSE(p.summary.empty()) << name;
    }
}

}  // namespace

TEST(GameRobustness, RandomTruncatedAndDamagedInputs) {
    std::mt19937 rng(20261210);
    for (int i = 0; i < 200; ++i) exercise(random_bytes(rng, rng() % 700));
    for (const Bytes& seed : seeds()) {
        for (size_t cut = 0; cut <= seed.size(); cut += 1 + seed.size() / 41)
            exercise(Bytes(seed.begin(), seed.begin() + cut));
        for (int i = 0; i < 50; ++i) {
            Bytes damaged = seed;
            for (int k = 0; k < 3; ++k) damaged[rng() % damaged.size()] = static_cast<uint8_t>(rng());
            exercise(damaged);
        }
    }
}

TEST(GameRobustness, HostileCountsEndQuickly) {
    // Largest counts the formats allow, with almost no data behind them.
    std::vector<Bytes> hostile;
    Writer refs;
    refs.u32(85).zeros(20).u32(60).zeros(32).u32(100000).zeros(24).u32(100000);
    hostile.push_back(refs.out);
    Writer lists;
    lists.u32(85).zeros(20).u32(60).zeros(32).u32(1).zeros(24).u32(0).u32(0).u32(0).u32(0).u32(0).u32(100000);
    for (int i = 0; i < 50; ++i) lists.u16(0).zeros(12).u32(0).u32(100000).u32(100000);
    hostile.push_back(lists.out);
    Writer grid;
    grid.u32(85).zeros(20).u32(60).zeros(32).u32(0).u32(0).u32(100000);
    for (int i = 0; i < 10; ++i) grid.str16("").zeros(24).f32(1000000).f32(1000000).f32(1000000);
    hostile.push_back(grid.out);
    for (const Bytes& b : hostile) {
        EXPECT_FALSE(preview_lithtech_world(b).ok);
        exercise(b);
    }
}
