#include <gtest/gtest.h>

#include "app/common/small_dialogs.h"
#include "app/common/window_helpers.h"
#include "main_window_fixture.h"
#include "resources/resource.h"

TEST(SmallDialogs, BuildDateText) {
    const struct {
        const char *date, *time;
        const wchar_t* text;
    } cases[] = {{"Dec 10 2026", "13:05:09", L"编译日期：2026-12-10 13:05:09"},
                 {"Jan  2 2025", "00:00:00", L"编译日期：2025-01-02 00:00:00"},
                 {"Foo  7 2024", "01:02:03", L"编译日期：2024-01-07 01:02:03"}};
    for (const auto& c : cases) EXPECT_EQ(rezui::build_date_text_from(c.date, c.time), c.text) << c.date;
    EXPECT_EQ(rezui::build_date_text().rfind(L"编译日期：", 0), 0u);
}

namespace {

// The dialog template of the program run modeless so the test can drive it.
HWND open_dialog(int id, DLGPROC proc) {
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr, proc, 0);
}

void set_text(HWND dialog, int id, const wchar_t* text) { SetDlgItemTextW(dialog, id, text); }

}  // namespace

TEST(SmallDialogs, NewPasswordAcceptsEqualTextsAndKeepsMismatchesOpen) {
    h4test::script_all_ui();
    HWND d = open_dialog(IDD_NEW_PASSWORD, rezui::new_password_proc);
    ASSERT_NE(d, nullptr);
    rezui::new_password_result = L"stale";
    SendMessageW(d, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(rezui::new_password_result, L"");  // both empty: remove the encryption
    DestroyWindow(d);

    d = open_dialog(IDD_NEW_PASSWORD, rezui::new_password_proc);
    ShowWindow(d, SW_SHOW);
    rezui::new_password_result.clear();
    set_text(d, IDC_PWD_EDIT, L"abc");
    set_text(d, IDC_PWD_CONFIRM, L"abd");
    SendMessageW(d, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"两次输入的密码不一致");
    EXPECT_EQ(h4test::boxes[0].caption, L"提示");
    EXPECT_TRUE(IsWindowVisible(d));
    EXPECT_EQ(rezui::new_password_result, L"");
    set_text(d, IDC_PWD_CONFIRM, L"abc");
    SendMessageW(d, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(rezui::new_password_result, L"abc");
    DestroyWindow(d);
    rezui::ui_seams = rezui::default_ui_seams();
}

TEST(SmallDialogs, ShowPasswordToggleKeepsTextAndCaret) {
    HWND d = open_dialog(IDD_NEW_PASSWORD, rezui::new_password_proc);
    ASSERT_NE(d, nullptr);
    HWND edit = GetDlgItem(d, IDC_PWD_EDIT);
    set_text(d, IDC_PWD_EDIT, L"secret");
    for (int i = 0; i < 2; ++i) {
        CheckDlgButton(d, IDC_PWD_SHOW, i == 0 ? BST_CHECKED : BST_UNCHECKED);
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_PWD_SHOW, BN_CLICKED), 0);
        EXPECT_EQ(rezui::get_window_text(edit), L"secret");
        DWORD start = 0, end = 0;
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(end, 6u);
        bool hidden = (GetWindowLongPtrW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
        EXPECT_EQ(hidden, i == 1);
    }
    DestroyWindow(d);
}

TEST(SmallDialogs, HelpersSetAndClearTheExchangeSlots) {
    h4test::script_all_ui();
    int runs = 0;
    h4test::dialog_script = [&](int id, DLGPROC) -> INT_PTR {
        ++runs;
        if (id == IDD_INPUT_TEXT) {
            EXPECT_NE(rezui::input_prompt, nullptr);
            EXPECT_EQ(*rezui::input_text, L"新建文件夹");
            *rezui::input_text = L"名字";
            return 1;
        }
        if (id == IDD_PASSWORD_PROMPT) {
            EXPECT_EQ(*rezui::pwd_prompt_title, L"密码");
            *rezui::pwd_prompt_result = L"pw";
            return 0;  // cancelled: the answer is not taken
        }
        return 0;
    };
    std::wstring text = L"新建文件夹";
    EXPECT_TRUE(rezui::ask_text(nullptr, L"新建文件夹", L"文件夹名称", text));
    EXPECT_EQ(text, L"名字");
    std::wstring pw = L"keep";
    EXPECT_FALSE(rezui::ask_password(nullptr, L"密码", L"p", pw));
    EXPECT_EQ(pw, L"keep");
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(rezui::input_prompt, nullptr);
    EXPECT_EQ(rezui::input_text, nullptr);
    EXPECT_EQ(rezui::pwd_prompt_result, nullptr);
    rezui::ui_seams = rezui::default_ui_seams();
}

TEST(SmallDialogs, AboutBoxShowsProductAndDateAndOpensTheDownloadPage) {
    h4test::script_all_ui();
    HWND d = open_dialog(IDD_ABOUT, rezui::about_proc);
    ASSERT_NE(d, nullptr);
    h4test::pump();
    EXPECT_EQ(rezui::get_window_text(GetDlgItem(d, IDC_ABOUT_PRODUCT)), L"Marrowind Quarvel");
    EXPECT_EQ(rezui::get_window_text(GetDlgItem(d, IDC_ABOUT_DATE)).rfind(L"编译日期：", 0), 0u);
    EXPECT_NE(rezui::about_title_font, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(d, IDC_ABOUT_PRODUCT), WM_GETFONT, 0, 0)),
              rezui::about_title_font);
    SendMessageW(d, WM_COMMAND, IDC_ABOUT_UPDATE, 0);
    ASSERT_EQ(h4test::shell_launches.size(), 1u);
    EXPECT_EQ(h4test::shell_launches[0].rfind(L"open|https://", 0), 0u);
    DestroyWindow(d);
    EXPECT_EQ(rezui::about_title_font, nullptr);
    rezui::ui_seams = rezui::default_ui_seams();
}
