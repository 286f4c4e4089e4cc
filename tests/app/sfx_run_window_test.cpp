#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "app/startup.h"
#include "app/tools/sfx_container.h"
#include "app/tools/sfx_run_window.h"
#include "archive/util.h"
#include "archive/win_handle.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "search_test_support.h"
#include "test_support.h"

using qvltest::ScratchDir;

namespace {

std::wstring desktop_folder() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// The target and working folder a shortcut file holds; empty when it cannot be loaded.
struct LinkInfo {
    std::wstring target, work_dir;
};
LinkInfo read_link(const std::wstring& path) {
    LinkInfo info;
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    struct ComEnd {
        bool on;
        ~ComEnd() {
            if (on) CoUninitialize();
        }
    } com_end{com};
    rez::com_ptr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
        return info;
    rez::com_ptr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())) || FAILED(file->Load(path.c_str(), STGM_READ)))
        return info;
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0))) info.target = buffer;
    buffer[0] = 0;
    if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) info.work_dir = buffer;
    return info;
}

// The shortcut files a run leaves on the desktop are removed again, whatever the outcome.
struct DesktopLinks {
    std::wstring base;
    explicit DesktopLinks(const std::wstring& name) : base(desktop_folder() + L"\\" + name) { clear(); }
    ~DesktopLinks() { clear(); }
    std::wstring numbered(int n) const { return n == 0 ? base + L".lnk" : base + L" (" + std::to_wstring(n) + L").lnk"; }
    void clear() const {
        for (int n = 0; n < 5; ++n) DeleteFileW(numbered(n).c_str());
    }
};

// A small archive: two files, one in a folder.
std::wstring make_archive(const ScratchDir& dir) {
    const std::wstring rez = dir / L"payload.rez";
    stest::make_rez(rez, {{"", L"readme.txt", "read me"}, {"bin", L"demo.exe", "not really a program"}});
    return rez;
}

void press(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    RECT r{};
    GetClientRect(button, &r);
    const LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(button, WM_LBUTTONUP, 0, at);
}

// What the window showed when the run ended (or when the script gave up waiting).
struct Seen {
    std::wstring caption, title, description, proposed, status, log;
    int progress = -1;
    bool start_enabled = false;
};

class SfxRunWindow : public ::testing::Test {
protected:
    void TearDown() override {
        rezui::ui_seams = rezui::default_ui_seams();
        rezui::g_sfx_payload = nullptr;
        rezui::sfx_start_run_thread = start_default;
    }
    static inline void (*const start_default)(rezui::SfxRunJob*) = rezui::sfx_start_run_thread;

    static inline Seen seen;
    static inline int runs_wanted = 1;

    static void take(HWND dialog) {
        seen.status = dlgtest::text_of(dialog, IDC_SFXRUN_STATUS);
        seen.log = dlgtest::text_of(dialog, IDC_SFXRUN_LOG);
        seen.progress = static_cast<int>(SendDlgItemMessageW(dialog, IDC_SFXRUN_PROGRESS, PBM_GETPOS, 0, 0));
        seen.start_enabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SFXRUN_START)) != FALSE;
    }

    // Waits for the worker's end; starts the next run while runs are wanted, then quits
    // through the exit button.
    static void CALLBACK wait_done(HWND dialog, UINT, UINT_PTR timer, DWORD) {
        if (!IsWindowEnabled(GetDlgItem(dialog, IDC_SFXRUN_START))) return;
        if (--runs_wanted > 0) {
            press(dialog, IDC_SFXRUN_START);
            return;
        }
        KillTimer(dialog, timer);
        take(dialog);
        press(dialog, IDCANCEL);
    }

    // Opens the window for the payload; the script types dest (when not empty) and presses
    // the start button runs times.
    static void run(rezui::SfxPayload& payload, const std::wstring& dest, int runs = 1) {
        seen = {};
        runs_wanted = runs;
        rezui::g_sfx_payload = &payload;
        dlgtest::drive({[dest](HWND dialog) {
            seen.caption = rezui::get_window_text(dialog);
            seen.title = dlgtest::text_of(dialog, IDC_SFXRUN_TITLE);
            seen.description = dlgtest::text_of(dialog, IDC_SFXRUN_DESCRIPTION);
            seen.proposed = dlgtest::text_of(dialog, IDC_SFXRUN_DEST);
            if (!dest.empty()) dlgtest::type_into(dialog, IDC_SFXRUN_DEST, dest);
            press(dialog, IDC_SFXRUN_START);
            SetTimer(dialog, 1, 50, wait_done);
        }});
        EXPECT_EQ(rezui::run_dialog(IDD_SFX_RUN, nullptr, rezui::sfx_run_proc), 0);
        EXPECT_EQ(rezui::g_sfx_run_id.load(), nullptr);
    }
};

}  // namespace

TEST_F(SfxRunWindow, ExtractsWithProgressAndProposesTheTemporaryFolder) {
    ScratchDir dir(L"sfx_run");
    rezui::SfxPayload payload;
    payload.temp_archive = make_archive(dir);
    payload.config.title = "演示 Demo";
    payload.config.description = "说明";
    payload.config.create_shortcut = false;
    const std::wstring dest = dir / L"out";

    run(payload, dest);
    EXPECT_EQ(seen.caption, L"演示 Demo");
    EXPECT_EQ(seen.title, L"演示 Demo");
    EXPECT_EQ(seen.description, L"说明");
    wchar_t temp[520] = {};
    GetTempPathW(520, temp);
    EXPECT_EQ(seen.proposed, std::wstring(temp) + L"MarrowindRez_Extract");
    EXPECT_EQ(seen.status, L"解压完成。");
    EXPECT_EQ(seen.progress, 100);
    EXPECT_TRUE(seen.start_enabled);
    EXPECT_EQ(seen.log.rfind(L"准备就绪。点击“解压”开始，输出提示将显示在此处。\r\n", 0), 0u) << rez::to_utf8(seen.log);
    EXPECT_NE(seen.log.find(L"正在解压: "), std::wstring::npos) << rez::to_utf8(seen.log);
    EXPECT_NE(seen.log.find(L"[完成] 全部文件已成功解压到目标目录。\r\n"), std::wstring::npos);
    EXPECT_EQ(qvltest::read_text(dest + L"\\readme.txt"), "read me");
    EXPECT_EQ(qvltest::read_text(dest + L"\\bin\\demo.exe"), "not really a program");
}

TEST_F(SfxRunWindow, HostileNamesNeverLeaveTheChosenFolder) {
    ScratchDir dir(L"sfx_hostile");
    // A folder record named ".." and one with a drive in its name.
    ASSERT_TRUE(qvltest::write_text(dir / L"keep.txt", "kept"));
    ASSERT_TRUE(qvltest::write_text(dir / L"evil.txt", "escaped"));
    rez::RezFile model;
    std::string out;
    ASSERT_TRUE(model.add_file("", dir / L"keep.txt", out));
    ASSERT_TRUE(model.create_directory("up", out));
    ASSERT_TRUE(model.add_file("up", dir / L"evil.txt", out));
    ASSERT_TRUE(model.create_directory("drive", out));
    ASSERT_TRUE(model.add_file("drive", dir / L"evil.txt", out));
    for (auto& child : model.root.children) {
        if (child.name == "up") child.name = "..";
        if (child.name == "drive") child.name = "C:";
    }
    std::wstring err;
    ASSERT_TRUE(model.save(dir / L"bad.rez", err)) << rez::to_utf8(err);
    DeleteFileW((dir / L"evil.txt").c_str());
    ASSERT_TRUE(CreateDirectoryW((dir / L"inner").c_str(), nullptr));

    rezui::SfxPayload payload;
    payload.temp_archive = dir / L"bad.rez";
    payload.config.create_shortcut = false;
    run(payload, dir / L"inner\\out");
    EXPECT_EQ(qvltest::read_text(dir / L"inner\\out\\keep.txt"), "kept");
    EXPECT_FALSE(qvltest::path_exists(dir / L"evil.txt"));
    EXPECT_FALSE(qvltest::path_exists(dir / L"inner\\evil.txt"));
    EXPECT_EQ(qvltest::folder_names(dir / L"inner"), std::vector<std::wstring>{L"out"});
    // The refusal is told, with the hint.
    EXPECT_EQ(seen.status, L"解压失败。");
    EXPECT_NE(seen.log.find(L"[错误] "), std::wstring::npos);
    EXPECT_NE(seen.log.find(L"[提示] 请确认目标目录可写，或重新选择解压位置后重试。"), std::wstring::npos);
}

TEST_F(SfxRunWindow, ShortcutsGetNumberedNamesAndPointInsideTheFolder) {
    ScratchDir dir(L"sfx_link");
    const std::wstring name = L"SfxDemo " + std::to_wstring(GetCurrentProcessId());
    DesktopLinks links(name);
    ASSERT_TRUE(qvltest::write_text(links.numbered(0), "someone's own file"));
    rezui::SfxPayload payload;
    payload.temp_archive = make_archive(dir);
    payload.config.title = rez::to_utf8(name) + " ";  // the trailing space goes
    payload.config.shortcut_target = "bin\\demo.exe";
    const std::wstring dest = dir / L"out";

    run(payload, dest, 2);  // a second press runs the whole extraction again
    EXPECT_EQ(seen.status, L"解压完成。");
    EXPECT_EQ(qvltest::read_text(links.numbered(0)), "someone's own file");
    const LinkInfo first = read_link(links.numbered(1));
    EXPECT_EQ(first.target, dest + L"\\bin\\demo.exe");
    EXPECT_EQ(first.work_dir, dest + L"\\bin");
    EXPECT_TRUE(qvltest::path_exists(links.numbered(2)));
    EXPECT_FALSE(qvltest::path_exists(links.numbered(3)));

    // A target outside the folder is not followed: the shortcut points at the folder.
    payload.config.shortcut_target = "..\\payload.rez";
    run(payload, dest);
    EXPECT_EQ(read_link(links.numbered(3)).target, dest);
}

TEST_F(SfxRunWindow, EmptyFolderStartsNothing) {
    ScratchDir dir(L"sfx_empty_dest");
    rezui::SfxPayload payload;
    payload.temp_archive = make_archive(dir);
    bool started = false;
    static bool* flag = nullptr;
    flag = &started;
    rezui::sfx_start_run_thread = [](rezui::SfxRunJob* job) {
        *flag = true;
        delete job;
    };
    seen = {};
    rezui::g_sfx_payload = &payload;
    dlgtest::drive({[](HWND dialog) {
        dlgtest::type_into(dialog, IDC_SFXRUN_DEST, L"");
        press(dialog, IDC_SFXRUN_START);
        take(dialog);
        press(dialog, IDCANCEL);
    }});
    rezui::run_dialog(IDD_SFX_RUN, nullptr, rezui::sfx_run_proc);
    EXPECT_FALSE(started);
    EXPECT_TRUE(seen.start_enabled);
    EXPECT_EQ(seen.status, L"");
}

// A run of many small files keeps the window free: a close asked for while the window was
// busy elsewhere is asked about while the extraction still runs. (Had each file posted a
// message of its own, the close would wait behind all of them and come after the end.)
TEST_F(SfxRunWindow, ACloseDuringARunOfManySmallFilesIsAskedWhileItRuns) {
    ScratchDir dir(L"sfx_busy");
    constexpr size_t kFiles = 4000;
    std::vector<std::tuple<std::string, std::wstring, std::string>> files;
    for (size_t i = 0; i < kFiles; ++i) files.emplace_back("", L"f" + std::to_wstring(i) + L".txt", "x");
    rezui::SfxPayload payload;
    payload.temp_archive = dir / L"many.rez";
    stest::make_rez(payload.temp_archive, files);
    payload.config.create_shortcut = false;
    static std::wstring dest;
    dest = dir / L"out";
    static size_t written_when_asked;
    written_when_asked = 0;
    static bool asked;
    asked = false;
    rezui::ui_seams.message_box = [](HWND, const std::wstring& text, const std::wstring&, UINT) {
        if (text == rezui::kSfxStopQuestion) {
            asked = true;
            written_when_asked = qvltest::folder_names(dest).size();
        }
        return IDYES;
    };
    rezui::g_sfx_payload = &payload;
    dlgtest::drive({[](HWND dialog) {
        dlgtest::type_into(dialog, IDC_SFXRUN_DEST, dest);
        press(dialog, IDC_SFXRUN_START);
        Sleep(400);  // the window's thread busy while the worker goes on
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }});
    rezui::run_dialog(IDD_SFX_RUN, nullptr, rezui::sfx_run_proc);
    ASSERT_TRUE(asked) << "closing asked nothing";
    EXPECT_LT(written_when_asked, kFiles);
    EXPECT_LT(qvltest::folder_names(dest).size(), kFiles) << "the extraction was not stopped";
}

// A thread that cannot start is told in the window and the button comes back; the error never
// leaves through the window procedure.
TEST_F(SfxRunWindow, ClicksOnExtractReportAThreadThatDoesNotStart) {
    ScratchDir dir(L"sfx_no_thread");
    rezui::SfxPayload payload;
    payload.temp_archive = make_archive(dir);
    rezui::sfx_start_run_thread = [](rezui::SfxRunJob*) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    seen = {};
    rezui::g_sfx_payload = &payload;
    dlgtest::drive({[](HWND dialog) {
        press(dialog, IDC_SFXRUN_START);
        take(dialog);
        press(dialog, IDCANCEL);
    }});
    rezui::run_dialog(IDD_SFX_RUN, nullptr, rezui::sfx_run_proc);
    EXPECT_EQ(seen.status, L"解压失败。");
    EXPECT_NE(seen.log.find(L"[错误] 无法启动解压线程"), std::wstring::npos) << rez::to_utf8(seen.log);
    EXPECT_TRUE(seen.start_enabled);
    EXPECT_FALSE(qvltest::path_exists(dir / L"out"));
}

namespace {

// A visible dialog box of the process (other than `besides`).
HWND find_process_dialog(DWORD pid, HWND besides = nullptr) {
    struct Search {
        DWORD pid;
        HWND besides;
        HWND found;
    } search{pid, besides, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t cls[16] = {};
            GetClassNameW(window, cls, 16);
            if (window == s->besides || owner != s->pid || std::wstring(cls) != L"#32770" || !IsWindowVisible(window))
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring remote_text(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    wchar_t buffer[8192] = {};
    SendMessageW(item, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

// Clicks a button of another process's window. BM_CLICK has the button take its press and
// its release in one go on its own thread; sent as two mouse messages, the button's thread
// is free in between, and a change of the mouse capture there (another test's window on
// the shared display) turns the release into no click.
void press_remote(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

}  // namespace

// The main program carrying an archive shows its self-extract window at start; a click on
// "解压" extracts with progress, puts a numbered shortcut on the prefix's own desktop, and
// closing the window ends the program and removes its temporary archive.
TEST(SfxRunProcess, QuarvelWithAnArchiveClicksExtractAndMakesANumberedShortcut) {
    ScratchDir dir(L"sfx_process");
    qvltest::PrivateTemp temp(L"sfx_process_tmp");  // the child inherits it
    const std::wstring name = L"QuarvelSfx " + std::to_wstring(GetCurrentProcessId());
    DesktopLinks links(name);
    ASSERT_TRUE(qvltest::write_text(links.numbered(0), "already there"));

    rezui::SfxConfig config;
    config.title = rez::to_utf8(name);
    config.default_path = rez::to_utf8(dir / L"out");
    config.shortcut_target = "bin\\demo.exe";
    const std::wstring program = dir / L"quarvel_sfx.exe";
    std::wstring error;
    ASSERT_EQ(rezui::build_sfx(rez::exe_directory() + L"\\Quarvel.exe", make_archive(dir), program, config, error), 1)
        << rez::to_utf8(error);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    rez::unique_kernel process(pi.hProcess), thread(pi.hThread);

    HWND dialog = nullptr;
    for (int i = 0; i < 300 && !dialog; ++i) {
        Sleep(50);
        dialog = find_process_dialog(pi.dwProcessId);
    }
    ASSERT_NE(dialog, nullptr) << "no self-extract window";
    EXPECT_EQ(remote_text(dialog, IDC_SFXRUN_TITLE), name);
    EXPECT_EQ(remote_text(dialog, IDC_SFXRUN_DEST), dir / L"out");

    press_remote(GetDlgItem(dialog, IDC_SFXRUN_START));
    std::wstring status;
    for (int i = 0; i < 300; ++i) {
        Sleep(50);
        status = remote_text(dialog, IDC_SFXRUN_STATUS);
        if (status == L"解压完成。" || status == L"解压失败。") break;
    }
    EXPECT_EQ(status, L"解压完成。");
    const std::wstring log = remote_text(dialog, IDC_SFXRUN_LOG);
    EXPECT_NE(log.find(L"正在解压: "), std::wstring::npos) << rez::to_utf8(log);
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_SFXRUN_PROGRESS, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(qvltest::read_text(dir / L"out\\readme.txt"), "read me");
    EXPECT_EQ(qvltest::read_text(links.numbered(0)), "already there");
    EXPECT_EQ(read_link(links.numbered(1)).target, dir / L"out\\bin\\demo.exe");

    // A temporary archive of a running self-extractor is there while it runs.
    const std::wstring archive_copy = temp.dir / (L"rez_sfx_" + std::to_wstring(pi.dwProcessId) + L".rez");
    EXPECT_TRUE(qvltest::path_exists(archive_copy));
    // Another instance starting meanwhile leaves it alone.
    rezui::cleanup_stale_temp(temp.dir.path());
    EXPECT_TRUE(qvltest::path_exists(archive_copy));

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(qvltest::path_exists(archive_copy));
}

namespace {

// Stands for a running main program: the single-instance mutex and a main window that
// answers hand-overs. A self-extractor built on the main program must not hand itself to it.
struct FakeRunningInstance {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"MarrowindRez_SingleInstance_Mutex");
    HWND window = nullptr;
    int hand_overs = 0;
    static inline FakeRunningInstance* current = nullptr;

    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_COPYDATA && current) ++current->hand_overs;
        return DefWindowProcW(w, m, wp, lp);
    }
    FakeRunningInstance() {
        current = this;
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MarrowindRezMainWindow";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"Marrowind Quarvel", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~FakeRunningInstance() {
        if (window) DestroyWindow(window);
        UnregisterClassW(L"MarrowindRezMainWindow", GetModuleHandleW(nullptr));
        if (mutex) {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
        current = nullptr;
    }
};

// Sleeps while this thread's windows get their messages (a child's hand-over waits on them).
void pump_for(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
}

}  // namespace

// A self-extractor made from the main program starts as itself while the main program runs
// (it never hands itself over). Closing its window while it extracts asks first; "是" stops
// at the next step: the files written are whole, the rest is not written, and the program
// ends and removes its temporary archive.
TEST(SfxRunProcess, WhileQuarvelRunsTheSelfExtractorShowsAndClosingMidwayAsksAndStopsCleanly) {
    ScratchDir dir(L"sfx_stop");
    qvltest::PrivateTemp temp(L"sfx_stop_tmp");
    constexpr int kFiles = 1500;
    std::vector<std::tuple<std::string, std::wstring, std::string>> files;
    for (int i = 0; i < kFiles; ++i)
        files.emplace_back("", L"f" + std::to_wstring(1000 + i) + L".bin", std::string(16384, static_cast<char>('a' + i % 26)));
    const std::wstring rez_path = dir / L"many.rez";
    stest::make_rez(rez_path, files);
    rezui::SfxConfig config;
    config.title = "QvlStopTest";
    config.default_path = rez::to_utf8(dir / L"out");
    config.create_shortcut = false;
    const std::wstring program = dir / L"stop_sfx.exe";
    std::wstring error;
    ASSERT_EQ(rezui::build_sfx(rez::exe_directory() + L"\\Quarvel.exe", rez_path, program, config, error), 1)
        << rez::to_utf8(error);

    FakeRunningInstance running;
    ASSERT_NE(running.window, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    rez::unique_kernel process(pi.hProcess), thread(pi.hThread);
    HWND dialog = nullptr;
    for (int i = 0; i < 600 && !dialog; ++i) {
        pump_for(50);
        dialog = find_process_dialog(pi.dwProcessId);
    }
    ASSERT_NE(dialog, nullptr) << "no self-extract window; hand-overs to the running instance: " << running.hand_overs;
    EXPECT_EQ(running.hand_overs, 0);

    // The close box's command right behind the click, so that it arrives while the
    // extraction runs.
    HWND start = GetDlgItem(dialog, IDC_SFXRUN_START);
    press_remote(start);
    ASSERT_FALSE(IsWindowEnabled(start)) << "the click on 解压 started nothing";
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    // By the clock and generously: the window takes the close after the progress reports
    // already queued before it, which on a loaded machine can take a while.
    HWND box = nullptr;
    const ULONGLONG give_up = GetTickCount64() + 90000;
    while (!box && GetTickCount64() < give_up && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        pump_for(20);
        box = find_process_dialog(pi.dwProcessId, dialog);
    }
    ASSERT_NE(box, nullptr) << "closing asked nothing; files written: " << qvltest::folder_names(dir / L"out").size();
    EXPECT_NE(remote_text(box, 0xFFFF).find(L"确定要停止解压并关闭吗"), std::wstring::npos);
    press_remote(GetDlgItem(box, IDYES));
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);

    int whole = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring path = dir / (L"out\\f" + std::to_wstring(1000 + i) + L".bin");
        if (!qvltest::path_exists(path)) continue;
        EXPECT_EQ(qvltest::read_text(path), std::string(16384, static_cast<char>('a' + i % 26))) << rez::to_utf8(path);
        ++whole;
    }
    EXPECT_LT(whole, kFiles) << "the extraction was not stopped";
    EXPECT_EQ(qvltest::folder_names(dir / L"out").size(), static_cast<size_t>(whole));
    EXPECT_FALSE(qvltest::path_exists(temp.dir / (L"rez_sfx_" + std::to_wstring(pi.dwProcessId) + L".rez")));
}
