// The real Hobbleton.exe: bare, and as the host of self-extractors made with build_sfx,
// started as programs and driven from outside by clicks and keys on their controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "runner/runner_app.h"
#include "runner/runner_state.h"
#include "runner_test_support.h"

namespace {

using namespace rtest;

bool wait_until(const std::function<bool()>& condition, DWORD ms = 30000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(30);
    }
    return true;
}

// A program started by the test; ended by its id when the test leaves it running.
struct Child {
    PROCESS_INFORMATION info{};

    bool start(const std::wstring& exe) {
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info) != FALSE;
    }
    // The exit code, or -1 when it does not end in time.
    int wait(DWORD ms = 30000) {
        if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return static_cast<int>(code);
    }
    // Its top-level window of the given class (and caption, when given).
    HWND window(const wchar_t* cls, const wchar_t* caption = nullptr) const {
        struct Search {
            DWORD pid;
            const wchar_t* cls;
            const wchar_t* caption;
            HWND found;
        } search{info.dwProcessId, cls, caption, nullptr};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                wchar_t name[64] = {};
                GetClassNameW(w, name, 64);
                if (pid != s->pid || std::wstring(name) != s->cls || !IsWindowVisible(w)) return TRUE;
                if (s->caption && text_of(w) != s->caption) return TRUE;
                s->found = w;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    std::wstring temp_archive_name() const { return L"rez_sfx_" + std::to_wstring(info.dwProcessId) + L".rez"; }

    ~Child() {
        if (!info.hProcess) return;
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
};

bool contains_bytes(const std::vector<uint8_t>& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST(HobbletonBare, ShowsItsMessageAndExitsWith1) {
    // The container's marker texts never sit whole in the runner's own bytes, so a bare
    // runner is not taken for a self-extractor.
    const std::vector<uint8_t> own = qvltest::bytes_of(hobbleton_exe());
    ASSERT_FALSE(own.empty());
    EXPECT_FALSE(contains_bytes(own, rezui::sfx_marker()));
    EXPECT_FALSE(contains_bytes(own, rezui::sfx_legacy_marker()));

    qvltest::PrivateTemp temp(L"bare_tmp");
    Child child;
    ASSERT_TRUE(child.start(hobbleton_exe()));
    HWND box = nullptr;
    ASSERT_TRUE(wait_until([&] { return (box = child.window(L"#32770", rezui::kRunnerCaption)) != nullptr; }));
    EXPECT_EQ(text_of(GetDlgItem(box, 0xFFFF)), rezui::kNoContainerText);
    EXPECT_EQ(child.window(rezui::kRunnerClass), nullptr);
    ASSERT_TRUE(click(GetDlgItem(box, IDOK)));
    EXPECT_EQ(child.wait(), 1);
    EXPECT_TRUE(qvltest::folder_names(temp.dir.path()).empty()) << "a bare runner writes no archive";
}

struct HobbletonRun {
    qvltest::ScratchDir dir{L"hobbleton"};
    qvltest::PrivateTemp temp{L"hobbleton_tmp"};
    std::wstring rez_path = dir / L"data.rez";
    std::wstring sfx_path = dir / L"setup.exe";
    std::wstring dest = dir / L"out";
    Child child;
    HWND window = nullptr;

    void build(const rezui::SfxConfig& config, const std::vector<std::pair<std::string, std::string>>& files = {
                                                   {"docs\\readme.txt", "hello"}, {"top.dat", "top"}}) {
        make_rez(rez_path, files);
        make_sfx(hobbleton_exe(), rez_path, sfx_path, config);
    }
    void start() {
        ASSERT_TRUE(child.start(sfx_path));
        ASSERT_TRUE(wait_until([&] { return (window = child.window(rezui::kRunnerClass)) != nullptr; }));
    }
    HWND control(int id) const { return GetDlgItem(window, id); }
    bool main_reads(const std::wstring& text) const {
        return usable(control(rezui::kIdMain)) && text_of(control(rezui::kIdMain)) == text;
    }
    bool heading_reads(const std::wstring& text) const {
        return IsWindowVisible(control(rezui::kIdHeading)) && text_of(control(rezui::kIdHeading)) == text;
    }
    bool temp_archive_left() const { return qvltest::path_exists(temp.dir / child.temp_archive_name()); }
};

TEST(HobbletonSfx, OnePageExtractsMakesANumberedShortcutAndRemovesItsArchive) {
    if (!desktop_is_private_folder()) GTEST_SKIP() << "the desktop is not a folder of the test prefix";
    HobbletonRun run;
    const std::wstring title = L"QvlOnePage" + std::to_wstring(GetCurrentProcessId());
    DesktopCleanup cleanup{{title + L".lnk", title + L" (1).lnk"}};
    ASSERT_TRUE(qvltest::write_text(desktop_folder() + L"\\" + title + L".lnk", "taken"));
    rezui::SfxConfig config;
    config.title = rez::to_utf8(title);
    config.description = "Quarvel runner test";
    config.default_path = rez::to_utf8(run.dest);
    config.shortcut_target = "docs\\readme.txt";
    run.build(config);
    run.start();
    EXPECT_EQ(text_of(run.window), title);
    EXPECT_TRUE(usable(run.control(rezui::kIdShortcut)));
    EXPECT_EQ(SendMessageW(run.control(rezui::kIdShortcut), BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_TRUE(click(run.control(rezui::kIdMain)));
    ASSERT_TRUE(wait_until([&] { return run.main_reads(L"解压") && qvltest::path_exists(run.dest + L"\\top.dat"); }));
    EXPECT_EQ(qvltest::read_text(run.dest + L"\\docs\\readme.txt"), "hello");
    ASSERT_TRUE(click(run.control(rezui::kIdCancel)));
    EXPECT_EQ(run.child.wait(), 0);
    EXPECT_FALSE(run.temp_archive_left());
    EXPECT_EQ(qvltest::read_text(desktop_folder() + L"\\" + title + L".lnk"), "taken");
    EXPECT_EQ(shortcut_target(desktop_folder() + L"\\" + title + L" (1).lnk"),
              std::make_pair(run.dest + L"\\docs\\readme.txt", run.dest + L"\\docs"));
}

TEST(HobbletonSfx, InstallerPagesFollowClicksAndKeysToTheEnd) {
    HobbletonRun run;
    rezui::SfxConfig config;
    config.title = "QvlSetup";
    config.mode = "installer";
    config.create_shortcut = false;
    config.default_path = rez::to_utf8(run.dest);
    run.build(config);
    run.start();
    const std::wstring chosen = run.dir / L"chosen";
    EXPECT_EQ(text_of(run.window), L"QvlSetup 安装程序");
    // Welcome page: Enter on the focused main button.
    ASSERT_EQ(focus_of(run.window), run.control(rezui::kIdMain));
    ASSERT_TRUE(press_key(run.control(rezui::kIdMain), VK_RETURN));
    ASSERT_TRUE(wait_until([&] { return run.heading_reads(L"许可协议"); }));
    ASSERT_TRUE(click(run.control(rezui::kIdMain)));
    ASSERT_TRUE(wait_until([&] { return run.heading_reads(L"目标文件夹"); }));
    EXPECT_EQ(text_of(run.control(rezui::kIdFolder)), run.dest);
    ASSERT_TRUE(type_into(run.control(rezui::kIdFolder), chosen));
    ASSERT_TRUE(wait_until([&] { return text_of(run.control(rezui::kIdFolder)) == chosen; }));
    ASSERT_TRUE(click(run.control(rezui::kIdBack)));
    ASSERT_TRUE(wait_until([&] { return run.heading_reads(L"许可协议"); }));
    // The space bar presses a button as well.
    ASSERT_TRUE(press_key(run.control(rezui::kIdMain), VK_SPACE));
    ASSERT_TRUE(wait_until([&] { return run.heading_reads(L"目标文件夹"); }));
    EXPECT_EQ(text_of(run.control(rezui::kIdFolder)), chosen);
    ASSERT_TRUE(click(run.control(rezui::kIdMain)));
    ASSERT_TRUE(wait_until([&] { return run.main_reads(L"安装(I)"); }));
    ASSERT_TRUE(click(run.control(rezui::kIdMain)));
    ASSERT_TRUE(wait_until([&] { return run.main_reads(L"完成(F)"); }));
    EXPECT_TRUE(IsWindowVisible(run.control(rezui::kIdLog)));
    EXPECT_EQ(qvltest::read_text(chosen + L"\\docs\\readme.txt"), "hello");
    EXPECT_FALSE(qvltest::path_exists(run.dest));
    ASSERT_TRUE(click(run.control(rezui::kIdMain)));
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(run.control(rezui::kIdFinishedHeading)) != FALSE; }));
    EXPECT_EQ(text_of(run.control(rezui::kIdFinishedHeading)), L"QvlSetup 安装向导已完成");
    ASSERT_TRUE(click(run.control(rezui::kIdMain)));
    EXPECT_EQ(run.child.wait(), 0);
    EXPECT_FALSE(run.temp_archive_left());
}

TEST(HobbletonSfx, StartsTheProgramInItsOwnFolderAndExitsWith1) {
    HobbletonRun run;
    rezui::SfxConfig config;
    config.create_shortcut = false;
    config.default_path = rez::to_utf8(run.dest);
    config.run_program = "setup\\go.exe";
    run.build(config, {{"setup\\go.exe", probe_bytes()}, {"top.dat", "top"}});
    run.start();
    ASSERT_TRUE(click(run.control(rezui::kIdMain)));
    EXPECT_EQ(run.child.wait(), 1) << "a run that started its program does not count as finished";
    EXPECT_FALSE(run.temp_archive_left());
    const std::wstring started = run.dest + L"\\setup\\started.txt";
    ASSERT_TRUE(wait_until([&] { return qvltest::path_exists(started); }, 10000));
    Sleep(200);
    const std::vector<uint8_t> bytes = qvltest::bytes_of(started);
    const std::wstring folder(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    EXPECT_EQ(folder, run.dest + L"\\setup");
}

}  // namespace
