#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <thread>

#include "app/app_state.h"
#include "app/main_window/messages.h"
#include "app/main_window/task_ui.h"
#include "main_window_fixture.h"
#include "resources/resource.h"

namespace {

// A hidden window standing in for the main window: posted progress stays in its queue.
struct PostTarget {
    PostTarget() {
        window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        rezui::app.main_window = window;
        rezui::reset_progress_relay();
        drain();
    }
    ~PostTarget() {
        drain();
        rezui::app.main_window = nullptr;
        rezui::app.paused = false;
        rezui::app.cancel = false;
        DestroyWindow(window);
    }
    // Removes the queued progress messages and returns their percents.
    std::vector<int> drain() {
        std::vector<int> out;
        MSG msg;
        while (PeekMessageW(&msg, window, rezui::WM_TASK_PROGRESS, rezui::WM_TASK_PROGRESS, PM_REMOVE)) {
            out.push_back(static_cast<int>(msg.wParam));
            delete reinterpret_cast<std::wstring*>(msg.lParam);
            rezui::progress_received();
        }
        return out;
    }
    HWND window;
};

}  // namespace

TEST(TaskUi, ProgressRelayLimitsRepeatsButNeverTheEnd) {
    PostTarget t;
    EXPECT_TRUE(rezui::post_progress(100, L"a"));
    EXPECT_TRUE(rezui::post_progress(100, L"b"));
    EXPECT_EQ(t.drain(), (std::vector<int>{100, 100}));
    rezui::post_progress(40, L"a");
    rezui::post_progress(40, L"b");
    EXPECT_EQ(t.drain(), (std::vector<int>{40}));
    rezui::post_progress(41, L"c");  // a new percent passes once the last report was taken
    EXPECT_EQ(t.drain(), (std::vector<int>{41}));
    Sleep(80);
    rezui::post_progress(41, L"d");  // the same percent passes again after 50 ms
    EXPECT_EQ(t.drain(), (std::vector<int>{41}));
}

// However fast a job reports, one report at most waits in the queue: the others are let go
// until the window has taken it (the end always passes).
TEST(TaskUi, ProgressRelayKeepsOneReportWaiting) {
    PostTarget t;
    for (int i = 0; i < 100; ++i) rezui::post_progress(i, L"step");
    EXPECT_EQ(t.drain(), (std::vector<int>{0}));
    rezui::post_progress(50, L"step");
    rezui::post_progress(100, L"end");
    EXPECT_EQ(t.drain(), (std::vector<int>{50, 100}));
}

TEST(TaskUi, PausedRelayWaitsForResumeOrCancel) {
    PostTarget t;
    for (bool cancel : {false, true}) {
        rezui::app.paused = true;
        rezui::app.cancel = false;
        std::atomic<int> result{-1};
        std::thread worker([&] { result = rezui::post_progress(10, L"w") ? 1 : 0; });
        Sleep(150);
        EXPECT_EQ(result.load(), -1);  // still waiting
        if (cancel)
            rezui::app.cancel = true;
        else
            rezui::app.paused = false;
        worker.join();
        EXPECT_EQ(result.load(), cancel ? 0 : 1);
        rezui::app.paused = false;
        rezui::app.cancel = false;
        t.drain();
    }
}

TEST(TaskUi, ProgressBarClampsAndBusyStateDrivesTheButtons) {
    h4test::MainWindow w;
    rezui::set_progress(150, L"t");
    EXPECT_EQ(SendMessageW(rezui::app.progress_bar, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(rezui::get_window_text(GetDlgItem(w.hwnd(), IDC_PROGRESS_TEXT)), L"t");
    rezui::set_progress(-5, L"u");
    EXPECT_EQ(SendMessageW(rezui::app.progress_bar, PBM_GETPOS, 0, 0), 0);

    rezui::app.cancel = true;
    rezui::begin_busy();
    EXPECT_TRUE(rezui::app.busy);
    EXPECT_FALSE(rezui::app.cancel.load());
    EXPECT_TRUE(IsWindowEnabled(rezui::app.pause_button));
    EXPECT_FALSE(IsWindowEnabled(rezui::app.resume_button));
    EXPECT_TRUE(IsWindowEnabled(rezui::app.cancel_button));
    EXPECT_TRUE(GetWindowLongPtrW(rezui::app.cancel_button, GWL_STYLE) & WS_VISIBLE);

    // Pause, then Stop: Stop clears pause and leaves the buttons as they are.
    w.command(IDM_PAUSE);
    EXPECT_TRUE(rezui::app.paused.load());
    EXPECT_FALSE(IsWindowEnabled(rezui::app.pause_button));
    EXPECT_TRUE(IsWindowEnabled(rezui::app.resume_button));
    w.command(IDM_STOP);
    EXPECT_TRUE(rezui::app.cancel.load());
    EXPECT_FALSE(rezui::app.paused.load());
    EXPECT_FALSE(IsWindowEnabled(rezui::app.pause_button));
    EXPECT_TRUE(IsWindowEnabled(rezui::app.resume_button));

    rezui::end_busy();
    EXPECT_FALSE(rezui::app.busy);
    EXPECT_FALSE(GetWindowLongPtrW(rezui::app.cancel_button, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(rezui::get_window_text(GetDlgItem(w.hwnd(), IDC_PROGRESS_TEXT)), L"就绪");
}

TEST(TaskUi, LogKeepsGrowingPastTheEditDefaultLimit) {
    h4test::MainWindow w;
    std::wstring line(100, L'x');
    for (int i = 0; i < 600; ++i) rezui::append_log(line + std::to_wstring(i));  // ~70000 characters
    std::wstring text = h4test::log_text();
    EXPECT_GT(text.size(), 60000u);
    EXPECT_NE(text.find(line + L"599\r\n"), std::wstring::npos);
    EXPECT_EQ(h4test::status_part(1), line + L"599");
    EXPECT_EQ(text.substr(0, 1), L"[");
    EXPECT_EQ(text.substr(9, 2), L"] ");
}

TEST(TaskUi, LogWithoutLogBoxTouchesNothing) {
    h4test::MainWindow w;
    SendMessageW(rezui::app.status_bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"before"));
    HWND saved = rezui::app.log_box;
    rezui::app.log_box = nullptr;
    rezui::append_log(L"lost");
    rezui::app.log_box = saved;
    EXPECT_EQ(h4test::status_part(1), L"before");
}

TEST(TaskUi, RunWithPumpKeepsTheWindowResponsiveAndTheQuit) {
    h4test::MainWindow w;
    DWORD ui_thread = GetCurrentThreadId();
    bool ran = false;
    bool disabled_meanwhile = false;
    rezui::run_with_pump([&] {
        disabled_meanwhile = !IsWindowEnabled(rezui::app.main_window);
        // A log line from the job thread is delivered by the pumping UI thread.
        rezui::append_log(L"from job");
        PostThreadMessageW(ui_thread, WM_QUIT, 7, 0);
        Sleep(50);
        ran = true;
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(disabled_meanwhile);
    EXPECT_TRUE(IsWindowEnabled(w.hwnd()));
    EXPECT_NE(h4test::log_text().find(L"from job"), std::wstring::npos);
    MSG msg;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            EXPECT_EQ(msg.wParam, 7u);
        }
    }
    EXPECT_TRUE(quit) << "run_with_pump swallowed WM_QUIT";
}
