#include "archive/crc32.h"

#include <array>

#include "archive/crc32_internal.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define QVL_CRC32_FOLDING 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace rez {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;  // bit i holds the coefficient of x^(31-i)

// Eight tables let the main loop consume 8 bytes per step ("slicing by 8").
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (kPolynomial ^ (c >> 1)) : (c >> 1);
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const CrcTables& tables() {
    static const CrcTables instance;
    return instance;
}

// Works on the raw register (already inverted), so that the folding road can hand over its
// result for the last few bytes.
uint32_t table_register(uint32_t c, const uint8_t* data, size_t length) {
    const auto& t = tables().t;
    while (length >= 8) {
        uint32_t lo = c ^ (static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                           (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24));
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
        data += 8;
        length -= 8;
    }
    while (length--) c = t[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
    return c;
}

#ifdef QVL_CRC32_FOLDING

// Folding with carry-less multiplication (PCLMULQDQ), 64 bytes per step.
//
// The CRC register of a message M is M(x)·x^32 mod P(x). In the bit order of this CRC the
// first bit of the stream is the highest power, so 16 bytes loaded into an XMM register hold
// a polynomial of degree < 128 with bit k the coefficient of x^(127-k): the low quadword is
// the upper half A (times x^64), the high quadword the lower half B.
//
// Moving such a block d bits further along the stream multiplies it by x^d. Modulo P that is
//     A·x^(64+d) + B·x^d  ==  A·(x^(d+32) mod P)·x^32 + B·(x^(d-32) mod P)·x^32,
// and a carry-less product of a quadword and a constant stored with bit j the coefficient of
// x^(32-j) comes out exactly in the 128-bit layout of the block d bits later (the x^32 is
// the place of the constant's lowest bit). Each product has degree < 96, so the two products
// and the data block found there are XORed into one 128-bit value again.
//
// Four lanes are folded 512 bits ahead, then into one lane 128 bits at a time. The last lane
// R (the message's final 16 bytes with everything before folded in) needs R·x^32 mod P:
//   1. A·(x^96 mod P) + B·x^32, a polynomial of degree < 96;
//   2. its upper 32 coefficients times (x^64 mod P) plus its lower 64, degree < 64;
//   3. Barrett reduction of that T: the quotient q = floor(floor(T / x^32)·mu / x^32)
//      with mu = floor(x^64 / P), and T + q·P leaves the 32-bit remainder.
//
// Every constant below is computed here from the polynomial, nothing is copied in.

// x^n mod P, with bit i the coefficient of x^(31-i). Multiplying by x is a shift towards
// bit 0; the coefficient of x^32 leaving it is replaced by P's lower terms.
constexpr uint32_t x_pow_mod(unsigned n) {
    uint32_t r = 0x80000000u;  // x^0
    for (unsigned i = 0; i < n; ++i) r = (r & 1) ? (r >> 1) ^ kPolynomial : r >> 1;
    return r;
}

// A remainder as the multiplier of the folding steps: bit j the coefficient of x^(32-j).
constexpr uint64_t as_multiplier(uint32_t reflected) { return uint64_t{reflected} << 1; }

// P itself in that layout: x^32 is bit 0.
constexpr uint64_t kP = (uint64_t{kPolynomial} << 1) | 1;

// floor(x^64 / P) in that layout (degree 32). Long division in the usual highest-first
// order: P with x^32 on top is kPolynomial bit-reversed plus bit 32.
constexpr uint64_t barrett_mu() {
    uint64_t p = uint64_t{1} << 32;
    for (int i = 0; i < 32; ++i)
        if (kPolynomial & (1u << i)) p |= uint64_t{1} << (31 - i);
    uint64_t rem = 0, q = 0;
    for (int k = 64; k >= 0; --k) {  // the dividend's bits, x^64 down to x^0
        rem = (rem << 1) | (k == 64 ? 1 : 0);
        q <<= 1;
        if (rem & (uint64_t{1} << 32)) {
            rem ^= p;
            q |= 1;
        }
    }
    // q has degree 32; turn it to the layout with x^32 at bit 0.
    uint64_t out = 0;
    for (int i = 0; i <= 32; ++i)
        if (q & (uint64_t{1} << i)) out |= uint64_t{1} << (32 - i);
    return out;
}

constexpr uint64_t kMu = barrett_mu();

// Product of two multipliers in the layout above (bit k the coefficient of x^(64-k)),
// without the instruction: for the checks below.
constexpr unsigned __int128 clmul_soft(uint64_t a, uint64_t b) {
    unsigned __int128 r = 0;
    for (int i = 0; i < 64; ++i)
        if (a & (uint64_t{1} << i)) r ^= static_cast<unsigned __int128>(b) << i;
    return r;
}

// x^32 mod P is P's lower terms; and mu·P equals x^64 plus terms below x^32, so in the
// product's layout (x^64 at bit 0) bit 0 is set and bits 1..32 are clear.
static_assert(x_pow_mod(32) == kPolynomial);
static_assert((clmul_soft(kMu, kP) & 0x1FFFFFFFFull) == 1);

struct FoldConstants {
    uint64_t lo, hi;  // multipliers of the low quadword (A) and of the high one (B)
};

constexpr FoldConstants fold_by(unsigned bits) {
    return {as_multiplier(x_pow_mod(bits + 32)), as_multiplier(x_pow_mod(bits - 32))};
}

constexpr FoldConstants kFold512 = fold_by(512);
constexpr FoldConstants kFold128 = fold_by(128);
constexpr uint64_t kX96 = as_multiplier(x_pow_mod(96));
constexpr uint64_t kX64 = as_multiplier(x_pow_mod(64));

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i block, __m128i k, __m128i next) {
    __m128i a = _mm_clmulepi64_si128(block, k, 0x00);
    __m128i b = _mm_clmulepi64_si128(block, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(a, b), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i in_low(uint64_t k) {
    return _mm_cvtsi64_si128(static_cast<long long>(k));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i both(FoldConstants k) {
    return _mm_set_epi64x(static_cast<long long>(k.hi), static_cast<long long>(k.lo));
}

// length: a multiple of 16, at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t fold_register(uint32_t c, const uint8_t* data,
                                                                size_t length) {
    const __m128i k512 = both(kFold512), k128 = both(kFold128);

    // The register enters as an XOR over the first 32 bits of the stream.
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = load(data + 16), x2 = load(data + 32), x3 = load(data + 48);
    data += 64;
    length -= 64;
    while (length >= 64) {
        x0 = fold(x0, k512, load(data));
        x1 = fold(x1, k512, load(data + 16));
        x2 = fold(x2, k512, load(data + 32));
        x3 = fold(x3, k512, load(data + 48));
        data += 64;
        length -= 64;
    }
    __m128i x = fold(fold(fold(x0, k128, x1), k128, x2), k128, x3);
    for (; length >= 16; data += 16, length -= 16) x = fold(x, k128, load(data));

    // 1. A·(x^96 mod P) lands with bit k the coefficient of x^(95-k); B·x^32 is B moved
    //    down to the low quadword in the same layout.
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, in_low(kX96), 0x00), _mm_srli_si128(x, 8));
    // 2. The upper 32 coefficients (bits 0..31) times (x^64 mod P), plus the rest moved down
    //    by 32 bits: bit k now the coefficient of x^(63-k).
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), in_low(kX64), 0x00),
                      _mm_srli_si128(x, 4));
    // 3. q from the upper 32 coefficients; q·P cancels them and leaves the remainder in bits
    //    32..63, the CRC's own bit order.
    __m128i q = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), in_low(kMu), 0x00), low32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(q, in_low(kP), 0x00));
    return static_cast<uint32_t>(_mm_extract_epi32(x, 1));
}

bool cpu_folds() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (c & bit_PCLMUL) && (c & bit_SSE4_1);
}

// Below this the setup and the final reduction of the folding road cost more than the table.
constexpr size_t kFoldMinimum = 64;

#endif  // QVL_CRC32_FOLDING

}  // namespace

bool crc32_folds() {
#ifdef QVL_CRC32_FOLDING
    static const bool folds = cpu_folds();
    return folds;
#else
    return false;
#endif
}

uint32_t crc32_update_table(uint32_t crc, const uint8_t* data, size_t length) {
    return ~table_register(~crc, data, length);
}

uint32_t crc32_step(uint32_t reg, uint8_t byte) { return tables().t[0][(reg ^ byte) & 0xFF] ^ (reg >> 8); }

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length) {
    uint32_t c = ~crc;
#ifdef QVL_CRC32_FOLDING
    if (length >= kFoldMinimum && crc32_folds()) {
        size_t whole = length & ~size_t{15};
        c = fold_register(c, data, whole);
        data += whole;
        length -= whole;
    }
#endif
    return ~table_register(c, data, length);
}

uint32_t crc32(const uint8_t* data, size_t length) { return crc32_update(0, data, length); }

}  // namespace rez
