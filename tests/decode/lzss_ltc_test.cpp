#include "decode/lzss_ltc.h"

#include <gtest/gtest.h>

#include "game_builders.h"

using gamefix::Bytes;
using gamefix::LzssWriter;
using rezui::lzss_decompress_ltc;

namespace {

std::string as_text(const std::optional<Bytes>& b) {
    return b ? std::string(b->begin(), b->end()) : "<none>";
}

}  // namespace

TEST(LzssLtc, DecodesStreams) {
    struct Case {
        const char* what;
        Bytes stream;
        std::string expected;
    };
    const Case cases[] = {
        {"six zero bytes: end marker at once", Bytes(6, 0), ""},
        {"literals", LzssWriter().text("Hello").end().bytes(), "Hello"},
        {"copy from the preset ring", LzssWriter().copy(1, 2).end().bytes(), "  "},
        // Ring position 1 holds the 'a' just written: an overlapping copy repeats it.
        {"overlapping copy", LzssWriter().literal('a').copy(1, 17).end().bytes(), std::string(18, 'a')},
        {"copy of earlier text", LzssWriter().text("abc").copy(1, 3).end().bytes(), "abcabc"},
    };
    for (const Case& c : cases) EXPECT_EQ(as_text(lzss_decompress_ltc(c.stream)), c.expected) << c.what;
}

TEST(LzssLtc, EndMarkerMayBeCutShort) {
    // A flag 0 followed by fewer than 12 bits, all zero: the missing bits count as zero.
    LzssWriter w;
    w.text("xy");
    w.put_bit(0);
    Bytes b = w.out;  // stream ends inside the 12-bit field
    while (b.size() < 6) b.push_back(0);
    ASSERT_LT(b.size() * 8, w.bit + 12);
    EXPECT_EQ(as_text(lzss_decompress_ltc(b)), "xy");
}

TEST(LzssLtc, RefusesIncompleteStreams) {
    Bytes nonzero_header = LzssWriter().text("ab").end().bytes();
    nonzero_header[2] = 1;

    // One literal (9 bits) then a literal flag with only 6 bits after it.
    LzssWriter cut_literal;
    cut_literal.literal('z').put_bit(1);

    // A copy token whose 4-bit length field is cut by the end of the buffer.
    LzssWriter cut_length;
    cut_length.literal('a').put_bit(0);
    cut_length.put(5, 12);  // 32 + 9 + 13 = 54 bits -> 7 bytes, 2 bits left

    // Eight literals end exactly on the last bit of 13 bytes: no end marker.
    LzssWriter exact;
    exact.text("kkkkkkkk");
    ASSERT_EQ(exact.bit, 104u);

    const std::pair<const char*, Bytes> cases[] = {
        {"too short", Bytes(5, 0)},
        {"nonzero header", nonzero_header},
        {"literal cut off", cut_literal.bytes()},
        {"length cut off", cut_length.bytes()},
        {"last token ends on the last bit", exact.out},
    };
    for (const auto& [what, stream] : cases) EXPECT_FALSE(lzss_decompress_ltc(stream)) << what;
}

// A large buffer says nothing about how much its stream produces: the output takes room
// only for the bytes it holds, also when the end marker comes early.
TEST(LzssLtc, OutputRoomFollowsWhatIsProduced) {
    const size_t junk = 32u << 20;
    struct Case {
        const char* what;
        Bytes stream;
        std::string expected;
    };
    Case cases[] = {
        {"end marker at once", Bytes(6, 0), ""},
        {"two words", LzssWriter().text("menu ").copy(1, 4).end().bytes(), "menu menu"},
    };
    for (Case& c : cases) {
        c.stream.resize(c.stream.size() + junk, 0xA5);  // bytes after the end marker are never read
        const auto out = lzss_decompress_ltc(c.stream);
        EXPECT_EQ(as_text(out), c.expected) << c.what;
        if (out) EXPECT_LT(out->capacity(), size_t{1} << 16) << c.what;
    }
}

TEST(LzssLtc, OutputCapIsExact) {
    // 'a' then copies of 17 bytes from ring position 1 (all 'a' by then). Eight copy tokens
    // take 136 bits, a whole 17 bytes, so the body is one 17-byte pattern repeated.
    const size_t cap = rezui::kLtcLzssOutputCap;
    LzssWriter head;
    head.literal('a');
    for (int i = 0; i < 7; ++i) head.copy(1, 17);  // 32 + 9 + 119 = 160 bits, byte aligned
    ASSERT_EQ(head.bit % 8, 0u);
    LzssWriter block;
    for (int i = 0; i < 8; ++i) block.copy(1, 17);
    const Bytes pattern(block.out.begin() + 4, block.out.end());
    ASSERT_EQ(pattern.size(), 17u);

    size_t produced = 1 + 7 * 17;
    LzssWriter w = head;
    const size_t blocks = (cap - produced) / (8 * 17);
    w.out.reserve(w.out.size() + blocks * 17 + 64);
    for (size_t i = 0; i < blocks; ++i) w.out.insert(w.out.end(), pattern.begin(), pattern.end());
    w.bit += blocks * 136;
    produced += blocks * 136;
    while (cap - produced >= 17) {
        w.copy(1, 17);
        produced += 17;
    }
    while (produced < cap) {
        w.literal('a');
        ++produced;
    }
    LzssWriter over = w;
    auto out = lzss_decompress_ltc(w.end().bytes());
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), cap);
    EXPECT_EQ((*out)[cap - 1], 'a');
    out.reset();
    EXPECT_FALSE(lzss_decompress_ltc(over.literal('a').end().bytes()));
}
