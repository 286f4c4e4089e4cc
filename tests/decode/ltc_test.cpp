#include "decode/ltc.h"

#include <gtest/gtest.h>

#include "archive/rez_model.h"
#include "archive/util.h"
#include "game_builders.h"
#include "test_support.h"

using gamefix::Bytes;
using gamefix::LzssWriter;
using namespace rezui;

namespace {

const std::string kScript =
    "[Script]\nName = \"menu\"\nCommand = ( Show MainMenu )\nCommand = ( Play \"intro_01.wav\" )\n";

Bytes to_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes xor_key(Bytes b, const std::vector<uint8_t>& key) {
    for (size_t i = 0; i < b.size(); ++i) b[i] ^= key[i % key.size()];
    return b;
}

// Deterministic noise that no strategy reads as text.
Bytes noise(size_t n, uint32_t seed) {
    Bytes b(n);
    for (auto& c : b) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<uint8_t>(seed >> 24);
    }
    return b;
}

Bytes lzss_script() { return LzssWriter().text(kScript).end().bytes(); }

std::string header(const std::string& label, size_t in, size_t out) {
    return "; decoded from menu.ltc\n; " + label + ", bytes " + std::to_string(in) + " -> " +
           std::to_string(out) + "\n\n";
}

}  // namespace

TEST(Ltc, PlainTextAndEveryScrambledRoad) {
    Bytes rez = to_bytes(kScript);
    rez::rez_crypto_encode(rez.data(), rez.size(), 17);
    struct Case {
        const char* what;
        Bytes payload;
        std::string label;
        size_t decoded;
    };
    const Case cases[] = {
        {"plain", to_bytes(kScript), "LTC text", kScript.size()},
        {"marker + LZSS", xor_key(lzss_script(), {kLtcTableKey, kLtcTableKey + 16}),
         "Marrowind XOR -> LTC native -> LTA", kScript.size()},
        {"derived key + LZSS", xor_key(lzss_script(), {0x11, 0x22, 0x33, 0x44}),
         "Derived XOR key -> LTC native -> LTA", kScript.size()},
        // The 16-byte key differs from its first four bytes repeated: only the key table finds it.
        {"alternative key 0 + LZSS",
         xor_key(lzss_script(), {0x3F, 0x9A, 0x00, 0xC6, 0xE2, 0x14, 0x7B, 0xD8, 0x5A, 0x6C, 0x1F, 0x91, 0xB3,
                                 0xE8, 0x27, 0x4D}),
         "Alt XOR key-0 -> LTC native -> LTA", kScript.size()},
        {"RezCrypto", rez, "RezCrypto dec phase-17 text", kScript.size()},
        {"raw LZSS", lzss_script(), "Raw LTC -> LTC native -> LTA", kScript.size()},
    };
    for (const Case& c : cases) {
        auto r = decode_ltc_preview(c.payload, "menu.ltc");
        ASSERT_TRUE(r) << c.what;
        EXPECT_EQ(r->label, c.label) << c.what;
        EXPECT_EQ(r->encoding, "UTF-8") << c.what;
        EXPECT_EQ(r->text, header(c.label, c.payload.size(), c.decoded) + kScript) << c.what;
    }
}

TEST(Ltc, LzmaFramedText) {
    Bytes framed;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"ltc_script_lzma.ltc"), framed));
    auto r = decode_ltc_preview(framed, "menu.ltc");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "LZMA-compressed LTC");
    EXPECT_EQ(r->text, header("LZMA-compressed LTC", framed.size(), kScript.size()) + kScript);
}

TEST(Ltc, AttemptsOnOneCandidate) {
    // Short text passes the unchanged attempt, which has no length minimum.
    auto r = ltc_buffer_to_text(to_bytes("k=v"), 99, "P");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "P -> LZMA text");
    EXPECT_EQ(r->entry_size, 99u);
    EXPECT_EQ(r->decoded_size, 3u);
    EXPECT_FALSE(ltc_buffer_to_text(noise(64, 5), 64, "P"));
    // Only the first alternative key that zeroes the header is tried.
    auto alt = ltc_xor_alt_keys(xor_key(Bytes(8, 0), {0x8D, 0x2E, 0xF0, 0x63}));
    ASSERT_TRUE(alt);
    EXPECT_EQ(alt->second, 2u);
    EXPECT_EQ(alt->first, Bytes(8, 0));
    EXPECT_FALSE(ltc_xor_derived_key(Bytes(8, 0)));
    EXPECT_FALSE(ltc_xor_alt_keys(lzss_script()));
}

TEST(Ltc, NothingFitsGivesAnExplainedDump) {
    const Bytes junk = noise(600, 1);
    auto r = decode_ltc_preview(junk, "menu.ltc");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "ALL DECODE STRATEGIES FAILED - raw 600 bytes");
    EXPECT_EQ(r->encoding, "raw/hex");
    EXPECT_EQ(r->decoded_size, 600u);
    char first[64];
    rez::format(first, sizeof(first), "%02X %02X %02X %02X ", junk[0], junk[1], junk[2], junk[3]);
    EXPECT_NE(r->text.find("; LTC raw hex dump (600 bytes, showing first 512)\n; First 8 bytes: " +
                           std::string(first)),
              std::string::npos);
    EXPECT_NE(r->text.find("magic (C4 E1 59 7B): no\n; If XOR-encrypted"), std::string::npos);
    EXPECT_NE(r->text.find("; Binary data - 512 bytes total, showing first 512\n"), std::string::npos);
    EXPECT_TRUE(rez::ends_with(r->text, "\n... (88 more bytes)\n"));

    Bytes marked = junk;
    std::copy(kLtcMarker, kLtcMarker + 4, marked.begin());
    r = decode_ltc_preview(marked, "menu.ltc");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "ALL DECODE STRATEGIES FAILED - raw 600 bytes (Marrowind XOR detected)");
    EXPECT_NE(r->text.find("magic (C4 E1 59 7B): yes\n"), std::string::npos);

    r = decode_ltc_preview(Bytes{}, "e.ltc");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->label, "ALL DECODE STRATEGIES FAILED - raw 0 bytes");
    EXPECT_EQ(r->text.find("derived 4-byte key"), std::string::npos);
    r = decode_ltc_preview(Bytes{0xC4, 0xE1, 0x80}, "e.ltc");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text.find("derived 4-byte key"), std::string::npos);
}

TEST(Ltc, LargeFilesStillReadAsText) {
    // Past 64 KiB the decoder judges the start of each candidate before decoding it whole.
    std::string big;
    while (big.size() < 300000) big += kScript;
    Bytes rez = to_bytes(big);
    rez::rez_crypto_encode(rez.data(), rez.size(), 300);
    Bytes utf16{0xFF, 0xFE};
    for (char c : big) utf16.insert(utf16.end(), {static_cast<uint8_t>(c), 0});
    const std::pair<Bytes, std::string> cases[] = {
        {to_bytes(big), "LTC text"},
        {rez, "RezCrypto dec phase-300 text"},
        {xor_key(LzssWriter().text(big).end().bytes(), {9, 8, 7, 6}), "Derived XOR key -> LTC native -> LTA"},
        {utf16, "LTC text"},
    };
    for (const auto& [payload, label] : cases) {
        auto r = decode_ltc_preview(payload, "big.ltc");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->label, label);
        EXPECT_TRUE(rez::ends_with(r->text, big)) << label;
    }
    EXPECT_EQ(decode_ltc_preview(noise(200000, 3), "n.ltc")->label,
              "ALL DECODE STRATEGIES FAILED - raw 200000 bytes");
}
