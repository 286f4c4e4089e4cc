#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

std::wstring own_pid() { return std::to_wstring(GetCurrentProcessId()); }

}  // namespace

TEST(Startup, StaleTempNamesSpareLiveProcesses) {
    const std::wstring dead = L"4000000000";  // no such process id
    const struct {
        std::wstring name;
        bool stale;
    } cases[] = {
        {L"qvl_dragout_" + own_pid(), false},
        {L"qvl_dragout_" + dead, true},
        {L"qvl_dragout_", false},
        {L"rez_sfx_" + dead + L".rez", true},
        {L"rez_sfx_" + own_pid() + L".rez", false},
        {L"rez_sfx_" + dead + L".REZ", false},
        {L"rez_sfx_" + dead + L".rez.bak", false},
        {L"rez_sfx_x" + dead + L".rez", false},
        // Every work folder of a job: conversion, wizard, autosave, pack drop.
        {L"qvl_conv_" + dead + L"_0", true},
        {L"qvl_conv_" + own_pid() + L"_0", false},
        {L"qvl_wiz_" + dead + L"_12", true},
        {L"qvl_autosave_" + dead + L"_3", true},
        {L"qvl_autosave_" + dead, true},
        {L"qvl_packdrop_" + dead, true},
        {L"qvl_packdrop_" + own_pid(), false},
        // Names that only look alike are someone else's.
        {L"qvl_conv_" + dead + L"_x", false},
        {L"qvl_conv_" + dead + L".zip", false},
        {L"qvl_Conv_" + dead + L"_0", false},
        {L"qvl_selftest.log", false},
        {L"qvl__" + dead, false},
        {L"xqvl_dragout_" + dead, false},
        {L"Qvl_dragout_" + dead, false},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::is_stale_temp_name(c.name), c.stale) << rez::to_utf8(c.name);
    EXPECT_TRUE(rezui::process_is_running(GetCurrentProcessId()));
    EXPECT_FALSE(rezui::process_is_running(4000000000u));
}

TEST(Startup, CleanupRemovesOnlyLeftoversOfEndedRuns) {
    qvltest::ScratchDir dir(L"cleanup");
    std::wstring dead_folder = dir / L"qvl_dragout_4000000000";
    std::wstring live_folder = dir / (L"qvl_dragout_" + own_pid());
    ASSERT_TRUE(CreateDirectoryW(dead_folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dead_folder + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(rez::write_file(dead_folder + L"\\sub\\x.dat", reinterpret_cast<const uint8_t*>("x"), 1));
    ASSERT_TRUE(CreateDirectoryW(live_folder.c_str(), nullptr));
    ASSERT_TRUE(rez::write_file(dir / L"rez_sfx_4000000000.rez", reinterpret_cast<const uint8_t*>("r"), 1));
    ASSERT_TRUE(rez::write_file(dir / (L"rez_sfx_" + own_pid() + L".rez"), reinterpret_cast<const uint8_t*>("r"), 1));
    ASSERT_TRUE(rez::write_file(dir / L"other.txt", reinterpret_cast<const uint8_t*>("o"), 1));

    rezui::cleanup_stale_temp(dir.path());

    EXPECT_EQ(GetFileAttributesW(dead_folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(rez::file_exists(dir / L"rez_sfx_4000000000.rez"));
    EXPECT_NE(GetFileAttributesW(live_folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(rez::file_exists(dir / (L"rez_sfx_" + own_pid() + L".rez")));
    EXPECT_TRUE(rez::file_exists(dir / L"other.txt"));
}

// A killed save or conversion leaves its temporary file beside the user's file, where only
// the note in the temporary folder leads; the note of an ended process takes the file with
// it when the file carries that process's temporary name, and nothing else.
TEST(Startup, CleanupRemovesTemporaryFilesThatNotesOfEndedRunsName) {
    qvltest::ScratchDir temp(L"cleanup_temp");
    qvltest::ScratchDir user(L"cleanup_user");
    auto put = [](const std::wstring& path, const std::wstring& text) {
        return rez::write_file(path, reinterpret_cast<const uint8_t*>(text.data()), text.size() * sizeof(wchar_t));
    };
    const std::wstring left = user / L"game.zip.tmp_qvl_4000000000_77";
    const std::wstring left_rez = user / L"u.rez.tmp_qvl_4000000000_5";
    const std::wstring live = user / (L"v.rez.tmp_qvl_" + own_pid() + L"_5");
    const std::wstring mine = user / L"u.rez.tmp";
    const std::wstring other_pid = user / L"w.rez.tmp_qvl_4000000001_5";
    for (const std::wstring& f : {left, left_rez, live, mine, other_pid}) ASSERT_TRUE(put(f, L"data"));
    ASSERT_TRUE(put(temp / L"qvl_tmpnote_4000000000_0.txt", left));
    ASSERT_TRUE(put(temp / L"qvl_tmpnote_4000000000_1.txt", left_rez));
    ASSERT_TRUE(put(temp / L"qvl_tmpnote_4000000000_2.txt", mine));       // not a name of ours
    ASSERT_TRUE(put(temp / L"qvl_tmpnote_4000000000_3.txt", other_pid));  // another process's name
    ASSERT_TRUE(put(temp / (L"qvl_tmpnote_" + own_pid() + L"_0.txt"), live));
    const std::wstring conv = temp / L"qvl_conv_4000000000_0";
    ASSERT_TRUE(CreateDirectoryW(conv.c_str(), nullptr));
    ASSERT_TRUE(put(conv + L"\\member.bin", L"unpacked"));

    rezui::cleanup_stale_temp(temp.path());

    EXPECT_FALSE(rez::file_exists(left));
    EXPECT_FALSE(rez::file_exists(left_rez));
    EXPECT_TRUE(rez::file_exists(live));
    EXPECT_TRUE(rez::file_exists(mine));
    EXPECT_TRUE(rez::file_exists(other_pid));
    for (int n = 0; n < 4; ++n)
        EXPECT_FALSE(rez::file_exists(temp / (L"qvl_tmpnote_4000000000_" + std::to_wstring(n) + L".txt")));
    EXPECT_TRUE(rez::file_exists(temp / (L"qvl_tmpnote_" + own_pid() + L"_0.txt")));
    EXPECT_EQ(GetFileAttributesW(conv.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Startup, CleanupTakesLinksInsideLeftoversButNeverWhatTheyPointTo) {
    // app_make_fixtures makes this afresh for each run: a leftover holding a Unix link to a
    // folder beside it.
    const std::wstring root = qvltest::fixture(L"app\\stale_links");
    const std::wstring link = root + L"\\temp\\qvl_dragout_4000000000\\dirlink";
    const DWORD attributes = GetFileAttributesW(link.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "made by app_make_fixtures";
    ASSERT_EQ(attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY),
              DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY});

    rezui::cleanup_stale_temp(root + L"\\temp");

    std::vector<uint8_t> bytes;
    ASSERT_TRUE(rez::read_file(root + L"\\kept\\keep.txt", bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "keep");
    ASSERT_TRUE(rez::read_file(root + L"\\kept\\inner\\deep.txt", bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "inner");
    // Where the platform can remove a link itself it is gone; where it cannot (Wine removes
    // through it) it is still a link to the untouched folder.
    const DWORD after = GetFileAttributesW(link.c_str());
    EXPECT_TRUE(after == INVALID_FILE_ATTRIBUTES || (after & FILE_ATTRIBUTE_REPARSE_POINT));
}

TEST(Startup, AcceleratorsLeaveTypingKeysToEditFieldsAndTheSearchWindow) {
    INITCOMMONCONTROLSEX icc{sizeof icc, 0xFF};
    InitCommonControlsEx(&icc);
    HWND top = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 100, 20, top, nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD, 0, 30, 100, 100, top, nullptr, nullptr, nullptr);
    HWND search = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND search_list =
        CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD, 0, 0, 100, 100, search, nullptr, nullptr, nullptr);
    ASSERT_TRUE(edit && list && search_list);
    rezui::current_modeless_dialog = search;

    const struct {
        HWND target;
        WPARAM key;
        bool ctrl, allowed;
    } cases[] = {
        {edit, VK_BACK, false, false}, {edit, VK_DELETE, false, false}, {edit, VK_F2, false, false},
        {edit, 'A', true, false},      {edit, 'C', true, false},        {edit, 'V', true, false},
        {edit, 'O', true, true},       {edit, VK_F5, false, true},      {list, VK_BACK, false, true},
        {list, VK_DELETE, false, true}, {list, 'A', true, true},        {search_list, VK_DELETE, false, false},
        {search_list, 'O', true, false}, {search, VK_F5, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rezui::accelerator_allowed(c.target, WM_KEYDOWN, c.key, c.ctrl), c.allowed) << c.key;
    EXPECT_TRUE(rezui::accelerator_allowed(edit, WM_CHAR, 'a', false));

    rezui::current_modeless_dialog = nullptr;
    DestroyWindow(search);
    DestroyWindow(top);
}
