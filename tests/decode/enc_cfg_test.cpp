#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/lzma.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "decode/enc_cfg.h"
#include "decode/text_decode.h"
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

// The search as it was before it learned to pass over phases by their control bytes: every
// phase and direction through the full detection. The reference the search must agree with.
std::optional<rezui::TextCandidate> reference_decode(const Bytes& payload, const std::string& name,
                                                     uint64_t lzma_limit) {
    if (payload.empty()) return std::nullopt;
    Bytes working;
    bool lzma = false;
    if (rez::is_lzma_alone_header(payload.data(), payload.size())) {
        if (!rez::lzma_decode(payload.data(), payload.size(), working, lzma_limit, 0, false)) working.clear();
        lzma = !working.empty() && working.size() != payload.size();
    } else {
        working = payload;
    }
    using rezui::describe_decoded_text;
    const char* first = lzma ? "lzma-text" : "plain-text";
    if (auto c = describe_decoded_text(name, payload, working.data(), working.size(), first)) return c;
    Bytes decoded;
    if (rezui::base64_decode(working, decoded))
        if (auto c = describe_decoded_text(name, payload, decoded.data(), decoded.size(), "enc-base64")) return c;
    if (lzma && rezui::base64_decode(payload, decoded))
        if (auto c = describe_decoded_text(name, payload, decoded.data(), decoded.size(), "enc-base64")) return c;
    if (working.empty() || rezui::detect_ff_lanes(working) || working.size() > 8192) return std::nullopt;

    const Bytes& table = rez::rez_crypto_table();
    const size_t phases = table.size();
    std::optional<rezui::TextCandidate> best;
    Bytes copy(working.size());
    for (size_t phase = 0; phase < phases; ++phase) {
        for (int direction = 0; direction < 2; ++direction) {
            for (size_t i = 0; i < working.size(); ++i) {
                const uint8_t k = table[(phase + i) % phases];
                const uint8_t c = working[i];
                copy[i] = direction == 0 ? static_cast<uint8_t>(static_cast<uint8_t>(~c ^ k) + 0x49)
                                         : static_cast<uint8_t>(~(static_cast<uint8_t>(c - 0x49) ^ k));
            }
            const std::string strategy =
                (direction == 0 ? "rez-decode-phase-" : "rez-encode-phase-") + std::to_string(phase);
            auto c = describe_decoded_text(name, payload, copy.data(), copy.size(), strategy);
            if (c && (!best || c->score > best->score)) best = std::move(c);
            if (best && best->score >= 100) return best;
        }
    }
    return best;
}

// Turned back into the text by the search's decode direction at the phase...
Bytes scrambled_for_decode(const std::string& text, size_t phase) {
    Bytes b = bytes_of(text);
    rez::rez_crypto_encode(b.data(), b.size(), phase);
    return b;
}

// ... and by its encode direction.
Bytes scrambled_for_encode(const std::string& text, size_t phase) {
    Bytes b = bytes_of(text);
    rez::rez_crypto_decode(b, phase);
    return b;
}

Bytes noise(size_t n, uint32_t seed, uint8_t or_mask = 0) {
    Bytes b(n);
    for (auto& c : b) c = static_cast<uint8_t>(((seed = seed * 1664525u + 1013904223u) >> 24) | or_mask);
    return b;
}

std::string in_code_page(const std::wstring& text, unsigned code_page) {
    const int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// Every kind of ".cfg" content, and near misses of the phase search, give exactly what the
// reference search gives.
TEST(CfgText, PhaseSearchAgreesWithFullDetection) {
    const std::string low_score = "alpha = 1\nbeta = 2\ngamma = 3\n";  // 20: the search goes on to the end
    std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
    for (char c : kMaterial) utf16le += std::string{c, '\0'}, utf16be += std::string{'\0', c};
    const std::string korean =
        in_code_page(L"[설정]\n이름 = 바람\n시간 = 오늘\n마을 = 다시\n", 949);
    const std::string chinese = in_code_page(L"[设置]\n名称 = 游戏\n任务 = 奖励\n时间 = 今天\n", 936);
    Bytes flipped = scrambled_for_decode(kMaterial, 400);
    flipped[5] ^= 0x40;
    const Bytes phase_lzma = fixture_bytes(L"phase_lzma.cfg");
    Bytes inner;
    ASSERT_TRUE(rez::lzma_decode(phase_lzma.data(), phase_lzma.size(), inner, 1u << 20));
    ASSERT_EQ(inner, scrambled_for_decode(rez::vector_to_string(fixture_bytes(L"lzma_text.plain")), 211));

    const struct {
        const char* label;
        Bytes payload;
        const char* strategy;  // of the result, or null for none
    } cases[] = {
        {"decode 0", scrambled_for_decode(kMaterial, 0), "rez-decode-phase-0"},
        {"decode 37", scrambled_for_decode(kMaterial, 37), "rez-decode-phase-37"},
        {"decode 1012", scrambled_for_decode(kMaterial, 1012), "rez-decode-phase-1012"},
        {"encode 1", scrambled_for_encode(kMaterial, 1), "rez-encode-phase-1"},
        {"encode 700", scrambled_for_encode(kMaterial, 700), "rez-encode-phase-700"},
        {"low score", scrambled_for_decode(low_score, 300), "rez-decode-phase-300"},
        {"low score encode", scrambled_for_encode(low_score, 999), "rez-encode-phase-999"},
        // The best the score allows with 38 control bytes is just enough; with 39 it is not.
        {"38 controls", scrambled_for_decode(decodetest::ceiling_text(38), 123), "rez-decode-phase-123"},
        {"39 controls", scrambled_for_decode(decodetest::ceiling_text(39), 124), nullptr},
        // Readings whose control bytes are not the ones the text shows.
        {"UTF-16 LE", scrambled_for_decode(utf16le, 55), "rez-decode-phase-55"},
        {"UTF-16 BE", scrambled_for_encode(utf16be, 56), "rez-encode-phase-56"},
        {"UTF-8 mark", scrambled_for_decode("\xEF\xBB\xBF" + kMaterial, 57), "rez-decode-phase-57"},
        {"controls after lead bytes", scrambled_for_encode(decodetest::lead_byte_controls_text(), 59),
         "rez-encode-phase-59"},
        {"zero padding", scrambled_for_decode(kMaterial + std::string(300, '\0'), 58), "rez-decode-phase-58"},
        {"CP949", scrambled_for_decode(korean, 600), "rez-decode-phase-600"},
        {"GBK", scrambled_for_encode(chinese, 601), "rez-encode-phase-601"},
        {"one byte changed", flipped, "rez-decode-phase-400"},
        {"plain", bytes_of(kMaterial), "plain-text"},
        {"base64", scramble_base64(kMaterial), "enc-base64"},
        {"LZMA text", fixture_bytes(L"lzma_text.ini"), "lzma-text"},
        {"LZMA base64", fixture_bytes(L"scrambled_lzma.enc"), "enc-base64"},
        {"LZMA scrambled", phase_lzma, "rez-decode-phase-211"},
        // Near misses: noise that the text check's control limit lets through to the
        // conversions at nearly every phase (the slow kind), short noise, constant bytes.
        {"noise", noise(8192, 1), nullptr},
        {"high noise", noise(8192, 2, 0x80), nullptr},
        {"short noise", noise(640, 3), nullptr},
        {"constant", Bytes(8192, 0xAD), nullptr},
        {"short constant", Bytes(700, 0xAD), nullptr},
        {"LZMA noise", fixture_bytes(L"noise_lzma.cfg"), nullptr},
        {"one byte", Bytes{0x42}, nullptr},
        {"at the limit", scrambled_for_decode(kMaterial + std::string(8192 - kMaterial.size(), ' '), 6),
         "rez-decode-phase-6"},
        {"over the limit", scrambled_for_decode(kMaterial + std::string(8193 - kMaterial.size(), ' '), 5), nullptr},
    };
    for (const auto& c : cases) {
        const auto want = reference_decode(c.payload, "mat.cfg", 1u << 20);
        const auto got = rezui::decode_enc_text(c.payload, "mat.cfg", 1u << 20);
        ASSERT_EQ(got.has_value(), want.has_value()) << c.label;
        ASSERT_EQ(got.has_value(), c.strategy != nullptr) << c.label;
        if (!got) continue;
        EXPECT_EQ(got->summary.substr(0, got->summary.find(' ')), c.strategy) << c.label;
        EXPECT_EQ(got->summary, want->summary) << c.label;
        EXPECT_EQ(got->text, want->text) << c.label;
        EXPECT_EQ(got->score, want->score) << c.label;
        EXPECT_EQ(got->entry_size, want->entry_size) << c.label;
        EXPECT_EQ(got->candidate_size, want->candidate_size) << c.label;
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
