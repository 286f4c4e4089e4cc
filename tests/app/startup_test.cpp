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
        {L"qvl_dragout_", true},
        {L"rez_sfx_" + dead + L".rez", true},
        {L"rez_sfx_" + own_pid() + L".rez", false},
        {L"rez_sfx_" + dead + L".REZ", false},
        {L"rez_sfx_" + dead + L".rez.bak", false},
        {L"qvl_autosave_" + dead, false},
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
