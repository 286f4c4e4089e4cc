// The integrity test (command 2080) through the real main window: a sound archive passes, a
// damaged one names its first failure, and the Pause and Stop buttons take real clicks while
// the test runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip_7z_test_support.h"

namespace {

using namespace zjtest;

const h4test::Box* result_box() {
    for (const h4test::Box& b : h4test::boxes)
        if (b.caption == L"测试结果") return &b;
    return nullptr;
}

TEST(IntegrityTest, ASoundArchivePasses) {
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(fx(L"selftest\\engine.rez")));
    w.command(IDM_TEST);
    ASSERT_TRUE(wait_idle());
    const h4test::Box* box = result_box();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_NE(box->text.find(L"失败: 0 项\n"), std::wstring::npos) << box->text;
    EXPECT_NE(box->text.find(L"✓ 所有资源均能正常读取。"), std::wstring::npos);
    EXPECT_TRUE(log_has(L"=== 开始测试 REZ 完整性: " + fx(L"selftest\\engine.rez") + L" ==="));
    EXPECT_TRUE(log_has(L"测试完成：全部通过 (2 项, "));
}

TEST(IntegrityTest, ADamagedArchiveNamesItsFirstFailure) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjdamaged");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    std::vector<uint8_t> bytes = bytes_of(path);
    const std::string stored = "c text";
    auto at = std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end());
    ASSERT_NE(at, bytes.end());
    at[2] = 'C';  // the stored bytes no longer match their checksum
    ASSERT_TRUE(rez::write_file(path, bytes.data(), bytes.size()));
    ASSERT_TRUE(open_and_wait(path));
    w.command(IDM_TEST);
    ASSERT_TRUE(wait_idle());
    const h4test::Box* box = result_box();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_NE(box->text.find(L"通过: 2 项\n失败: 1 项\n"), std::wstring::npos) << box->text;
    EXPECT_NE(box->text.find(L"首条错误: 读取失败: a\\b\\c  ("), std::wstring::npos) << box->text;
}

// Pause, then Stop, clicked from a timer, so that the clicks come from within whatever loop
// pumps messages while the test runs.
struct Clicker {
    static inline bool paused_seen = false;
    static inline bool stop_clicked = false;
    static inline DWORD paused_at = 0;
    static void CALLBACK tick(HWND, UINT, UINT_PTR id, DWORD) {
        if (!rezui::app.busy) {
            KillTimer(nullptr, id);
            return;
        }
        if (!paused_seen) {
            if (rezui::app.paused.load()) {
                paused_seen = true;
                paused_at = GetTickCount();
            } else {
                qvltest::mouse_click(rezui::app.pause_button);
            }
            return;
        }
        // Paused for a while without the test ending: now stop it.
        if (!stop_clicked && GetTickCount() - paused_at > 300) stop_clicked = qvltest::mouse_click(rezui::app.cancel_button);
    }
};

std::wstring large_entries_rez(const qvltest::ScratchDir& dir) {
    rez::RezFile model;
    std::vector<uint8_t> data(32u << 20);
    for (int i = 0; i < 8; ++i) {
        data[0] = static_cast<uint8_t>(i);
        const std::wstring file = dir / (L"part" + std::to_wstring(i) + L".bin");
        EXPECT_TRUE(rez::write_file(file, data.data(), data.size()));
        std::string added;
        EXPECT_TRUE(model.add_file("", file, added));
    }
    std::wstring err;
    EXPECT_TRUE(model.save(dir / L"large.rez", err)) << rez::to_utf8(err);
    return dir / L"large.rez";
}

TEST(IntegrityTest, PauseAndStopTakeClicksWhileTheTestRuns) {
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOWNORMAL);
    SetWindowPos(w.hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    rezui::raise_window(w.hwnd());
    // Few but large entries: reading each takes a while, so the test is still running when
    // the clicks arrive, and it looks at Pause and Stop between two entries.
    qvltest::ScratchDir dir(L"itclicks");
    ASSERT_TRUE(open_and_wait(large_entries_rez(dir)));
    Clicker::paused_seen = Clicker::stop_clicked = false;
    w.command(IDM_TEST);
    // The first click goes in at once: a test of this archive may take only a few ticks.
    Clicker::tick(nullptr, 0, SetTimer(nullptr, 0, 10, Clicker::tick), 0);
    ASSERT_TRUE(wait_idle());
    h4test::pump(100);
    EXPECT_TRUE(Clicker::paused_seen);
    EXPECT_TRUE(Clicker::stop_clicked);
    // Stopped: no summary (the run may have been stopped while still collecting, which logs
    // nothing, or between two entries, which logs the counts so far).
    EXPECT_EQ(result_box(), nullptr);
    EXPECT_FALSE(log_has(L"测试完成"));
}

}  // namespace
