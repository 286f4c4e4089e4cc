// The comment editor driven as a user drives it: the real dialog opened by the command,
// text typed into it and its buttons clicked. A REZ comment goes to the model and the
// autosave; a ZIP or 7z comment into the file, replaced whole or not at all.
#include <gtest/gtest.h>

#include <vector>

#include "app/operations/open_archive.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"app\\" + name); }

using qvltest::bytes_of;

using h4test::open_and_wait;

// Types the comment and clicks OK; records what the dialog showed first.
dlgtest::Script type_and_accept(const std::wstring& comment, std::wstring* shown = nullptr) {
    return [comment, shown](HWND d) {
        if (shown) *shown = dlgtest::text_of(d, IDC_COMMENT_EDIT);
        dlgtest::type_into(d, IDC_COMMENT_EDIT, comment);
        dlgtest::click(d, IDOK);
    };
}

std::wstring zip_comment(const std::wstring& path) {
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    EXPECT_TRUE(rez::zip_list_entries(path, entries, comment, err)) << rez::to_utf8(err);
    return comment;
}

// Names in a folder other than the ones given: leftovers of a rewrite.
std::vector<std::wstring> other_files(const qvltest::ScratchDir& dir, const std::vector<std::wstring>& known) {
    std::vector<std::wstring> out;
    for (const std::wstring& n : qvltest::folder_names(dir.path()))
        if (std::find(known.begin(), known.end(), n) == known.end()) out.push_back(n);
    return out;
}

}  // namespace

TEST(CommentEditor, WithoutAnArchiveAsksForOneAndOpensNoDialog) {
    h4test::MainWindow w;
    dlgtest::drive({});
    w.command(IDM_COMMENT);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"请先打开资源包");
    EXPECT_EQ(h4test::boxes[0].caption, L"提示");
    EXPECT_TRUE(dlgtest::opened.empty());
}

TEST(CommentEditor, RezCommentGoesToTheModelAndTheAutosave) {
    qvltest::ScratchDir dir(L"commented");
    const std::wstring path = dir / L"c.rez";
    {
        rez::RezFile archive(path);
        archive.comment = L"旧注释";
        std::wstring err;
        ASSERT_TRUE(archive.save(path, err));
    }
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(path));

    // Cancel keeps everything.
    dlgtest::drive({[](HWND d) {
        dlgtest::type_into(d, IDC_COMMENT_EDIT, L"不要");
        dlgtest::click(d, IDCANCEL);
    }});
    w.command(IDM_COMMENT);
    ASSERT_EQ(dlgtest::opened, std::vector<int>{IDD_COMMENT});
    EXPECT_EQ(rezui::app.archive.comment, L"旧注释");
    EXPECT_EQ(h4test::log_text().find(L"已更新文件注释"), std::wstring::npos);

    // Five characters typed and accepted.
    std::wstring shown;
    dlgtest::drive({type_and_accept(L"五个汉字呀", &shown)});
    w.command(IDM_COMMENT);
    EXPECT_EQ(shown, L"旧注释");
    EXPECT_EQ(rezui::app.archive.comment, L"五个汉字呀");
    const std::wstring log = h4test::log_text();
    EXPECT_NE(log.find(L"已更新文件注释（5 字符）"), std::wstring::npos);
    EXPECT_NE(log.find(L"自动保存"), std::wstring::npos);  // the REZ file follows through the autosave
    EXPECT_EQ(rezui::get_window_text(rezui::app.comment_box), L"五个汉字呀");
    h4test::pump_until([] { return !rezui::app.busy; });
    EXPECT_TRUE(h4test::boxes.empty());
}

TEST(CommentEditor, ZipCommentIsWrittenIntoTheFileWhateverTheCaseOfItsExtension) {
    qvltest::ScratchDir dir(L"commented");
    const std::wstring path = dir / L"M.ZIP";
    ASSERT_TRUE(CopyFileW(fx(L"members.zip").c_str(), path.c_str(), FALSE));
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(path));
    std::wstring shown;
    dlgtest::drive({type_and_accept(L"新的注释", &shown)});
    h4test::select_none();
    h4test::menu_answer = IDM_COMMENT;  // "注释(&M)..." of the list's menu
    w.notify_list(NM_RCLICK);
    EXPECT_EQ(shown, L"zip comment");
    EXPECT_EQ(zip_comment(path), L"新的注释");
    EXPECT_NE(h4test::log_text().find(L"已将注释写入归档文件"), std::wstring::npos);
    EXPECT_TRUE(other_files(dir, {L"M.ZIP"}).empty());
}

TEST(CommentEditor, A7zCommentSetAndClearedLeavesTheOriginalBytes) {
    qvltest::ScratchDir dir(L"commented");
    const std::wstring path = dir / L"m.7z";
    ASSERT_TRUE(CopyFileW(fx(L"members.7z").c_str(), path.c_str(), FALSE));
    const std::vector<uint8_t> original = bytes_of(path);
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(path));

    dlgtest::drive({type_and_accept(L"七z 注释")});
    w.command(IDM_COMMENT);
    const std::vector<uint8_t> commented = bytes_of(path);
    EXPECT_EQ(rez::sevenzip_comment_of(commented), L"七z 注释");
    ASSERT_GT(commented.size(), original.size());
    EXPECT_TRUE(std::equal(original.begin(), original.end(), commented.begin()));

    dlgtest::drive({type_and_accept(L"")});
    w.command(IDM_COMMENT);
    EXPECT_EQ(bytes_of(path), original);
    EXPECT_NE(h4test::log_text().find(L"已更新文件注释（已清空）"), std::wstring::npos);
    EXPECT_TRUE(other_files(dir, {L"m.7z"}).empty());
}

TEST(CommentEditor, AFailedZipWriteLeavesTheArchiveAsItWasAndSaysSo) {
    qvltest::ScratchDir dir(L"commented");
    const std::wstring path = dir / L"m.zip";
    ASSERT_TRUE(CopyFileW(fx(L"members.zip").c_str(), path.c_str(), FALSE));
    const std::vector<uint8_t> original = bytes_of(path);
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(path));
    // The new archive cannot be written beside the old one: a folder holds its name.
    const std::wstring blocker =
        path + L".tmp_qvl_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetCurrentThreadId());
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));

    dlgtest::drive({type_and_accept(L"不会写入")});
    w.command(IDM_COMMENT);
    EXPECT_EQ(bytes_of(path), original);
    EXPECT_NE(h4test::log_text().find(L"警告：注释写入归档文件失败"), std::wstring::npos);
}

TEST(CommentEditor, OkWhileAJobRunsIsRefusedAndTheDialogStaysOpen) {
    qvltest::ScratchDir dir(L"commented");
    const std::wstring path = dir / L"m.7z";
    ASSERT_TRUE(CopyFileW(fx(L"members.7z").c_str(), path.c_str(), FALSE));
    const std::vector<uint8_t> original = bytes_of(path);
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(path));
    bool still_open = false;
    dlgtest::drive({[&](HWND d) {
        rezui::app.busy = true;  // a job started meanwhile (a second start's open)
        dlgtest::type_into(d, IDC_COMMENT_EDIT, L"等一下");
        dlgtest::click(d, IDOK);
        still_open = IsWindowVisible(d);
        rezui::app.busy = false;
        dlgtest::click(d, IDOK);
    }});
    w.command(IDM_COMMENT);
    EXPECT_TRUE(still_open);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, rezui::kBusyRefusalText);
    EXPECT_EQ(rez::sevenzip_comment_of(bytes_of(path)), L"等一下");
    EXPECT_NE(bytes_of(path), original);
}
