// Format conversion: the target names, the conversions between the three kinds read back
// through the library's readers, the refusals that keep a conversion from reporting success
// with files missing, and the dialog's start button as a user presses it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/common/window_helpers.h"
#include "app/main_window/messages.h"
#include "app/tools/convert_dialog.h"
#include "app/tools/convert_job.h"
#include "archive/rez_model.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "stop_clicks.h"
#include "test_support.h"

namespace {

using Files = std::map<std::string, std::string>;  // '/' separated name -> content

void put(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(rez::write_file(path, reinterpret_cast<const uint8_t*>(text.data()), text.size())) << rez::to_utf8(path);
}

std::string text_of(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

const Files kRezContent = {{"readme.txt", "read me"}, {"maps/level1.dat", "level one"}, {"maps/empty.dat", ""}};

// A REZ archive holding kRezContent and a comment, built from files on disk.
std::wstring make_rez(const qvltest::ScratchDir& dir, const std::wstring& name) {
    const std::wstring src = dir / L"rez_src";
    CreateDirectoryW(src.c_str(), nullptr);
    CreateDirectoryW((src + L"\\maps").c_str(), nullptr);
    for (const auto& [n, content] : kRezContent) {
        std::wstring p = src + L"\\" + rez::from_utf8(n);
        for (wchar_t& c : p) c = c == L'/' ? L'\\' : c;
        put(p, content);
    }
    const std::wstring path = dir / name;
    rez::RezFile model(path);
    std::wstring err;
    EXPECT_TRUE(model.add_directory_contents("", src, err)) << rez::to_utf8(err);
    model.comment = L"关卡包";
    EXPECT_TRUE(model.save(path, err)) << rez::to_utf8(err);
    qvltest::ScratchDir::remove_tree(src);
    return path;
}

// Names lower-cased: REZ may upper-case what it stores, and the comparisons are about content.
std::string lower(std::string s) { return rez::to_lower_ascii(s); }

Files read_rez(const std::wstring& path, std::wstring& comment) {
    Files out;
    rez::RezFile archive;
    std::wstring err;
    EXPECT_TRUE(rez::RezFile::open(path, archive, err)) << rez::to_utf8(err);
    EXPECT_TRUE(archive.load_all_directories(err)) << rez::to_utf8(err);
    comment = archive.comment;
    std::function<void(const rez::Entry&, const std::string&)> walk = [&](const rez::Entry& dir,
                                                                         const std::string& prefix) {
        for (const rez::Entry& e : dir.children) {
            const std::string shown = e.is_dir ? e.name : e.name_with_ext();
            const std::string name = prefix.empty() ? shown : prefix + "/" + shown;
            if (e.is_dir) {
                walk(e, name);
                continue;
            }
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(archive.read_entry_data(e, bytes, err)) << rez::to_utf8(err);
            out[lower(name)] = text_of(bytes);
        }
    };
    walk(archive.root, "");
    return out;
}

Files read_zip(const std::wstring& path, std::wstring& comment) {
    Files out;
    std::vector<rez::ZipEntry> entries;
    std::wstring err;
    EXPECT_TRUE(rez::zip_list_entries(path, entries, comment, err)) << rez::to_utf8(err);
    for (const auto& e : entries) {
        if (e.is_dir) continue;
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(rez::zip_extract_entry(path, e, bytes, err)) << rez::to_utf8(err);
        out[lower(e.name)] = text_of(bytes);
    }
    return out;
}

Files read_7z(const std::wstring& path, std::wstring& comment) {
    Files out;
    std::vector<rez::SevenZipEntry> entries;
    std::wstring err;
    EXPECT_TRUE(rez::sevenzip_list_entries(path, entries, comment, err)) << rez::to_utf8(err);
    for (const auto& e : entries) {
        if (e.is_dir) continue;
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(rez::sevenzip_extract_entry(path, e, bytes, err)) << rez::to_utf8(err);
        out[lower(e.name)] = text_of(bytes);
    }
    return out;
}

Files read_any(const std::wstring& path, std::wstring& comment) {
    const std::wstring kind = rezui::convert_extension(path);
    if (kind == L"zip") return read_zip(path, comment);
    if (kind == L"7z") return read_7z(path, comment);
    return read_rez(path, comment);
}

Files lowered(const Files& files) {
    Files out;
    for (const auto& [n, c] : files) out[lower(n)] = c;
    return out;
}

bool convert(const std::wstring& source, const std::wstring& target, std::wstring& err) {
    return rezui::convert_file(source, target, err, [](int, const std::wstring&) {});
}

TEST(ConvertTarget, ExtensionComesFromTheFileNameOnly) {
    struct Case {
        const wchar_t* source;
        bool same_folder;
        const wchar_t* output;
        const wchar_t* ext;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"D:\\rel.2\\data", true, L"E:\\out", L"zip", L"D:\\rel.2\\data.zip"},
        {L"D:\\rel.2\\data", false, L"", L"7z", L"D:\\rel.2\\data.7z"},
        {L"D:\\rel.2\\data", false, L"E:\\out", L"rez", L"E:\\out\\data.rez"},
        {L"C:\\games\\pack.tar.REZ", false, L"", L"zip", L"C:\\games\\pack.tar.zip"},
        {L"C:\\games\\pack.rez", false, L"E:\\", L"7z", L"E:\\pack.7z"},
        {L"pack.zip", true, L"", L"rez", L"pack.rez"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rezui::convert_target_path(c.source, c.same_folder, c.output, c.ext), c.expected)
            << rez::to_utf8(c.source);
    }
    EXPECT_EQ(rezui::convert_extension(L"D:\\rel.2\\data"), L"");
    EXPECT_EQ(rezui::convert_extension(L"D:\\a\\B.Zip"), L"zip");
}

TEST(ConvertFile, SameKindIsRefusedAndCreatesNothing) {
    qvltest::ScratchDir dir(L"conv_same");
    const std::wstring rez_path = make_rez(dir, L"a.rez");
    for (const std::wstring& target : {dir / L"b.REZ", dir / L"c.zip", dir / L"d.7z"}) {
        // Each target once as the same kind as a source of that kind.
        const std::wstring kind = rezui::convert_extension(target);
        const std::wstring source = kind == L"rez" ? rez_path : dir / (L"src." + kind);
        std::wstring err;
        EXPECT_FALSE(convert(source, target, err));
        EXPECT_EQ(err, L"源与目标格式相同");
        EXPECT_FALSE(rez::file_exists(target));
    }
}

// REZ to ZIP or 7z and back again: the same files, the empty one included, and the comment.
TEST(ConvertFile, RezRoundTripsThroughZipAndSevenZip) {
    qvltest::ScratchDir dir(L"conv_round");
    const std::wstring source = make_rez(dir, L"levels.rez");
    for (const std::wstring kind : {L"zip", L"7z"}) {
        SCOPED_TRACE(rez::to_utf8(kind));
        const std::wstring middle = dir / (L"levels." + kind);
        const std::wstring back = dir / (L"back_" + kind + L".rez");
        std::wstring err, comment;
        ASSERT_TRUE(convert(source, middle, err)) << rez::to_utf8(err);
        EXPECT_EQ(read_any(middle, comment), lowered(kRezContent));
        EXPECT_EQ(comment, L"关卡包");
        ASSERT_TRUE(convert(middle, back, err)) << rez::to_utf8(err);
        EXPECT_EQ(read_rez(back, comment), lowered(kRezContent));
        EXPECT_EQ(comment, L"关卡包");
    }
}

// Archives made by zip and 7z become REZ archives with the same files.
TEST(ConvertFile, PeerArchivesBecomeRez) {
    qvltest::ScratchDir dir(L"conv_peer");
    for (const std::wstring name : {L"members.zip", L"members.7z"}) {
        SCOPED_TRACE(rez::to_utf8(name));
        const std::wstring source = qvltest::fixture(L"app\\" + name);
        const std::wstring target = dir / (name + L".rez");
        std::wstring err, comment, source_comment;
        ASSERT_TRUE(convert(source, target, err)) << rez::to_utf8(err);
        const Files expected = read_any(source, source_comment);
        EXPECT_EQ(read_rez(target, comment), expected);
        EXPECT_EQ(comment, source_comment);
    }
}

// ZIP and 7z go into each other through their own writers: the result is read by the
// target kind's reader, never a REZ archive under a .zip or .7z name.
TEST(ConvertFile, ZipAndSevenZipConvertIntoEachOther) {
    qvltest::ScratchDir dir(L"conv_zip7z");
    struct Case {
        const wchar_t* source;
        const wchar_t* target;
    };
    for (const Case& c : {Case{L"members.zip", L"from_zip.7z"}, Case{L"members.7z", L"from_7z.zip"}}) {
        SCOPED_TRACE(rez::to_utf8(c.target));
        const std::wstring source = qvltest::fixture(std::wstring(L"app\\") + c.source);
        const std::wstring target = dir / c.target;
        std::wstring err, comment, source_comment;
        ASSERT_TRUE(convert(source, target, err)) << rez::to_utf8(err);
        const Files expected = read_any(source, source_comment);
        EXPECT_EQ(read_any(target, comment), expected);
        EXPECT_EQ(comment, source_comment);
    }
}

// A member that would land outside the work folder, and members that would be merged or
// dropped on the way through the disk, fail the conversion: nothing is written and no file
// appears above the work folder.
TEST(ConvertFile, SourcesThatWouldLoseFilesAreRefused) {
    qvltest::ScratchDir dir(L"conv_lose");
    const std::wstring twins = dir / L"twins.zip";
    std::wstring err;
    ASSERT_TRUE(rez::zip_create(twins, {{"a.txt", {'1'}}, {"A.TXT", {'2'}}}, L"", err)) << rez::to_utf8(err);
    // A REZ folder walk does not take names that begin with a dot.
    ASSERT_TRUE(rez::zip_create(dir / L"h.zip", {{".hidden", {'h'}}, {"shown.txt", {'s'}}}, L"", err));
    struct Case {
        std::wstring source, target;
    };
    const Case cases[] = {
        {qvltest::fixture(L"app\\climb.zip"), dir / L"climb.rez"},
        {qvltest::fixture(L"app\\climb.zip"), dir / L"climb.7z"},
        {twins, dir / L"twins.7z"},
        {twins, dir / L"twins.rez"},
        {dir / L"h.zip", dir / L"h.rez"},
    };
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring climbed = std::wstring(temp) + L"x";
    DeleteFileW(climbed.c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(rez::to_utf8(c.target));
        err.clear();
        EXPECT_FALSE(convert(c.source, c.target, err));
        EXPECT_FALSE(err.empty());
        EXPECT_FALSE(rez::file_exists(c.target));
    }
    EXPECT_FALSE(rez::file_exists(climbed));
}

// A folder left under the old shared work-folder name is neither packed nor removed.
TEST(ConvertFile, EachRunUnpacksIntoAFolderOfItsOwn) {
    qvltest::ScratchDir dir(L"conv_own");
    const std::wstring source = make_rez(dir, L"a.rez");
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring shared = std::wstring(temp) + L"qvl_conv_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(shared.c_str(), nullptr);
    put(shared + L"\\stray.txt", "not mine");
    std::wstring err, comment;
    ASSERT_TRUE(convert(source, dir / L"a.zip", err)) << rez::to_utf8(err);
    EXPECT_EQ(read_zip(dir / L"a.zip", comment), lowered(kRezContent));
    EXPECT_TRUE(rez::file_exists(shared + L"\\stray.txt"));
    qvltest::ScratchDir::remove_tree(shared);
}

TEST(ConvertFile, AnEmptyProgressFunctionIsAnError) {
    std::wstring err;
    EXPECT_THROW(rezui::convert_file(L"a.rez", L"a.zip", err, {}), std::bad_function_call);
}

// The dialog as a user meets it: sources handed in, a format picked, the start button
// pressed with the mouse, and the state line read once the worker is done.
class ConvertDialog : public ::testing::Test {
protected:
    void TearDown() override { rezui::ui_seams = rezui::default_ui_seams(); }

    static void press(HWND dialog, int id) {
        HWND button = GetDlgItem(dialog, id);
        RECT r{};
        GetClientRect(button, &r);
        const LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
        SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(button, WM_LBUTTONUP, 0, at);
    }

    static inline std::wstring final_state;
    static inline int rows = 0;

    static void CALLBACK wait_done(HWND dialog, UINT, UINT_PTR timer, DWORD) {
        if (!IsWindowEnabled(GetDlgItem(dialog, IDC_CONV_START))) return;
        KillTimer(dialog, timer);
        final_state = dlgtest::text_of(dialog, IDC_CONV_STATE);
        EndDialog(dialog, 0);
    }

    // Runs the dialog on sources, picks format index, presses start and waits for the end.
    std::wstring run(const std::vector<std::wstring>& sources, int format) {
        final_state.clear();
        rows = 0;
        dlgtest::drive({[format](HWND dialog) {
            rows = ListView_GetItemCount(GetDlgItem(dialog, IDC_CONV_LIST));
            SendDlgItemMessageW(dialog, IDC_CONV_FORMAT, CB_SETCURSEL, format, 0);
            press(dialog, IDC_CONV_START);
            SetTimer(dialog, 1, 50, wait_done);
        }});
        rezui::show_convert_for_list(nullptr, sources);
        return final_state;
    }
};

TEST_F(ConvertDialog, ConvertsEachSourceAndReportsTheSameKindRefusal) {
    qvltest::ScratchDir dir(L"conv_dlg");
    const std::wstring a = make_rez(dir, L"a.rez");
    EXPECT_EQ(run({a, L"", a}, 0), L"完成：成功 0 个，失败 2 个 | 源与目标格式相同");
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(run({a}, 2), L"完成：成功 1 个，失败 0 个");
    std::wstring comment;
    EXPECT_EQ(read_7z(dir / L"a.7z", comment), lowered(kRezContent));
}

// Paused right after the start, the run takes no further source; a confirmed stop ends it
// with the counts reached, and the start button comes back.
TEST_F(ConvertDialog, PauseHoldsTheNextSourceAndStopEndsTheRun) {
    qvltest::ScratchDir dir(L"conv_stop");
    const std::wstring a = make_rez(dir, L"a.rez");
    rezui::ui_seams.message_box = [](HWND, const std::wstring& text, const std::wstring&, UINT) {
        return text == L"确定要停止转换吗？" ? IDYES : IDNO;
    };
    static std::wstring paused_state;
    static std::wstring folder;
    static int started_when_paused;
    paused_state.clear();
    final_state.clear();
    folder = dir / L"";
    started_when_paused = -1;
    // Each source under way has claimed its target's name: the .zip files are the sources started.
    static auto targets = [] {
        int count = 0;
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((folder + L"*.zip").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) return 0;
        do ++count;
        while (FindNextFileW(find, &fd));
        FindClose(find);
        return count;
    };
    dlgtest::drive({[](HWND dialog) {
        SendDlgItemMessageW(dialog, IDC_CONV_FORMAT, CB_SETCURSEL, 1, 0);
        press(dialog, IDC_CONV_START);
        press(dialog, IDC_CONV_PAUSE);
        SetTimer(dialog, 2, 600, [](HWND d, UINT, UINT_PTR timer, DWORD) {
            KillTimer(d, timer);
            paused_state = dlgtest::text_of(d, IDC_CONV_STATE);
            started_when_paused = targets();
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_CONV_START)));
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_CONV_RESUME)));
            press(d, IDC_CONV_STOP);
            SetTimer(d, 1, 50, wait_done);
        });
    }});
    rezui::show_convert_for_list(nullptr, {a, a, a, a});
    EXPECT_EQ(paused_state, L"已暂停");
    // No source is started while the run is paused or after the stop (how many were under way
    // when the pause came depends on how quickly the click followed the start).
    ASSERT_GE(started_when_paused, 0);
    EXPECT_LT(started_when_paused, 4);
    // A source the stop cut short leaves no target; every target left is a finished conversion.
    const int finished = targets();
    EXPECT_LE(finished, started_when_paused);
    EXPECT_EQ(final_state.rfind(L"已停止：成功 " + std::to_wstring(finished) + L" 个，失败 0 个", 0), 0u)
        << rez::to_utf8(final_state);
}

// A REZ archive at path holding files (names with '/'), built from files on disk.
std::wstring make_rez_of(const qvltest::ScratchDir& dir, const std::wstring& path, const Files& files) {
    const std::wstring src = dir / L"rez_of_src";
    qvltest::ScratchDir::remove_tree(src);
    CreateDirectoryW(src.c_str(), nullptr);
    for (const auto& [n, content] : files) put(src + L"\\" + rez::from_utf8(n), content);
    rez::RezFile model(path);
    std::wstring err;
    EXPECT_TRUE(model.add_directory_contents("", src, err)) << rez::to_utf8(err);
    EXPECT_TRUE(model.save(path, err)) << rez::to_utf8(err);
    qvltest::ScratchDir::remove_tree(src);
    return path;
}

// Two archives of one name from different folders converted into one output folder that
// already holds a file of that name: the user's file stays as it was, and each source gets a
// numbered target of its own, which the state line names.
TEST_F(ConvertDialog, SameNamedTargetsAreNumberedNeverReplaced) {
    qvltest::ScratchDir dir(L"conv_same");
    for (const wchar_t* sub : {L"d1", L"d2", L"out"}) CreateDirectoryW((dir / sub).c_str(), nullptr);
    const std::wstring first = make_rez_of(dir, dir / L"d1\\data.rez", {{"one.txt", "first"}});
    const std::wstring second = make_rez_of(dir, dir / L"d2\\data.rez", {{"two.txt", "second"}});
    const std::wstring out = dir / L"out";
    put(out + L"\\data.zip", "the user's own file");
    final_state.clear();
    dlgtest::drive({[out](HWND dialog) {
        SendDlgItemMessageW(dialog, IDC_CONV_FORMAT, CB_SETCURSEL, 1, 0);
        dlgtest::type_into(dialog, IDC_CONV_OUTPUT, out);
        press(dialog, IDC_CONV_START);
        SetTimer(dialog, 1, 50, wait_done);
    }});
    rezui::show_convert_for_list(nullptr, {first, second});
    EXPECT_EQ(final_state, L"完成：成功 2 个，失败 0 个 | 2 个目标已存在同名文件，另存为：data (2).zip 等");
    EXPECT_EQ(qvltest::read_text(out + L"\\data.zip"), "the user's own file");
    std::wstring comment;
    EXPECT_EQ(read_zip(out + L"\\data (2).zip", comment), (Files{{"one.txt", "first"}}));
    EXPECT_EQ(read_zip(out + L"\\data (3).zip", comment), (Files{{"two.txt", "second"}}));
    EXPECT_EQ(qvltest::folder_names(out).size(), 3u);
}

// Leaving the program while a conversion runs (its dialog closed, the conversion going on):
// the conversion stops before its next file, the program waits for it, and neither a work
// folder nor a target is left.
TEST(ConvertExit, LeavingStopsTheConversionWaitsAndLeavesNothing) {
    qvltest::PrivateTemp temp(L"conv_exit");
    qvltest::ScratchDir dir(L"conv_exit_src");
    std::vector<rez::ArchiveItem> items;
    for (int i = 0; i < 20000; ++i) items.push_back({"f" + std::to_string(100000 + i) + ".txt", {'x'}});
    const std::wstring zip = dir / L"many.zip";
    std::wstring err;
    ASSERT_TRUE(rez::zip_create(zip, items, L"", err)) << rez::to_utf8(err);
    {
        h4test::MainWindow w;
        HWND window = w.hwnd();
        dlgtest::drive({[&temp](HWND dialog) {
            SendDlgItemMessageW(dialog, IDC_CONV_FORMAT, CB_SETCURSEL, 0, 0);
            SendMessageW(GetDlgItem(dialog, IDC_CONV_START), BM_CLICK, 0, 0);
            // Closed once the conversion has begun unpacking.
            static const qvltest::PrivateTemp* watched = nullptr;
            watched = &temp;
            SetTimer(dialog, 1, 20, [](HWND d, UINT, UINT_PTR timer, DWORD) {
                if (watched->names().empty()) return;
                KillTimer(d, timer);
                SendMessageW(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0);
            });
        }});
        rezui::show_convert_for_list(window, {zip});
        ASSERT_EQ(temp.names().size(), 1u) << "the conversion was not under way";
        SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_FALSE(IsWindow(window));
    }
    EXPECT_EQ(temp.names(), std::vector<std::wstring>{});
    EXPECT_FALSE(qvltest::path_exists(dir / L"many.rez"));
    EXPECT_EQ(qvltest::folder_names(dir.path()), std::vector<std::wstring>{L"many.zip"});
}

// The menu command opens the dialog empty; an archive handed over for conversion (as a
// second start with --convert does) opens it with that archive once the batch time is up.
TEST(ConvertRoutes, TheMenuAndTheConvertQueueOpenTheDialog) {
    h4test::MainWindow w;
    static std::vector<std::wstring> shown;
    shown.clear();
    auto record = [](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_CONV_LIST);
        std::wstring rows;
        wchar_t text[MAX_PATH] = {};
        for (int i = 0; i < ListView_GetItemCount(list); ++i) {
            ListView_GetItemText(list, i, 0, text, MAX_PATH);
            rows += std::wstring(text) + L";";
        }
        shown.push_back(rows);
        EndDialog(dialog, 0);
    };
    dlgtest::drive({record, record});
    w.command(IDM_CONVERT);
    const std::wstring path = L"C:\\games\\a.rez";
    auto payload = rezui::copydata_payload(path);
    COPYDATASTRUCT cds{};
    cds.dwData = rezui::COPYDATA_CONVERT;
    cds.cbData = static_cast<DWORD>(payload.size() * 2);
    cds.lpData = payload.data();
    SendMessageW(w.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    ASSERT_TRUE(h4test::pump_until([] { return shown.size() == 2; }, 60000));
    EXPECT_EQ(dlgtest::opened, (std::vector<int>{IDD_CONVERT, IDD_CONVERT}));
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"", path + L";"}));
}

// Archives for the peer check (convert_peer_check.sh): REZ converted to ZIP and to 7z,
// left in QVL_PEER_OUT for unzip and 7z to test. Skipped when QVL_PEER_OUT is not set.
TEST(ConvertPeerOutput, RezToZipAndSevenZip) {
    const char* out = std::getenv("QVL_PEER_OUT");
    if (!out || !*out) GTEST_SKIP() << "QVL_PEER_OUT not set";
    const std::wstring folder = qvltest::host_to_windows(out);
    qvltest::ScratchDir dir(L"conv_peerout");
    const std::wstring source = make_rez(dir, L"levels.rez");
    std::wstring err;
    EXPECT_TRUE(convert(source, folder + L"\\levels.zip", err)) << rez::to_utf8(err);
    EXPECT_TRUE(convert(source, folder + L"\\levels.7z", err)) << rez::to_utf8(err);
}

}  // namespace
