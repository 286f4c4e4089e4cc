// The pack/extract progress dialog run for real from the hand-overs of the command-line
// verbs: items handed over while it collects end up in one archive, extract-here unpacks
// a REZ and shows the folder, and the buttons and keys act as a user meets them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/tools/pack_dialog.h"
#include "app/tools/pack_job.h"
#include "archive/member_extract.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

using qvltest::read_text;

void write_text(const std::wstring& path, const std::string& text) { EXPECT_TRUE(qvltest::write_text(path, text)); }

// Hands the command line of a second start to the window, as that start would.
void second_start(HWND window, const std::vector<std::wstring>& args) {
    for (const auto& item : rezui::build_hand_over(rezui::parse_command_line(args))) {
        auto payload = rezui::copydata_payload(item.text);
        COPYDATASTRUCT cds{item.code, static_cast<DWORD>(payload.size() * 2), payload.data()};
        SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
}

bool finished(HWND d) { return IsWindowEnabled(GetDlgItem(d, IDC_PACK_CLOSE)) != FALSE; }

std::vector<std::string> archive_names(const std::wstring& path) {
    rez::RezFile archive;
    std::wstring err;
    std::vector<std::string> names;
    if (!rez::RezFile::open(path, archive, err) || !archive.load_all_directories(err)) return names;
    rez::collect_save_items(archive.root, "", names);
    for (auto& n : names) std::replace(n.begin(), n.end(), '/', '\\');
    std::sort(names.begin(), names.end());
    return names;
}

struct Seen {
    std::wstring caption, name, current, count, remaining, log;
    bool stop_visible = true, minimize_visible = true;
};

Seen read_dialog(HWND d) {
    Seen s;
    s.caption = rezui::get_window_text(d);
    s.name = dlgtest::text_of(d, IDC_PACK_NAME);
    s.current = dlgtest::text_of(d, IDC_PACK_CURRENT);
    s.count = dlgtest::text_of(d, IDC_PACK_COUNT);
    s.remaining = dlgtest::text_of(d, IDC_PACK_REMAINING);
    s.log = dlgtest::text_of(d, IDC_PACK_LOG);
    s.stop_visible = IsWindowVisible(GetDlgItem(d, IDC_PACK_STOP));
    s.minimize_visible = IsWindowVisible(GetDlgItem(d, IDC_PACK_MINIMIZE));
    return s;
}

void wait_for_main_window_idle() {
    h4test::pump_until([] { return !rezui::app.busy && !rezui::task_running.load(); });
}

}  // namespace

TEST(PackDialog, ItemsHandedOverWhileCollectingArePackedIntoOneArchive) {
    qvltest::ScratchDir dir(L"packdlg");
    const std::wstring folder = dir / L"art.v2";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\maps").c_str(), nullptr);
    write_text(folder + L"\\maps\\m1.dat", "map one");
    write_text(folder + L"\\readme.txt", "read me");
    write_text(dir / L"b.txt", "bee");
    write_text(dir / L"c.txt", "sea");

    h4test::MainWindow w;
    Seen collecting, done;
    bool esc_left_it_open = false;
    dlgtest::drive({[&](HWND d) {
        collecting = read_dialog(d);
        // Explorer's later processes, one per selected item, 100 ms apart; one item twice.
        h4test::pump(100);
        second_start(w.hwnd(), {L"--pack", dir / L"b.txt"});
        h4test::pump(100);
        second_start(w.hwnd(), {L"--pack", dir / L"c.txt"});
        second_start(w.hwnd(), {L"--pack", dir / L"b.txt"});
        // Esc reaches the dialog through its own message loop and is ignored.
        PostMessageW(GetDlgItem(d, IDC_PACK_LOG), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(GetDlgItem(d, IDC_PACK_LOG), WM_KEYUP, VK_ESCAPE, 0);
        h4test::pump_until([&] { return finished(d); });
        esc_left_it_open = IsWindow(d) && IsWindowVisible(d);
        done = read_dialog(d);
        dlgtest::click(d, IDC_PACK_CLOSE);
    }});
    second_start(w.hwnd(), {L"--pack", folder});
    ASSERT_EQ(dlgtest::opened, std::vector<int>{IDD_PACK});
    EXPECT_EQ(collecting.caption, L"组建数据包");
    EXPECT_EQ(collecting.current, L"当前压缩文件：等待收集多选目标…");
    EXPECT_TRUE(esc_left_it_open);
    EXPECT_TRUE(h4test::boxes.empty()) << rez::to_utf8(h4test::boxes.empty() ? L"" : h4test::boxes[0].text);

    // Items of one folder: the archive is named after that folder and sits in it.
    const std::wstring output = dir / (rezui::path_file_name(dir.path()) + L".rez");
    EXPECT_EQ(done.name, L"压缩文件名：" + rezui::path_file_name(output)) << rez::to_utf8(done.log);
    EXPECT_EQ(done.current, L"当前压缩文件：完成");
    EXPECT_EQ(done.count, L"压缩数：完成");
    EXPECT_EQ(done.remaining, L"剩余项目：0");
    EXPECT_FALSE(done.stop_visible);
    EXPECT_FALSE(done.minimize_visible);
    EXPECT_NE(done.log.find(L"[信息] 共 3 个目标待打包"), std::wstring::npos) << rez::to_utf8(done.log);
    EXPECT_NE(done.log.find(L"[完成] 压缩完成！输出位置：" + output), std::wstring::npos) << rez::to_utf8(done.log);
    EXPECT_EQ(archive_names(output),
              (std::vector<std::string>{"art.v2\\maps\\m1.dat", "art.v2\\readme.txt", "b.txt", "c.txt"}));
    const std::wstring back = dir / L"back";
    std::wstring err;
    ASSERT_TRUE(rez::extract_archive_to_dir(output, back, err, {}, {})) << rez::to_utf8(err);
    EXPECT_EQ(read_text(back + L"\\art.v2\\maps\\m1.dat"), "map one");
    EXPECT_EQ(read_text(back + L"\\c.txt"), "sea");
    EXPECT_TRUE(rezui::pending_pack_sources().empty());
    // The new archive opens in the main window.
    wait_for_main_window_idle();
    EXPECT_NE(h4test::log_text().find(L"创建完成：" + output), std::wstring::npos) << rez::to_utf8(h4test::log_text());
    EXPECT_TRUE(rezui::app.archive_loaded);
    EXPECT_EQ(rezui::app.archive.path, output);
}

TEST(PackDialog, StopWhileCollectingPacksNothingAndAnEmptyListClosesQuietly) {
    qvltest::ScratchDir dir(L"packdlg");
    write_text(dir / L"a.txt", "a");
    h4test::MainWindow w;
    Seen seen;
    std::vector<std::wstring> pending_after_stop;
    dlgtest::drive({[&](HWND d) {
        h4test::box_answer = IDYES;
        dlgtest::click(d, IDC_PACK_STOP);
        h4test::pump_until([&] { return finished(d); });
        seen = read_dialog(d);
        dlgtest::click(d, IDC_PACK_CLOSE);
    }});
    second_start(w.hwnd(), {L"--pack", dir / L"a.txt"});
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"确定要终止压缩吗？\n终止后将不写入 .rez 文件。");
    EXPECT_EQ(h4test::boxes[0].caption, L"终止确认");
    EXPECT_NE(seen.log.find(L"[终止] 已请求终止压缩，正在等待当前任务完成...\r\n[终止] 压缩已取消。"),
              std::wstring::npos)
        << rez::to_utf8(seen.log);
    EXPECT_FALSE(rez::file_exists(dir / L"a.rez"));

    // Nothing pending and nothing arriving: the dialog ends itself after about 3 s.
    dlgtest::drive({[](HWND) {}});
    const ULONGLONG start = GetTickCount64();
    rezui::run_pack_dialog(w.hwnd(), {});
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 2900u);
    EXPECT_LT(took, 8000u);
    EXPECT_EQ(h4test::boxes.size(), 1u);
}

TEST(PackDialog, ExtractHereUnpacksTheRezAndShowsTheFolder) {
    qvltest::ScratchDir dir(L"packdlg");
    const std::wstring src = dir / L"src";
    CreateDirectoryW(src.c_str(), nullptr);
    CreateDirectoryW((src + L"\\sounds").c_str(), nullptr);
    write_text(src + L"\\sounds\\hit.wav", "RIFF....");
    write_text(src + L"\\level.dat", std::string(5000, 'L'));
    // The archive sits in a folder with a dot: the target takes its name from the file only.
    CreateDirectoryW((dir / L"game.v1").c_str(), nullptr);
    const std::wstring archive = dir / L"game.v1\\World.rez";
    std::wstring err;
    ASSERT_TRUE(rezui::pack_impl({src + L"\\sounds", src + L"\\level.dat"}, archive, err, {})) << rez::to_utf8(err);

    h4test::MainWindow w;
    Seen done;
    dlgtest::drive({[&](HWND d) {
        h4test::pump_until([&] { return finished(d); });
        done = read_dialog(d);
        dlgtest::click(d, IDC_PACK_CLOSE);
    }});
    second_start(w.hwnd(), {L"--extract-here", archive});
    ASSERT_EQ(dlgtest::opened, std::vector<int>{IDD_PACK});
    EXPECT_TRUE(h4test::boxes.empty()) << rez::to_utf8(h4test::boxes.empty() ? L"" : h4test::boxes[0].text);
    const std::wstring target = dir / L"game.v1\\World";
    EXPECT_EQ(done.caption, L"解压数据包");
    EXPECT_EQ(done.name, L"解压文件：World.rez");
    EXPECT_EQ(done.current, L"当前解压文件：完成");
    EXPECT_EQ(done.count, L"解压数：完成");
    EXPECT_NE(done.log.find(L"[信息] 输出位置：" + target), std::wstring::npos) << rez::to_utf8(done.log);
    EXPECT_NE(done.log.find(L"[完成] 解压完成！输出位置：" + target), std::wstring::npos) << rez::to_utf8(done.log);
    EXPECT_EQ(read_text(target + L"\\sounds\\hit.wav"), "RIFF....");
    EXPECT_EQ(read_text(target + L"\\level.dat"), std::string(5000, 'L'));
    ASSERT_EQ(h4test::shell_launches.size(), 1u);
    EXPECT_NE(h4test::shell_launches[0].find(target), std::wstring::npos) << rez::to_utf8(h4test::shell_launches[0]);
    EXPECT_NE(h4test::log_text().find(L"解压完成：" + target), std::wstring::npos);
}

TEST(PackDialog, AFailedJobSaysWhyAndTheCloseBoxAsksWhileItRuns) {
    qvltest::ScratchDir dir(L"packdlg");
    write_text(dir / L"broken.rez", "not an archive at all");
    h4test::MainWindow w;
    Seen done;
    bool asked_and_stayed = false;
    dlgtest::drive({[&](HWND d) {
        h4test::pump_until([&] { return finished(d); });
        done = read_dialog(d);
        dlgtest::click(d, IDC_PACK_CLOSE);
    }});
    rezui::run_extract_dialog(w.hwnd(), dir / L"broken.rez", dir / L"broken");
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"解压数据包");
    EXPECT_FALSE(h4test::boxes[0].text.empty());
    EXPECT_FALSE(done.stop_visible);

    // Collecting: the close box asks; No keeps the dialog, Yes ends it without a job.
    write_text(dir / L"a.txt", "a");
    dlgtest::drive({[&](HWND d) {
        h4test::box_answer = IDNO;
        SendMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        asked_and_stayed = IsWindowVisible(d) != FALSE;
        h4test::box_answer = IDYES;
        SendMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    }});
    rezui::run_pack_dialog(w.hwnd(), {dir / L"a.txt"});
    EXPECT_TRUE(asked_and_stayed);
    ASSERT_EQ(h4test::boxes.size(), 3u);
    EXPECT_EQ(h4test::boxes[1].text, L"正在压缩中，确定要关闭窗口吗？");
    EXPECT_EQ(h4test::boxes[1].caption, L"提示");
    // The item still pending goes with the next pack dialog.
    EXPECT_EQ(rezui::pending_pack_sources(), std::vector<std::wstring>{dir / L"a.txt"});
    EXPECT_FALSE(rez::file_exists(dir / L"a.rez"));
    dlgtest::drive({[&](HWND d) {
        h4test::pump_until([&] { return finished(d); });
        dlgtest::click(d, IDC_PACK_CLOSE);
    }});
    rezui::run_pack_dialog(w.hwnd(), {});
    EXPECT_EQ(archive_names(dir / L"a.rez"), std::vector<std::string>{"a.txt"});
    wait_for_main_window_idle();
}

TEST(PackDialog, TimeLeftRoundsEachPart) {
    const struct {
        double seconds;
        const wchar_t* text;
    } cases[] = {
        {12.4, L"剩余时间：12 秒"},
        {59.4, L"剩余时间：59 秒"},
        {100, L"剩余时间：2 分 40 秒"},
        {3599, L"剩余时间：60 分 59 秒"},
        {5400, L"剩余时间：2 时 30 分"},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::remaining_time_text(c.seconds), c.text) << c.seconds;
}
