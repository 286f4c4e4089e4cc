#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/rez_model.h"
#include "archive/util.h"
#include "decode/enc_cfg.h"
#include "decode_fixtures.h"
#include "test_support.h"

namespace {

using decodetest::Bytes;
using decodetest::bytes_of;
using decodetest::fixture_bytes;

const std::string kMaterial =
    "[textures]\nDiffuseMapName=wall.dtx\nNormalMapName=wall_n.dtx\nSpecularMapName=wall_s.dtx\n";

// XOR-0xA3 base64 of the text, written the way the game stores ".enc" files.
Bytes scramble_base64(const std::string& text) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string b64;
    size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        const uint32_t v = (uint8_t(text[i]) << 16) | (uint8_t(text[i + 1]) << 8) | uint8_t(text[i + 2]);
        for (int k = 18; k >= 0; k -= 6) b64 += alphabet[(v >> k) & 63];
    }
    if (i < text.size()) {
        uint32_t v = uint8_t(text[i]) << 16;
        if (i + 1 < text.size()) v |= uint8_t(text[i + 1]) << 8;
        b64 += alphabet[(v >> 18) & 63];
        b64 += alphabet[(v >> 12) & 63];
        b64 += i + 1 < text.size() ? alphabet[(v >> 6) & 63] : '=';
        b64 += '=';
    }
    Bytes out;
    for (char c : b64) out.push_back(static_cast<uint8_t>(c ^ 0xA3));
    return out;
}

TEST(EncEntry, NamesAndBase64) {
    EXPECT_TRUE(rezui::is_enc_entry("STRINGS.ENC", "ENC"));
    EXPECT_TRUE(rezui::is_enc_entry("strings.Enc", ""));
    EXPECT_TRUE(rezui::is_enc_entry(".enc", ""));
    EXPECT_FALSE(rezui::is_enc_entry("enc", ""));
    EXPECT_FALSE(rezui::is_enc_entry("strings.encx", "encx"));

    Bytes out;
    for (const std::string text : {"a", "ab", "abc", "hello, world"}) {
        ASSERT_TRUE(rezui::base64_decode(scramble_base64(text), out)) << text;
        EXPECT_EQ(rez::vector_to_string(out), text);
    }
    // Decoding stops at the first byte outside the alphabet; one there first gives nothing.
    Bytes stop = scramble_base64("hello");
    stop.insert(stop.begin() + 4, static_cast<uint8_t>('!' ^ 0xA3));
    ASSERT_TRUE(rezui::base64_decode(stop, out));
    EXPECT_EQ(rez::vector_to_string(out), "hel");
    EXPECT_FALSE(rezui::base64_decode(Bytes{static_cast<uint8_t>('=' ^ 0xA3), 1, 2}, out));
    EXPECT_FALSE(rezui::base64_decode(Bytes{static_cast<uint8_t>('*' ^ 0xA3)}, out));
    EXPECT_FALSE(rezui::base64_decode(Bytes{}, out));

    ASSERT_TRUE(rezui::base64_decode(fixture_bytes(L"scrambled_lzma.enc"), out));
    EXPECT_EQ(out, fixture_bytes(L"lzma_text.plain"));
}

TEST(CfgText, Strategies) {
    const Bytes plain = bytes_of(kMaterial);
    const Bytes base64 = scramble_base64(kMaterial);
    Bytes decode_phase = plain;  // turned back into text by the decode direction at phase 37
    rez::rez_crypto_encode(decode_phase.data(), decode_phase.size(), 37);
    Bytes encode_phase = plain;  // and this one by the encode direction at phase 1012
    rez::rez_crypto_decode(encode_phase, 1012);

    const struct {
        Bytes payload;
        std::string strategy;
    } cases[] = {
        {plain, "plain-text"},
        {base64, "enc-base64"},
        {decode_phase, "rez-decode-phase-37"},
        {encode_phase, "rez-encode-phase-1012"},
    };
    for (const auto& c : cases) {
        const auto r = rezui::decode_enc_text(c.payload, "mat.cfg", c.payload.size());
        ASSERT_TRUE(r.has_value()) << c.strategy;
        EXPECT_EQ(r->summary, c.strategy + " / UTF-8 / score=" + std::to_string(r->score));
        EXPECT_GE(r->score, 100);
        EXPECT_EQ(r->text, "; decoded from mat.cfg\n; " + r->summary + ", bytes " + std::to_string(c.payload.size()) +
                               " -> " + std::to_string(kMaterial.size()) + "\n\n" + kMaterial);
    }
}

TEST(CfgText, NoResult) {
    EXPECT_FALSE(rezui::decode_enc_text({}, "a.cfg", 0).has_value());
    // Text of no engine kind (score below 12) and too long for the phase search.
    const Bytes prose = bytes_of(std::string(9000, 'x'));
    EXPECT_FALSE(rezui::decode_enc_text(prose, "a.cfg", prose.size()).has_value());
    // Filler: two bytes of every three are 0xFF; the phase search is skipped.
    Bytes filler;
    for (int i = 0; i < 60; ++i) filler.insert(filler.end(), {uint8_t('a' + i % 5), 0xFF, 0xFF});
    EXPECT_TRUE(rezui::detect_ff_lanes(filler));
    EXPECT_FALSE(rezui::decode_enc_text(filler, "a.cfg", filler.size()).has_value());
}

TEST(CfgText, FillerPattern) {
    Bytes lanes;
    for (int i = 0; i < 16; ++i) lanes.insert(lanes.end(), {0xFF, uint8_t(i), 0xFF});
    EXPECT_TRUE(rezui::detect_ff_lanes(lanes));
    lanes.pop_back();
    EXPECT_FALSE(rezui::detect_ff_lanes(lanes));  // 47 bytes
    Bytes mostly_ff(60, 0xFF);
    for (size_t i = 0; i < mostly_ff.size(); i += 2) mostly_ff[i] = 1;  // real bytes in every lane
    EXPECT_FALSE(rezui::detect_ff_lanes(mostly_ff));
    Bytes few_ff(60, 0xFF);
    for (size_t i = 0; i < 30; ++i) few_ff[i] = 2;  // 0xFF below 55 %
    EXPECT_FALSE(rezui::detect_ff_lanes(few_ff));
}

}  // namespace
