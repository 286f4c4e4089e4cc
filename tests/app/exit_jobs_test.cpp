// Leaving the program while a job runs, through the real main window: the window close,
// File > Exit and the tray's exit each stop the running save, extraction or open and wait
// for its worker before the window goes, and the REZ being saved stays the old file or
// becomes a whole new one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window/messages.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

constexpr int kEntries = h4test::kBigRezEntries;
constexpr size_t kEntrySize = h4test::kBigRezEntrySize;


using qvltest::path_exists;


// What the main window's state and the disk look like when WM_DESTROY reaches it.
struct AtDestroy {
    bool seen = false;
    bool busy = true;
    bool opening = true;       // the open job's own running flag
    bool archive_free = false; // nobody holds the archive file open
    bool tmp_left = true;      // the save's "<archive>.tmp_qvl_<pid>_<tid>"
};
AtDestroy at_destroy;
std::wstring watched_archive;
WNDPROC main_proc = nullptr;

// The temporary file a save of this process writes beside the archive.
bool save_temp_exists(const std::wstring& archive) {
    WIN32_FIND_DATAW fd;
    const std::wstring pattern = archive + L".tmp_qvl_" + std::to_wstring(GetCurrentProcessId()) + L"_*";
    HANDLE find = FindFirstFileW(pattern.c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        at_destroy.seen = true;
        at_destroy.busy = rezui::app.busy;
        at_destroy.opening = rezui::task_running.load();
        HANDLE h = CreateFileW(watched_archive.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        at_destroy.archive_free = h != INVALID_HANDLE_VALUE;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        at_destroy.tmp_left = save_temp_exists(watched_archive);
    }
    return CallWindowProcW(main_proc, window, message, wparam, lparam);
}

void watch_destroy(HWND window, const std::wstring& archive) {
    at_destroy = AtDestroy{};
    watched_archive = archive;
    main_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recording_proc)));
}

enum class Route { close_box, file_exit, tray_exit };
enum class Job { save, extract, open, test };

const char* route_name(Route r) {
    return r == Route::close_box ? "close box" : r == Route::file_exit ? "File > Exit" : "tray exit";
}
const char* job_name(Job j) {
    switch (j) {
    case Job::save: return "save";
    case Job::extract: return "extract";
    case Job::open: return "open";
    case Job::test: return "integrity test";
    }
    return "";
}

// The way a user leaves: the caption's close box, the File menu's Exit, the tray menu's Exit.
void leave(HWND window, Route route) {
    switch (route) {
    case Route::close_box: SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    case Route::file_exit: SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0); break;
    case Route::tray_exit:
        h4test::menu_answer = IDM_TRAY_EXIT;
        SendMessageW(window, rezui::WM_TRAY_NOTIFY, 1, WM_RBUTTONUP);
        break;
    }
}

// Watches for a file the running job writes. The queue is left alone meanwhile: handling the
// job's progress reports between two looks would let a whole save go by unseen.
bool appears(const std::wstring& path) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(1))
        if (path_exists(path)) return true;
    return false;
}

bool save_temp_appears(const std::wstring& archive) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(1))
        if (save_temp_exists(archive)) return true;
    return false;
}

bool open_through_menu(h4test::MainWindow& w, const std::wstring& path) {
    h4test::open_answer = path;
    w.command(IDM_OPEN);
    return h4test::pump_until(
        [] { return rezui::app.archive_loaded && !rezui::app.busy && !rezui::task_running.load(); });
}

void click_pause() { SendMessageW(rezui::app.pause_button, BM_CLICK, 0, 0); }

// Starts the job, clicks Pause once it is under way and says whether it is paused. On a busy
// machine a job can be over before the click is taken; such a job paused nothing.
bool start_and_pause(h4test::MainWindow& w, Job job, const std::wstring& archive, const std::wstring& out) {
    switch (job) {
    case Job::save:
        w.command(IDM_SAVE);
        // Half-way: the new archive is being written beside the old one.
        if (!save_temp_appears(archive)) return false;
        break;
    case Job::extract:
        h4test::folder_answers = {out};
        w.command(IDM_EXTRACT_ALL);
        if (!appears(out + L"\\f1000.bin")) return false;
        break;
    case Job::test: w.command(IDM_TEST); break;
    case Job::open:
        h4test::open_answer = archive;
        w.command(IDM_OPEN);
        break;
    }
    click_pause();
    h4test::pump(100);
    return job == Job::open ? rezui::task_running.load() : rezui::app.busy;
}

TEST(ExitWhileJobs, EveryExitStopsThePausedJobAndWaitsForItsWorker) {
    qvltest::ScratchDir dir(L"exitjobs");
    const std::wstring big = h4test::make_big_rez(dir);
    std::vector<uint8_t> old_bytes = qvltest::bytes_of(big);
    ASSERT_FALSE(old_bytes.empty());
    // Its own copy, which no other test process holds open; the name keeps its layout.
    CreateDirectoryW((dir / L"many").c_str(), nullptr);
    const std::wstring many = dir / L"many\\engine.rez";
    ASSERT_TRUE(CopyFileW(qvltest::fixture(L"app\\many\\engine.rez").c_str(), many.c_str(), FALSE));

    const struct {
        Job job;
        Route route;
    } cases[] = {
        {Job::save, Route::close_box}, {Job::save, Route::file_exit},    {Job::save, Route::tray_exit},
        {Job::extract, Route::file_exit}, {Job::extract, Route::tray_exit}, {Job::open, Route::close_box},
        {Job::test, Route::close_box},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(job_name(c.job)) + " / " + route_name(c.route));
        const std::wstring archive = c.job == Job::open ? many : big;
        const std::wstring out = dir / L"out";
        qvltest::ScratchDir::remove_tree(out);
        {
            h4test::MainWindow w;
            HWND window = w.hwnd();
            if (c.job != Job::open) {
                ASSERT_TRUE(open_through_menu(w, big));
            }
            // A job that was over before the click is started again; a save that got to the
            // end is then the archive the paused one must leave as it is.
            bool paused = false;
            for (int attempt = 0; attempt < 20; ++attempt) {
                paused = start_and_pause(w, c.job, archive, out);
                if (paused) break;
                ASSERT_TRUE(h4test::pump_until([] { return !rezui::app.busy && !rezui::task_running.load(); }));
                h4test::boxes.clear();
                qvltest::ScratchDir::remove_tree(out);
                old_bytes = qvltest::bytes_of(big);
            }
            ASSERT_TRUE(paused);
            if (c.job == Job::save) {
                ASSERT_TRUE(save_temp_exists(big));
            }
            if (c.job == Job::extract) {
                ASSERT_FALSE(path_exists(out + L"\\f" + std::to_wstring(1000 + kEntries - 1) + L".bin"));
            }
            watch_destroy(window, archive);
            leave(window, c.route);

            EXPECT_FALSE(IsWindow(window));
            EXPECT_TRUE(at_destroy.seen);
            // The job was over before the window went: no busy state, no open worker, no
            // handle on the archive, no half-written copy.
            EXPECT_FALSE(at_destroy.busy);
            EXPECT_FALSE(at_destroy.opening);
            EXPECT_TRUE(at_destroy.archive_free);
            EXPECT_FALSE(at_destroy.tmp_left);
            EXPECT_TRUE(h4test::boxes.empty());
        }
        EXPECT_EQ(qvltest::bytes_of(big), old_bytes);
        EXPECT_FALSE(save_temp_exists(big));
    }
}

TEST(ExitWhileJobs, ClosingDuringASaveLeavesTheOldArchiveOrAWholeNewOne) {
    qvltest::ScratchDir dir(L"exitsave");
    const std::wstring big = h4test::make_big_rez(dir);
    const std::vector<uint8_t> old_bytes = qvltest::bytes_of(big);
    {
        h4test::MainWindow w;
        ASSERT_TRUE(open_through_menu(w, big));
        w.command(IDM_SAVE);
        ASSERT_TRUE(save_temp_appears(big));
        watch_destroy(w.hwnd(), big);
        leave(w.hwnd(), Route::close_box);
        EXPECT_FALSE(IsWindow(w.hwnd()));
        EXPECT_FALSE(at_destroy.busy);
        EXPECT_TRUE(at_destroy.archive_free);
        EXPECT_FALSE(at_destroy.tmp_left);
    }
    EXPECT_FALSE(save_temp_exists(big));
    if (qvltest::bytes_of(big) == old_bytes) return;
    // Replaced: then by a complete archive with every entry and its bytes.
    rez::RezFile back;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(big, back, err)) << rez::to_utf8(err);
    ASSERT_EQ(back.root.children.size(), static_cast<size_t>(kEntries));
    std::vector<uint8_t> last;
    ASSERT_TRUE(back.read_entry_data(back.root.children.back(), last, err)) << rez::to_utf8(err);
    ASSERT_EQ(last.size(), kEntrySize);
    EXPECT_EQ(last[5], static_cast<uint8_t>((kEntries - 1) * 31 + 5 * 7));
}

}  // namespace
