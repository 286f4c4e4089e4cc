// LZMA-alone, raw LZMA and LZMA2 decoding against streams made by xz, plus hand-built edge cases.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/lzma.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> load(const wchar_t* name) {
    std::vector<uint8_t> data;
    EXPECT_TRUE(rez::read_file(qvltest::fixture(std::wstring(L"sevenzip\\") + name), data)) << "missing fixture";
    return data;
}

std::vector<uint8_t> alone_header(uint8_t props, uint64_t size) {
    std::vector<uint8_t> h = {props, 0, 0, 0x80, 0};
    for (int i = 0; i < 8; i++) h.push_back(static_cast<uint8_t>(size >> (8 * i)));
    return h;
}

TEST(LzmaAloneHeader, RecognisesOnlyOurPropertiesAndSaneSizes) {
    struct Case {
        uint8_t props;
        uint64_t size;
        bool expected;
    } cases[] = {
        {0x5D, ~uint64_t{0}, true}, {0x08, 1, true},          {0x5D, 0x7FFFFFFF, true},
        {0x5D, 0, false},           {0x5E, 100, false},       {0x5D, 0x80000000ull, false},
    };
    for (const auto& c : cases) {
        auto h = alone_header(c.props, c.size);
        EXPECT_EQ(rez::is_lzma_alone_header(h.data(), h.size()), c.expected) << int(c.props) << " " << c.size;
    }
    auto h = alone_header(0x5D, 10);
    EXPECT_FALSE(rez::is_lzma_alone_header(h.data(), 12));

    // Not recognised: decompress_if_lzma hands the bytes back unchanged.
    auto zero = alone_header(0x5D, 0);
    std::vector<uint8_t> out;
    EXPECT_TRUE(rez::decompress_if_lzma(zero, out, rez::kMaxDecodedSize));
    EXPECT_EQ(out, zero);
}

TEST(LzmaAlone, DecodesStreamsWithAndWithoutStatedSize) {
    const auto plain = load(L"mixed.bin");
    for (const wchar_t* name : {L"mixed_eos.lzma", L"mixed_known.lzma"}) {
        const auto packed = load(name);
        std::vector<uint8_t> out;
        ASSERT_TRUE(rez::lzma_decode(packed.data(), packed.size(), out, rez::kMaxDecodedSize)) << name;
        EXPECT_TRUE(out == plain) << name;
        std::vector<uint8_t> via;
        EXPECT_TRUE(rez::decompress_if_lzma(packed, via, rez::kMaxDecodedSize));
        EXPECT_TRUE(via == plain);
    }
}

TEST(LzmaAlone, RefusesDamageLimitsAndStrayBytes) {
    const auto eos = load(L"mixed_eos.lzma");
    const auto known = load(L"mixed_known.lzma");
    const size_t plain_size = load(L"mixed.bin").size();
    std::vector<uint8_t> out;
    // Output limits: a stated size above the cap fails before decoding, an unknown one on the way.
    EXPECT_FALSE(rez::lzma_decode(known.data(), known.size(), out, plain_size - 1));
    EXPECT_FALSE(rez::lzma_decode(eos.data(), eos.size(), out, plain_size - 1));
    EXPECT_TRUE(rez::lzma_decode(eos.data(), eos.size(), out, plain_size));
    // Truncated input, and one stray byte after the end marker.
    EXPECT_FALSE(rez::lzma_decode(eos.data(), eos.size() - 7, out, rez::kMaxDecodedSize));
    EXPECT_FALSE(rez::lzma_decode(known.data(), known.size() - 7, out, rez::kMaxDecodedSize));
    auto stray = eos;
    stray.push_back(0);
    EXPECT_FALSE(rez::lzma_decode(stray.data(), stray.size(), out, rez::kMaxDecodedSize));
    // A stated size larger than the stream really holds.
    auto longer = known;
    longer[5] = static_cast<uint8_t>(longer[5] + 1);
    EXPECT_FALSE(rez::lzma_decode(longer.data(), longer.size(), out, rez::kMaxDecodedSize));
    // Too short to hold a range coder start, and flipped bytes in the middle.
    auto header_only = alone_header(0x5D, 5);
    header_only.resize(17);
    EXPECT_FALSE(rez::lzma_decode(header_only.data(), header_only.size(), out, rez::kMaxDecodedSize));
    auto damaged = eos;
    for (size_t i = 200; i < 260; i++) damaged[i] ^= 0xA5;
    EXPECT_FALSE(rez::lzma_decode(damaged.data(), damaged.size(), out, rez::kMaxDecodedSize));
}

TEST(LzmaAlone, PartialModeStopsNearTheLimit) {
    const auto plain = load(L"mixed.bin");
    const auto eos = load(L"mixed_eos.lzma");
    std::vector<uint8_t> out;
    ASSERT_TRUE(rez::lzma_decode(eos.data(), eos.size(), out, 0x8000000, 1000, true));
    ASSERT_GE(out.size(), 1000u);
    EXPECT_LE(out.size(), 1000u + 273u);
    EXPECT_EQ(0, std::memcmp(out.data(), plain.data(), out.size()));
    // A limit beyond the stream gives the whole stream.
    ASSERT_TRUE(rez::lzma_decode(eos.data(), eos.size(), out, 0x8000000, plain.size() * 2, true));
    EXPECT_TRUE(out == plain);
}

TEST(LzmaRaw, TheSevenZipCoderFraming) {
    // The stream of an LZMA-alone file is the raw coder's stream with the header cut off.
    const auto plain = load(L"mixed.bin");
    const auto known = load(L"mixed_known.lzma");
    std::vector<uint8_t> out;
    ASSERT_TRUE(rez::lzma_decode_raw(known.data(), known.data() + 13, known.size() - 13, plain.size(), out,
                                     rez::kMaxDecodedSize));
    EXPECT_TRUE(out == plain);
    ASSERT_TRUE(rez::lzma_decode_raw(known.data(), known.data() + 13, known.size() - 13, 0, out, rez::kMaxDecodedSize));
    EXPECT_TRUE(out == plain);
    const uint8_t bad_props[] = {225, 0, 0, 1, 0};
    EXPECT_FALSE(rez::lzma_decode_raw(bad_props, known.data() + 13, known.size() - 13, 0, out, rez::kMaxDecodedSize));
    EXPECT_FALSE(rez::lzma_decode_raw(known.data(), known.data() + 13, known.size() - 13, 0x80000000ull, out,
                                      rez::kMaxDecodedSize));
    EXPECT_FALSE(rez::lzma_decode_raw(known.data(), known.data() + 13, known.size() - 13, plain.size() + 1, out,
                                      rez::kMaxDecodedSize));
}

TEST(Lzma2, DecodesCompressedAndStoredChunkStreams) {
    const auto mixed = load(L"mixed.bin");
    const auto random = load(L"random3m.bin");
    std::vector<uint8_t> out;
    auto packed = load(L"mixed.lzma2");
    ASSERT_TRUE(rez::lzma2_decode(packed.data(), packed.size(), out));
    EXPECT_TRUE(out == mixed);
    packed = load(L"random3m.lzma2");
    ASSERT_TRUE(rez::lzma2_decode(packed.data(), packed.size(), out));
    EXPECT_TRUE(out == random);
    // Without the end byte the stream ends where the input does.
    packed.pop_back();
    EXPECT_TRUE(rez::lzma2_decode(packed.data(), packed.size(), out));
    EXPECT_FALSE(rez::lzma2_decode(packed.data(), packed.size() - 100, out));
}

TEST(Lzma2, HandBuiltChunks) {
    std::vector<uint8_t> out;
    const uint8_t end_only[] = {0x00};
    EXPECT_FALSE(rez::lzma2_decode(end_only, 1, out));
    EXPECT_FALSE(rez::lzma2_decode(end_only, 0, out));
    const uint8_t stored[] = {0x01, 0x00, 0x02, 'a', 'b', 'c', 0x00};
    ASSERT_TRUE(rez::lzma2_decode(stored, sizeof stored, out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "abc");
    const uint8_t stored_short[] = {0x01, 0x00, 0x05, 'a', 'b'};
    EXPECT_FALSE(rez::lzma2_decode(stored_short, sizeof stored_short, out));
    const uint8_t bad_control[] = {0x03, 0x00, 0x00, 'a'};
    EXPECT_FALSE(rez::lzma2_decode(bad_control, sizeof bad_control, out));

    // The first chunk xz writes carries properties 0x5D (lc 3, lp 0); lc 4 + lp 1 is refused.
    auto packed = load(L"mixed.lzma2");
    ASSERT_GE(packed.size(), 6u);
    ASSERT_EQ(packed[0] & 0xE0, 0xE0);
    ASSERT_EQ(packed[5], 0x5D);
    auto bad_props = packed;
    bad_props[5] = 2 * 45 + 1 * 9 + 4;
    EXPECT_FALSE(rez::lzma2_decode(bad_props.data(), bad_props.size(), out));
    // A packed size running past the input.
    auto cut = packed;
    cut.resize(40);
    EXPECT_FALSE(rez::lzma2_decode(cut.data(), cut.size(), out));
}

}  // namespace
