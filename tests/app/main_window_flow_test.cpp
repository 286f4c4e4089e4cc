// The browser, opening, jobs and self-test driven through the real main window: the
// thumbnail cache forgets an archive when another one opens, save on a ZIP writes its model
// back, a double-clicked encrypted entry asks for its password first, and the in-process
// self-test shows no modal UI.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/browser/browser.h"
#include "app/browser/list_icons.h"
#include "app/operations/open_archive.h"
#include "app/selftest.h"
#include "app/common/small_dialogs.h"
#include "app/browser/preview_pane.h"
#include "archive/member_extract.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/rez_test_util.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"app\\" + name); }

// The temporary folder (and with it the self-test log) of this test, so parallel test
// processes do not share one log.
struct PrivateTemp : qvltest::PrivateTemp {
    PrivateTemp() : qvltest::PrivateTemp(L"h5tmp") {}
};

// What the self-test wrote to its log, as UTF-8.
std::string selftest_log() {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(rez::read_file(rezui::selftest_log_path(), bytes));
    return std::string(bytes.begin(), bytes.end());
}

bool open_and_wait(const std::wstring& path) {
    rezui::open_file(path);
    return h4test::wait_idle();
}

TEST(MainWindowFlow, ThumbnailsOfOneArchiveAreForgottenWhenAnotherOpens) {
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(fx(L"preview\\engine.rez")));
    ASSERT_TRUE(rezui::app.archive_loaded);
    EXPECT_EQ(rezui::thumb_cache.count(L"P.tga"), 1u);
    ASSERT_TRUE(open_and_wait(fx(L"selftest\\engine.rez")));
    EXPECT_EQ(rezui::app.archive.path, fx(L"selftest\\engine.rez"));
    EXPECT_EQ(rezui::thumb_cache.count(L"P.tga"), 0u);
    EXPECT_TRUE(h4test::boxes.empty());
}

TEST(MainWindowFlow, SaveCommandOnAZipWritesTheEditedModelBack) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"h5flow");
    const std::wstring copy = dir / L"m.zip";
    ASSERT_TRUE(CopyFileW(fx(L"members.zip").c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(open_and_wait(copy));
    ASSERT_TRUE(rezui::app.archive_loaded);
    ASSERT_TRUE(rezui::app.archive.rename_entry("a\\b\\c.txt", "d.txt"));
    w.command(2002);  // save
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_EQ(h4test::log_text().find(L"尚未提供"), std::wstring::npos);
    EXPECT_TRUE(h4test::boxes.empty());
    const rez::Entry* renamed = rezui::app.archive.find_entry("a\\b\\d.txt");
    ASSERT_NE(renamed, nullptr);
    ASSERT_TRUE(renamed->member.has_value());
    std::vector<uint8_t> data;
    std::wstring err;
    ASSERT_TRUE(rezui::app.archive.read_entry_data(*renamed, data, err)) << err;
    EXPECT_EQ(std::string(data.begin(), data.end()), "c text");
}

TEST(MainWindowFlow, ExtractAllWritesOddNamesSanitisedAndReportsSkippedOnesAsAFailure) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"h5odd");
    const std::wstring archive = dir / L"odd.rez";
    reztest::write(archive, reztest::odd_names_rez({{"a:b", ""}, {"..", ""}, {"CON", "TXT"}, {"ok", "TXT"}}, {". ."}));
    ASSERT_TRUE(open_and_wait(archive));
    ASSERT_TRUE(rezui::app.archive_loaded);
    h4test::folder_answers = {dir / L"out"};
    w.command(IDM_EXTRACT_ALL);
    ASSERT_TRUE(h4test::pump_until([] { return !rezui::app.busy; }));

    EXPECT_EQ(reztest::read_text(dir / L"out\\a_b"), "<a:b>");
    EXPECT_EQ(reztest::read_text(dir / L"out\\_CON.txt"), "<CON>");
    EXPECT_EQ(reztest::read_text(dir / L"out\\ok.txt"), "<ok>");
    const std::wstring failure = L"条目路径不安全，已拒绝 2 项，其余条目已解压: ..、. .";
    EXPECT_NE(h4test::log_text().find(L"操作失败: " + failure), std::wstring::npos);
    EXPECT_EQ(h4test::log_text().find(L"解压完成"), std::wstring::npos);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, failure);
    EXPECT_EQ(h4test::boxes[0].caption, L"操作失败");
}

// Answers the password prompts from a list (an empty answer cancels) and records the
// prompt texts shown.
struct PasswordScript {
    std::vector<std::wstring> answers;
    std::vector<std::wstring> prompts;
    PasswordScript() {
        h4test::dialog_script = [this](int id, DLGPROC) -> INT_PTR {
            EXPECT_EQ(id, IDD_PASSWORD_PROMPT);
            EXPECT_EQ(*rezui::pwd_prompt_title, L"输入密码");
            prompts.push_back(*rezui::pwd_prompt_text);
            if (answers.empty() || answers.front().empty()) return 0;
            *rezui::pwd_prompt_result = answers.front();
            answers.erase(answers.begin());
            return 1;
        };
    }
    ~PasswordScript() { h4test::dialog_script = nullptr; }
};

void double_click_row(h4test::MainWindow& w, const std::wstring& name) {
    ASSERT_TRUE(h4test::select_first_row_named(name));
    w.notify_list(NM_DBLCLK);
}

std::wstring preview_text() { return rezui::get_window_text(rezui::app.preview_edit); }

TEST(MainWindowFlow, DoubleClickOnAnEncryptedEntryAsksForThePasswordFirst) {
    h4test::MainWindow w;
    rez::set_current_password(L"");
    ASSERT_TRUE(open_and_wait(fx(L"locked.zip")));
    rezui::navigate_vdir(L"a\\b");
    ASSERT_EQ(rezui::app.current_folder, L"a\\b");
    const std::wstring first = L"该归档已加密，请输入密码以解压：";
    const std::wstring again = L"密码仍然错误，请重新输入：";

    {  // Cancel: no preview, no read failure, and the cancel flag is left clear.
        PasswordScript script;
        double_click_row(w, L"c.txt");
        EXPECT_EQ(script.prompts, std::vector<std::wstring>{first});
        EXPECT_FALSE(rezui::app.cancel.load());
        EXPECT_EQ(preview_text().find(L"c text"), std::wstring::npos);
        EXPECT_TRUE(h4test::boxes.empty());
    }
    {  // A wrong answer, then the right one: the entry is previewed with it.
        PasswordScript script;
        script.answers = {L"bad", L"pw"};
        double_click_row(w, L"c.txt");
        EXPECT_EQ(script.prompts, (std::vector<std::wstring>{first, again}));
        EXPECT_EQ(rez::get_current_password(), L"pw");
        EXPECT_NE(preview_text().find(L"c text"), std::wstring::npos);
        EXPECT_TRUE(h4test::boxes.empty());
    }
    {  // The held password works: no question.
        PasswordScript script;
        double_click_row(w, L"c.txt");
        EXPECT_TRUE(script.prompts.empty());
    }
    {  // A wrong held password, then four wrong answers: the fifth failure gives up.
        PasswordScript script;
        rez::set_current_password(L"nope");
        SetWindowTextW(rezui::app.preview_edit, L"");
        script.answers = {L"b1", L"b2", L"b3", L"b4"};
        double_click_row(w, L"c.txt");
        EXPECT_EQ(script.prompts,
                  (std::vector<std::wstring>{L"密码错误，请重新输入密码：", again, again, again}));
        ASSERT_EQ(h4test::boxes.size(), 1u);
        EXPECT_EQ(h4test::boxes[0].caption, L"无法解压");
        EXPECT_NE(h4test::boxes[0].text.find(L"多次重试仍无法解密，归档可能损坏。"), std::wstring::npos);
        EXPECT_EQ(preview_text(), L"");
    }
    rez::set_current_password(L"");
}

// The 7z whose names are encrypted asks on opening; the question is made from the real
// template and procedure, so what the user types must not be readable on the screen.
TEST(MainWindowFlow, OpeningAnEncryptedHeaderAsksWithAMaskedEdit) {
    h4test::MainWindow w;
    rez::set_current_password(L"");
    int asked = 0;
    h4test::dialog_script = [&](int id, DLGPROC proc) -> INT_PTR {
        ++asked;
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), w.hwnd(), proc, 0);
        EXPECT_NE(dialog, nullptr);
        if (!dialog) return 0;
        HWND edit = GetDlgItem(dialog, IDC_PWD_EDIT);
        EXPECT_NE(edit, nullptr);
        EXPECT_TRUE(edit && (GetWindowLongPtrW(edit, GWL_STYLE) & ES_PASSWORD));
        EXPECT_NE(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0), 0);
        SetWindowTextW(edit, L"pw");
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        DestroyWindow(dialog);
        return 1;
    };
    ASSERT_TRUE(open_and_wait(fx(L"locked.7z")));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(rezui::app.archive_loaded);
    EXPECT_EQ(rezui::app.archive.path, fx(L"locked.7z"));
    EXPECT_TRUE(h4test::boxes.empty());
    h4test::dialog_script = nullptr;
    rez::set_current_password(L"");
}

// A 7z whose file list is plain but whose data is encrypted opens without any question; the
// password is asked for when an encrypted member is first read.
TEST(MainWindowFlow, SevenZipWithEncryptedDataAsksOnlyWhenAMemberIsRead) {
    h4test::MainWindow w;
    rez::set_current_password(L"");
    std::vector<int> dialogs;
    h4test::dialog_script = [&dialogs](int id, DLGPROC) -> INT_PTR {
        dialogs.push_back(id);
        return 0;
    };
    ASSERT_TRUE(open_and_wait(fx(L"data_locked.7z")));
    ASSERT_TRUE(rezui::app.archive_loaded);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(h4test::boxes.empty());
    h4test::dialog_script = nullptr;

    rezui::navigate_vdir(L"a\\b");
    PasswordScript script;
    script.answers = {L"pw"};
    double_click_row(w, L"c.txt");
    EXPECT_EQ(script.prompts, std::vector<std::wstring>{L"该归档已加密，请输入密码以解压："});
    EXPECT_NE(preview_text().find(L"c text"), std::wstring::npos);
    rez::set_current_password(L"");
}

// A folder of pictures in one solid 7z folder: the thumbnails and a preview decode the folder
// once; it is let go when another archive opens.
TEST(MainWindowFlow, PicturesOfASolidSevenZipDecodeTheirFolderOnce) {
    h4test::MainWindow w;
    rez::set_current_password(L"");
    rez::sevenzip_drop_cache();
    const uint64_t start = rez::sevenzip_folders_decoded();
    ASSERT_TRUE(open_and_wait(fx(L"pics.7z")));
    for (const wchar_t* name : {L"p1.tga", L"p2.tga", L"p3.tga", L"p4.tga"})
        EXPECT_EQ(rezui::thumb_cache.count(name), 1u) << rez::to_utf8(name);
    double_click_row(w, L"p3.tga");
    EXPECT_TRUE(rezui::preview_is_image);
    EXPECT_EQ(rez::sevenzip_folders_decoded() - start, 1u);

    ASSERT_TRUE(open_and_wait(fx(L"members.7z")));
    std::vector<uint8_t> bytes;
    std::wstring err;
    ASSERT_TRUE(rez::extract_archive_entry(rez::ArchiveMember{fx(L"pics.7z"), "p1.tga", false}, bytes, err));
    EXPECT_EQ(rez::sevenzip_folders_decoded() - start, 2u);
    EXPECT_TRUE(h4test::boxes.empty());
}

TEST(MainWindowFlow, SelfTestPassesLogsAndTakesTheWindowDown) {
    h4test::MainWindow w;
    PrivateTemp temp;
    const std::wstring log = rezui::selftest_log_path();
    ASSERT_EQ(log, temp.dir / L"qvl_selftest.log");
    EXPECT_TRUE(rezui::run_selftest(fx(L"selftest\\engine.rez")));
    EXPECT_FALSE(IsWindow(w.hwnd()));
    EXPECT_TRUE(h4test::boxes.empty());
    const std::string text = selftest_log();
    EXPECT_NE(text.find("after nav current_path=[REZ\\BUTES]\r\n"), std::string::npos);
    EXPECT_NE(text.find("SELFTEST PASS\r\n"), std::string::npos);
}

TEST(MainWindowFlow, SelfTestOfAMissingArchiveFailsWithoutAMessageBox) {
    h4test::MainWindow w;
    PrivateTemp temp;
    const std::wstring log = rezui::selftest_log_path();
    ASSERT_EQ(log, temp.dir / L"qvl_selftest.log");
    EXPECT_FALSE(rezui::run_selftest(fx(L"missing.rez")));
    EXPECT_TRUE(h4test::boxes.empty());  // the failed open is logged, not shown
    const std::string text = selftest_log();
    EXPECT_NE(text.find("FAIL: has_rez=false\r\n"), std::string::npos);
    EXPECT_NE(text.find("message: ["), std::string::npos);
    EXPECT_NE(text.find("SELFTEST FAIL\r\n"), std::string::npos);
    EXPECT_EQ(rezui::ui_seams.message_box, &h4test::scripted_box);  // the seam is given back
}

TEST(MainWindowFlow, SelfTestAnswersAPasswordQuestionWithCancel) {
    h4test::MainWindow w;
    PrivateTemp temp;
    rez::set_current_password(L"");
    int shown = 0;
    h4test::dialog_script = [&](int, DLGPROC) -> INT_PTR {
        ++shown;
        return 0;
    };
    EXPECT_FALSE(rezui::run_selftest(fx(L"locked.7z")));
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_EQ(rezui::ui_seams.run_dialog, &h4test::scripted_dialog);  // the seam is given back
    const std::string text = selftest_log();
    EXPECT_NE(text.find("dialog: 214 cancelled\r\n"), std::string::npos);
    EXPECT_NE(text.find(rez::to_utf8(L"已取消打开（需要密码）")), std::string::npos);
    EXPECT_NE(text.find("SELFTEST FAIL\r\n"), std::string::npos);
    h4test::dialog_script = nullptr;
}

}  // namespace
