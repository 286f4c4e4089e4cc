// The browser, opening, jobs and self-test driven through the real main window: the
// thumbnail cache forgets an archive when another one opens, save on a ZIP is refused
// through the command, and the in-process self-test shows no modal UI.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/list_icons.h"
#include "app/open_archive.h"
#include "app/selftest.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "test_support.h"

namespace {

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"app\\" + name); }

// Points the temporary folder (and with it the self-test log) at a folder of this test, so
// parallel test processes do not share one log.
struct PrivateTemp {
    qvltest::ScratchDir dir{L"h5tmp"};
    std::wstring saved;
    PrivateTemp() {
        wchar_t buf[1040] = {};
        GetEnvironmentVariableW(L"TMP", buf, 1040);
        saved = buf;
        SetEnvironmentVariableW(L"TMP", (dir.path() + L"\\").c_str());
    }
    ~PrivateTemp() { SetEnvironmentVariableW(L"TMP", saved.empty() ? nullptr : saved.c_str()); }
};

bool open_and_wait(const std::wstring& path) {
    rezui::open_file(path);
    return h4test::pump_until([] { return !rezui::app.busy && !rezui::task_running.load(); });
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

TEST(MainWindowFlow, SaveCommandOnAZipLeavesTheFileAlone) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"h5flow");
    const std::wstring copy = dir / L"m.zip";
    ASSERT_TRUE(CopyFileW(fx(L"members.zip").c_str(), copy.c_str(), FALSE));
    std::vector<uint8_t> before, after;
    ASSERT_TRUE(rez::read_file(copy, before));
    ASSERT_TRUE(open_and_wait(copy));
    ASSERT_TRUE(rezui::app.archive_loaded);
    w.command(2002);  // save
    EXPECT_FALSE(rezui::app.busy);
    h4test::pump(300);
    ASSERT_TRUE(rez::read_file(copy, after));
    EXPECT_EQ(before, after);
    EXPECT_NE(h4test::log_text().find(L"尚未提供"), std::wstring::npos);
}

TEST(MainWindowFlow, SelfTestPassesLogsAndTakesTheWindowDown) {
    h4test::MainWindow w;
    PrivateTemp temp;
    const std::wstring log = rezui::selftest_log_path();
    ASSERT_EQ(log, temp.dir / L"qvl_selftest.log");
    EXPECT_TRUE(rezui::run_selftest(fx(L"selftest\\engine.rez")));
    EXPECT_FALSE(IsWindow(w.hwnd()));
    EXPECT_TRUE(h4test::boxes.empty());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(rez::read_file(log, bytes));
    std::string text(bytes.begin(), bytes.end());
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
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(rez::read_file(log, bytes));
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("FAIL: has_rez=false\r\n"), std::string::npos);
    EXPECT_NE(text.find("message: ["), std::string::npos);
    EXPECT_NE(text.find("SELFTEST FAIL\r\n"), std::string::npos);
    EXPECT_EQ(rezui::ui_seams.message_box, &h4test::scripted_box);  // the seam is given back
}

}  // namespace
