// Table-driven Deflate decoder: one table lookup per symbol (two for codes longer than the
// main table), a 64-bit bit buffer refilled eight bytes at a time, and match copies in
// 8-byte steps where the distance allows.
#include "archive/deflate.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace rez {
namespace {

// Table entry: bits 0-7 = bits to consume, bits 8-11 = extra bits (or subtable bits),
// bits 12-15 = kind, bits 16-31 = value. Kind 0 means "no code here": decoding fails.
constexpr uint32_t kLiteral = 0x8000;
constexpr uint32_t kLength = 0x4000;  // also "distance" in the distance table
constexpr uint32_t kEndOfBlock = 0x2000;
constexpr uint32_t kSubtable = 0x1000;
constexpr uint32_t kKindMask = 0xF000;

constexpr int kMaxCodeBits = 15;
constexpr int kLitBits = 11;
constexpr int kDistBits = 8;
constexpr int kCodeLenBits = 7;
// Main table plus one subtable of 2^(15 - main bits) entries per code longer than the main table.
constexpr size_t kLitTableSize = (1u << kLitBits) + 288u * (1u << (kMaxCodeBits - kLitBits));
constexpr size_t kDistTableSize = (1u << kDistBits) + 32u * (1u << (kMaxCodeBits - kDistBits));
constexpr size_t kCodeLenTableSize = 1u << kCodeLenBits;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLenOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t litlen_entry(int sym) {
    if (sym < 256) return (static_cast<uint32_t>(sym) << 16) | kLiteral;
    if (sym == 256) return kEndOfBlock;
    if (sym <= 285)
        return (static_cast<uint32_t>(kLengthBase[sym - 257]) << 16) | kLength |
               (static_cast<uint32_t>(kLengthExtra[sym - 257]) << 8);
    return 0;  // 286 and 287 exist in the fixed code but mean nothing
}
uint32_t dist_entry(int sym) {
    if (sym < 30)
        return (static_cast<uint32_t>(kDistBase[sym]) << 16) | kLength |
               (static_cast<uint32_t>(kDistExtra[sym]) << 8);
    return 0;  // 30 and 31 of the fixed code
}
uint32_t codelen_entry(int sym) { return (static_cast<uint32_t>(sym) << 16) | kLiteral; }

enum class Completeness { kRequired, kMayBeIncomplete };

// Builds a lookup table for canonical code lengths. Fails on an over-subscribed set, and on
// an incomplete one unless allowed. Unused slots stay 0 so a bit pattern that matches no code
// fails where it is met.
bool build_table(const uint8_t* lens, int count, int table_bits, Completeness rule, uint32_t (*entry_of)(int),
                 uint32_t* table, size_t table_size) {
    int per_length[kMaxCodeBits + 1] = {};
    for (int s = 0; s < count; ++s) per_length[lens[s]]++;
    per_length[0] = 0;
    int left = 1;
    int max_len = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        left = (left << 1) - per_length[len];
        if (left < 0) return false;
        if (per_length[len]) max_len = len;
    }
    if (left > 0 && rule == Completeness::kRequired) return false;

    uint32_t next_code[kMaxCodeBits + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        code = (code + per_length[len - 1]) << 1;
        next_code[len] = code;
    }
    // per_length[0] was zeroed, so next_code[1] == 0 as the canonical rule wants.

    const size_t main_size = size_t{1} << table_bits;
    std::fill(table, table + table_size, 0u);
    const int sub_bits = std::max(0, max_len - table_bits);
    size_t next_sub = main_size;

    for (int s = 0; s < count; ++s) {
        int len = lens[s];
        if (!len) continue;
        uint32_t c = next_code[len]++;
        uint32_t rev = 0;  // Deflate sends codes high bit first; the bit buffer is low bit first
        for (int i = 0; i < len; ++i) rev |= ((c >> i) & 1u) << (len - 1 - i);
        uint32_t entry = entry_of(s);
        if (len <= table_bits) {
            for (size_t i = rev; i < main_size; i += size_t{1} << len)
                table[i] = entry | static_cast<uint32_t>(len);
            continue;
        }
        size_t prefix = rev & (main_size - 1);
        if ((table[prefix] & kKindMask) != kSubtable) {
            if (next_sub + (size_t{1} << sub_bits) > table_size) return false;
            table[prefix] = (static_cast<uint32_t>(next_sub) << 16) | kSubtable |
                            (static_cast<uint32_t>(sub_bits) << 8) | static_cast<uint32_t>(table_bits);
            next_sub += size_t{1} << sub_bits;
        }
        size_t start = table[prefix] >> 16;
        int rest = len - table_bits;
        for (size_t i = rev >> table_bits; i < (size_t{1} << sub_bits); i += size_t{1} << rest)
            table[start + i] = entry | static_cast<uint32_t>(rest);
    }
    return true;
}

struct FixedTables {
    uint32_t lit[kLitTableSize];
    uint32_t dist[kDistTableSize];
    FixedTables() {
        uint8_t lens[288];
        std::fill(lens, lens + 144, 8);
        std::fill(lens + 144, lens + 256, 9);
        std::fill(lens + 256, lens + 280, 7);
        std::fill(lens + 280, lens + 288, 8);
        build_table(lens, 288, kLitBits, Completeness::kRequired, litlen_entry, lit, kLitTableSize);
        uint8_t dl[32];
        std::fill(dl, dl + 32, 5);
        build_table(dl, 32, kDistBits, Completeness::kRequired, dist_entry, dist, kDistTableSize);
    }
};

const FixedTables& fixed_tables() {
    static const FixedTables* tables = new FixedTables();  // built once, kept for the process
    return *tables;
}

struct Inflater {
    const uint8_t* in;
    size_t in_len;
    size_t pos = 0;
    uint64_t bits = 0;
    int count = 0;  // valid bits in `bits`; negative once a read ran past the input

    std::vector<uint8_t>& out;
    size_t op = 0;        // bytes produced (held in out)
    size_t limit;         // max_output
    size_t capacity = 0;  // usable bytes of out (out.size() keeps kSlack more for wide copies)
    static constexpr size_t kSlack = 16;

    // Windowed mode (sink set): out is a fixed window; once full, its bytes go to the sink and
    // only the last kHistory stay, which is as far back as a distance reaches. dropped counts
    // the bytes slid out, so dropped + op is the output so far; kept is how many bytes at the
    // front of the window the sink already has.
    static constexpr size_t kHistory = 32768;
    const InflateSink* sink = nullptr;
    size_t window = 0;  // kHistory plus the new bytes gathered per piece
    size_t dropped = 0;
    size_t kept = 0;

    Inflater(const uint8_t* d, size_t n, std::vector<uint8_t>& o, size_t max)
        : in(d), in_len(n), out(o), limit(max) {}

    size_t limit_left() const { return limit - dropped; }  // of op, counted from the window start

    bool hand_over(size_t end) {
        const bool ok = end == kept || (*sink)(out.data() + kept, end - kept);
        kept = end;
        return ok;
    }

    void refill() {
        if (count < 0) return;
        if (in_len - pos >= 8) {
            uint64_t word;
            std::memcpy(&word, in + pos, 8);
            bits |= word << count;
            pos += static_cast<size_t>((63 - count) >> 3);
            count |= 56;
            return;
        }
        while (count <= 56 && pos < in_len) {
            bits |= static_cast<uint64_t>(in[pos++]) << count;
            count += 8;
        }
    }
    void drop(int n) {
        bits >>= n;
        count -= n;
    }
    uint32_t take(int n) {  // n <= 32, after a refill
        uint32_t v = static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
        drop(n);
        return v;
    }
    bool overrun() const { return count < 0; }

    // Grows the buffer (doubling, never beyond the limit) so that `need` more bytes fit when
    // the limit allows it; in windowed mode slides the window instead. False when the sink
    // refused a piece.
    bool grow_for(size_t need) {
        if (capacity - op >= need || capacity == limit_left()) return true;
        if (sink) {
            if (op > kHistory) {
                if (!hand_over(op)) return false;
                std::memmove(out.data(), out.data() + op - kHistory, kHistory);
                dropped += op - kHistory;
                op = kept = kHistory;
            }
            capacity = std::min(window, limit_left());
            return true;
        }
        size_t want = std::max({capacity * 2, op + need, size_t{65536}, std::min(in_len, limit / 4) * 4});
        want = std::min(want, limit);
        out.resize(want + kSlack);
        capacity = want;
        return true;
    }

    bool stored_block() {
        drop(count & 7);
        pos -= static_cast<size_t>(count >> 3);  // give back whole unread bytes
        bits = 0;
        count = 0;
        if (in_len - pos < 4) return false;
        uint32_t len = in[pos] | (in[pos + 1] << 8);
        uint32_t nlen = in[pos + 2] | (in[pos + 3] << 8);
        pos += 4;
        if ((len ^ 0xFFFF) != nlen) return false;
        if (in_len - pos < len) return false;
        if (len > limit_left() - op) return false;
        if (len) {
            if (!grow_for(len)) return false;
            std::memcpy(out.data() + op, in + pos, len);
            op += len;
        }
        pos += len;
        return true;
    }

    bool dynamic_tables(uint32_t* lit, uint32_t* dist) {
        refill();
        int hlit = static_cast<int>(take(5)) + 257;
        int hdist = static_cast<int>(take(5)) + 1;
        int hclen = static_cast<int>(take(4)) + 4;
        if (hlit > 286 || hdist > 30) return false;
        uint8_t cl_lens[19] = {};
        for (int i = 0; i < hclen; ++i) {
            refill();
            cl_lens[kCodeLenOrder[i]] = static_cast<uint8_t>(take(3));
        }
        if (overrun()) return false;
        uint32_t cl_table[kCodeLenTableSize];
        if (!build_table(cl_lens, 19, kCodeLenBits, Completeness::kRequired, codelen_entry, cl_table,
                         kCodeLenTableSize))
            return false;

        uint8_t lens[286 + 30] = {};
        const int total = hlit + hdist;
        for (int n = 0; n < total;) {
            refill();
            uint32_t e = cl_table[bits & ((1u << kCodeLenBits) - 1)];
            if (!(e & kKindMask)) return false;
            drop(static_cast<int>(e & 0xFF));
            if (overrun()) return false;
            int sym = static_cast<int>(e >> 16);
            if (sym < 16) {
                lens[n++] = static_cast<uint8_t>(sym);
                continue;
            }
            int repeat;
            uint8_t value = 0;
            if (sym == 16) {
                if (n == 0) return false;
                value = lens[n - 1];
                repeat = 3 + static_cast<int>(take(2));
            } else if (sym == 17) {
                repeat = 3 + static_cast<int>(take(3));
            } else {
                repeat = 11 + static_cast<int>(take(7));
            }
            if (repeat > total - n) return false;
            std::fill(lens + n, lens + n + repeat, value);
            n += repeat;
        }
        if (overrun()) return false;
        if (!build_table(lens, hlit, kLitBits, Completeness::kRequired, litlen_entry, lit, kLitTableSize))
            return false;
        return build_table(lens + hlit, hdist, kDistBits, Completeness::kMayBeIncomplete, dist_entry, dist,
                           kDistTableSize);
    }

    bool huffman_block(const uint32_t* lit, const uint32_t* dist) {
        constexpr uint64_t lit_mask = (1u << kLitBits) - 1;
        constexpr uint64_t dist_mask = (1u << kDistBits) - 1;
        uint8_t* base = out.data();
        for (;;) {
            if (capacity - op < 258 && capacity < limit_left()) {
                // at the limit, the checks below refuse what does not fit
                if (!grow_for(258)) return false;
                base = out.data();
            }
            refill();
            uint32_t e = lit[bits & lit_mask];
            if ((e & kKindMask) == kSubtable) {
                drop(kLitBits);
                e = lit[(e >> 16) + (bits & ((uint64_t{1} << ((e >> 8) & 0xF)) - 1))];
            }
            if (!(e & kKindMask)) return false;
            drop(static_cast<int>(e & 0xFF));
            if (e & kLiteral) {
                if (overrun() || op >= capacity) return false;
                base[op++] = static_cast<uint8_t>(e >> 16);
                continue;
            }
            if (e & kEndOfBlock) return !overrun();
            size_t length = (e >> 16) + take(static_cast<int>((e >> 8) & 0xF));

            uint32_t d = dist[bits & dist_mask];
            if ((d & kKindMask) == kSubtable) {
                drop(kDistBits);
                d = dist[(d >> 16) + (bits & ((uint64_t{1} << ((d >> 8) & 0xF)) - 1))];
            }
            if (!(d & kKindMask)) return false;
            drop(static_cast<int>(d & 0xFF));
            size_t distance = (d >> 16) + take(static_cast<int>((d >> 8) & 0xF));
            if (overrun()) return false;
            if (distance > op || length > capacity - op) return false;

            uint8_t* dst = base + op;
            const uint8_t* src = dst - distance;
            if (distance >= 8) {
                // out keeps kSlack bytes past capacity, so the last step may run over by up to 7
                for (size_t i = 0; i < length; i += 8) std::memcpy(dst + i, src + i, 8);
            } else if (distance == 1) {
                std::memset(dst, src[0], length);
            } else {
                for (size_t i = 0; i < length; ++i) dst[i] = src[i];
            }
            op += length;
        }
    }

    bool run() {
        uint32_t* lit = nullptr;
        uint32_t* dist = nullptr;
        std::vector<uint32_t> dyn;  // dynamic tables, allocated on the first dynamic block
        for (;;) {
            refill();
            uint32_t head = take(3);
            if (overrun()) return false;
            bool final = head & 1;
            switch (head >> 1) {
                case 0:
                    if (!stored_block()) return false;
                    break;
                case 1:
                    if (!huffman_block(fixed_tables().lit, fixed_tables().dist)) return false;
                    break;
                case 2:
                    if (dyn.empty()) {
                        dyn.resize(kLitTableSize + kDistTableSize);
                        lit = dyn.data();
                        dist = lit + kLitTableSize;
                    }
                    if (!dynamic_tables(lit, dist) || !huffman_block(lit, dist)) return false;
                    break;
                default:
                    return false;
            }
            if (final) return true;
        }
    }
};

}  // namespace

bool inflate_to(const uint8_t* data, size_t length, size_t max_output, const InflateSink& sink,
                uint64_t& produced, size_t piece) {
    produced = 0;
    if (!data) length = 0;
    try {
        std::vector<uint8_t> window;
        Inflater inf(data, length, window, max_output);
        inf.sink = &sink;
        // A stored block (up to 65535 bytes) must fit beside the history in one go.
        inf.window = Inflater::kHistory + std::max<size_t>(piece, 65536);
        window.resize(inf.window + Inflater::kSlack);
        inf.capacity = std::min(inf.window, max_output);
        if (!inf.run() || !inf.hand_over(inf.op)) return false;
        produced = inf.dropped + inf.op;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool inflate(const uint8_t* data, size_t length, std::vector<uint8_t>& out, size_t max_output) {
    out.clear();
    if (!data) length = 0;
    try {
        Inflater inf(data, length, out, max_output);
        if (!inf.run()) {
            out.clear();
            return false;
        }
        out.resize(inf.op);
        return true;
    } catch (const std::bad_alloc&) {
        out.clear();
        out.shrink_to_fit();
        return false;
    }
}

}  // namespace rez
