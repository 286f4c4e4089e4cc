// The runner window in this process, driven by clicks and keys on its controls: both
// layouts, the wizard's pages, the extraction's outcomes and what the runner refuses.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "archive/rez_test_util.h"
#include "runner/runner_extract.h"
#include "runner_session.h"

namespace {

using namespace rtest;
using rezui::g_runner;

bool contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// A scratch folder with a small archive, a self-extractor made from it, and a private
// temporary folder that receives the runner's temporary archive.
struct RunnerFixture {
    qvltest::ScratchDir dir{L"runner"};
    qvltest::PrivateTemp temp{L"runner_tmp"};
    std::wstring rez_path = dir / L"data.rez";
    std::wstring sfx_path = dir / L"setup.exe";
    std::wstring dest = dir / L"out";

    explicit RunnerFixture(std::vector<std::pair<std::string, std::string>> files = {
                               {"docs\\readme.txt", "hello"}, {"top.dat", "top"}}) {
        make_rez(rez_path, files);
    }
    void build(const rezui::SfxConfig& config) { make_sfx(make_host(dir), rez_path, sfx_path, config); }
    // What the runner left in the temporary folder (its archive is "rez_sfx_....rez").
    bool temp_archive_left() const {
        for (const std::wstring& n : qvltest::folder_names(temp.dir.path()))
            if (n.rfind(L"rez_sfx_", 0) == 0) return true;
        return false;
    }
};

rezui::SfxConfig one_page(const std::wstring& dest) {
    rezui::SfxConfig c;
    c.title = "QvlRunner";
    c.default_path = rez::to_utf8(dest);
    c.create_shortcut = false;
    return c;
}

TEST(RunnerOnePage, ReadmeShowsAtOnceAndTheButtonExtractsAgainAfterSuccess) {
    RunnerFixture f;
    rezui::SfxConfig config = one_page(f.dest);
    config.readme = "先读我 first";
    f.build(config);
    std::wstring first_log;
    Session s;
    s.steps = {
        act([&] { first_log = log_text(); }),
        act([] { EXPECT_FALSE(shown(rezui::kIdShortcut)) << "the shortcut was not offered"; }),
        // An empty folder is not extracted to; the one-page layout tells it in the log.
        type_on(rezui::kIdFolder, L""),
        click_on(rezui::kIdMain),
        wait_for([] { return contains(log_text(), L"状态：请先选择解压位置。"); }),
        type_on(rezui::kIdFolder, f.dest),
        click_on(rezui::kIdMain),
        main_button_reads(L"解压"),
        act([&] {
            EXPECT_EQ(qvltest::read_text(f.dest + L"\\docs\\readme.txt"), "hello");
            EXPECT_EQ(SendMessageW(control(rezui::kIdProgress), PBM_GETPOS, 0, 0), 100);
            EXPECT_TRUE(contains(log_text(), L"正在解压")) << log_text();
            DeleteFileW((f.dest + L"\\top.dat").c_str());
        }),
        click_on(rezui::kIdMain),
        wait_for([] { return !usable(control(rezui::kIdMain)); }),
        main_button_reads(L"解压"),
        act([&] { EXPECT_EQ(qvltest::read_text(f.dest + L"\\top.dat"), "top"); }),
        click_on(rezui::kIdCancel),
    };
    EXPECT_EQ(s.run(f.sfx_path), 0);
    EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
    EXPECT_EQ(first_log, L"先读我 first\r\n");
    EXPECT_FALSE(f.temp_archive_left());
}

TEST(RunnerWizard, PagesFollowKeysAndClicksAndAFailureReturnsToTheFolderPage) {
    RunnerFixture f;
    // The proposed folder is a file: creating the target fails.
    const std::wstring blocked = f.dir / L"blocked";
    ASSERT_TRUE(qvltest::write_text(blocked, "a file"));
    rezui::SfxConfig config = one_page(blocked);
    config.title = "QvlWizard";
    config.mode = "installer";
    config.readme = "README text";
    f.build(config);
    auto on_page = [](int page) { return [page] { return g_runner.page == page; }; };
    Session s;
    s.steps = {
        act([] {
            EXPECT_EQ(text_of(control(rezui::kIdWelcome)), L"欢迎使用 QvlWizard 安装向导");
            EXPECT_TRUE(contains(text_of(control(rezui::kIdIntro)), L"安装向导将在计算机上安装 QvlWizard。"));
            EXPECT_TRUE(shown(rezui::kIdSidePanel));
            EXPECT_FALSE(IsWindowEnabled(control(rezui::kIdBack)));
            EXPECT_EQ(GetFocus(), control(rezui::kIdMain));
        }),
        key_on(rezui::kIdMain, VK_RETURN),
        wait_for(on_page(1)),
        act([] {
            EXPECT_EQ(text_of(control(rezui::kIdHeading)), L"许可协议");
            EXPECT_TRUE(shown(rezui::kIdLicense));
            EXPECT_TRUE(contains(text_of(control(rezui::kIdLicense)), L"本软件按“现状”提供"));
            EXPECT_FALSE(shown(rezui::kIdSidePanel));
        }),
        click_on(rezui::kIdBack),
        wait_for(on_page(0)),
        click_on(rezui::kIdMain),
        wait_for(on_page(1)),
        click_on(rezui::kIdMain),
        wait_for(on_page(2)),
        act([&] {
            EXPECT_EQ(text_of(control(rezui::kIdHeading)), L"目标文件夹");
            EXPECT_EQ(text_of(control(rezui::kIdFolder)), blocked);
            EXPECT_FALSE(shown(rezui::kIdShortcut)) << "the shortcut was not offered";
            EXPECT_EQ(GetFocus(), control(rezui::kIdFolder));
        }),
        click_on(rezui::kIdMain),
        wait_for(on_page(3)),
        act([] {
            EXPECT_EQ(text_of(control(rezui::kIdMain)), L"安装(I)");
            EXPECT_EQ(text_of(control(rezui::kIdHeading)), L"已准备好安装 QvlWizard");
            EXPECT_EQ(log_text(), L"") << "the readme waits for the installation";
        }),
        click_on(rezui::kIdMain),
        wait_for([] { return g_runner.page == 2 && !g_runner.running; }),
        act([] {
            EXPECT_TRUE(contains(text_of(control(rezui::kIdFolderHint)), L"状态：解压失败：")) << text_of(control(rezui::kIdFolderHint));
            EXPECT_TRUE(usable(control(rezui::kIdCancel)));
        }),
        type_on(rezui::kIdFolder, f.dest),
        click_on(rezui::kIdMain),
        wait_for(on_page(3)),
        click_on(rezui::kIdMain),
        main_button_reads(L"完成(F)"),
        act([&] {
            EXPECT_EQ(g_runner.page, 4);
            EXPECT_EQ(qvltest::read_text(f.dest + L"\\docs\\readme.txt"), "hello");
            EXPECT_EQ(log_text().rfind(L"─── 自述文件 ───\r\nREADME text\r\n──────────────\r\n", 0), 0u) << log_text();
        }),
        click_on(rezui::kIdMain),
        wait_for(on_page(5)),
        act([] { EXPECT_EQ(text_of(control(rezui::kIdFinishedHeading)), L"QvlWizard 安装向导已完成"); }),
        click_on(rezui::kIdMain),
    };
    EXPECT_EQ(s.run(f.sfx_path), 0);
    EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
    EXPECT_FALSE(f.temp_archive_left());
}

TEST(RunnerWizard, ClosingBeforeTheEndExitsWith1) {
    RunnerFixture f;
    rezui::SfxConfig config = one_page(f.dest);
    config.mode = "installer";
    f.build(config);
    Session s;
    s.steps = {click_on(rezui::kIdCancel)};
    EXPECT_EQ(s.run(f.sfx_path), 1);
    EXPECT_TRUE(s.all_steps_done());
    EXPECT_FALSE(f.temp_archive_left());
}

void throw_instead_of_starting(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

TEST(RunnerThreadStart, AThreadThatCannotStartIsReportedAndTheButtonsComeBack) {
    RunnerFixture f;
    f.build(one_page(f.dest));
    Session s;
    s.steps = {
        act([] { rezui::runner_thread_launcher = throw_instead_of_starting; }),
        click_on(rezui::kIdMain),
        wait_for([] { return contains(log_text(), L"状态：解压失败：无法启动解压线程"); }),
        act([] {
            EXPECT_FALSE(g_runner.running);
            EXPECT_EQ(text_of(control(rezui::kIdMain)), L"解压");
            EXPECT_TRUE(usable(control(rezui::kIdCancel)));
            rezui::runner_thread_launcher = rezui::launch_detached_thread;
        }),
        // The next click runs the extraction.
        click_on(rezui::kIdMain),
        wait_for([] { return !usable(control(rezui::kIdMain)); }),
        main_button_reads(L"解压"),
        click_on(rezui::kIdCancel),
    };
    const int code = s.run(f.sfx_path);
    rezui::runner_thread_launcher = rezui::launch_detached_thread;
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
    EXPECT_EQ(qvltest::read_text(f.dest + L"\\top.dat"), "top");
}

// Refuses the creation of the runner's window, as a system out of window resources would.
LRESULT CALLBACK refuse_runner_window(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_CREATEWND) {
        wchar_t cls[64] = {};
        GetClassNameW(reinterpret_cast<HWND>(wparam), cls, 64);
        if (std::wstring(cls) == rezui::kRunnerClass) return 1;
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST(RunnerWindow, AWindowThatCannotBeCreatedIsReportedAndEndsWith1) {
    RunnerFixture f;
    f.build(one_page(f.dest));
    HHOOK hook = SetWindowsHookExW(WH_CBT, refuse_runner_window, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    std::wstring box_text, box_caption;
    Session s;
    s.limit_ms = 10000;
    s.steps = {
        wait_for([] { return qvltest::visible_dialog_of_this_thread() != nullptr; }),
        act([&] {
            HWND box = qvltest::visible_dialog_of_this_thread();
            box_caption = text_of(box);
            box_text = text_of(GetDlgItem(box, 0xFFFF));
        }),
        [] {
            HWND box = qvltest::visible_dialog_of_this_thread();
            return click(GetDlgItem(box, IDOK));
        },
    };
    const int code = s.run(f.sfx_path);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
    EXPECT_EQ(box_caption, L"自解压程序");
    EXPECT_EQ(box_text, rezui::kNoWindowText);
    EXPECT_FALSE(f.temp_archive_left());
}

TEST(RunnerExtraction, EntriesNamedToLeaveTheFolderAreNotWrittenOutsideIt) {
    qvltest::ScratchDir dir(L"runner_escape");
    qvltest::PrivateTemp temp(L"runner_escape_tmp");
    const std::wstring rez_path = dir / L"odd.rez";
    reztest::write(rez_path, reztest::odd_names_rez({{"..", ""}, {"x/../../y", ""}, {"ok", "txt"}, {"C:", "txt"}},
                                                    {"..", ". ."}));
    const std::wstring box = dir / L"box";
    CreateDirectoryW(box.c_str(), nullptr);
    const std::wstring dest = box + L"\\target";
    const std::wstring sfx = dir / L"odd.exe";
    make_sfx(make_host(dir), rez_path, sfx, one_page(dest));
    Session s;
    s.steps = {
        click_on(rezui::kIdMain),
        wait_for([] { return !usable(control(rezui::kIdMain)); }),
        main_button_reads(L"解压"),
        act([] { EXPECT_TRUE(contains(log_text(), L"状态：解压失败：条目路径不安全")) << log_text(); }),
        click_on(rezui::kIdCancel),
    };
    EXPECT_EQ(s.run(sfx), 1);
    EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
    // Only the chosen folder was written to, and in it only the entries that stay inside.
    EXPECT_EQ(qvltest::folder_names(box), std::vector<std::wstring>{L"target"});
    EXPECT_EQ(qvltest::folder_names(dir.path()), (std::vector<std::wstring>{L"box", L"host.bin", L"odd.exe", L"odd.rez"}));
    EXPECT_EQ(qvltest::read_text(dest + L"\\ok.txt"), "<ok>");
    EXPECT_EQ(qvltest::read_text(dest + L"\\x_.._.._y"), "<x/../../y>");
}

// A program to run that is not one of the extracted files: outside the folder in several
// spellings, a folder, or missing. Nothing is started and the runner stays open.
TEST(RunnerNames, AProgramToRunOutsideTheFolderIsRefused) {
    RunnerFixture f;
    const std::wstring evil = f.dir / L"evil.exe";
    ASSERT_TRUE(CopyFileW(cwd_probe_exe().c_str(), evil.c_str(), FALSE));
    const std::wstring refused = L"[错误] 运行程序的路径不在解压目录内，已拒绝: ";
    const std::wstring missing = L"[错误] 运行程序在解压结果中不存在: ";
    const struct {
        std::string name;
        std::wstring line;
    } cases[] = {
        {"..\\evil.exe", refused},
        {"docs/../../evil.exe", refused},
        {rez::to_utf8(evil), refused},
        {"\\" + rez::to_utf8(evil.substr(3)), refused},
        {"docs", missing},
        {"docs\\missing.exe", missing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rezui::SfxConfig config = one_page(f.dest);
        config.run_program = c.name;
        f.build(config);
        Session s;
        s.steps = {
            click_on(rezui::kIdMain),
            wait_for([] { return !usable(control(rezui::kIdMain)); }),
            main_button_reads(L"解压"),
            act([&] { EXPECT_TRUE(contains(log_text(), c.line + rez::from_utf8(c.name))) << log_text(); }),
            click_on(rezui::kIdCancel),
        };
        EXPECT_EQ(s.run(f.sfx_path), 0) << "the runner stays open and ends as a finished extraction";
        EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
        Sleep(300);
        EXPECT_FALSE(qvltest::path_exists(f.dir / L"started.txt")) << "the outside program ran";
    }
}

TEST(RunnerNames, AShortcutTargetOutsideTheFolderPointsTheShortcutAtTheFolder) {
    if (!desktop_is_private_folder()) GTEST_SKIP() << "the desktop is not a folder of the test prefix";
    RunnerFixture f;
    ASSERT_TRUE(qvltest::write_text(f.dir / L"outside.txt", "outside"));
    const std::wstring title = L"QvlRunnerTarget" + std::to_wstring(GetCurrentProcessId());
    DesktopCleanup cleanup{{title + L".lnk", title + L" (1).lnk"}};
    const std::wstring link = desktop_folder() + L"\\" + title + L".lnk";
    const std::wstring second = desktop_folder() + L"\\" + title + L" (1).lnk";
    for (const std::string& target : {std::string("..\\outside.txt"), std::string("docs\\readme.txt")}) {
        SCOPED_TRACE(target);
        rezui::SfxConfig config = one_page(f.dest);
        config.title = rez::to_utf8(title);
        config.create_shortcut = true;
        config.shortcut_target = target;
        f.build(config);
        Session s;
        s.steps = {
            act([] { EXPECT_EQ(SendMessageW(control(rezui::kIdShortcut), BM_GETCHECK, 0, 0), BST_CHECKED); }),
            click_on(rezui::kIdMain),
            wait_for([] { return !usable(control(rezui::kIdMain)); }),
            main_button_reads(L"解压"),
            click_on(rezui::kIdCancel),
        };
        EXPECT_EQ(s.run(f.sfx_path), 0);
    }
    // The first run names a file outside: its shortcut points at the folder itself. The
    // second names a file inside: that file, under the next free name.
    EXPECT_EQ(shortcut_target(link).first, f.dest);
    EXPECT_EQ(shortcut_target(second), std::make_pair(f.dest + L"\\docs\\readme.txt", f.dest + L"\\docs"));
}

}  // namespace

// Closing while files are written asks first. "否" lets the extraction go on; "是" stops it at
// its next step: every file written is whole, the rest is not written, and the runner ends
// (with 1: nothing finished) and removes its temporary archive.
TEST(RunnerExtraction, TheCloseBoxMidwayAsksAndStopsBetweenFiles) {
    constexpr int kFiles = 800;
    auto content = [](int i) { return std::string(32768, static_cast<char>('a' + i % 26)); };
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < kFiles; ++i) files.emplace_back("f" + std::to_string(1000 + i) + ".bin", content(i));
    RunnerFixture f(files);
    f.build(one_page(f.dest));
    std::wstring question;
    auto box = [] {
        HWND b = qvltest::visible_dialog_of_this_thread();
        return b && b != g_runner.main_window ? b : nullptr;
    };
    // The close box's command, queued right behind the click or the answer, so that it
    // arrives while the extraction runs (the steps' timer waits for a quiet queue).
    auto close_box = [] { return PostMessageW(g_runner.main_window, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE; };
    Session s;
    s.steps = {
        [&] { return click(control(rezui::kIdMain)) && close_box(); },
        wait_for([&] { return box() != nullptr; }),
        act([&] { question = text_of(GetDlgItem(box(), 0xFFFF)); }),
        [&] { return click(GetDlgItem(box(), IDNO)) && close_box(); },
        wait_for([&] { return box() != nullptr && g_runner.running; }),
        [&] { return click(GetDlgItem(box(), IDYES)); },
    };
    EXPECT_EQ(s.run(f.sfx_path), 1);
    EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
    EXPECT_TRUE(contains(question, L"确定要停止解压并退出吗")) << rez::to_utf8(question);
    int whole = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring path = f.dest + L"\\f" + std::to_wstring(1000 + i) + L".bin";
        if (!qvltest::path_exists(path)) continue;
        EXPECT_EQ(qvltest::read_text(path), content(i)) << rez::to_utf8(path);
        ++whole;
    }
    EXPECT_LT(whole, kFiles) << "the extraction was not stopped";
    EXPECT_EQ(qvltest::folder_names(f.dest).size(), static_cast<size_t>(whole));
    EXPECT_FALSE(f.temp_archive_left());
}

// A title far too long for a window caption (a hostile or broken container): the runner
// says so and ends, instead of running on without a window.
TEST(RunnerWindow, ATitleTooLongForAWindowIsReportedAndEndsWith1) {
    RunnerFixture f;
    rezui::SfxConfig config = one_page(f.dest);
    config.title = std::string(2000000, 'T');
    f.build(config);
    std::wstring box_text;
    Session s;
    s.limit_ms = 60000;
    s.steps = {
        wait_for([] { return qvltest::visible_dialog_of_this_thread() != nullptr; }),
        act([&] { box_text = text_of(GetDlgItem(qvltest::visible_dialog_of_this_thread(), 0xFFFF)); }),
        [] { return click(GetDlgItem(qvltest::visible_dialog_of_this_thread(), IDOK)); },
    };
    EXPECT_EQ(s.run(f.sfx_path), 1);
    EXPECT_TRUE(s.all_steps_done()) << "stopped at step " << s.next;
    EXPECT_TRUE(contains(box_text, L"标题过长")) << rez::to_utf8(box_text);
    EXPECT_FALSE(f.temp_archive_left());
}
