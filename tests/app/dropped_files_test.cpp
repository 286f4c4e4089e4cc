// Files dropped on the main window (a real WM_DROPFILES with a drop block made here) and
// the verbs a second start hands over (a real WM_COPYDATA): what each drop means, the pack
// drop's archive name and staging folder, and refusals while a job runs.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/browser/browser.h"
#include "app/command_line.h"
#include "app/main_window/messages.h"
#include "app/main_window/task_ui.h"
#include "app/operations/dropped_files.h"
#include "app/operations/handover_queue.h"
#include "app/operations/open_archive.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "test_support.h"

namespace {

using rezui::app;

using qvltest::path_exists;

// What Explorer hands a window that accepts files: a DROPFILES block with the drop point in
// the window's client coordinates.
void drop(HWND window, const std::vector<std::wstring>& paths, POINT client_point) {
    size_t bytes = sizeof(DROPFILES) + sizeof(wchar_t);
    for (const std::wstring& p : paths) bytes += (p.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    ASSERT_NE(block, nullptr);
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->pt = client_point;
    header->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& p : paths) {
        std::memcpy(text, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
        text += p.size() + 1;
    }
    GlobalUnlock(block);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

POINT middle_of(HWND window, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(window, &p);
    return p;
}

// The main window with a REZ archive (readme.txt at its root) open, and a folder of things
// to drop: pics\p.png, notes.txt, more.txt, folder2\q.txt.
class Drops : public ::testing::Test {
protected:
    h4test::MainWindow w;
    qvltest::ScratchDir dir{L"drops"};
    std::wstring archive = dir / L"open.rez";
    std::wstring pics = dir / L"pics";
    std::wstring folder2 = dir / L"folder2";
    std::wstring notes = dir / L"notes.txt";
    std::wstring more = dir / L"more.txt";

    void SetUp() override {
        CreateDirectoryW(pics.c_str(), nullptr);
        CreateDirectoryW(folder2.c_str(), nullptr);
        EXPECT_TRUE(qvltest::write_text(pics + L"\\p.png", "png"));
        EXPECT_TRUE(qvltest::write_text(folder2 + L"\\q.txt", "q"));
        EXPECT_TRUE(qvltest::write_text(notes, "notes"));
        EXPECT_TRUE(qvltest::write_text(more, "more"));
        EXPECT_TRUE(qvltest::write_text(dir / L"readme.txt", "readme"));
        rez::RezFile model(archive);
        std::string out;
        ASSERT_TRUE(model.add_file("", dir / L"readme.txt", out));
        std::wstring err;
        ASSERT_TRUE(model.save(archive, err));
    }
    void open_archive() {
        rezui::open_file(archive);
        ASSERT_TRUE(h4test::wait_idle());
        ASSERT_TRUE(app.archive_loaded);
        ASSERT_FALSE(app.fs_mode);
    }
    POINT on_list() const { return middle_of(w.hwnd(), app.list_view); }
    POINT off_list() const { return middle_of(w.hwnd(), app.status_bar); }
    bool in_archive(const std::string& path) const { return app.archive.find_entry_const(path) != nullptr; }
};

TEST_F(Drops, AnArchiveFirstIsOpenedAndTheRestIgnored) {
    const std::wstring zip = dir / L"X.ZIP";
    ASSERT_TRUE(CopyFileW(qvltest::fixture(L"app\\members.zip").c_str(), zip.c_str(), FALSE));
    drop(w.hwnd(), {zip, notes, pics}, on_list());
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_EQ(app.archive.path, zip);
    EXPECT_FALSE(path_exists(zip + L".rez"));
    EXPECT_FALSE(path_exists(notes + L".rez"));
}

TEST_F(Drops, AFolderOnTheListIsAddedAnywhereElseItIsPackedBesideItself) {
    open_archive();
    drop(w.hwnd(), {pics}, on_list());
    ASSERT_TRUE(h4test::wait_idle());  // the add is autosaved on a worker
    EXPECT_TRUE(in_archive("pics\\p.png"));
    EXPECT_FALSE(path_exists(pics + L".rez"));

    drop(w.hwnd(), {pics}, off_list());
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(h4test::log_has(L"打包完成: " + pics + L".rez"));
    EXPECT_EQ(app.archive.path, pics + L".rez");  // the new archive is opened
    EXPECT_TRUE(in_archive("pics\\p.png"));
}

TEST_F(Drops, InTheTreeViewTheHiddenListTakesNoDrop) {
    open_archive();
    w.command(IDM_VIEW_TREE);  // the tree now covers the list's place
    drop(w.hwnd(), {pics}, on_list());
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(h4test::log_has(L"打包完成: " + pics + L".rez"));
    EXPECT_EQ(app.archive.path, pics + L".rez");
}

TEST_F(Drops, APackDropNeverReplacesAnArchiveAndPacksOnlyWhatWasDropped) {
    const std::string users = "an archive of the user's";
    EXPECT_TRUE(qvltest::write_text(pics + L".rez", users));
    // Left over from an earlier run whose process had the same id.
    const std::wstring staging = rezui::packdrop_folder_path();
    rez::create_directories(staging);
    EXPECT_TRUE(qvltest::write_text(staging + L"\\stale.txt", "stale"));

    drop(w.hwnd(), {pics, notes}, off_list());
    ASSERT_TRUE(h4test::wait_idle());
    const std::wstring packed = pics + L" (1).rez";
    EXPECT_TRUE(h4test::log_has(L"打包完成: " + packed));
    EXPECT_EQ(qvltest::bytes_of(pics + L".rez"), std::vector<uint8_t>(users.begin(), users.end()));
    ASSERT_EQ(app.archive.path, packed);
    EXPECT_TRUE(in_archive("pics\\p.png"));
    EXPECT_TRUE(in_archive("notes.txt"));
    EXPECT_FALSE(in_archive("stale.txt"));
    EXPECT_EQ(app.archive.root.children.size(), 2u);
    EXPECT_FALSE(path_exists(staging));
    EXPECT_EQ(rezui::free_pack_name(pics), pics + L" (2).rez");
}

TEST_F(Drops, TheFirstItemDecidesWhatIsAddedToTheOpenArchive) {
    open_archive();
    drop(w.hwnd(), {folder2, notes}, on_list());  // folder first: folders only
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(in_archive("folder2\\q.txt"));
    EXPECT_FALSE(in_archive("notes.txt"));

    drop(w.hwnd(), {more, pics, dir / L"missing.txt"}, on_list());  // file first: everything there is
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(in_archive("more.txt"));
    EXPECT_TRUE(in_archive("pics\\p.png"));
    EXPECT_TRUE(h4test::log_has(L"拖入添加目录：" + pics));
    EXPECT_TRUE(h4test::log_has(L"拖入添加："));
    EXPECT_FALSE(in_archive("missing.txt"));
}

TEST_F(Drops, DropsThatTouchArchivesAreRefusedVisiblyWhileAJobRuns) {
    open_archive();
    const size_t before = app.archive.root.children.size();
    app.busy = true;
    drop(w.hwnd(), {notes}, on_list());
    EXPECT_EQ(app.archive.root.children.size(), before);
    EXPECT_TRUE(h4test::log_has(L"拖放添加：正在执行其他任务，已拒绝"));
    drop(w.hwnd(), {notes}, off_list());
    EXPECT_TRUE(h4test::log_has(L"拖放打包：正在执行其他任务，已拒绝"));
    drop(w.hwnd(), {dir / L"open.rez"}, on_list());
    EXPECT_TRUE(h4test::log_has(L"拖放打开：正在执行其他任务，已拒绝"));
    EXPECT_NE(h4test::status_part(0).find(L"已拒绝"), std::wstring::npos);
    h4test::pump(200);
    EXPECT_FALSE(path_exists(notes + L".rez"));
    EXPECT_TRUE(app.busy);
    app.busy = false;
}

TEST_F(Drops, OnAFolderListFilesAndFoldersAreCopiedIntoIt) {
    const std::wstring shown = dir / L"shown";
    CreateDirectoryW(shown.c_str(), nullptr);
    EXPECT_TRUE(qvltest::write_text(shown + L"\\notes.txt", "old"));
    rezui::open_local_folder(shown);
    ASSERT_TRUE(app.fs_mode);
    drop(w.hwnd(), {notes, pics}, on_list());  // file first: files only
    EXPECT_EQ(qvltest::bytes_of(shown + L"\\notes.txt"), qvltest::bytes_of(notes));
    EXPECT_FALSE(path_exists(shown + L"\\pics"));
    drop(w.hwnd(), {folder2, more}, on_list());  // folder first: folders only
    EXPECT_TRUE(path_exists(shown + L"\\folder2\\q.txt"));
    EXPECT_FALSE(path_exists(shown + L"\\more.txt"));
    EXPECT_TRUE(h4test::select_first_row_named(L"folder2"));  // the list was refreshed
}

// ---- hand-over verbs --------------------------------------------------------------------

// A hand-over that arrives while a job owns the archive waits, says so, and runs (in
// arrival order) once the job has ended: nothing handed over is dropped.
TEST_F(Drops, HandOversWhileAJobRunsWaitVisiblyAndRunAfterIt) {
    const std::vector<uint8_t> before = qvltest::bytes_of(archive);
    app.busy = true;
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_ADD_TO_REZ, archive + L"\n" + notes);
    EXPECT_TRUE(h4test::log_has(L"添加到资源包：正在执行其他任务，已排队"));
    EXPECT_NE(h4test::status_part(0).find(L"已排队"), std::wstring::npos);
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_OPEN, archive);
    EXPECT_TRUE(h4test::log_has(L"打开：正在执行其他任务，已排队"));
    h4test::pump(300);
    EXPECT_EQ(qvltest::bytes_of(archive), before);
    EXPECT_FALSE(app.archive_loaded);
    rezui::end_busy();
    ASSERT_TRUE(h4test::pump_until([] { return h4test::log_has(L"拖放加入完成"); })) << rez::to_utf8(h4test::log_text());
    ASSERT_TRUE(h4test::pump_until([] { return !rezui::hand_over_waiting() && !app.busy; }));
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_EQ(app.archive.path, archive);
    EXPECT_TRUE(in_archive("notes.txt"));
}

TEST_F(Drops, AddToRezAddsWhatItCanAndCountsTheRest) {
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_ADD_TO_REZ,
                  archive + L"\n" + notes + L"\n" + dir / L"missing.txt" + L"\n" + pics);
    ASSERT_TRUE(h4test::pump_until([this] { return h4test::log_has(L"拖放加入完成"); })) << rez::to_utf8(h4test::log_text());
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(h4test::log_has(L"拖放加入完成: " + archive + L"（加入 2，跳过 1）"));
    EXPECT_EQ(app.archive.path, archive);
    EXPECT_TRUE(in_archive("readme.txt"));
    EXPECT_TRUE(in_archive("notes.txt"));
    EXPECT_TRUE(in_archive("pics\\p.png"));

    // Another kind of archive is opened, and nothing is added to it.
    const std::wstring zip = dir / L"m.zip";
    ASSERT_TRUE(CopyFileW(qvltest::fixture(L"app\\members.zip").c_str(), zip.c_str(), FALSE));
    const std::vector<uint8_t> zip_before = qvltest::bytes_of(zip);
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_ADD_TO_REZ, zip + L"\n" + notes);
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_EQ(app.archive.path, zip);
    EXPECT_EQ(qvltest::bytes_of(zip), zip_before);
}

TEST_F(Drops, ConversionsAreQueuedOnceWithinTheBatchTime) {
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_CONVERT, archive);
    const UINT_PTR timer = app.batch_timer;
    ASSERT_NE(timer, 0u);
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_CONVERT, dir / L"b.zip");
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_CONVERT, archive);
    EXPECT_EQ(app.pending_convert, (std::vector<std::wstring>{archive, dir / L"b.zip"}));
    EXPECT_EQ(app.batch_timer, timer);
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_CONVERT, notes);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"不被支持的压缩包格式");
    EXPECT_EQ(h4test::boxes[0].caption, L"格式不支持");
    EXPECT_EQ(app.pending_convert.size(), 2u);
    ASSERT_TRUE(h4test::pump_until([] { return app.pending_convert.empty(); }, 3000));
    EXPECT_EQ(app.batch_timer, 0u);
}

TEST_F(Drops, ExtractHereChecksTheNameAndIgnoresAStaleCancel) {
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_EXTRACT_HERE, dir / L".rez");
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_EXTRACT_HERE, dir / L"noext");
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_EXTRACT_HERE, dir / L"m.zip");
    ASSERT_EQ(h4test::boxes.size(), 3u);
    EXPECT_EQ(h4test::boxes[0].text, L"无法确定目标目录名");
    EXPECT_EQ(h4test::boxes[0].caption, L"解压失败");
    EXPECT_EQ(h4test::boxes[1].text, L"该文件未被支持！");
    EXPECT_EQ(h4test::boxes[2].text, L"该文件未被支持！");
    EXPECT_EQ(h4test::boxes[2].caption, L"格式不支持");

    app.cancel = true;  // left by an earlier cancelled job
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_EXTRACT_HERE, archive);
    EXPECT_NE(h4test::status_part(0), L"已取消解压");
    EXPECT_FALSE(app.cancel.load());

    app.busy = true;
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_EXTRACT_HERE, archive);
    EXPECT_TRUE(h4test::log_has(L"解压到此处：正在执行其他任务，已拒绝"));
    app.busy = false;
}

}  // namespace
