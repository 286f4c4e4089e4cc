#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/deflate.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

// Writes Deflate bit fields: plain values low bit first, Huffman codes high bit first.
struct BitWriter {
    std::vector<uint8_t> bytes;
    int used = 8;
    void put(uint32_t value, int n) {
        for (int i = 0; i < n; ++i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << used++);
        }
    }
    void code(uint32_t code, int n) {
        for (int i = n - 1; i >= 0; --i) put((code >> i) & 1, 1);
    }
};

std::vector<uint8_t> inflate_ok(const std::vector<uint8_t>& in, size_t limit = 1 << 20) {
    std::vector<uint8_t> out{9, 9};
    EXPECT_TRUE(rez::inflate(in.data(), in.size(), out, limit));
    return out;
}
void expect_fail(const std::vector<uint8_t>& in, size_t limit = 1 << 20) {
    std::vector<uint8_t> out{9, 9};
    EXPECT_FALSE(rez::inflate(in.data(), in.size(), out, limit));
    EXPECT_TRUE(out.empty());
}

// Fixed block: literal 'a', then a match (length symbol, distance symbol), then end of block.
std::vector<uint8_t> fixed_a_then_match(int length_code7, int dist_sym) {
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    w.code(0x30 + 'a', 8);
    w.code(static_cast<uint32_t>(length_code7), 7);
    w.code(static_cast<uint32_t>(dist_sym), 5);
    w.code(0, 7);
    return w.bytes;
}

// Dynamic block: literal/length code {'a': 1 bit, 256: 2, 257: 2 (or absent)}, distance
// code with the single symbol 0 of length 1; data 'a' + match(3, 1) + end of block.
std::vector<uint8_t> dynamic_block(bool with_length_symbol) {
    BitWriter w;
    w.put(1, 1);
    w.put(2, 2);
    w.put(258 - 257, 5);  // HLIT
    w.put(0, 5);          // HDIST: one distance code
    w.put(18 - 4, 4);     // HCLEN: up to the entry for length 1
    const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int i = 0; i < 18; ++i) {
        int s = order[i];
        w.put((s == 0 || s == 1 || s == 2 || s == 18) ? 2 : 0, 3);
    }
    // Code-length codes: 0 -> 00, 1 -> 01, 2 -> 10, 18 -> 11.
    auto zeros = [&](int n) {
        w.code(3, 2);
        w.put(static_cast<uint32_t>(n - 11), 7);
    };
    zeros(97);
    w.code(1, 2);  // 'a' has length 1
    zeros(138);
    zeros(20);
    w.code(2, 2);                           // 256: length 2
    w.code(with_length_symbol ? 2 : 0, 2);  // 257: length 2 or none
    w.code(1, 2);                           // distance 0: length 1
    // Data: 'a' = 0, 257 = 11, distance 0 = 0, end = 10.
    w.code(0, 1);
    if (with_length_symbol) {
        w.code(3, 2);
        w.code(0, 1);
    }
    w.code(2, 2);
    return w.bytes;
}

TEST(DeflateInflate, StoredBlocksAndLimit) {
    EXPECT_TRUE(inflate_ok({0x01, 0x00, 0x00, 0xFF, 0xFF}).empty());
    EXPECT_TRUE(inflate_ok({0x01, 0x00, 0x00, 0xFF, 0xFF}, 0).empty());
    std::vector<uint8_t> five = {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(rez::vector_to_string(inflate_ok(five, 5)), "hello");
    expect_fail(five, 4);
    expect_fail({0x01, 0x05, 0x00, 0xFB, 0xFF, 'h', 'e', 'l', 'l', 'o'});  // NLEN not the complement
    expect_fail({0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l'});       // data cut short
    expect_fail({0x01, 0x05, 0x00});
    // Two stored blocks, the first not final; trailing junk after the final block is ignored.
    EXPECT_EQ(rez::vector_to_string(inflate_ok(
                  {0x00, 0x02, 0x00, 0xFD, 0xFF, 'a', 'b', 0x01, 0x01, 0x00, 0xFE, 0xFF, 'c', 0xDE, 0xAD})),
              "abc");
}

TEST(DeflateInflate, FixedBlockMatchesAndBadDistances) {
    // Length symbol 264 (10) at distance 1 after one literal: eleven 'a'.
    EXPECT_EQ(rez::vector_to_string(inflate_ok(fixed_a_then_match(264 - 256, 0))), std::string(11, 'a'));
    expect_fail(fixed_a_then_match(264 - 256, 0), 10);  // one byte over the limit
    EXPECT_EQ(inflate_ok(fixed_a_then_match(264 - 256, 0), 11).size(), 11u);
    expect_fail(fixed_a_then_match(257 - 256, 30));
    expect_fail(fixed_a_then_match(257 - 256, 31));
    expect_fail(fixed_a_then_match(257 - 256, 1));  // distance 2 with one byte written
    auto cut = fixed_a_then_match(264 - 256, 0);
    cut.pop_back();
    expect_fail(cut);
    expect_fail({0x07});  // block type 3
    expect_fail({});
}

TEST(DeflateInflate, DynamicBlockCompletenessRules) {
    EXPECT_EQ(rez::vector_to_string(inflate_ok(dynamic_block(true))),
              "aaaa");                  // incomplete distance code is fine
    expect_fail(dynamic_block(false));  // incomplete literal/length code
}

TEST(DeflateInflate, MatchesPeerCompressorOnMixedData) {
    // raw Deflate streams written by the fixture script (python zlib, levels 1, 6 and 9)
    std::vector<uint8_t> plain;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"zip\\deflate_mixed.bin"), plain)) << "fixture missing";
    for (const wchar_t* name :
         {L"zip\\deflate_mixed.l1.raw", L"zip\\deflate_mixed.l6.raw", L"zip\\deflate_mixed.l9.raw"}) {
        std::vector<uint8_t> packed, out;
        ASSERT_TRUE(rez::read_file(qvltest::fixture(name), packed));
        ASSERT_TRUE(rez::inflate(packed.data(), packed.size(), out, plain.size()));
        EXPECT_TRUE(out == plain);
        EXPECT_FALSE(rez::inflate(packed.data(), packed.size(), out, plain.size() - 1));
        EXPECT_FALSE(rez::inflate(packed.data(), packed.size() / 2, out, plain.size()));
    }
}

}  // namespace

namespace {

// inflate_to with the smallest piece, so that a short stream already slides the window many
// times; the pieces joined, or false.
bool inflate_pieces(const std::vector<uint8_t>& in, size_t limit, std::vector<uint8_t>& joined,
                    size_t refuse_at = 0) {
    joined.clear();
    size_t pieces = 0;
    uint64_t produced = 0;
    const bool ok = rez::inflate_to(
        in.data(), in.size(), limit,
        [&](const uint8_t* data, size_t n) {
            EXPECT_GT(n, 0u);
            EXPECT_LE(n, size_t{65536 + 32768});
            joined.insert(joined.end(), data, data + n);
            return ++pieces != refuse_at;
        },
        produced, 65536);
    if (ok) {
        EXPECT_EQ(produced, joined.size());
    }
    return ok;
}

TEST(DeflateInflate, WindowedDecodingMatchesWholeDecoding) {
    std::vector<uint8_t> plain;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"zip\\deflate_mixed.bin"), plain)) << "fixture missing";
    ASSERT_GT(plain.size(), size_t{1} << 20);  // many windows of 64 KiB
    for (const wchar_t* name :
         {L"zip\\deflate_mixed.l1.raw", L"zip\\deflate_mixed.l6.raw", L"zip\\deflate_mixed.l9.raw"}) {
        std::vector<uint8_t> packed, out;
        ASSERT_TRUE(rez::read_file(qvltest::fixture(name), packed));
        ASSERT_TRUE(inflate_pieces(packed, plain.size(), out));
        EXPECT_TRUE(out == plain);
        EXPECT_FALSE(inflate_pieces(packed, plain.size() - 1, out));  // one byte over the limit, late
        EXPECT_FALSE(inflate_pieces(packed, plain.size(), out, 3));   // the sink stops it
        // Streams that end in the middle of a window, at a window edge and in the first one.
        for (size_t cut : {packed.size() / 2, packed.size() - 1, size_t{5000}, packed.size() / 7})
            EXPECT_FALSE(inflate_pieces(std::vector<uint8_t>(packed.begin(), packed.begin() + cut), plain.size(), out))
                << cut;
    }
}

TEST(DeflateInflate, WindowedDecodingOfSmallAndStoredStreams) {
    // The small cases above give the same answer both ways.
    const std::vector<std::vector<uint8_t>> cases = {
        {0x01, 0x00, 0x00, 0xFF, 0xFF},
        {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'},
        {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l'},
        fixed_a_then_match(264 - 256, 0),
        fixed_a_then_match(257 - 256, 1),
        dynamic_block(true),
        dynamic_block(false),
        {0x07},
        {},
    };
    for (size_t limit : {size_t{0}, size_t{4}, size_t{5}, size_t{10}, size_t{11}, size_t{1} << 20})
        for (size_t i = 0; i < cases.size(); ++i) {
            std::vector<uint8_t> whole, joined;
            const bool ok = rez::inflate(cases[i].data(), cases[i].size(), whole, limit);
            EXPECT_EQ(inflate_pieces(cases[i], limit, joined), ok) << i << " " << limit;
            if (ok) {
                EXPECT_TRUE(joined == whole) << i << " " << limit;
            }
        }
    // Full stored blocks, which must fit beside the kept history after each slide.
    std::vector<uint8_t> in, plain;
    for (int b = 0; b < 5; ++b) {
        in.insert(in.end(), {0x00, 0xFF, 0xFF, 0x00, 0x00});
        for (int i = 0; i < 65535; ++i) {
            const uint8_t v = static_cast<uint8_t>(i * 7 + b);
            in.push_back(v);
            plain.push_back(v);
        }
    }
    in.insert(in.end(), {0x01, 0x00, 0x00, 0xFF, 0xFF});
    std::vector<uint8_t> out;
    ASSERT_TRUE(inflate_pieces(in, plain.size(), out));
    EXPECT_TRUE(out == plain);
    EXPECT_FALSE(inflate_pieces(in, plain.size() - 1, out));
    in.resize(in.size() - 5);  // no final block
    EXPECT_FALSE(inflate_pieces(in, plain.size(), out));
}

}  // namespace
