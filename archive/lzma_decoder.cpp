// The LZMA decoding loop. The range decoder lives in locals; while at least kInputMargin
// input bytes remain, a step cannot run out of input, so that loop reads without bounds
// checks and the checked loop only handles the last few bytes.
#include <algorithm>
#include <cstring>

#include "archive/lzma_internal.h"

namespace rez::lzma_detail {
namespace {

constexpr uint32_t kTop = 1u << 24;
constexpr unsigned kProbInit = 1024;

// Probability layout.
constexpr size_t kIsMatch = 0;                   // 12 states x 16 position states
constexpr size_t kIsRep = kIsMatch + 192;        // 12
constexpr size_t kIsRepG0 = kIsRep + 12;         // 12
constexpr size_t kIsRepG1 = kIsRepG0 + 12;       // 12
constexpr size_t kIsRepG2 = kIsRepG1 + 12;       // 12
constexpr size_t kIsRep0Long = kIsRepG2 + 12;    // 12 x 16
constexpr size_t kPosSlot = kIsRep0Long + 192;   // 4 length states x 64
constexpr size_t kPosSpecial = kPosSlot + 256;      // 115 (indexed from distance - slot)
constexpr size_t kAlign = kPosSpecial + 115;        // 16
constexpr size_t kLenCoder = kAlign + 16;        // 514
constexpr size_t kRepLenCoder = kLenCoder + 514; // 514
constexpr size_t kLiteral = kRepLenCoder + 514;  // 0x300 << (lc + lp)
// Inside a length coder.
constexpr size_t kLenChoice2 = 1;
constexpr size_t kLenLow = 2;
constexpr size_t kLenMid = kLenLow + 128;
constexpr size_t kLenHigh = kLenMid + 128;

// A step reads at most one byte per decoded bit, and no step decodes more than 46 bits.
constexpr ptrdiff_t kInputMargin = 64;

constexpr uint8_t kLiteralNextState[12] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

}  // namespace

bool Model::set_properties(uint8_t byte) {
    if (byte >= 225) return false;
    lc = byte % 9;
    lp = (byte / 9) % 5;
    pb = byte / 45;
    const size_t needed = kLiteral + (size_t{0x300} << (lc + lp));
    if (probs.size() != needed) probs.assign(needed, static_cast<uint16_t>(kProbInit));
    return true;
}

void Model::reset() {
    std::fill(probs.begin(), probs.end(), static_cast<uint16_t>(kProbInit));
    state = 0;
    rep[0] = rep[1] = rep[2] = rep[3] = 0;
}

namespace {

enum class Loop { kStop, kSwitch };

struct Ctx {
    uint32_t range, code;
    const uint8_t* p;
    const uint8_t* end;
    bool overrun;
    Stop stop;
};

// Enlarges buf so that at least kMaxMatch + kCopySlack bytes lie ahead of pos, within the
// hard limit (plus slack). Growth doubles, so memory follows the output actually produced.
void grow(std::vector<uint8_t>& buf, size_t pos, size_t hard_limit) {
    const size_t ceiling = hard_limit + kCopySlack;
    size_t want = std::max({buf.size() * 2, pos + kMaxMatch + kCopySlack + 65536, buf.capacity()});
    if (want > ceiling || want < buf.size()) want = ceiling;
    buf.resize(want);
}

template <bool Safe>
Loop steps(Model& m, const Run& run, std::vector<uint8_t>& buf, size_t& pos_io, Ctx& cx) {
    uint32_t range = cx.range, code = cx.code;
    const uint8_t* p = cx.p;
    const uint8_t* const end = cx.end;
    bool overrun = cx.overrun;
    uint16_t* const probs = m.probs.data();
    uint32_t state = m.state;
    uint32_t rep0 = m.rep[0], rep1 = m.rep[1], rep2 = m.rep[2], rep3 = m.rep[3];
    const unsigned lc = m.lc;
    const size_t lp_mask = (size_t{1} << m.lp) - 1;
    const size_t pb_mask = (size_t{1} << m.pb) - 1;
    const size_t dict_start = run.dict_start;
    const size_t hard = run.hard_limit;
    const size_t stop_at = run.stop_at;
    size_t pos = pos_io;
    uint8_t* base = buf.data();
    size_t room = buf.size();
    Loop result = Loop::kStop;

// Range normalisation inside tree decoding. In the unchecked loop the next input byte is
// always readable, so it is done with masks instead of a hard-to-predict jump.
#define QVL_NORM()                                                  \
    do {                                                            \
        if (!Safe) {                                                \
            const uint32_t n_ = 0u - static_cast<uint32_t>(range < kTop); \
            const uint32_t b_ = *p;                                 \
            code = (code << (n_ & 8)) | (b_ & n_);                  \
            range <<= (n_ & 8);                                     \
            p += n_ & 1;                                            \
        } else if (range < kTop) {                                  \
            range <<= 8;                                            \
            code <<= 8;                                             \
            if (p < end)                                            \
                code |= *p++;                                       \
            else                                                    \
                overrun = true;                                     \
        }                                                           \
    } while (0)

// Range normalisation after a single bit, where the code branches on the bit anyway.
#define QVL_NORM_JUMP()                             \
    do {                                            \
        if (range < kTop) {                         \
            range <<= 8;                            \
            code <<= 8;                             \
            if (!Safe || p < end)                   \
                code |= *p++;                       \
            else                                    \
                overrun = true;                     \
        }                                           \
    } while (0)

// Decodes one bit with the probability at prob; runs ON0 or ON1.
#define QVL_BIT(prob, ON0, ON1)                                            \
    do {                                                                   \
        uint16_t* pr_ = (prob);                                            \
        uint32_t t_ = *pr_;                                                \
        uint32_t bound_ = (range >> 11) * t_;                              \
        if (code < bound_) {                                               \
            range = bound_;                                                \
            *pr_ = static_cast<uint16_t>(t_ + ((2048 - t_) >> 5));         \
            QVL_NORM_JUMP();                                               \
            ON0;                                                           \
        } else {                                                           \
            range -= bound_;                                               \
            code -= bound_;                                                \
            *pr_ = static_cast<uint16_t>(t_ - (t_ >> 5));                  \
            QVL_NORM_JUMP();                                               \
            ON1;                                                           \
        }                                                                  \
    } while (0)

// Shifts one decoded bit into sym, without a jump on the bit: tree bits (literals above all)
// are close to random, and mispredicted jumps would cost more than the arithmetic.
#define QVL_TREE_BIT(probs_base, sym)                                                 \
    do {                                                                              \
        uint16_t* pr_ = (probs_base) + (sym);                                         \
        const uint32_t t_ = *pr_;                                                     \
        const uint32_t bound_ = (range >> 11) * t_;                                   \
        const uint32_t mask_ = 0u - static_cast<uint32_t>(code >= bound_);            \
        range = bound_ + ((range - bound_ - bound_) & mask_);                         \
        code -= bound_ & mask_;                                                       \
        const uint32_t up_ = t_ + ((2048 - t_) >> 5);                                 \
        const uint32_t down_ = t_ - (t_ >> 5);                                        \
        *pr_ = static_cast<uint16_t>(up_ ^ ((up_ ^ down_) & mask_));                  \
        (sym) = ((sym) << 1) - mask_;                                                 \
        QVL_NORM();                                                                   \
    } while (0)

#define QVL_LEN(coder, pos_state, out_len)                                                        \
    do {                                                                                          \
        uint16_t* lc_ = (coder);                                                                  \
        unsigned s_ = 1;                                                                          \
        bool c1_ = false, c2_ = false;                                                            \
        QVL_BIT(lc_, c1_ = false, c1_ = true);                                                    \
        if (!c1_) {                                                                               \
            uint16_t* t_ = lc_ + kLenLow + ((pos_state) << 3);                                    \
            QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_);                     \
            (out_len) = s_ - 8 + 2;                                                               \
        } else {                                                                                  \
            QVL_BIT(lc_ + kLenChoice2, c2_ = false, c2_ = true);                                  \
            if (!c2_) {                                                                           \
                uint16_t* t_ = lc_ + kLenMid + ((pos_state) << 3);                                \
                QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_);                 \
                (out_len) = s_ - 8 + 10;                                                          \
            } else {                                                                              \
                uint16_t* t_ = lc_ + kLenHigh;                                                    \
                QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_);                 \
                QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_);                 \
                QVL_TREE_BIT(t_, s_); QVL_TREE_BIT(t_, s_);                                       \
                (out_len) = s_ - 256 + 18;                                                        \
            }                                                                                     \
        }                                                                                         \
    } while (0)

    for (;;) {
        if (!Safe && end - p < kInputMargin) {
            result = Loop::kSwitch;
            break;
        }
        if (pos >= stop_at) {
            cx.stop = Stop::kLimit;
            break;
        }
        if (Safe && !run.exact && code == 0 && p == end) {
            cx.stop = Stop::kInputDone;
            break;
        }
        if (room - pos < kMaxMatch + kCopySlack && room < hard + kCopySlack) {
            grow(buf, pos, hard);
            base = buf.data();
            room = buf.size();
        }
        const size_t dict_pos = pos - dict_start;
        // How far back a distance may reach: to the dictionary's start, or to the first byte
        // a sliding window still holds.
        const size_t reach = dict_pos < pos ? dict_pos : pos;
        const size_t pos_state = dict_pos & pb_mask;
        bool is_match = false;
        QVL_BIT(probs + kIsMatch + (state << 4) + pos_state, is_match = false, is_match = true);
        if (!is_match) {
            if (pos >= hard) {
                cx.stop = Stop::kError;
                break;
            }
            const unsigned prev = dict_pos ? base[pos - 1] : 0;
            uint16_t* lit = probs + kLiteral + 0x300 * (((dict_pos & lp_mask) << lc) + (prev >> (8 - lc)));
            unsigned sym = 1;
            if (state < 7) {
                QVL_TREE_BIT(lit, sym); QVL_TREE_BIT(lit, sym); QVL_TREE_BIT(lit, sym); QVL_TREE_BIT(lit, sym);
                QVL_TREE_BIT(lit, sym); QVL_TREE_BIT(lit, sym); QVL_TREE_BIT(lit, sym); QVL_TREE_BIT(lit, sym);
                sym &= 0xFF;
            } else {
                if (rep0 >= reach) {
                    cx.stop = rep0 < dict_pos ? Stop::kBeyondWindow : Stop::kError;
                    break;
                }
                // Matched literal: while the decoded bits agree with the byte at rep0 the
                // probabilities come from the half chosen by the match bit; after the first
                // difference offs drops to 0 and the plain literal tree is used.
                unsigned match_byte = base[pos - rep0 - 1];
                unsigned offs = 0x100;
                for (int i = 0; i < 8; i++) {
                    match_byte <<= 1;
                    const unsigned bit = offs;
                    offs &= match_byte;
                    uint16_t* pr = lit + offs + bit + sym;
                    const uint32_t t = *pr;
                    const uint32_t bound = (range >> 11) * t;
                    const uint32_t mask = 0u - static_cast<uint32_t>(code >= bound);
                    range = bound + ((range - bound - bound) & mask);
                    code -= bound & mask;
                    const uint32_t up = t + ((2048 - t) >> 5);
                    const uint32_t down = t - (t >> 5);
                    *pr = static_cast<uint16_t>(up ^ ((up ^ down) & mask));
                    sym = (sym << 1) - mask;
                    offs ^= bit & ~mask;
                    QVL_NORM();
                }
                sym &= 0xFF;
            }
            base[pos++] = static_cast<uint8_t>(sym);
            state = kLiteralNextState[state];
        } else {
            unsigned len = 0;
            bool is_rep = false;
            QVL_BIT(probs + kIsRep + state, is_rep = false, is_rep = true);
            if (!is_rep) {
                QVL_LEN(probs + kLenCoder, pos_state, len);
                state = state < 7 ? 7 : 10;
                const unsigned len_state = len < 5 ? len - 2 : 3;
                uint16_t* slot_probs = probs + kPosSlot + (len_state << 6);
                unsigned slot = 1;
                QVL_TREE_BIT(slot_probs, slot); QVL_TREE_BIT(slot_probs, slot); QVL_TREE_BIT(slot_probs, slot);
                QVL_TREE_BIT(slot_probs, slot); QVL_TREE_BIT(slot_probs, slot); QVL_TREE_BIT(slot_probs, slot);
                slot -= 64;
                uint32_t dist;
                if (slot < 4) {
                    dist = slot;
                } else {
                    unsigned direct = (slot >> 1) - 1;
                    dist = (2 | (slot & 1)) << direct;
                    if (slot < 14) {
                        uint16_t* pos_probs = probs + kPosSpecial + dist - slot;
                        unsigned mi = 1;
                        for (unsigned i = 0; i < direct; i++) {
                            unsigned bit = 0;
                            QVL_BIT(pos_probs + mi, bit = 0, bit = 1);
                            mi = (mi << 1) | bit;
                            dist |= bit << i;
                        }
                    } else {
                        unsigned n = direct - 4;
                        uint32_t extra = 0;
                        do {
                            range >>= 1;
                            code -= range;
                            const uint32_t t = 0u - (code >> 31);
                            code += range & t;
                            extra = (extra << 1) + (t + 1);
                            QVL_NORM();
                        } while (--n);
                        dist += extra << 4;
                        uint16_t* align = probs + kAlign;
                        unsigned mi = 1;
                        QVL_TREE_BIT(align, mi); QVL_TREE_BIT(align, mi); QVL_TREE_BIT(align, mi); QVL_TREE_BIT(align, mi);
                        // The tree path holds the bits in reverse order.
                        dist |= ((mi >> 3) & 1) | ((mi >> 1) & 2) | ((mi << 1) & 4) | ((mi << 3) & 8);
                    }
                }
                if (dist == 0xFFFFFFFFu) {
                    const bool complete = code == 0 && p == end && !overrun;
                    cx.stop = (complete && (!run.exact || pos == stop_at)) ? Stop::kEndMarker : Stop::kError;
                    break;
                }
                rep3 = rep2;
                rep2 = rep1;
                rep1 = rep0;
                rep0 = dist;
            } else {
                bool g0 = false;
                QVL_BIT(probs + kIsRepG0 + state, g0 = false, g0 = true);
                if (!g0) {
                    bool long_rep = false;
                    QVL_BIT(probs + kIsRep0Long + (state << 4) + pos_state, long_rep = false, long_rep = true);
                    if (!long_rep) {
                        if (rep0 >= reach || pos >= hard) {
                            cx.stop = rep0 >= reach && rep0 < dict_pos ? Stop::kBeyondWindow : Stop::kError;
                            break;
                        }
                        base[pos] = base[pos - rep0 - 1];
                        pos++;
                        state = state < 7 ? 9 : 11;
                        if (Safe && overrun) {
                            cx.stop = Stop::kError;
                            break;
                        }
                        continue;
                    }
                } else {
                    bool g1 = false;
                    uint32_t dist;
                    QVL_BIT(probs + kIsRepG1 + state, g1 = false, g1 = true);
                    if (!g1) {
                        dist = rep1;
                    } else {
                        bool g2 = false;
                        QVL_BIT(probs + kIsRepG2 + state, g2 = false, g2 = true);
                        if (!g2) {
                            dist = rep2;
                        } else {
                            dist = rep3;
                            rep3 = rep2;
                        }
                        rep2 = rep1;
                    }
                    rep1 = rep0;
                    rep0 = dist;
                }
                QVL_LEN(probs + kRepLenCoder, pos_state, len);
                state = state < 7 ? 8 : 11;
            }
            if (rep0 >= reach || len > hard - pos) {
                cx.stop = rep0 >= reach && rep0 < dict_pos ? Stop::kBeyondWindow : Stop::kError;
                break;
            }
            uint8_t* dst = base + pos;
            const uint8_t* src = dst - rep0 - 1;
            pos += len;
            if (rep0 >= 7 && room - (pos - len) >= len + 8) {
                // Non-overlapping 8-byte pieces; the last piece may write past the match
                // into room that later output overwrites.
                uint8_t* const stop = dst + len;
                do {
                    uint64_t v;
                    std::memcpy(&v, src, 8);
                    std::memcpy(dst, &v, 8);
                    src += 8;
                    dst += 8;
                } while (dst < stop);
            } else {
                do {
                    *dst++ = *src++;
                } while (--len);
            }
        }
        if (Safe && overrun) {
            cx.stop = Stop::kError;
            break;
        }
    }

#undef QVL_LEN
#undef QVL_TREE_BIT
#undef QVL_BIT
#undef QVL_NORM_JUMP
#undef QVL_NORM

    cx.range = range;
    cx.code = code;
    cx.p = p;
    cx.overrun = overrun;
    m.state = state;
    m.rep[0] = rep0;
    m.rep[1] = rep1;
    m.rep[2] = rep2;
    m.rep[3] = rep3;
    pos_io = pos;
    return result;
}

}  // namespace

bool start(Cursor& cursor, const uint8_t* in, size_t in_length) {
    if (!in || in_length < 5) return false;
    cursor.range = 0xFFFFFFFFu;
    cursor.code = (uint32_t{in[1]} << 24) | (uint32_t{in[2]} << 16) | (uint32_t{in[3]} << 8) | in[4];
    cursor.p = in + 5;
    cursor.end = in + in_length;
    cursor.overrun = false;
    return true;
}

Stop resume(Model& model, Cursor& cursor, const Run& run, std::vector<uint8_t>& buf, size_t& pos) {
    if (model.probs.empty() || !cursor.p) return Stop::kError;
    Ctx cx;
    cx.range = cursor.range;
    cx.code = cursor.code;
    cx.p = cursor.p;
    cx.end = cursor.end;
    cx.overrun = cursor.overrun;
    cx.stop = Stop::kError;
    if (steps<false>(model, run, buf, pos, cx) == Loop::kSwitch) steps<true>(model, run, buf, pos, cx);
    cursor.range = cx.range;
    cursor.code = cx.code;
    cursor.p = cx.p;
    cursor.overrun = cx.overrun;
    return cx.stop;
}

Stop decode(Model& model, const Run& run, std::vector<uint8_t>& buf, size_t& pos) {
    Cursor cursor;
    if (!start(cursor, run.in, run.in_length)) return Stop::kError;
    return resume(model, cursor, run, buf, pos);
}

Lzma2Chunk lzma2_chunk_at(const uint8_t* data, size_t length, size_t i) {
    Lzma2Chunk c;
    if (i >= length) return c;
    const uint8_t control = data[i];
    if (control == 0x00) {
        c.kind = Lzma2Chunk::Kind::kEnd;
        return c;
    }
    if (control == 0x01 || control == 0x02) {
        if (length - i < 3) return c;
        c.unpacked = ((size_t{data[i + 1]} << 8) | data[i + 2]) + 1;
        c.data_at = i + 3;
        if (length - c.data_at < c.unpacked) return c;
        c.dict_reset = control == 0x01;
        c.kind = Lzma2Chunk::Kind::kStored;
        return c;
    }
    if (control < 0x80 || length - i < 5) return c;
    c.unpacked = ((size_t{control & 0x1Fu} << 16) | (size_t{data[i + 1]} << 8) | data[i + 2]) + 1;
    c.packed = ((size_t{data[i + 3]} << 8) | data[i + 4]) + 1;
    size_t j = i + 5;
    if (control >= 0xC0) {
        if (j >= length) return c;
        const uint8_t props = data[j++];
        if (props >= 225) return c;
        const unsigned lc = props % 9, lp = (props / 9) % 5;
        if (lc + lp > 4) return c;
        c.new_properties = true;
        c.properties = props;
        c.state_reset = true;
        c.dict_reset = control >= 0xE0;
    } else if (control >= 0xA0) {
        c.state_reset = true;
    }
    if (c.packed < 5 || length - j < c.packed) return c;
    c.data_at = j;
    c.kind = Lzma2Chunk::Kind::kLzma;
    return c;
}

uint64_t lzma_dictionary_size(const uint8_t* properties, size_t length) {
    if (!properties || length < 5) return 0;
    return uint64_t{properties[1]} | (uint64_t{properties[2]} << 8) | (uint64_t{properties[3]} << 16) |
           (uint64_t{properties[4]} << 24);
}

uint64_t lzma2_dictionary_size(const uint8_t* properties, size_t length) {
    if (!properties || length < 1 || properties[0] > 40) return 0;
    if (properties[0] == 40) return 0xFFFFFFFFu;
    return uint64_t{2u | (properties[0] & 1u)} << (properties[0] / 2 + 11);
}

}  // namespace rez::lzma_detail
