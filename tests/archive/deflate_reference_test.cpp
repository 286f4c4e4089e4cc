// The table-driven decoder must give the same result as a plain bit-serial decoder written
// straight from the format's rules, on peer-made streams and on damaged copies of them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/deflate.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

// Bit-serial reference: one bit at a time, canonical codes walked by length.
class Reference {
public:
    Reference(const std::vector<uint8_t>& in, size_t limit) : in_(in), limit_(limit) {}

    bool run(std::vector<uint8_t>& out) {
        bool final = false;
        while (!final) {
            final = bits(1);
            int type = static_cast<int>(bits(2));
            if (err_) return false;
            bool ok = type == 0 ? stored() : type == 1 ? fixed() : type == 2 ? dynamic() : false;
            if (!ok || err_) return false;
        }
        out = out_;
        return true;
    }

private:
    struct Code {
        int count[16] = {};
        std::vector<int> symbols;
    };

    uint32_t bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (have_ == 0) {
                if (pos_ >= in_.size()) {
                    err_ = true;
                    return 0;
                }
                cur_ = in_[pos_++];
                have_ = 8;
            }
            v |= static_cast<uint32_t>(cur_ & 1) << i;
            cur_ >>= 1;
            --have_;
        }
        return v;
    }

    // Returns the left-over code space: < 0 over-subscribed, > 0 incomplete.
    static int build(Code& c, const uint8_t* lens, int n) {
        for (int i = 0; i < n; ++i) c.count[lens[i]]++;
        c.count[0] = 0;
        int left = 1;
        for (int len = 1; len <= 15; ++len) {
            left = left * 2 - c.count[len];
            if (left < 0) return left;
        }
        for (int len = 1; len <= 15; ++len)
            for (int s = 0; s < n; ++s)
                if (lens[s] == len) c.symbols.push_back(s);
        return left;
    }

    int decode(const Code& c) {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= 15; ++len) {
            code |= static_cast<int>(bits(1));
            int count = c.count[len];
            if (code - first < count) return c.symbols[static_cast<size_t>(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

    bool stored() {
        have_ = 0;
        if (in_.size() - pos_ < 4) return false;
        uint32_t len = in_[pos_] | (in_[pos_ + 1] << 8), nlen = in_[pos_ + 2] | (in_[pos_ + 3] << 8);
        pos_ += 4;
        if (nlen != (len ^ 0xFFFF) || in_.size() - pos_ < len || out_.size() + len > limit_) return false;
        out_.insert(out_.end(), in_.begin() + static_cast<ptrdiff_t>(pos_),
                    in_.begin() + static_cast<ptrdiff_t>(pos_ + len));
        pos_ += len;
        return true;
    }

    bool fixed() {
        uint8_t lens[288];
        for (int i = 0; i < 288; ++i) lens[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        uint8_t dl[30];
        for (auto& l : dl) l = 5;
        Code lit, dist;
        build(lit, lens, 288);
        build(dist, dl, 30);
        return symbols(lit, dist);
    }

    bool dynamic() {
        int hlit = static_cast<int>(bits(5)) + 257, hdist = static_cast<int>(bits(5)) + 1,
            hclen = static_cast<int>(bits(4)) + 4;
        if (hlit > 286 || hdist > 30) return false;
        static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        uint8_t cl[19] = {};
        for (int i = 0; i < hclen; ++i) cl[order[i]] = static_cast<uint8_t>(bits(3));
        if (err_) return false;
        Code clc;
        if (build(clc, cl, 19) != 0) return false;
        std::vector<uint8_t> lens;
        const size_t total = static_cast<size_t>(hlit + hdist);
        while (lens.size() < total) {
            int sym = decode(clc);
            if (err_ || sym < 0) return false;
            if (sym < 16) {
                lens.push_back(static_cast<uint8_t>(sym));
                continue;
            }
            uint8_t value = 0;
            size_t repeat;
            if (sym == 16) {
                if (lens.empty()) return false;
                value = lens.back();
                repeat = 3 + bits(2);
            } else if (sym == 17) {
                repeat = 3 + bits(3);
            } else {
                repeat = 11 + bits(7);
            }
            if (lens.size() + repeat > total) return false;
            lens.insert(lens.end(), repeat, value);
        }
        if (err_) return false;
        Code lit, dist;
        if (build(lit, lens.data(), hlit) != 0) return false;
        if (build(dist, lens.data() + hlit, hdist) < 0) return false;
        return symbols(lit, dist);
    }

    bool symbols(const Code& lit, const Code& dist) {
        static const int lbase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const int lextra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const int dbase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                      33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static const int dextra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        for (;;) {
            int sym = decode(lit);
            if (err_ || sym < 0) return false;
            if (sym < 256) {
                if (out_.size() + 1 > limit_) return false;
                out_.push_back(static_cast<uint8_t>(sym));
            } else if (sym == 256) {
                return true;
            } else {
                if (sym > 285) return false;
                size_t length = static_cast<size_t>(lbase[sym - 257]) + bits(lextra[sym - 257]);
                int ds = decode(dist);
                if (err_ || ds < 0 || ds >= 30) return false;
                size_t distance = static_cast<size_t>(dbase[ds]) + bits(dextra[ds]);
                if (err_ || distance > out_.size() || out_.size() + length > limit_) return false;
                for (size_t i = 0; i < length; ++i) out_.push_back(out_[out_.size() - distance]);
            }
        }
    }

    const std::vector<uint8_t>& in_;
    size_t limit_;
    size_t pos_ = 0;
    uint8_t cur_ = 0;
    int have_ = 0;
    bool err_ = false;
    std::vector<uint8_t> out_;
};

void expect_same(const std::vector<uint8_t>& in, size_t limit, const std::string& what) {
    std::vector<uint8_t> ref_out, fast_out;
    bool ref_ok = Reference(in, limit).run(ref_out);
    bool fast_ok = rez::inflate(in.data(), in.size(), fast_out, limit);
    ASSERT_EQ(fast_ok, ref_ok) << what;
    if (ref_ok) {
        ASSERT_TRUE(fast_out == ref_out) << what;
    } else {
        ASSERT_TRUE(fast_out.empty()) << what;
    }
}

TEST(DeflateReference, SameResultsOnPeerStreamsAndDamagedCopies) {
    std::vector<uint8_t> plain;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"zip\\deflate_small.bin"), plain)) << "fixture missing";
    std::mt19937 rng(20261210);
    for (const wchar_t* tag : {L"l1", L"l9", L"fixed", L"huffman", L"rle", L"stored"}) {
        std::vector<uint8_t> stream;
        ASSERT_TRUE(
            rez::read_file(qvltest::fixture(std::wstring(L"zip\\deflate_small.") + tag + L".raw"), stream));
        std::string name = rez::to_utf8(tag);
        std::vector<uint8_t> out;
        ASSERT_TRUE(rez::inflate(stream.data(), stream.size(), out, plain.size())) << name;
        ASSERT_TRUE(out == plain) << name;
        expect_same(stream, plain.size(), name);
        expect_same(stream, plain.size() - 1, name + " limit-1");
        for (int round = 0; round < 250; ++round) {
            std::vector<uint8_t> damaged = stream;
            int kind = round % 3;
            if (kind == 0) {  // a few flipped bits, most often in the block headers near the start
                for (int k = 0; k < 1 + round % 4; ++k) {
                    size_t at =
                        (rng() % 2) ? rng() % std::min<size_t>(damaged.size(), 64) : rng() % damaged.size();
                    damaged[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
                }
            } else if (kind == 1) {
                damaged.resize(rng() % damaged.size());
            } else {
                damaged[rng() % damaged.size()] = static_cast<uint8_t>(rng());
            }
            size_t limit = (round % 5 == 0) ? rng() % (plain.size() + 1) : plain.size() * 2;
            expect_same(damaged, limit, name + " round " + std::to_string(round));
        }
    }
}

}  // namespace
