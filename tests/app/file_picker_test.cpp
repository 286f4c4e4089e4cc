// The real multiple-selection open dialog, answered by a second thread that types the
// names into it the way a user would and presses OK: every file comes back, however long
// the list of names is.
#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/common/window_helpers.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

constexpr wchar_t kTitle[] = L"选择多个文件（测试）";

BOOL CALLBACK find_edit(HWND child, LPARAM out) {
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (lstrcmpiW(cls, L"Edit") == 0 && IsWindowVisible(child)) {
        *reinterpret_cast<HWND*>(out) = child;
        return FALSE;
    }
    return TRUE;
}

// Waits for the dialog, types the names into its file-name field and presses OK.
void answer_dialog(const std::wstring& typed, std::atomic<bool>& answered) {
    for (int i = 0; i < 400 && !answered; ++i) {
        Sleep(50);
        HWND dialog = FindWindowW(nullptr, kTitle);
        if (!dialog) continue;
        HWND edit = nullptr;
        EnumChildWindows(dialog, find_edit, reinterpret_cast<LPARAM>(&edit));
        if (!edit) continue;
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        answered = true;
    }
}

TEST(FilePicker, EveryChosenFileComesBackHoweverLongTheList) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the program runs with OLE initialised
    qvltest::ScratchDir dir(L"picker");
    std::vector<std::wstring> expected;
    std::wstring typed;
    for (int i = 0; i < 40; ++i) {
        const std::wstring path = dir / (L"a_file_name_long_enough_to_outgrow_a_small_buffer_" + std::to_wstring(i) + L".txt");
        ASSERT_TRUE(rez::write_file(path, reinterpret_cast<const uint8_t*>("x"), 1));
        expected.push_back(path);
        typed += L"\"" + path + L"\" ";
    }
    ASSERT_GT(typed.size(), 2080u);
    std::atomic<bool> answered{false};
    std::thread driver(answer_dialog, typed, std::ref(answered));
    std::vector<std::wstring> got =
        rezui::default_ui_seams().pick_open_files(nullptr, L"所有文件 (*.*)\0*.*\0\0", kTitle);
    answered = true;
    driver.join();
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
}

}  // namespace
