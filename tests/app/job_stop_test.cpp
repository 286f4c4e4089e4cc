// The main window's Stop during a job of many small files, clicked with the mouse: it is
// answered at once, however fast the job reports, and the job writes no file after it.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common/window_helpers.h"
#include "archive/sevenzip_writer.h"
#include "archive/util.h"
#include "archive/zip_writer.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "stop_clicks.h"
#include "test_support.h"

namespace {

constexpr int kFiles = 20000;

// An archive of kFiles one-byte members, written by the program's own ZIP or 7z writer.
std::wstring many_member_archive(const qvltest::ScratchDir& dir, const std::string& ext) {
    std::vector<rez::ArchiveItem> items;
    for (int i = 0; i < kFiles; ++i) items.push_back({"f" + std::to_string(100000 + i) + ".txt", {'x'}});
    const std::wstring path = dir / (L"many." + rez::from_utf8(ext));
    std::wstring err;
    const bool made = ext == "zip" ? rez::zip_create(path, items, L"", err) : rez::sevenzip_create(path, items, L"", err);
    EXPECT_TRUE(made) << rez::to_utf8(err);
    return path;
}

// The files decoded ahead of the writer (and the decoder waiting for room behind them) are
// let go at the stop, not written.
TEST(MainWindowStop, StopClicksEndAnExtractionOfManyFilesBeforeItsNextFile) {
    for (const std::string ext : {"zip", "7z"}) {
        SCOPED_TRACE(ext);
        qvltest::ScratchDir dir(L"stop_many_" + rez::from_utf8(ext));
        const std::wstring archive = many_member_archive(dir, ext), out = dir / L"out";
        h4test::MainWindow w;
        ShowWindow(w.hwnd(), SW_SHOWNORMAL);
        SetWindowPos(w.hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        rezui::raise_window(w.hwnd());
        ASSERT_TRUE(h4test::open_and_wait(archive));
        stopclick::Answer answer(w.hwnd(), IDM_STOP, out);
        h4test::folder_answers = {out};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(rezui::app.busy);
        stopclick::ClickWhen clicker([out] { return stopclick::file_count(out) >= 300; },
                                     [] { return rezui::app.cancel_button; });
        ASSERT_TRUE(h4test::wait_idle());
        clicker.join();
        const ULONGLONG clicked = clicker.clicked_at.load(), answered = stopclick::Answer::at.load();
        const long long files_then = stopclick::Answer::files.load();
        const size_t files_now = stopclick::file_count(out);
        ASSERT_NE(clicked, 0u) << "the click did not go in";
        ASSERT_NE(answered, 0u) << "the click was never handled";
        EXPECT_LT(answered - clicked, 3000u) << "the click waited for the job";
        EXPECT_LT(files_now, static_cast<size_t>(kFiles));
        EXPECT_LE(static_cast<long long>(files_now), files_then + 1) << "files written after the answer";
    }
}

}  // namespace
