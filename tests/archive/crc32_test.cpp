#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "archive/crc32.h"
#include "archive/crc32_internal.h"

namespace {

// One bit at a time straight from the polynomial: shares nothing with the library's tables
// or its folding. Works on the raw (inverted) register.
uint32_t bitwise_register(uint32_t c, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return c;
}

uint32_t bitwise_crc(const uint8_t* p, size_t n) { return ~bitwise_register(0xFFFFFFFFu, p, n); }

std::vector<uint8_t> noise(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t s = seed;
    for (auto& b : out) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = static_cast<uint8_t>(s >> 11);
    }
    return out;
}

// crc32_update folds on a CPU with PCLMULQDQ; the table road is the one every other CPU
// (and every short input) takes. Both are checked wherever the tests run.
struct Road {
    const char* name;
    uint32_t (*update)(uint32_t, const uint8_t*, size_t);
};
const Road kRoads[] = {{"crc32_update", rez::crc32_update}, {"table", rez::crc32_update_table}};

TEST(Crc32, StandardCheckValueOnEveryRoad) {
    RecordProperty("folds", rez::crc32_folds() ? "yes" : "no");
    const std::string s = "123456789";
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    for (const auto& road : kRoads) {
        SCOPED_TRACE(road.name);
        EXPECT_EQ(road.update(0, p, s.size()), 0xCBF43926u);
        EXPECT_EQ(road.update(0, p, 0), 0u);
        EXPECT_EQ(road.update(road.update(0, p, 4), p + 4, 5), 0xCBF43926u);
    }
    EXPECT_EQ(rez::crc32(p, s.size()), 0xCBF43926u);
}

TEST(Crc32, ByteStepAgreesWithWholeBuffer) {
    std::vector<uint8_t> big(1000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + 3);
    uint32_t slow = 0xFFFFFFFFu;
    for (uint8_t b : big) slow = rez::crc32_step(slow, b);
    EXPECT_EQ(rez::crc32(big.data(), big.size()), ~slow);
}

// Every length up to 300 (the table's short inputs, the 64-byte switch to folding, each
// count of 16-byte blocks and of tail bytes), then odd sizes up to a few MiB, from each of
// the 16 alignments.
TEST(Crc32, EveryLengthAndAlignmentMatchesBitwise) {
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (size_t n : {511, 1023, 4097, 65537, (1 << 20) + 13, (3 << 20) + 11}) lengths.push_back(n);
    const auto data = noise(lengths.back() + 16, 0x9E3779B9u);
    for (size_t offset = 0; offset < 16; ++offset) {
        const uint8_t* p = data.data() + offset;
        uint32_t reg = 0xFFFFFFFFu;  // the reference runs along the buffer once per offset
        size_t done = 0;
        for (size_t n : lengths) {
            reg = bitwise_register(reg, p + done, n - done);
            done = n;
            for (const auto& road : kRoads)
                ASSERT_EQ(road.update(0, p, n), ~reg) << road.name << " length " << n << " offset " << offset;
        }
    }
}

TEST(Crc32, ChainedUpdatesEqualOneCall) {
    const auto data = noise(5000, 12345);
    const uint32_t whole = bitwise_crc(data.data(), data.size());
    // Cut points around the 64-byte switch and the 16-byte blocks, so the folding road starts
    // from a register carried in from the table road and the other way round.
    const std::pair<size_t, size_t> cuts[] = {{0, 0},    {0, 5000}, {1, 64},     {15, 79},    {63, 127},
                                              {64, 128}, {65, 200}, {100, 4999}, {4936, 4937}};
    for (const auto& road : kRoads)
        for (const auto& other : kRoads)
            for (auto [a, b] : cuts) {
                uint32_t c = road.update(0, data.data(), a);
                c = other.update(c, data.data() + a, b - a);
                c = road.update(c, data.data() + b, data.size() - b);
                EXPECT_EQ(c, whole) << road.name << " then " << other.name << " cut at " << a << ", " << b;
            }

    // A long buffer in pieces of uneven sizes, each continuing from the last one's CRC.
    const auto big = noise(3 << 20, 777);
    uint32_t c = 0;
    uint32_t s = 1;
    for (size_t pos = 0; pos < big.size();) {
        s = s * 1103515245u + 12345u;
        size_t piece = std::min<size_t>((s >> 16) % 5000, big.size() - pos);
        c = rez::crc32_update(c, big.data() + pos, piece);
        pos += piece;
    }
    EXPECT_EQ(c, bitwise_crc(big.data(), big.size()));
}

}  // namespace
