#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "archive/util.h"
#include "decode/text_decode.h"
#include "decode_fixtures.h"
#include "test_support.h"

namespace {

rezui::OptionalTextPair detect(const std::string& bytes) {
    return rezui::decode_text_auto(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string shown(const std::string& bytes) {
    return rez::hex_dump(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 32);
}

const std::string kKoreanCp949 =
    "\xC7\xD1\xB1\xB9\xBE\xEE\x20\xC5\xD8\xBD\xBA\xC6\xAE\x20\xC6\xC4\xC0\xCF\xC0\xD4\xB4\xCF\xB4\xD9\x0A"
    "\xB5\xCE\x20\xB9\xF8\xC2\xB0\x20\xC1\xD9\x0A";

TEST(DecodeTextAuto, MarksPaddingAndCandidates) {
    using namespace std::string_literals;
    const struct {
        std::string bytes;
        std::string text;
        std::string label;
    } cases[] = {
        {"plain text\n", "plain text\n", "UTF-8"},
        {"padded\0\0\0\0"s, "padded", "UTF-8"},
        {"\xEF\xBB\xBFwith mark", "with mark", "UTF-8"},
        {"\xEF\xBB\xBF", "", "UTF-8"},
        {"\xFF\xFE", "", "UTF-16 LE"},
        {"\xFF\xFE\0\0"s, "", "UTF-16 LE"},
        // The last character's high byte is NUL: it must survive the padding rule.
        {"\xFF\xFE\x41\x00\x42\x00"s, "AB", "UTF-16 LE"},
        {"\xFF\xFE\x41\x00\x42\x00\x00\x00\x00"s, "AB", "UTF-16 LE"},
        {"\xFE\xFF\x00\x41\x00\x42"s, "AB", "UTF-16 BE"},
        {"\xFF\xFE\x2D\xD5\x6D\xAD"s, "\xED\x94\xAD\xEA\xB5\xAD", "UTF-16 LE"},
        {"caf\xC3\xA9 \xE8\xB5\x84\xE6\xBA\x90", "caf\xC3\xA9 \xE8\xB5\x84\xE6\xBA\x90", "UTF-8"},
        {kKoreanCp949, "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xED\x85\x8D\xEC\x8A\xA4\xED\x8A\xB8 "
                       "\xED\x8C\x8C\xEC\x9D\xBC\xEC\x9E\x85\xEB\x8B\x88\xEB\x8B\xA4\n"
                       "\xEB\x91\x90 \xEB\xB2\x88\xEC\xA7\xB8 \xEC\xA4\x84\n",
         "CP949"},
    };
    for (const auto& c : cases) {
        const auto r = detect(c.bytes);
        ASSERT_TRUE(r.has_value()) << shown(c.bytes);
        EXPECT_EQ(r->first, c.text) << shown(c.bytes);
        EXPECT_EQ(r->second, c.label) << shown(c.bytes);
    }
}

TEST(DecodeTextAuto, Gb18030TextFromTheReferenceCodec) {
    std::vector<uint8_t> in, utf8;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"gb18030_text.bin"), in));
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"gb18030_text.utf8"), utf8));
    const auto r = rezui::decode_text_auto(in);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->second, "GB18030");
    EXPECT_EQ(r->first, rez::vector_to_string(utf8));
}

std::string encoded(const std::wstring& text, unsigned code_page) {
    const int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

bool code_page_accepts(const std::string& bytes, unsigned code_page) {
    return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                               nullptr, 0) > 0;
}

// Code page 949 reads most GB2312 byte pairs and GB18030 reads the Hangul rows of 949, so
// both accept either text: Korean stays Korean, Chinese is read as Chinese.
TEST(DecodeTextAuto, KoreanAndChineseBothReadAsThemselves) {
    const struct {
        const wchar_t* text;
        unsigned code_page;
        const char* label;
    } cases[] = {
        {L"겨울이 지나고 따뜻한 봄바람이 불어오면 마을 앞 개울에도 물이 다시 흐른다.\n"
         L"할머니는 마당에 앉아 손주들에게 옛날 이야기를 들려주셨다.\n"
         L"이 창에서 압축 파일의 내용을 미리 볼 수 있습니다.\n",
         949, "CP949"},
        {L"这是一个中文文本文件，用来测试编码的自动识别。\n"
         L"第二行是游戏的说明：玩家需要完成任务才能获得奖励。\n"
         L"我们今天去公园，天气很好，大家都很开心。\n",
         936, "GB18030"},
        // One or two words.
        {L"안녕", 949, "CP949"},
        {L"파일 설정", 949, "CP949"},
        {L"비밀번호", 949, "CP949"},
        {L"게임 종료", 949, "CP949"},
        {L"你好", 936, "GB18030"},
        {L"中文", 936, "GB18030"},
        {L"打开", 936, "GB18030"},
        {L"保存 密码", 936, "GB18030"},
        {L"游戏任务", 936, "GB18030"},
    };
    for (const auto& c : cases) {
        const std::string bytes = encoded(c.text, c.code_page);
        ASSERT_TRUE(code_page_accepts(bytes, 949) && code_page_accepts(bytes, 936)) << shown(bytes);
        const auto r = detect(bytes);
        ASSERT_TRUE(r.has_value()) << shown(bytes);
        EXPECT_EQ(r->first, rez::to_utf8(c.text)) << shown(bytes);
        EXPECT_EQ(r->second, c.label) << shown(bytes);
    }
}

TEST(DecodeTextAuto, Refusals) {
    using namespace std::string_literals;
    const std::string refused[] = {
        ""s,
        "\0\0\0\0"s,
        // A mark followed by control bytes: the candidates see the mark and refuse too.
        "\xEF\xBB\xBF\x01\x02\x03\x04\x05\x06"s,
        "\xFF\xFE\x01\x00\x02\x00\x03\x00"s,
        "\x01\x02\x03text"s,
    };
    for (const auto& bytes : refused) EXPECT_FALSE(detect(bytes).has_value()) << shown(bytes);
}

// The UTF-8 candidate accepts exactly what the platform's strict conversion accepts.
TEST(DecodeTextAuto, Utf8AcceptanceMatchesPlatform) {
    const std::string tails[] = {"\xED\xA0\x80", "\xC0\xAF",         "\xF4\x90\x80\x80", "\xE0\x80\xAF",
                                 "\xEF\xBF\xBE", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xC2",
                                 "\xE8\xB5",      "\xDF\xBF",         "\x80",             "\xF8\x88\x80\x80\x80"};
    for (const auto& tail : tails) {
        const std::string text = std::string(100, 'a') + tail + "z";
        wchar_t wide[256];
        const bool platform = MultiByteToWideChar(65001, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                                  wide, 256) > 0;
        const auto r = detect(text);
        EXPECT_EQ(r && r->second == "UTF-8", platform) << shown(tail);
        if (platform) {
            EXPECT_EQ(r->first, text);
        }
    }
}

// Stray control bytes are tolerated up to max(2, length / 50).
TEST(DecodeTextAuto, ControlByteLimit) {
    std::string text(200, 'x');
    for (int i = 0; i < 4; ++i) text[10 + i * 20] = '\x01';
    const auto r = detect(text);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->second, "UTF-8");
    text[150] = '\x02';
    EXPECT_FALSE(detect(text).has_value());

    EXPECT_TRUE(detect("ab\x01\x02").has_value());
    EXPECT_FALSE(detect("ab\x01\x02\x03").has_value());
}

TEST(TextJudgements, ExtensionsAndPrintableTest) {
    for (const char* e : {"cfg", "csv", "ini", "json", "log", "lua", "nut", "txt", "xml", "TXT", "Ini"})
        EXPECT_TRUE(rezui::is_text_extension(e)) << e;
    for (const char* e : {"", "dat", "dtx", "text", "enc"}) EXPECT_FALSE(rezui::is_text_extension(e)) << e;

    EXPECT_TRUE(rezui::looks_like_text(""));
    EXPECT_FALSE(rezui::looks_like_text("abc"));
    EXPECT_TRUE(rezui::looks_like_text("a=b"));
    std::string high(100, 'a');
    high[0] = '=';
    for (int i = 1; i <= 15; ++i) high[i] = '\x90';
    EXPECT_TRUE(rezui::looks_like_text(high));
    high[16] = '\x90';
    EXPECT_FALSE(rezui::looks_like_text(high));
    // Only the first 8 KiB count.
    std::string long_text = "[x]" + std::string(8189, 'a') + std::string(4000, '\x01');
    EXPECT_TRUE(rezui::looks_like_text(long_text));
}

TEST(TextJudgements, EngineTextScore) {
    EXPECT_EQ(rezui::score_lithtech_text("[textures]\nspecularmapname=a.dtx\nnormalmapname=b.dtx\n"), 276);
    EXPECT_EQ(rezui::score_lithtech_text(" \t\r\n"), 0);
    EXPECT_EQ(rezui::score_lithtech_text("specularmapname"), 80);
    EXPECT_EQ(rezui::score_lithtech_text("<?xml version=\"1.0\"?>"), 60 + 4);
    EXPECT_EQ(rezui::score_lithtech_text("x\x01\x02"), -20);

    EXPECT_EQ(rezui::count_file_references("a.dtx"), 1);
    EXPECT_EQ(rezui::count_file_references("a.DTX b.png\"c.jpeg\nd.bin"), 4);
    EXPECT_EQ(rezui::count_file_references("a.dtxb a.dtx2 a.jpg_ x.dds."), 2);

    EXPECT_EQ(rezui::count_text_lines_of_kind("[a]\n  [textures]  \n[]\n[a]b]\n[" + std::string(80, 'x') + "]\n[" +
                                                  std::string(81, 'x') + "]",
                                              0),
              3);
    const std::string kv = "a=b\n=b\na=\n a = b \nkey==\n" + std::string(120, 'k') + "=v\n" + std::string(121, 'k') + "=v";
    EXPECT_EQ(rezui::count_text_lines_of_kind(kv, 1), 4);
}

// The quick refusal the phase search of scrambled files relies on: it judges by control
// bytes alone, and must never refuse bytes whose text reaches the score asked for.
TEST(TextJudgements, ScoreOutOfReachByControls) {
    const auto out_of_reach = [](const std::string& bytes, int min_score) {
        return rezui::lithtech_score_out_of_reach(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                                  min_score);
    };
    // Text at the top of the score: each control takes 10 off, and the refusal is exact.
    for (int controls : {0, 1, 20, 38, 39}) {
        const std::string text = decodetest::ceiling_text(controls);
        const auto r = detect(text);
        ASSERT_TRUE(r.has_value()) << controls;
        const int score = rezui::score_lithtech_text(r->first);
        EXPECT_EQ(score, 392 - 10 * controls);
        EXPECT_FALSE(out_of_reach(text, score)) << controls;
        EXPECT_TRUE(out_of_reach(text, score + 1)) << controls;
    }

    // Many control bytes that the reading does not keep as such: UTF-16 units, the zero
    // padding at the end, and controls after a byte that may lead a character.
    const std::string material = "[textures]\nSpecularMapName=a.dtx\nNormalMapName=b.dtx\n";
    std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
    for (char c : material) utf16le += std::string{c, '\0'}, utf16be += std::string{'\0', c};
    const std::string padded = material + std::string(200, '\0');
    for (const std::string& bytes : {utf16le, utf16be, padded, decodetest::lead_byte_controls_text()}) {
        const auto r = detect(bytes);
        ASSERT_TRUE(r.has_value()) << shown(bytes);
        EXPECT_GE(rezui::score_lithtech_text(r->first), 100) << shown(bytes);
        EXPECT_FALSE(out_of_reach(bytes, 100)) << shown(bytes);
    }

    // Noise: refused, as the full detection would.
    std::string noise(8192, '\0');
    uint32_t seed = 7;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    EXPECT_FALSE(detect(noise).has_value());
    EXPECT_TRUE(out_of_reach(noise, 12));
    // A blank text scores 0 whatever it holds; nothing scores above the ceiling.
    EXPECT_FALSE(out_of_reach(std::string(100, '\x01'), 0));
    EXPECT_TRUE(out_of_reach(decodetest::ceiling_text(0), 393));
}

TEST(TextJudgements, SplitLines) {
    using V = std::vector<std::string>;
    EXPECT_EQ(rezui::split_lines(""), V{""});
    EXPECT_EQ(rezui::split_lines("a\r\nb\n"), (V{"a", "b", ""}));
    EXPECT_EQ(rezui::split_lines("a\r\r\nb\r"), (V{"a\r", "b"}));
    EXPECT_EQ(rezui::split_lines("\n\n"), (V{"", "", ""}));
}

TEST(TextJudgements, CompleteUtf8Prefix) {
    const struct {
        std::string bytes;
        size_t length;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"ab\xC3", 2},
        {"ab\xC3\xA9", 4},
        {"ab\xE8\xB5", 2},
        {"ab\xE8\xB5\x84", 5},
        {"\xF0\x9F\x98", 0},
        {"\xF0\x9F\x98\x80", 4},
        {"\x80\x80\x80\x80", 4},  // not UTF-8 at all: left alone
        {"a\xFF", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rezui::utf8_complete_prefix_length(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
                  c.length)
            << shown(c.bytes);
}

}  // namespace
