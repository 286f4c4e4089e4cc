#include <gtest/gtest.h>

#include <algorithm>

#include "app/settings/settings.h"
#include "archive/util.h"
#include "test_support.h"

using rezui::Settings;

namespace {


void write_plain(const std::wstring& path, const std::string& text) {
    std::vector<uint8_t> key = rezui::settings_key();
    std::vector<uint8_t> bytes(text.begin(), text.end());
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= key[i % 16];
    ASSERT_TRUE(rez::write_file(path, bytes.data(), bytes.size()));
}

}  // namespace

TEST(Settings, DefaultsForMissingOrEmptyFile) {
    qvltest::ScratchDir dir(L"settings");
    for (bool create_empty : {false, true}) {
        std::wstring path = dir / L"Rezconfig.dat";
        if (create_empty) rez::write_file(path, nullptr, 0);
        Settings s = rezui::load_settings_from(path);
        EXPECT_EQ(s.copyright, L"RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.");
        EXPECT_EQ(s.description, L"LithTech Resource File");
        EXPECT_EQ(s.theme, L"浅色");
        EXPECT_TRUE(s.last_drag_out_folder.empty());
        EXPECT_FALSE(s.uppercase_rez || s.uppercase_zip || s.uppercase_7z || s.close_to_tray || s.show_log_box);
    }
}

TEST(Settings, KeyIsTheFirstHalfOfTheSha256OfThePhrase) {
    // SHA-256("BramblePostLedgerSeal_v1"), computed independently.
    std::vector<uint8_t> key = rezui::settings_key();
    ASSERT_EQ(key.size(), 16u);
    const std::vector<uint8_t> expected = {0x1D, 0xA7, 0xCB, 0xEA, 0xB8, 0x03, 0x74, 0x33,
                                           0xB7, 0x4A, 0x8F, 0xAB, 0x5E, 0x46, 0xA4, 0xE6};
    EXPECT_EQ(key, expected);
}

TEST(Settings, RoundTripKeepsQuotesControlsAndChinese) {
    qvltest::ScratchDir dir(L"settings");
    std::wstring path = dir / L"Rezconfig.dat";
    Settings s = rezui::default_settings();
    s.copyright = L"a \"quoted\" \\ back\tslash\x1F";
    s.description = L"中文描述";
    s.theme = L"蓝色";
    s.last_drag_out_folder = L"C:\\拖出\\";
    s.uppercase_zip = true;
    s.show_log_box = true;
    ASSERT_TRUE(rezui::save_settings_to(path, s));
    Settings back = rezui::load_settings_from(path);
    EXPECT_EQ(back.copyright, s.copyright);
    EXPECT_EQ(back.description, s.description);
    EXPECT_EQ(back.theme, s.theme);
    EXPECT_EQ(back.last_drag_out_folder, s.last_drag_out_folder);
    EXPECT_FALSE(back.uppercase_rez);
    EXPECT_TRUE(back.uppercase_zip);
    EXPECT_TRUE(back.show_log_box);
    // The same settings always give the same bytes.
    std::vector<uint8_t> first = qvltest::bytes_of(path);
    ASSERT_TRUE(rezui::save_settings_to(path, s));
    EXPECT_EQ(qvltest::bytes_of(path), first);
    EXPECT_FALSE(rez::file_exists(path + L".tmp"));
}

TEST(Settings, TextIsElevenLinesWithUpperCaseEscapesAndRawUtf8) {
    Settings s = rezui::default_settings();
    s.copyright = L"\x1F";
    s.theme = L"蓝色";
    std::string text = rezui::settings_to_json(s);
    EXPECT_EQ(text.rfind("{\n  \"copyright\": \"\\u001F\",\n", 0), 0u);
    EXPECT_NE(text.find("\"theme\": \"" + rez::to_utf8(L"蓝色") + "\","), std::string::npos);
    const std::string tail = "  \"showLogBox\": false\n}\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);
    EXPECT_EQ(rezui::settings_json_escape(L"\t"), "\\u0009");
}

TEST(Settings, ReaderToleratesOrderSpacingUnknownKeysAndStopsAtDamage) {
    const struct {
        const char* text;
        const wchar_t* theme;
        bool close_to_tray;
        const wchar_t* description;
    } cases[] = {
        {"{ \"closeToTray\" : true ,\n\n \"theme\":\"蓝色\", \"extra\": 5 }", L"蓝色", true, L"LithTech Resource File"},
        {"{\"Theme\": \"x\", \"closeToTray\": TRUE}", L"浅色", false, L"LithTech Resource File"},
        {"{\"closeToTray\": \"true\"}", L"浅色", true, L"LithTech Resource File"},
        {"{\"description\": \"\\u0041\\u004z\"}", L"浅色", false, L"A@"},
        {"{\"theme\": \"t\", \"description\": \"\\u00\"}", L"t", false, L"LithTech Resource File"},
        // Cut inside the fourth pair: the first three are kept.
        {"{\"theme\": \"a\", \"closeToTray\": true, \"description\": \"d\", \"copyright\": \"c", L"a", true, L"d"},
    };
    for (const auto& c : cases) {
        Settings s = rezui::settings_from_json(c.text);
        EXPECT_EQ(s.theme, rez::from_utf8(rez::to_utf8(c.theme))) << c.text;
        EXPECT_EQ(s.close_to_tray, c.close_to_tray) << c.text;
        EXPECT_EQ(s.description, c.description) << c.text;
    }
}

TEST(Settings, FailedSaveReportsAndLeavesTheOldFile) {
    qvltest::ScratchDir dir(L"settings");
    std::wstring path = dir / L"Rezconfig.dat";
    Settings s = rezui::default_settings();
    s.theme = L"old";
    ASSERT_TRUE(rezui::save_settings_to(path, s));
    std::vector<uint8_t> before = qvltest::bytes_of(path);
    // A folder in the way of the temporary file makes the write fail.
    ASSERT_TRUE(CreateDirectoryW((path + L".tmp").c_str(), nullptr));
    s.theme = L"new";
    EXPECT_FALSE(rezui::save_settings_to(path, s));
    EXPECT_EQ(qvltest::bytes_of(path), before);
    EXPECT_EQ(rezui::load_settings_from(path).theme, L"old");
    RemoveDirectoryW((path + L".tmp").c_str());
    EXPECT_FALSE(rezui::save_settings_to(dir / L"missing\\Rezconfig.dat", s));
}

TEST(Settings, PlainTextWrittenByHandIsRead) {
    qvltest::ScratchDir dir(L"settings");
    std::wstring path = dir / L"Rezconfig.dat";
    write_plain(path, "{\"uppercaseRez\": true, \"lastDragOutFolder\": \"D:\\\\out\"}");
    Settings s = rezui::load_settings_from(path);
    EXPECT_TRUE(s.uppercase_rez);
    EXPECT_EQ(s.last_drag_out_folder, L"D:\\out");
}
