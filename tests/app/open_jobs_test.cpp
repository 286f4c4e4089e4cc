// Opening archives and the REZ jobs end to end on a stand-in main window that receives the
// workers' messages: REZ, ZIP and 7z listings, the 7z password request, the busy guard,
// save of a ZIP model, extract-all, and the entry preview of text, table and picture.
#include <gtest/gtest.h>

#include <string>

#include "app/browser/local_view.h"
#include "app/operations/rez_jobs.h"
#include "app/main_window/task_ui.h"
#include "archive/password.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "browser_test_window.h"
#include "test_support.h"

namespace {

using h5test::BrowserWindow;
using h5test::last_result;
using h5test::wait_for_result;

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"app\\" + name); }

// Installs a finished open the way the main window does.
void install(rezui::TaskResult& r) {
    ASSERT_TRUE(r.archive);
    rezui::app.archive = std::move(*r.archive);
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::app.current_folder.clear();
    rezui::refresh_list();
}

// Opens an archive on the worker and installs it.
void open_installed(const std::wstring& path) {
    last_result.reset();
    rezui::open_file(path);
    ASSERT_TRUE(wait_for_result());
    install(*last_result);
    last_result.reset();
}

TEST(OpenJobs, RezOpensOnAWorkerAndBusyRefusesASecondOpen) {
    BrowserWindow w;
    rezui::open_file(fx(L"selftest\\engine.rez"));
    EXPECT_TRUE(rezui::app.busy);
    rezui::open_file(fx(L"nobutes\\engine.rez"));  // refused: busy
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    EXPECT_EQ(last_result->kind, rezui::TASK_OPENED);
    EXPECT_EQ(last_result->path, fx(L"selftest\\engine.rez"));
    ASSERT_NE(last_result->archive->find_entry("REZ\\BUTES\\A.txt"), nullptr);
    MSG msg;
    Sleep(100);
    EXPECT_FALSE(PeekMessageW(&msg, w.parent(), rezui::WM_TASK_RESULT, rezui::WM_TASK_RESULT, PM_NOREMOVE));
}

TEST(OpenJobs, OpenRefusedWhileAnotherOpenRuns) {
    BrowserWindow w;
    rezui::task_running.store(true);
    rezui::open_file(fx(L"selftest\\engine.rez"));
    rezui::open_file(fx(L"members.zip"));
    EXPECT_FALSE(rezui::app.busy);
    rezui::task_running.store(false);
}

TEST(OpenJobs, CancelDuringTheDirectoryLoadFailsTheOpen) {
    BrowserWindow w;
    rezui::open_file(fx(L"many\\engine.rez"));
    // Loading 3000 folders outlasts this call by far: the worker sees the request.
    rezui::app.cancel.store(true);
    ASSERT_TRUE(wait_for_result());
    EXPECT_FALSE(last_result->ok);
    EXPECT_EQ(last_result->kind, rezui::TASK_OPENED);
    EXPECT_EQ(last_result->error, L"操作已取消");
    EXPECT_FALSE(last_result->archive);
    rezui::app.cancel.store(false);

    // Without a cancel the same archive opens with every folder loaded.
    last_result.reset();
    rezui::open_file(fx(L"many\\engine.rez"));
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    EXPECT_EQ(last_result->archive->stats().files, 3000u);
    EXPECT_GT(h5test::progress_messages, 0);
}

TEST(OpenJobs, MissingRezReportsTheReadersError) {
    BrowserWindow w;
    rezui::open_file(fx(L"no such.rez"));
    ASSERT_TRUE(wait_for_result());
    EXPECT_FALSE(last_result->ok);
    EXPECT_FALSE(last_result->error.empty());
    EXPECT_FALSE(last_result->archive);
}

TEST(OpenJobs, ZipListingBecomesTheBrowsingModel) {
    BrowserWindow w;
    rezui::app.uppercase_zip = true;
    rezui::open_file(fx(L"members.ZIP"));  // the extension is compared without case
    ASSERT_TRUE(wait_for_result());
    rezui::app.uppercase_zip = false;
    ASSERT_TRUE(last_result->ok) << last_result->error;
    rez::RezFile& m = *last_result->archive;
    EXPECT_EQ(m.comment, L"zip comment");
    EXPECT_EQ(m.user_title, "Archive: members.ZIP");
    const rez::Entry* c = m.find_entry("A\\B\\c.TXT");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->name, "c");
    EXPECT_EQ(c->ext, "TXT");
    EXPECT_EQ(c->id, 10000003u);
    ASSERT_TRUE(c->member);
    EXPECT_EQ(c->member->member_name, "a/b/c.txt");
    const rez::Entry* dir = m.find_entry("DIR");
    ASSERT_NE(dir, nullptr);
    EXPECT_TRUE(dir->is_dir);
    const rez::Entry* data = m.find_entry("DATA");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->children.size(), 2u);  // Data/x and DATA/y share one folder
}

// An empty 7z folder shows as a folder, as in a ZIP, so that it is seen and kept.
TEST(OpenJobs, SevenZipFolderMembersShowEvenWhenEmpty) {
    BrowserWindow w;
    rez::set_current_password(L"");
    rezui::open_file(fx(L"members.7z"));
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    rez::RezFile& m = *last_result->archive;
    const rez::Entry* dir = m.find_entry("dir");
    ASSERT_NE(dir, nullptr);
    EXPECT_TRUE(dir->is_dir);
    EXPECT_TRUE(dir->children.empty());
    ASSERT_NE(m.find_entry("a\\b\\c.txt"), nullptr);
    EXPECT_FALSE(m.find_entry("a\\b\\c.txt")->member->is_zip);
    EXPECT_EQ(h5test::password_requests, 0);
}

TEST(OpenJobs, EncryptedHeaderAsksOnceCancelThenWrongThenRight) {
    BrowserWindow w;
    rez::set_current_password(L"");
    h5test::password_cancels = true;
    rezui::open_file(fx(L"locked.7z"));
    ASSERT_TRUE(wait_for_result());
    EXPECT_FALSE(last_result->ok);
    EXPECT_EQ(last_result->error, L"已取消打开（需要密码）");
    EXPECT_EQ(h5test::password_requests, 1);

    last_result.reset();
    h5test::password_cancels = false;
    h5test::password_answer = L"wrong";
    rezui::open_file(fx(L"locked.7z"));
    ASSERT_TRUE(wait_for_result());
    EXPECT_FALSE(last_result->ok);
    EXPECT_EQ(last_result->error, L"密码错误，无法打开该 7z 归档。");
    EXPECT_EQ(rez::get_current_password(), L"");

    last_result.reset();
    h5test::password_answer = L"pw";
    rezui::open_file(fx(L"locked.7z"));
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    EXPECT_TRUE(rezui::archive_unlocked);
    EXPECT_NE(last_result->archive->find_entry("a\\b\\c.txt"), nullptr);
    rez::set_current_password(L"");
}

// A damaged 7z is not taken for an encrypted one: with no password held or with one held,
// no password is asked for, the reader's own message about the damage is the result, and the
// held password is kept. The extraction password check calls it damage too.
TEST(OpenJobs, DamagedSevenZipIsReportedAsDamageWithoutAPasswordQuestion) {
    BrowserWindow w;
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"random.7z", L"7z 起始头 CRC 校验失败"},
        {L"truncated.7z", L"7z 下一头超出文件范围"},
        {L"flipped_header.7z", L"7z 下一头 CRC 校验失败"},
        {L"flipped_packed_header.7z", L"7z 编码头解压失败（文件已损坏）"},
    };
    for (const wchar_t* held : {L"", L"pw"}) {
        for (const auto& [name, message] : cases) {
            const std::wstring path = fx(std::wstring(L"damaged7z\\") + name);
            SCOPED_TRACE(rez::to_utf8(path) + " held '" + rez::to_utf8(held) + "'");
            rez::set_current_password(held);
            h5test::password_requests = 0;
            last_result.reset();
            rezui::open_file(path);
            ASSERT_TRUE(wait_for_result());
            EXPECT_FALSE(last_result->ok);
            EXPECT_EQ(last_result->error, message);
            EXPECT_EQ(h5test::password_requests, 0);
            EXPECT_EQ(rez::get_current_password(), held);

            std::wstring err;
            uint32_t reason = 0;
            EXPECT_FALSE(rezui::verify_archive_password(path, err, &reason));
            EXPECT_EQ(err, message);
            EXPECT_EQ(reason, 2u);
        }
    }
    rez::set_current_password(L"");
}

// Data encrypted under a readable file list: the archive opens without a question and its
// encrypted members are marked.
TEST(OpenJobs, SevenZipWithOnlyItsDataEncryptedOpensWithoutAPassword) {
    BrowserWindow w;
    rez::set_current_password(L"");
    rezui::open_file(fx(L"data_locked.7z"));
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    EXPECT_EQ(h5test::password_requests, 0);
    const rez::Entry* c = last_result->archive->find_entry("a\\b\\c.txt");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->encrypted);
}

TEST(OpenJobs, PasswordCheckReadsTheSmallestEncryptedMember) {
    rez::set_current_password(L"");
    std::wstring err;
    uint32_t reason = 9;
    EXPECT_TRUE(rezui::verify_archive_password(fx(L"members.zip"), err, &reason));
    EXPECT_EQ(reason, 0u);
    EXPECT_FALSE(rezui::verify_archive_password(fx(L"locked.zip"), err, &reason));
    EXPECT_EQ(reason, 1u);
    rez::set_current_password(L"pw");
    EXPECT_TRUE(rezui::verify_archive_password(fx(L"locked.zip"), err, &reason)) << err;
    rez::set_current_password(L"");
    err.clear();
    EXPECT_FALSE(rezui::verify_archive_password(fx(L"locked.7z"), err, &reason));
    EXPECT_EQ(err, L"该 7z 归档已加密，需要正确密码才能读取。");
    EXPECT_EQ(reason, 1u);
    EXPECT_TRUE(rezui::verify_archive_password(fx(L"selftest\\engine.rez"), err, nullptr));
}

TEST(OpenJobs, UnknownExtensionGoesTheRezWay) {
    BrowserWindow w;
    rezui::open_file(fx(L"members.zip.dat"));
    ASSERT_TRUE(wait_for_result());
    EXPECT_FALSE(last_result->ok);
    EXPECT_NE(last_result->error, L"不支持的归档格式");
}

TEST(RezJobs, SaveOnZipWritesTheModelWithTheZipWriterNotTheRezOne) {
    BrowserWindow w;
    qvltest::ScratchDir dir(L"h5save");
    const std::wstring copy = dir / L"m.zip";
    ASSERT_TRUE(CopyFileW(fx(L"members.zip").c_str(), copy.c_str(), FALSE));
    ASSERT_NO_FATAL_FAILURE(open_installed(copy));
    rezui::save_archive();
    EXPECT_TRUE(rezui::app.busy);
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    EXPECT_EQ(last_result->kind, rezui::TASK_SAVED);
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::zip_list_entries(copy, entries, comment, err)) << err;
    EXPECT_EQ(comment, L"zip comment");
    std::vector<uint8_t> data;
    bool found = false;
    for (const rez::ZipEntry& e : entries)
        if (e.name == "a/b/c.txt") found = rez::zip_extract_entry(copy, e, data, err);
    ASSERT_TRUE(found) << err;
    EXPECT_EQ(std::string(data.begin(), data.end()), "c text");
}

TEST(RezJobs, SaveAsNewArchiveCancelledStartsNothing) {
    BrowserWindow w;
    rezui::app.archive = rez::RezFile();
    rezui::app.archive_loaded = true;
    std::wstring proposed;
    rezui::ui_seams.pick_save_file = [](HWND, const wchar_t*, const wchar_t*, const std::wstring& name) {
        h5test::last_box_text = name;
        return std::wstring();
    };
    rezui::save_archive();
    EXPECT_EQ(h5test::last_box_text, L"new.rez");
    EXPECT_FALSE(rezui::app.busy);
}

TEST(RezJobs, SaveAndExtractAllOfAnOpenRez) {
    BrowserWindow w;
    qvltest::ScratchDir dir(L"h5jobs");
    ASSERT_NO_FATAL_FAILURE(open_installed(fx(L"selftest\\engine.rez")));

    static std::wstring target;
    target = dir / L"out";
    rezui::ui_seams.pick_folder = [](HWND, const std::wstring&) { return target; };
    rezui::extract_all();
    EXPECT_TRUE(rezui::app.busy);
    rezui::save_archive();  // refused while the extraction runs
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    EXPECT_EQ(last_result->kind, rezui::TASK_EXTRACTED);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(rez::read_file(target + L"\\REZ\\BUTES\\A.txt", bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello butes\r\n");

    last_result.reset();
    rezui::start_save(dir / L"saved.rez");
    ASSERT_TRUE(wait_for_result());
    ASSERT_TRUE(last_result->ok) << last_result->error;
    EXPECT_EQ(last_result->kind, rezui::TASK_SAVED);
    rez::RezFile reread;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(dir / L"saved.rez", reread, err)) << err;
    ASSERT_TRUE(reread.load_all_directories(err)) << err;
    EXPECT_NE(reread.find_entry("REZ\\BUTES\\A.txt"), nullptr);
}

TEST(RezJobs, CancelledExtractionReportsCancel) {
    BrowserWindow w;
    qvltest::ScratchDir dir(L"h5cancel");
    ASSERT_NO_FATAL_FAILURE(open_installed(fx(L"selftest\\engine.rez")));
    // The worker body run here with the cancel request already made.
    rezui::app.cancel.store(true);
    rezui::extract_all_worker(dir / L"out");
    rezui::app.cancel.store(false);
    ASSERT_TRUE(wait_for_result());
    EXPECT_FALSE(last_result->ok);
    EXPECT_EQ(last_result->kind, rezui::TASK_EXTRACTED);
    EXPECT_EQ(last_result->error, L"操作已取消");
}

TEST(Preview, TableTextAndPictureFromARez) {
    BrowserWindow w;
    ASSERT_NO_FATAL_FAILURE(open_installed(fx(L"preview\\engine.rez")));

    rezui::preview_entry("T.csv");
    EXPECT_TRUE(rezui::preview_is_table);
    HWND table = rezui::app.preview_table;
    HWND header = reinterpret_cast<HWND>(SendMessageW(table, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);  // the blank column is dropped
    ASSERT_EQ(SendMessageW(table, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(h5test::item_text(1, 0, table), L"a,b");
    EXPECT_EQ(h5test::item_text(1, 1, table), L"say \"hi\"");
    EXPECT_EQ(SendMessageW(rezui::app.preview_tabs, TCM_GETCURSEL, 0, 0), 1);

    rezui::preview_entry("M.txt");
    EXPECT_FALSE(rezui::preview_is_table);
    EXPECT_FALSE(rezui::preview_is_image);
    std::wstring text = rezui::get_window_text(rezui::app.preview_edit);
    EXPECT_NE(text.find(L"one\r\ntwo\r\nthree\r\nfour"), std::wstring::npos) << text;
    EXPECT_TRUE(IsWindowVisible(rezui::app.preview_edit) || !IsWindowVisible(w.parent()));

    rezui::preview_entry("P.tga");
    EXPECT_TRUE(rezui::preview_is_image);
    ASSERT_NE(rezui::preview_bitmap, nullptr);
    BITMAP bm{};
    GetObjectW(rezui::preview_bitmap, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 2);
    EXPECT_EQ(bm.bmHeight, 1);

    // The list's texture row got a thumbnail of its own (not the extension icon).
    rezui::refresh_list();
    EXPECT_EQ(rezui::thumb_cache.count(L"P.tga"), 1u);
}

}  // namespace

namespace {

TEST(OpenJobs, ZipMemberPreviewReadsThroughTheModel) {
    h5test::BrowserWindow w;
    ASSERT_NO_FATAL_FAILURE(open_installed(fx(L"members.zip")));
    rezui::preview_entry("a\\b\\c.txt");
    EXPECT_EQ(h5test::last_box_text, L"");
    EXPECT_TRUE(rezui::app.comment_panel_visible);
    EXPECT_NE(rezui::get_window_text(rezui::app.preview_edit).find(L"c text"), std::wstring::npos);
    // Folders of a ZIP model are complete in memory: navigation never reads the file as REZ.
    rezui::navigate_vdir(L"a\\b");
    EXPECT_EQ(h5test::last_box_text, L"");
    EXPECT_EQ(rezui::app.current_folder, L"a\\b");
    EXPECT_EQ(h5test::item_count(), 2);
    EXPECT_EQ(h5test::item_text(1), L"c.txt");
    rezui::go_up();
    rezui::go_up();
    EXPECT_EQ(rezui::app.current_folder, L"");
    EXPECT_EQ(h5test::status_part(0).substr(0, 19), L"ZIP 压缩包：members.zip");
}

}  // namespace
