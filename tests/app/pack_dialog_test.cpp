// The pack/extract progress dialog run for real from the hand-overs of the command-line
// verbs: items handed over while it collects end up in one archive, extract-here unpacks
// a REZ and shows the folder, and the buttons and keys act as a user meets them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
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

namespace {

// A REZ holding one file of the given text, made by the pack job itself.
std::wstring small_rez(const qvltest::ScratchDir& dir, const std::wstring& name, const std::string& text) {
    const std::wstring folder = dir / (name + L"_src");
    CreateDirectoryW(folder.c_str(), nullptr);
    write_text(folder + L"\\" + name + L".txt", text);
    const std::wstring archive = dir / (name + L".rez");
    std::wstring err;
    EXPECT_TRUE(rezui::pack_impl({folder + L"\\" + name + L".txt"}, archive, err, {})) << rez::to_utf8(err);
    return archive;
}

bool job_started(HWND d) {
    const std::wstring name = dlgtest::text_of(d, IDC_PACK_NAME);
    return name.rfind(L"压缩文件名：", 0) == 0 && name != L"压缩文件名：—";
}

}  // namespace

// Explorer starts one process per chosen file: extract-here for two archives, then a pack,
// then another extract-here while that pack runs. Each hand-over waits for the dialog before
// it and runs when that one has closed; none is lost and the running one goes on.
TEST(PackDialog, HandOversWhileADialogIsUpWaitTheirTurn) {
    qvltest::ScratchDir dir(L"packdlgq");
    const std::wstring one = small_rez(dir, L"one", "first"), two = small_rez(dir, L"two", "second"),
                       three = small_rez(dir, L"three", "third");
    // Enough files that the pack is still running when the next hand-over comes.
    const std::wstring p = dir / L"p";
    CreateDirectoryW(p.c_str(), nullptr);
    for (int i = 0; i < 3000; ++i) write_text(p + L"\\f" + std::to_wstring(i) + L".txt", "packed later");

    h4test::MainWindow w;
    std::vector<Seen> seen(4);
    bool first_went_on = false, pack_was_running = false;
    dlgtest::drive({[&](HWND d) {
                        second_start(w.hwnd(), {L"--extract-here", two});
                        h4test::pump_until([&] { return finished(d); });
                        // Handed over while the finished dialog waits on 关闭.
                        second_start(w.hwnd(), {L"--pack", p});
                        first_went_on = IsWindowVisible(d) && finished(d);
                        seen[0] = read_dialog(d);
                        dlgtest::click(d, IDC_PACK_CLOSE);
                    },
                    [&](HWND d) {
                        h4test::pump_until([&] { return finished(d); });
                        seen[1] = read_dialog(d);
                        dlgtest::click(d, IDC_PACK_CLOSE);
                    },
                    [&](HWND d) {
                        h4test::pump_until([&] { return job_started(d); });
                        pack_was_running = !finished(d);
                        second_start(w.hwnd(), {L"--extract-here", three});
                        h4test::pump_until([&] { return finished(d); });
                        seen[2] = read_dialog(d);
                        dlgtest::click(d, IDC_PACK_CLOSE);
                    },
                    [&](HWND d) {
                        h4test::pump_until([&] { return finished(d); });
                        seen[3] = read_dialog(d);
                        dlgtest::click(d, IDC_PACK_CLOSE);
                    }});
    second_start(w.hwnd(), {L"--extract-here", one});
    wait_for_main_window_idle();
    EXPECT_EQ(dlgtest::opened, std::vector<int>(4, IDD_PACK));
    EXPECT_TRUE(first_went_on);
    EXPECT_TRUE(pack_was_running);
    EXPECT_TRUE(h4test::boxes.empty()) << rez::to_utf8(h4test::boxes.empty() ? L"" : h4test::boxes[0].text);
    EXPECT_EQ(seen[0].name, L"解压文件：one.rez");
    EXPECT_EQ(seen[1].name, L"解压文件：two.rez");
    EXPECT_EQ(seen[2].name, L"压缩文件名：p.rez");
    EXPECT_EQ(seen[3].name, L"解压文件：three.rez");
    for (const Seen& s : seen) EXPECT_NE(s.log.find(L"[完成] "), std::wstring::npos) << rez::to_utf8(s.log);
    EXPECT_EQ(read_text(dir / L"one\\one.txt"), "first");
    EXPECT_EQ(read_text(dir / L"two\\two.txt"), "second");
    EXPECT_EQ(read_text(dir / L"three\\three.txt"), "third");
    EXPECT_EQ(archive_names(dir / L"p.rez").size(), 3000u);
    EXPECT_TRUE(rezui::pending_pack_sources().empty());
}

namespace {

// The stop question's answer is only given once the job's end has been handled: the job
// ended while the user was being asked.
HWND question_owner = nullptr;
int answer_after_the_end(HWND, const std::wstring& text, const std::wstring& caption, UINT flags) {
    h4test::boxes.push_back({text, caption, flags});
    h4test::pump_until([] { return finished(question_owner); });
    return IDYES;
}

}  // namespace

TEST(PackDialog, AJobThatEndsWhileStopIsAskedIsReportedAsFinished) {
    qvltest::ScratchDir dir(L"packdlgend");
    const std::wstring folder = dir / L"a";
    CreateDirectoryW(folder.c_str(), nullptr);
    // Enough files that the job is still running when the dialog has shown its start.
    for (int i = 0; i < 300; ++i) write_text(folder + L"\\f" + std::to_wstring(i) + L".txt", "a");
    h4test::MainWindow w;
    Seen done;
    bool asked_while_running = false;
    dlgtest::drive({[&](HWND d) {
        h4test::pump_until([&] { return job_started(d); });
        // The job ends and its news waits in the queue when 终止 is pressed.
        const ULONGLONG start = GetTickCount64();
        while (!rez::file_exists(dir / L"a.rez") && GetTickCount64() - start < 20000) Sleep(20);
        Sleep(500);
        question_owner = d;
        asked_while_running = !finished(d);
        rezui::ui_seams.message_box = answer_after_the_end;
        dlgtest::click(d, IDC_PACK_STOP);
        rezui::ui_seams.message_box = h4test::scripted_box;
        h4test::pump_until([&] { return finished(d); });
        done = read_dialog(d);
        dlgtest::click(d, IDC_PACK_CLOSE);
    }});
    rezui::run_pack_dialog(w.hwnd(), {folder});
    wait_for_main_window_idle();
    ASSERT_TRUE(asked_while_running);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"终止确认");
    EXPECT_NE(done.log.find(L"[完成] 压缩完成！"), std::wstring::npos) << rez::to_utf8(done.log);
    EXPECT_EQ(done.log.find(L"[终止]"), std::wstring::npos) << rez::to_utf8(done.log);
    EXPECT_EQ(archive_names(dir / L"a.rez").size(), 300u);
}

namespace {

// The real "终止确认" box, once it is up.
HWND stop_question() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL {
            if (!IsWindowVisible(window) || rezui::get_window_text(window) != L"终止确认") return TRUE;
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

int count_files(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

// The first number of a counter text such as "写入数：120 / 20000", -1 without one.
int counter_value(const std::wstring& text) {
    const size_t at = text.find_first_of(L"0123456789");
    return at == std::wstring::npos ? -1 : _wtoi(text.c_str() + at);
}

// Clicks 终止 once the job is far enough, then 是 on the question, from a timer, so that the
// clicks come through whatever loop pumps the messages, as a user's would.
struct StopClicker {
    static inline HWND dialog = nullptr;
    static inline std::function<bool()> ready;
    static inline std::function<int()> written;  // files the job has written so far
    static inline int step = 0;
    static inline ULONGLONG clicked_at = 0, asked_at = 0;
    static inline int written_when_asked = -1, written_at_yes = -1;
    static void start(HWND d, std::function<bool()> is_ready, std::function<int()> count) {
        dialog = d;
        ready = std::move(is_ready);
        written = std::move(count);
        step = 0;
        clicked_at = asked_at = 0;
        written_when_asked = written_at_yes = -1;
        SetTimer(nullptr, 0, 20, tick);
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR id, DWORD) {
        if (!IsWindow(dialog) || finished(dialog)) {
            KillTimer(nullptr, id);
            return;
        }
        const ULONGLONG now = GetTickCount64();
        if (step == 0 && ready() && qvltest::mouse_click(GetDlgItem(dialog, IDC_PACK_STOP))) {
            clicked_at = now;
            step = 1;
        } else if (step == 1 && stop_question()) {
            asked_at = now;
            step = 2;
        } else if (step == 2 && now - asked_at > 300) {
            // The counters have caught up with the job (they are shown a few times a second).
            written_when_asked = written();
            step = 4;
        } else if (step == 4 && now - asked_at > 800) {
            // Time enough for the job to pass many files, were it not waiting for the answer.
            const int before = written();
            HWND yes = GetDlgItem(stop_question(), IDYES);
            if (qvltest::mouse_click(yes)) {
                written_at_yes = before;
                step = 3;
                KillTimer(nullptr, id);
            }
        }
    }
};

INT_PTR run_long_dialog(int id, HWND owner, DLGPROC proc, LPARAM param) {
    dlgtest::opened.push_back(id);
    UINT_PTR timer = SetTimer(nullptr, 0, 30, dlgtest::run_script);
    UINT_PTR limit = SetTimer(nullptr, 0, 180000, dlgtest::give_up);
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), owner, proc, param);
    KillTimer(nullptr, timer);
    KillTimer(nullptr, limit);
    return result;
}

bool leftover_temp_files(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.tmp*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return true;
}

}  // namespace

// A pack and an extraction of 20,000 small files: a real click on 终止 is answered at once, the
// job waits while the question is up, and a click on 是 stops it before its next file. The
// stopped pack leaves no archive and no temporary file; the stopped extraction keeps what it
// had written and writes nothing more.
TEST(PackDialog, StopClicksDuringJobsOf20000SmallFilesTakeEffectBeforeTheNextFile) {
    qvltest::ScratchDir dir(L"packdlgstop");
    // Made by the fixture script: a folder of 20,000 small files and a REZ of as many.
    const std::wstring many = qvltest::fixture(L"app\\small_files\\many");
    ASSERT_TRUE(rez::file_exists(many + L"\\f19999.txt"));
    const std::wstring archive = rezui::default_pack_output({many});
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOWNORMAL);
    rezui::raise_window(w.hwnd());
    const auto on_top = [](HWND d) {
        SetWindowPos(d, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        rezui::raise_window(d);
    };

    // The pack: stopped while it writes the archive.
    dlgtest::drive({});
    rezui::ui_seams.message_box = rezui::default_ui_seams().message_box;
    rezui::ui_seams.run_dialog = run_long_dialog;
    Seen packed;
    dlgtest::scripts = {[&](HWND d) {
        on_top(d);
        StopClicker::start(
            d,
            [d] {
                const std::wstring count = dlgtest::text_of(d, IDC_PACK_COUNT);
                return count.rfind(L"写入数：", 0) == 0 && counter_value(count) >= 50;
            },
            [d] { return counter_value(dlgtest::text_of(d, IDC_PACK_COUNT)); });
        h4test::pump_until([&] { return finished(d) || StopClicker::step == 3; }, 150000);
        h4test::pump_until([&] { return finished(d); }, 60000);
        packed = read_dialog(d);
        dlgtest::click(d, IDC_PACK_CLOSE);
    }};
    rezui::run_pack_dialog(w.hwnd(), {many});
    ASSERT_EQ(StopClicker::step, 3) << "the question never came up: " << rez::to_utf8(packed.log);
    EXPECT_LT(StopClicker::asked_at - StopClicker::clicked_at, 1000u);
    EXPECT_EQ(StopClicker::written_when_asked, StopClicker::written_at_yes);
    EXPECT_NE(packed.log.find(L"[终止] 已请求终止压缩，正在等待当前任务完成...\r\n[终止] 压缩已取消。"),
              std::wstring::npos)
        << rez::to_utf8(packed.log.substr(packed.log.size() > 600 ? packed.log.size() - 600 : 0));
    EXPECT_EQ(packed.log.find(L"[完成]"), std::wstring::npos);
    EXPECT_FALSE(rez::file_exists(archive));
    EXPECT_FALSE(leftover_temp_files(qvltest::fixture(L"app\\small_files")));

    // The extraction: stopped while it writes the files.
    const std::wstring out = dir / L"out";
    const std::wstring written = out + L"\\MANY";
    Seen extracted;
    dlgtest::opened.clear();
    dlgtest::scripts = {[&](HWND d) {
        on_top(d);
        StopClicker::start(
            d, [&] { return count_files(written) >= 50; }, [&] { return count_files(written); });
        h4test::pump_until([&] { return finished(d) || StopClicker::step == 3; }, 150000);
        h4test::pump_until([&] { return finished(d); }, 60000);
        extracted = read_dialog(d);
        dlgtest::click(d, IDC_PACK_CLOSE);
    }};
    rezui::run_extract_dialog(w.hwnd(), qvltest::fixture(L"app\\small20000\\engine.rez"), out);
    ASSERT_EQ(StopClicker::step, 3) << "the question never came up: " << rez::to_utf8(extracted.log);
    EXPECT_LT(StopClicker::asked_at - StopClicker::clicked_at, 1000u);
    EXPECT_EQ(StopClicker::written_when_asked, StopClicker::written_at_yes);
    const int kept = count_files(written);
    EXPECT_LE(kept, StopClicker::written_at_yes + 1);
    EXPECT_LT(kept, 20000);
    EXPECT_NE(extracted.log.find(L"[终止] 解压已取消。"), std::wstring::npos)
        << rez::to_utf8(extracted.log.substr(extracted.log.size() > 600 ? extracted.log.size() - 600 : 0));
    EXPECT_EQ(extracted.log.find(L"[完成]"), std::wstring::npos);
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
