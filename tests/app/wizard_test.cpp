// The pack/extract wizard: its path rules, the pages as a user walks them with the mouse,
// packing into each format and extracting back through the wizard, and what it shows while
// a job runs.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common/window_helpers.h"
#include "app/tools/wizard.h"
#include "app/tools/wizard_worker.h"
#include "archive/member_extract.h"
#include "archive/zip_writer.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "stop_clicks.h"
#include "test_support.h"

namespace {

using Files = std::map<std::string, std::string>;  // '/' separated, lower-cased name -> content

void put(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(qvltest::write_text(path, text)) << rez::to_utf8(path);
}

// Every file below folder; names lower-cased, since REZ may store them upper-cased.
void collect(const std::wstring& folder, const std::string& prefix, Files& out) {
    for (const std::wstring& name : qvltest::folder_names(folder)) {
        const std::wstring path = folder + L"\\" + name;
        const std::string key = prefix + rez::to_lower_ascii(rez::to_utf8(name));
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            collect(path, key + "/", out);
        else
            out[key] = qvltest::read_text(path);
    }
}

Files files_below(const std::wstring& folder) {
    Files out;
    collect(folder, "", out);
    return out;
}

// What the library's own extraction finds in an archive.
Files archive_files(const qvltest::ScratchDir& dir, const std::wstring& archive) {
    const std::wstring out = dir / (L"check_" + std::to_wstring(GetTickCount64()));
    std::wstring err;
    EXPECT_TRUE(rez::extract_archive_to_dir(archive, out, err, {}, {})) << rez::to_utf8(err);
    Files files = files_below(out);
    qvltest::ScratchDir::remove_tree(out);
    return files;
}

// A user's click: the middle of the control must show it (a hidden or disabled button on the
// same spot is not what gets hit), and the button then gets the press and the release there.
void press(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    RECT r{};
    GetWindowRect(button, &r);
    POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ScreenToClient(dialog, &middle);
    HWND hit =
        ChildWindowFromPointEx(dialog, middle, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
    ASSERT_EQ(hit, button) << "control " << id << " is not what a click there reaches";
    RECT c{};
    GetClientRect(button, &c);
    const LPARAM at = MAKELPARAM(c.right / 2, c.bottom / 2);
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(button, WM_LBUTTONUP, 0, at);
}

bool shown(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

// The header of the page shown ("▶ 2. 选择源" on page 2).
int current_step(HWND dialog) {
    const std::wstring marker = L"▶ ";
    for (int i = 0; i < 4; ++i) {
        const std::wstring header = dlgtest::text_of(dialog, IDC_WIZ_STEP1 + i);
        if (header.compare(0, marker.size(), marker) == 0) return i + 1;
    }
    return 0;
}

// Picks a format in the combo box with the arrow keys, as from the keyboard.
void pick_format(HWND dialog, int format) {
    HWND combo = GetDlgItem(dialog, IDC_WIZ_FORMAT);
    SendMessageW(combo, WM_KEYDOWN, VK_HOME, 0);
    for (int i = 0; i < format; ++i) SendMessageW(combo, WM_KEYDOWN, VK_DOWN, 0);
}

const wchar_t* const kFormatExt[] = {L"rez", L"zip", L"7z"};

// Sources of a pack: a folder with a subfolder (and an empty file) and a single file.
struct PackSources {
    std::wstring folder, file;
    Files expected;
    explicit PackSources(const qvltest::ScratchDir& dir) {
        folder = dir / L"levels";
        file = dir / L"notes.txt";
        CreateDirectoryW(folder.c_str(), nullptr);
        CreateDirectoryW((folder + L"\\maps").c_str(), nullptr);
        put(folder + L"\\maps\\one.dat", "level one");
        put(folder + L"\\maps\\empty.dat", "");
        put(folder + L"\\readme.txt", "read me");
        put(file, "notes");
        expected = {{"levels/maps/one.dat", "level one"},
                    {"levels/maps/empty.dat", ""},
                    {"levels/readme.txt", "read me"},
                    {"notes.txt", "notes"}};
    }
};

// The main window with every blocking UI scripted but the wizard, which opens for real.
class Wizard : public ::testing::Test {
protected:
    void SetUp() override { dlgtest::drive({}); }
    void TearDown() override { wizard_closed_result = -99; }

    h4test::MainWindow w;
    static inline INT_PTR wizard_closed_result = -99;

    // Runs the wizard from command id with one script that drives it.
    void run(UINT command, dlgtest::Script script) {
        dlgtest::drive({std::move(script)});
        w.command(command);
    }

    // Walks the pack pages with the mouse: sources added by the add buttons, the output typed
    // without an extension, the format picked; then Start. The dialog closes on success.
    void pack(const std::vector<std::wstring>& files, const std::vector<std::wstring>& folders,
              const std::wstring& output, int format) {
        h4test::open_many_answer = files;
        h4test::folder_answers = folders;
        run(IDM_NEW_ARCHIVE, [=](HWND d) {
            press(d, IDC_WIZ_NEXT);
            if (!files.empty()) press(d, IDC_WIZ_ADD_FILES);
            for (size_t i = 0; i < folders.size(); ++i) press(d, IDC_WIZ_ADD_FOLDER);
            press(d, IDC_WIZ_NEXT);
            dlgtest::type_into(d, IDC_WIZ_OUTPUT, output);
            pick_format(d, format);
            press(d, IDC_WIZ_NEXT);
            press(d, IDC_WIZ_START);
        });
    }

    // Extracts the archive open in the main window with the wizard (command 2021) into
    // destination.
    void extract_open_archive(const std::wstring& destination) {
        run(IDM_WIZARD, [=](HWND d) {
            press(d, IDC_WIZ_NEXT);
            dlgtest::type_into(d, IDC_WIZ_DESTINATION, destination);
            press(d, IDC_WIZ_NEXT);
            press(d, IDC_WIZ_START);
        });
    }
};

TEST(WizardPaths, ArchivePathsAndTheirDefaultFolders) {
    EXPECT_TRUE(rezui::is_archive_path(L"D:\\a\\B.ReZ"));
    EXPECT_TRUE(rezui::is_archive_path(L"x.7Z"));
    EXPECT_FALSE(rezui::is_archive_path(L"D:\\a.zip\\data"));
    EXPECT_FALSE(rezui::is_archive_path(L"D:\\a\\data.rez.bak"));
    const struct {
        const wchar_t *archive, *folder;
    } cases[] = {
        {L"D:\\games\\data.rez", L"D:\\games\\data\\"},
        {L"D:\\games\\x.tar.7z", L"D:\\games\\x.tar\\"},
        {L"D:\\games\\.rez", L"D:\\games\\.rez\\"},
        {L"D:\\games\\odd.", L"D:\\games\\odd\\"},
        {L"D:data.zip", L"D:data\\"},
        {L"D:\\games\\", L"D:\\games\\extracted\\"},
        {L"data.zip", L"data\\"},
        {L"C:/games/data.zip", L"C:/games\\data\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rezui::default_extract_dir(c.archive), c.folder) << rez::to_utf8(c.archive);
}

TEST(WizardPaths, OutputTakesTheFormatsExtension) {
    const struct {
        const wchar_t* path;
        int format;
        const wchar_t *fitted, *swapped;
    } cases[] = {
        {L"D:\\out\\pack", 1, L"D:\\out\\pack.zip", L"D:\\out\\pack"},
        {L"D:\\out\\pack.rez", 2, L"D:\\out\\pack.7z", L"D:\\out\\pack.7z"},
        {L"D:\\out\\pack.dat", 0, L"D:\\out\\pack.dat.rez", L"D:\\out\\pack.dat"},
        {L"D:\\out\\pack.ZIP", 1, L"D:\\out\\pack.ZIP", L"D:\\out\\pack.zip"},
        {L"D:\\out.d\\pack", 0, L"D:\\out.d\\pack.rez", L"D:\\out.d\\pack"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rezui::output_for_format(c.path, c.format), c.fitted) << rez::to_utf8(c.path);
        EXPECT_EQ(rezui::swap_archive_extension(c.path, c.format), c.swapped) << rez::to_utf8(c.path);
    }
}

TEST(WizardPaths, TimeLeftAndRateLines) {
    const struct {
        double seconds;
        const wchar_t* text;
    } cases[] = {{0, L"0 秒"},        {59.4, L"59 秒"},     {119.6, L"1 分 60 秒"},
                 {125, L"2 分 5 秒"}, {3725, L"1 时 2 分"}, {7199, L"1 时 60 分"}};
    for (const auto& c : cases) EXPECT_EQ(rezui::format_time_left(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(rezui::wizard_rate_lines(10, 30, 2.0), L"速率：5 个/秒\n剩余时间：4 秒");
    EXPECT_EQ(rezui::wizard_rate_lines(0, 30, 0), L"速率：0 个/秒\n剩余时间：0 秒");
}

TEST(WizardPaths, SameNamedSourcesGetNumbers) {
    std::vector<std::wstring> taken;
    const struct {
        const wchar_t* name;
        bool folder;
        const wchar_t* staged;
    } cases[] = {
        {L"readme.txt", false, L"readme.txt"},
        {L"README.TXT", false, L"README (2).TXT"},
        {L"readme (2).txt", false, L"readme (2) (2).txt"},
        {L"readme.txt", false, L"readme (3).txt"},
        {L"v1.2", true, L"v1.2"},
        {L"V1.2", true, L"V1.2 (2)"},
        {L".hidden", false, L".hidden"},
        {L".hidden", false, L".hidden (2)"},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::staging_name(c.name, c.folder, taken), c.staged);
}

// The commands of the main window open the wizard: "新建压缩" empty on page 1, the wizard
// command (menu, toolbar, Ctrl+W) on page 2 extracting the open archive, into a folder named
// after it; an archive open under a name that is not an archive's is offered for packing.
TEST_F(Wizard, TheCommandsOpenItEmptyOrOnTheOpenArchive) {
    qvltest::ScratchDir dir(L"wiz_routes");
    const std::wstring zip = dir / L"x.zip";
    std::wstring err;
    ASSERT_TRUE(rez::zip_create(zip, {{"a.txt", {'a'}}}, L"", err)) << rez::to_utf8(err);
    struct Seen {
        int step = 0;
        bool extract = false;
        std::wstring archive, destination, output;
        int rows = 0;
    };
    static std::vector<Seen> seen;
    seen.clear();
    auto look = [](HWND d) {
        seen.push_back({current_step(d), IsDlgButtonChecked(d, IDC_WIZ_EXTRACT) == BST_CHECKED,
                        dlgtest::text_of(d, IDC_WIZ_ARCHIVE), dlgtest::text_of(d, IDC_WIZ_DESTINATION),
                        dlgtest::text_of(d, IDC_WIZ_OUTPUT),
                        ListView_GetItemCount(GetDlgItem(d, IDC_WIZ_SOURCES))});
        press(d, IDCANCEL);
    };
    dlgtest::drive({look, look, look, look, look});
    w.command(IDM_WIZARD);  // nothing open yet
    ASSERT_TRUE(h4test::open_and_wait(zip));
    w.command(IDM_NEW_ARCHIVE);
    // Ctrl+W: the accelerator table reads the Ctrl key's state.
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    const BYTE ctrl = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG key{w.hwnd(), WM_KEYDOWN, 'W', 0, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorW(w.hwnd(), rezui::app.accelerators, &key));
    keys[VK_CONTROL] = ctrl;
    SetKeyboardState(keys);
    h4test::click_toolbar(IDM_WIZARD);
    // A REZ archive open under another name is offered for packing, once, into name + ".rez".
    const std::wstring renamed = dir / L"data.bin";
    h4test::make_small_rez(dir, L"data.bin");
    ASSERT_TRUE(h4test::open_and_wait(renamed));
    w.command(IDM_WIZARD);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(dlgtest::opened, (std::vector<int>(5, IDD_WIZARD)));
    EXPECT_EQ(seen[0].step, 1);
    EXPECT_FALSE(seen[0].extract);
    EXPECT_EQ(seen[1].step, 1);
    EXPECT_EQ(seen[1].rows, 0);
    for (int i : {2, 3}) {
        EXPECT_EQ(seen[i].step, 2);
        EXPECT_TRUE(seen[i].extract);
        EXPECT_EQ(seen[i].archive, zip);
        EXPECT_EQ(seen[i].destination, dir / L"x\\");
    }
    EXPECT_EQ(seen[4].step, 1);
    EXPECT_FALSE(seen[4].extract);
    EXPECT_EQ(seen[4].rows, 1);
    EXPECT_EQ(seen[4].output, renamed + L".rez");
}

// Next checks each page and stays on it with a hint; Back goes back; the radio buttons and
// the format choice change what the pages show.
TEST_F(Wizard, NextChecksEachPageAndBackReturns) {
    qvltest::ScratchDir dir(L"wiz_pages");
    const std::wstring gone = dir / L"gone.txt", kept = dir / L"kept.txt";
    put(kept, "k");
    h4test::open_many_answer = {gone};
    struct Look {
        int step;
        std::wstring output;
        bool header_rows;
    };
    static std::vector<Look> looks;
    looks.clear();
    auto look = [](HWND d) {
        looks.push_back(
            {current_step(d), dlgtest::text_of(d, IDC_WIZ_OUTPUT), shown(d, IDC_WIZ_DESCRIPTION)});
    };
    run(IDM_NEW_ARCHIVE, [&](HWND d) {
        look(d);
        press(d, IDC_WIZ_NEXT);  // page 1 -> 2 (pack is preset)
        look(d);
        press(d, IDC_WIZ_NEXT);  // empty list: stays
        press(d, IDC_WIZ_ADD_FILES);
        press(d, IDC_WIZ_NEXT);  // a missing source: stays, still listed
        look(d);
        EXPECT_EQ(ListView_GetItemCount(GetDlgItem(d, IDC_WIZ_SOURCES)), 1);
        ListView_SetItemState(GetDlgItem(d, IDC_WIZ_SOURCES), 0, LVIS_SELECTED, LVIS_SELECTED);
        press(d, IDC_WIZ_REMOVE);
        h4test::open_many_answer = {kept};
        press(d, IDC_WIZ_ADD_FILES);
        press(d, IDC_WIZ_NEXT);  // -> 3
        dlgtest::type_into(d, IDC_WIZ_OUTPUT, dir.path() + L"\\pack.rez");
        pick_format(d, 1);  // the extension follows, the REZ header rows go
        look(d);
        dlgtest::type_into(d, IDC_WIZ_OUTPUT, dir.path() + L"\\no_such\\pack");
        press(d, IDC_WIZ_NEXT);  // missing output folder: stays
        dlgtest::type_into(d, IDC_WIZ_OUTPUT, dir.path() + L"\\pack.dat");
        press(d, IDC_WIZ_NEXT);  // -> 4, ".zip" appended
        look(d);
        EXPECT_TRUE(shown(d, IDC_WIZ_START));
        EXPECT_FALSE(shown(d, IDC_WIZ_NEXT));
        press(d, IDC_WIZ_BACK);
        press(d, IDC_WIZ_BACK);
        press(d, IDC_WIZ_BACK);
        press(d, IDC_WIZ_EXTRACT);
        press(d, IDC_WIZ_NEXT);  // -> 2, extract
        press(d, IDC_WIZ_NEXT);  // no archive chosen: stays
        look(d);
        EXPECT_TRUE(shown(d, IDC_WIZ_ARCHIVE));
        EXPECT_FALSE(shown(d, IDC_WIZ_SOURCES));
        press(d, IDCANCEL);
    });
    ASSERT_EQ(looks.size(), 6u);
    EXPECT_EQ(looks[0].step, 1);
    EXPECT_EQ(looks[1].step, 2);
    EXPECT_EQ(looks[2].step, 2);
    EXPECT_EQ(looks[3].step, 3);
    EXPECT_EQ(looks[3].output, dir.path() + L"\\pack.zip");
    EXPECT_FALSE(looks[3].header_rows);
    EXPECT_EQ(looks[4].step, 4);
    EXPECT_EQ(looks[4].output, dir.path() + L"\\pack.dat.zip");
    EXPECT_EQ(looks[5].step, 2);
    std::vector<std::wstring> hints;
    for (const auto& b : h4test::boxes) hints.push_back(b.caption + L"|" + b.text);
    EXPECT_EQ(hints, (std::vector<std::wstring>{
                         L"提示|请至少添加一个文件或文件夹",
                         L"提示|以下路径不存在或已被删除：\n" + gone,
                         L"提示|输出目录不存在：\n" + dir.path() + L"\\no_such\n请先创建该目录或选择其他路径",
                         L"提示|请选择要解压的 REZ/ZIP/7Z 文件",
                     }));
}

// Packs a folder and a file into each format with the wizard, opens the archive it wrote,
// and extracts that back with the wizard: the same files come out.
TEST_F(Wizard, PacksEachFormatAndExtractsItBack) {
    qvltest::ScratchDir dir(L"wiz_round");
    PackSources sources(dir);
    for (int format = 0; format < 3; ++format) {
        SCOPED_TRACE(rez::to_utf8(kFormatExt[format]));
        const std::wstring output = dir / L"out", written = output + L"." + kFormatExt[format];
        h4test::shell_launches.clear();
        pack({sources.file}, {sources.folder}, output, format);
        ASSERT_TRUE(h4test::wait_idle());
        ASSERT_TRUE(rezui::app.archive_loaded);
        EXPECT_EQ(rezui::app.archive.path, written);
        EXPECT_TRUE(h4test::log_has(L"创建完成：" + written));
        EXPECT_EQ(archive_files(dir, written), sources.expected);

        const std::wstring back = dir / (L"back_" + std::wstring(kFormatExt[format]));
        extract_open_archive(back);
        EXPECT_EQ(files_below(back), sources.expected);
        EXPECT_TRUE(h4test::log_has(L"解压完成：" + back));
        EXPECT_EQ(h4test::shell_launches, std::vector<std::wstring>{L"explore|" + back + L"|"});
    }
    EXPECT_TRUE(h4test::boxes.empty());
}

// Sources that share a name (compared as Windows does, without case) all reach the archive:
// the later ones are numbered, a file's number going before its extension.
TEST_F(Wizard, SourcesWithTheSameNameAreNumberedNotLost) {
    qvltest::ScratchDir dir(L"wiz_same");
    const std::wstring files[] = {dir / L"a\\readme.txt", dir / L"b\\readme.txt", dir / L"c\\README.TXT"};
    const std::wstring folders[] = {dir / L"x\\data", dir / L"y\\data"};
    for (const wchar_t* sub : {L"a", L"b", L"c", L"x", L"y", L"x\\data", L"y\\data"})
        CreateDirectoryW((dir / sub).c_str(), nullptr);
    put(files[0], "first");
    put(files[1], "second");
    put(files[2], "third");
    put(folders[0] + L"\\f.txt", "1");
    put(folders[1] + L"\\f.txt", "2");
    const Files expected = {{"readme.txt", "first"},
                            {"readme (2).txt", "second"},
                            {"readme (3).txt", "third"},
                            {"data/f.txt", "1"},
                            {"data (2)/f.txt", "2"}};
    for (int format = 0; format < 3; ++format) {
        SCOPED_TRACE(rez::to_utf8(kFormatExt[format]));
        const std::wstring output = dir / L"same";
        pack({files[0], files[1], files[2]}, {folders[0], folders[1]}, output, format);
        ASSERT_TRUE(h4test::wait_idle());
        EXPECT_EQ(archive_files(dir, output + L"." + kFormatExt[format]), expected);
    }
    EXPECT_TRUE(h4test::boxes.empty());
}

// What the rate and time-left labels show each time a message of the job reaches the
// wizard, from the first report of the job on.
struct RateWatch {
    static inline std::vector<std::pair<std::wstring, std::wstring>> seen;
    static inline HHOOK hook = nullptr;
    static LRESULT CALLBACK on_message(int code, WPARAM removed, LPARAM lparam) {
        const MSG* msg = reinterpret_cast<const MSG*>(lparam);
        if (code == HC_ACTION && removed == PM_REMOVE && msg->message >= rezui::WM_WIZ_PROGRESS &&
            msg->message <= rezui::WM_WIZ_TICK) {
            HWND d = msg->hwnd;
            seen.emplace_back(dlgtest::text_of(d, IDC_WIZ_RATE), dlgtest::text_of(d, IDC_WIZ_TIME_LEFT));
        }
        return CallNextHookEx(hook, code, removed, lparam);
    }
    RateWatch() {
        seen.clear();
        hook = SetWindowsHookExW(WH_GETMESSAGE, on_message, nullptr, GetCurrentThreadId());
    }
    ~RateWatch() { UnhookWindowsHookEx(hook); }
    static void expect_shown_from_first_report();
};

bool is_rate(const std::wstring& text) {
    const std::wstring head = L"速率：", tail = L" 个/秒";
    if (text.size() <= head.size() + tail.size() || text.rfind(head, 0) != 0) return false;
    if (text.compare(text.size() - tail.size(), tail.size(), tail) != 0) return false;
    for (size_t i = head.size(); i < text.size() - tail.size(); ++i)
        if (text[i] < L'0' || text[i] > L'9') return false;
    return true;
}

bool is_time_left(const std::wstring& text) {
    const std::wstring head = L"剩余时间：";
    return text.size() > head.size() + 2 && text.rfind(head, 0) == 0 && text.back() != L'—';
}

void RateWatch::expect_shown_from_first_report() {
    auto first = std::find_if(seen.begin(), seen.end(), [](const auto& s) { return s.first != L"速率：—"; });
    ASSERT_NE(first, seen.end()) << "no rate shown at all";
    for (auto it = first; it != seen.end(); ++it) {
        EXPECT_TRUE(is_rate(it->first))
            << "sample " << (it - seen.begin()) << ": " << rez::to_utf8(it->first);
        EXPECT_TRUE(is_time_left(it->second))
            << "sample " << (it - seen.begin()) << ": " << rez::to_utf8(it->second);
    }
}

// Once the job has first reported, the rate and the time left stay on show until it ends,
// through the writing of the archive too, in every format and when extracting.
TEST_F(Wizard, RateAndTimeLeftStayShownWhileItWorks) {
    qvltest::ScratchDir dir(L"wiz_rate");
    PackSources sources(dir);
    for (int i = 0; i < 40; ++i) put(sources.folder + L"\\maps\\m" + std::to_wstring(i) + L".dat", "map");
    for (int format = 0; format < 3; ++format) {
        SCOPED_TRACE(rez::to_utf8(kFormatExt[format]));
        const std::wstring written = dir / (L"rate." + std::wstring(kFormatExt[format]));
        {
            RateWatch watch;
            pack({sources.file}, {sources.folder}, dir / L"rate", format);
            ASSERT_TRUE(h4test::wait_idle());
            ASSERT_EQ(rezui::app.archive.path, written);
            watch.expect_shown_from_first_report();
        }
        RateWatch watch;
        extract_open_archive(dir / (L"rate_back_" + std::wstring(kFormatExt[format])));
        watch.expect_shown_from_first_report();
    }
}

// An archive member that would leave the destination fails the job with its name; the
// wizard stays on its last page, ready to start again, until the user cancels.
TEST_F(Wizard, AFailedJobSaysWhyAndStays) {
    qvltest::ScratchDir dir(L"wiz_fail");
    const std::wstring destination = dir / L"out";
    static bool start_enabled = false;
    start_enabled = false;
    rezui::app.archive_loaded = false;
    h4test::open_answer = qvltest::fixture(L"app\\climb.zip");
    run(IDM_NEW_ARCHIVE, [=](HWND d) {
        press(d, IDC_WIZ_EXTRACT);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_BROWSE_ARCHIVE);
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_DESTINATION, destination);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_START);
        SetTimer(d, 1, 20, [](HWND d, UINT, UINT_PTR timer, DWORD) {
            if (h4test::boxes.empty()) return;
            KillTimer(d, timer);
            start_enabled = IsWindowEnabled(GetDlgItem(d, IDC_WIZ_START)) && current_step(d) == 4;
            press(d, IDCANCEL);
        });
    });
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"操作失败");
    EXPECT_EQ(h4test::boxes[0].text, L"条目路径不安全，已拒绝: ../x");
    EXPECT_EQ(h4test::boxes[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(start_enabled);
    EXPECT_EQ(qvltest::read_text(destination + L"\\ok.txt"), "fine");
    EXPECT_TRUE(h4test::shell_launches.empty());
}

// Cancel while the job runs: the dialog stays until the job has stopped, then closes with
// "cancel" and no message; no archive is opened and the copy folder is gone.
TEST_F(Wizard, CancelWhileItRunsEndsTheJobThenCloses) {
    qvltest::PrivateTemp temp(L"wiz_cancel");
    qvltest::ScratchDir dir(L"wiz_cancel_src");
    const std::wstring folder = dir / L"many";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < 300; ++i) put(folder + L"\\f" + std::to_wstring(i) + L".dat", std::string(4096, 'x'));
    static INT_PTR result = 0;
    static bool open_after_cancel = false;
    result = 0;
    h4test::folder_answers = {folder};
    dlgtest::drive({[&](HWND d) {
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_ADD_FOLDER);
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_OUTPUT, dir / L"many.rez");
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_START);
        press(d, IDCANCEL);
        open_after_cancel = IsWindowVisible(d) && !IsWindowEnabled(GetDlgItem(d, IDC_WIZ_START));
    }});
    rezui::ui_seams.run_dialog = [](int id, HWND owner, DLGPROC proc, LPARAM param) {
        result = dlgtest::run_real_dialog(id, owner, proc, param);
        return result;
    };
    w.command(IDM_NEW_ARCHIVE);
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(open_after_cancel);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_FALSE(rezui::app.archive_loaded);
    EXPECT_EQ(temp.names(), std::vector<std::wstring>{});
}

// Cancel during an extraction stops it between files: the job does not run to its end first.
TEST_F(Wizard, CancelStopsAnExtractionWhileItRuns) {
    qvltest::ScratchDir dir(L"wiz_cancel_x");
    ASSERT_TRUE(h4test::open_and_wait(h4test::make_big_rez(dir)));
    const std::wstring back = dir / L"back";
    static INT_PTR result = 0;
    result = 0;
    dlgtest::drive({[&](HWND d) {
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_DESTINATION, back);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_START);
        press(d, IDCANCEL);
    }});
    rezui::ui_seams.run_dialog = [](int id, HWND owner, DLGPROC proc, LPARAM param) {
        result = dlgtest::run_real_dialog(id, owner, proc, param);
        return result;
    };
    w.command(IDM_WIZARD);
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_LT(qvltest::folder_names(back).size(), static_cast<size_t>(h4test::kBigRezEntries));
    EXPECT_FALSE(h4test::log_has(L"解压完成：" + back));
}

// Members named as devices ("CON", "sub/NUL.txt") or with a character Windows refuses ("a?b")
// are written under the names every other extraction gives them: nothing goes to a device
// and the job does not fail.
TEST_F(Wizard, OddMemberNamesGetTheNamesOfEveryOtherExtraction) {
    qvltest::ScratchDir dir(L"wiz_odd");
    const std::wstring zip = dir / L"odd_names.zip", back = dir / L"back";
    ASSERT_TRUE(CopyFileW(qvltest::fixture(L"app\\odd_names.zip").c_str(), zip.c_str(), FALSE));
    rezui::app.archive_loaded = false;
    h4test::open_answer = zip;
    run(IDM_NEW_ARCHIVE, [=](HWND d) {
        press(d, IDC_WIZ_EXTRACT);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_BROWSE_ARCHIVE);
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_DESTINATION, back);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_START);
    });
    EXPECT_TRUE(h4test::boxes.empty()) << (h4test::boxes.empty() ? "" : rez::to_utf8(h4test::boxes[0].text));
    EXPECT_TRUE(h4test::log_has(L"解压完成：" + back));
    const Files expected = archive_files(dir, zip);
    EXPECT_EQ(expected.size(), 4u);
    EXPECT_EQ(expected.count("con"), 0u);
    EXPECT_EQ(files_below(back), expected);
}

// The main window's Stop belongs to the main window's job: pressed while the wizard packs, it
// leaves the wizard's job to finish.
TEST_F(Wizard, TheMainWindowsStopLeavesTheWizardsJobAlone) {
    qvltest::ScratchDir dir(L"wiz_own_stop");
    const std::wstring folder = dir / L"many";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < 300; ++i) put(folder + L"\\f" + std::to_wstring(i) + L".dat", std::string(4096, 'x'));
    h4test::folder_answers = {folder};
    const HWND main = w.hwnd();
    run(IDM_NEW_ARCHIVE, [&](HWND d) {
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_ADD_FOLDER);
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_OUTPUT, dir / L"many.rez");
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_START);
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_STOP, 0), 0);
    });
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_TRUE(h4test::log_has(L"创建完成：" + dir / L"many.rez"));
    EXPECT_EQ(rezui::app.archive.path, dir / L"many.rez");
}

// A job of the main window started while the wizard is open (as a hand-over can): Start
// says so and starts nothing; the main window's job goes on.
TEST_F(Wizard, StartIsRefusedWhileAMainWindowJobRuns) {
    qvltest::ScratchDir dir(L"wiz_busy");
    ASSERT_TRUE(h4test::open_and_wait(h4test::make_big_rez(dir)));
    const std::wstring out = dir / L"out", file = dir / L"one.txt";
    put(file, "one");
    h4test::open_many_answer = {file};
    static bool busy_at_start = false;
    busy_at_start = false;
    const HWND main = w.hwnd();
    run(IDM_NEW_ARCHIVE, [&](HWND d) {
        h4test::folder_answers = {out};
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT_ALL, 0), 0);
        SendMessageW(rezui::app.pause_button, BM_CLICK, 0, 0);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_ADD_FILES);
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_OUTPUT, dir / L"one.rez");
        press(d, IDC_WIZ_NEXT);
        busy_at_start = rezui::app.busy;
        press(d, IDC_WIZ_START);
        press(d, IDCANCEL);
    });
    EXPECT_TRUE(busy_at_start);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"正在执行任务，请等待完成或停止后再试。");
    EXPECT_FALSE(qvltest::path_exists(dir / L"one.rez"));
    SendMessageW(rezui::app.resume_button, BM_CLICK, 0, 0);
    ASSERT_TRUE(h4test::wait_idle());
    EXPECT_TRUE(qvltest::path_exists(out + L"\\f" + std::to_wstring(1000 + h4test::kBigRezEntries - 1) + L".bin"));
}

// An output name that another file has is replaced only when the user says so: "no" keeps
// the file and starts nothing, "yes" writes the new archive over it.
TEST_F(Wizard, AnExistingOutputIsReplacedOnlyWhenTheUserSaysSo) {
    qvltest::ScratchDir dir(L"wiz_exists");
    const std::wstring file = dir / L"one.txt", output = dir / L"game.zip";
    put(file, "one");
    put(output, "the user's own file");
    for (int answer : {IDNO, IDYES}) {
        h4test::boxes.clear();
        h4test::box_answer = answer;
        h4test::open_many_answer = {file};
        run(IDM_NEW_ARCHIVE, [&](HWND d) {
            press(d, IDC_WIZ_NEXT);
            press(d, IDC_WIZ_ADD_FILES);
            press(d, IDC_WIZ_NEXT);
            dlgtest::type_into(d, IDC_WIZ_OUTPUT, dir / L"game.rez");
            pick_format(d, 1);
            press(d, IDC_WIZ_NEXT);
            press(d, IDC_WIZ_START);
            if (IsWindowEnabled(GetDlgItem(d, IDC_WIZ_START))) press(d, IDCANCEL);
        });
        ASSERT_TRUE(h4test::wait_idle());
        ASSERT_GE(h4test::boxes.size(), 1u);
        EXPECT_EQ(h4test::boxes[0].text, L"“" + output + L"” 已存在，是否覆盖？");
        if (answer == IDNO)
            EXPECT_EQ(qvltest::read_text(output), "the user's own file");
        else
            EXPECT_EQ(archive_files(dir, output), (Files{{"one.txt", "one"}}));
    }
}

// A zip of n members of one byte each, made in memory.
std::wstring many_member_zip(const qvltest::ScratchDir& dir, int n) {
    std::vector<rez::ArchiveItem> items;
    for (int i = 0; i < n; ++i) items.push_back({"f" + std::to_string(100000 + i) + ".txt", {'x'}});
    const std::wstring zip = dir / L"many.zip";
    std::wstring err;
    EXPECT_TRUE(rez::zip_create(zip, items, L"", err)) << rez::to_utf8(err);
    return zip;
}

constexpr int kManyFiles = 20000;

// Cancel clicked with the mouse while the wizard extracts 20,000 small files: the click is
// answered at once and no file is written after it; the wizard closes as cancelled.
TEST_F(Wizard, CancelClicksStopAnExtractionOfManyFilesBeforeItsNextFile) {
    qvltest::ScratchDir dir(L"wiz_many_x");
    const std::wstring zip = many_member_zip(dir, kManyFiles), back = dir / L"back";
    static INT_PTR result = 0;
    result = 0;
    static std::unique_ptr<stopclick::Answer> answer;
    static std::unique_ptr<stopclick::ClickWhen> clicker;
    rezui::app.archive_loaded = false;
    h4test::open_answer = zip;
    dlgtest::drive({[back](HWND d) {
        SetWindowPos(d, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        rezui::raise_window(d);
        press(d, IDC_WIZ_EXTRACT);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_BROWSE_ARCHIVE);
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_DESTINATION, back);
        press(d, IDC_WIZ_NEXT);
        answer = std::make_unique<stopclick::Answer>(d, IDCANCEL, back);
        press(d, IDC_WIZ_START);
        clicker = std::make_unique<stopclick::ClickWhen>(
            [back] { return stopclick::file_count(back) >= 300; }, [d] { return GetDlgItem(d, IDCANCEL); });
    }});
    rezui::ui_seams.run_dialog = [](int id, HWND owner, DLGPROC proc, LPARAM param) {
        result = dlgtest::run_real_dialog(id, owner, proc, param);
        return result;
    };
    w.command(IDM_NEW_ARCHIVE);
    ASSERT_TRUE(h4test::wait_idle());
    ASSERT_TRUE(clicker);
    clicker->join();
    const ULONGLONG clicked = clicker->clicked_at.load(), answered = stopclick::Answer::at.load();
    const long long files_then = stopclick::Answer::files.load();
    const size_t files_now = stopclick::file_count(back);
    clicker.reset();
    answer.reset();
    ASSERT_NE(clicked, 0u) << "the click did not go in";
    ASSERT_NE(answered, 0u) << "the click was never handled";
    EXPECT_LT(answered - clicked, 3000u) << "the click waited for the job";
    EXPECT_LT(files_now, static_cast<size_t>(kManyFiles));
    EXPECT_LE(static_cast<long long>(files_now), files_then + 1) << "files written after the answer";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_FALSE(h4test::log_has(L"解压完成：" + back));
}

// Cancel clicked while the wizard writes a REZ archive of 3,000 small files: the writing
// stops, and neither the archive nor its temporary file is left; the wizard closes as
// cancelled.
TEST_F(Wizard, CancelClicksWhileTheRezIsWrittenLeaveNoArchive) {
    qvltest::PrivateTemp temp(L"wiz_many_p");
    qvltest::ScratchDir dir(L"wiz_many_src");
    const std::wstring folder = dir / L"many";
    {
        // The files come from a zip of them: far quicker than writing each one here.
        qvltest::ScratchDir zips(L"wiz_many_zip");
        std::wstring err;
        ASSERT_TRUE(rez::extract_archive_to_dir(many_member_zip(zips, 3000), folder, err, {}, {}))
            << rez::to_utf8(err);
    }
    const std::wstring output = dir / L"many.rez";
    static INT_PTR result = 0;
    result = 0;
    static std::unique_ptr<stopclick::ClickWhen> clicker;
    h4test::folder_answers = {folder};
    dlgtest::drive({[output](HWND d) {
        SetWindowPos(d, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        rezui::raise_window(d);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_ADD_FOLDER);
        press(d, IDC_WIZ_NEXT);
        dlgtest::type_into(d, IDC_WIZ_OUTPUT, output);
        press(d, IDC_WIZ_NEXT);
        press(d, IDC_WIZ_START);
        clicker = std::make_unique<stopclick::ClickWhen>(
            [d] { return dlgtest::text_of(d, IDC_WIZ_CURRENT).find(L"正在写入 REZ...") != std::wstring::npos; },
            [d] { return GetDlgItem(d, IDCANCEL); });
    }});
    // The copy of the files alone takes longer than the driver's usual time limit.
    rezui::ui_seams.run_dialog = [](int id, HWND owner, DLGPROC proc, LPARAM param) {
        dlgtest::opened.push_back(id);
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, dlgtest::run_script);
        result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), owner, proc, param);
        KillTimer(nullptr, timer);
        return result;
    };
    w.command(IDM_NEW_ARCHIVE);
    ASSERT_TRUE(h4test::wait_idle());
    ASSERT_TRUE(clicker);
    clicker->join();
    const ULONGLONG clicked = clicker->clicked_at.load();
    clicker.reset();
    ASSERT_NE(clicked, 0u) << "the click did not go in";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_FALSE(qvltest::path_exists(output));
    EXPECT_FALSE(qvltest::path_exists(output + L".tmp"));
    EXPECT_FALSE(rezui::app.archive_loaded);
    EXPECT_EQ(temp.names(), std::vector<std::wstring>{});
}

// Archives for the peer check (wizard_peer_check.sh): the wizard packs into ZIP and 7z in
// QVL_PEER_OUT for unzip and 7z to test. Skipped when QVL_PEER_OUT is not set.
TEST_F(Wizard, PeerOutputZipAndSevenZip) {
    const char* out = std::getenv("QVL_PEER_OUT");
    if (!out || !*out) GTEST_SKIP() << "QVL_PEER_OUT not set";
    const std::wstring folder = qvltest::host_to_windows(out);
    qvltest::ScratchDir dir(L"wiz_peer");
    PackSources sources(dir);
    for (int format : {1, 2}) {
        pack({sources.file}, {sources.folder}, folder + L"\\wizard", format);
        ASSERT_TRUE(h4test::wait_idle());
        EXPECT_EQ(rezui::app.archive.path, folder + L"\\wizard." + kFormatExt[format]);
    }
}

}  // namespace
