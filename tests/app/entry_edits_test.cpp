// The entry edit commands driven through the real main window: an archive is opened, rows
// are selected in the list, the command arrives as WM_COMMAND (or as a context-menu
// choice) and the model, the log, the boxes and the files written are read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/small_dialogs.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/operations/entry_edits.h"
#include "app/operations/open_archive.h"
#include "app/operations/vdir_picker.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

using h4test::MainWindow;

int count_of(const std::wstring& text, const std::wstring& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// How often the autosave was asked for: each start (or, until it is built, its notice) is
// logged; its end ("自动保存完成", "自动保存已取消") is not counted.
int autosaves() {
    const std::wstring log = h4test::log_text();
    const std::wstring word = L"自动保存";
    int n = 0;
    for (size_t at = log.find(word); at != std::wstring::npos; at = log.find(word, at + 1)) {
        const wchar_t next = at + word.size() < log.size() ? log[at + word.size()] : L'\0';
        if (next != L'完' && next != L'已') ++n;
    }
    return n;
}

// A job started by a command (the autosave) has ended, so the next command is not refused.
void settle() { ASSERT_TRUE(h4test::wait_idle()); }

// Answers the text-input dialog (207) with a fixed text and records the prompts shown.
struct TextAnswer {
    std::vector<std::wstring> prompts;
    explicit TextAnswer(const std::wstring& answer) {
        h4test::dialog_script = [this, answer](int id, DLGPROC) -> INT_PTR {
            if (id != IDD_INPUT_TEXT) return 0;
            prompts.push_back(rezui::input_prompt ? *rezui::input_prompt : L"");
            *rezui::input_text = answer;
            return 1;
        };
    }
    ~TextAnswer() { h4test::dialog_script = nullptr; }
};

// Answers the virtual-folder picker (208) with OK and a destination.
void answer_picker_with(const std::wstring& destination) {
    static std::wstring chosen;
    chosen = destination;
    h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
        if (id != IDD_VDIR_PICKER) return 0;
        *rezui::vdir_result = chosen;
        return 1;
    };
}

// A REZ archive on disk (Textures\wall.dtx, readme.txt, x.dat) opened in the main window.
struct OpenRez {
    qvltest::ScratchDir dir{L"edits"};
    MainWindow w;
    std::wstring path = dir / L"edit.rez";

    OpenRez() {
        rez::uppercase_rez_names = false;
        EXPECT_TRUE(qvltest::write_text(dir / L"readme.txt", "hello"));
        EXPECT_TRUE(qvltest::write_text(dir / L"wall.dtx", "texture"));
        EXPECT_TRUE(qvltest::write_text(dir / L"x.dat", "xx"));
        rez::RezFile archive(path);
        std::string out;
        archive.create_directory("Textures", out);
        archive.add_file("Textures", dir / L"wall.dtx", out);
        archive.add_file("", dir / L"readme.txt", out);
        archive.add_file("", dir / L"x.dat", out);
        std::wstring err;
        EXPECT_TRUE(archive.save(path, err)) << rez::to_utf8(err);
        rezui::open_file(path);
        settle();
        EXPECT_TRUE(rezui::app.archive_loaded);
    }
    bool has(const std::string& entry) const { return rezui::app.archive.find_entry_const(entry) != nullptr; }
};

// Selects every row whose name is in names (exactly).
void select_rows(const std::vector<std::wstring>& names) {
    h4test::select_none();
    for (int i = 0; i < appprobe::item_count(); ++i) {
        for (const auto& n : names)
            if (appprobe::item_text(i) == n) appprobe::set_item_state(i, LVIS_SELECTED, LVIS_SELECTED);
    }
}

bool list_shows(const std::wstring& name) {
    for (int i = 0; i < appprobe::item_count(); ++i)
        if (appprobe::item_text(i) == name) return true;
    return false;
}

TEST(EntryEdits, RemoveCountsWhatWasGoneAndAutosaves) {
    OpenRez r;
    select_rows({L"readme.txt", L"x.dat", L"Textures"});
    ASSERT_EQ(rezui::selected_item_paths().size(), 3u);
    // One of the three disappears from the model before the command runs.
    ASSERT_TRUE(rezui::app.archive.remove_entries("x.dat"));
    h4test::box_answer = IDYES;
    r.w.command(IDM_REMOVE);
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_EQ(h4test::boxes[0].caption, L"确认删除");
    EXPECT_EQ(h4test::boxes[0].text, L"确认移除选中的 3 个条目？");
    EXPECT_EQ(h4test::boxes[1].caption, L"删除完成");
    EXPECT_EQ(h4test::boxes[1].text, L"成功 2 个，失败 1 个。");
    const std::wstring log = h4test::log_text();
    EXPECT_EQ(count_of(log, L"已移除："), 2);
    EXPECT_EQ(count_of(log, L"移除失败：找不到 x.dat"), 1);
    EXPECT_FALSE(r.has("readme.txt"));
    EXPECT_FALSE(r.has("Textures"));
    EXPECT_FALSE(list_shows(L"readme.txt"));
    EXPECT_EQ(autosaves(), 1);
    settle();
}

TEST(EntryEdits, EveryEditIsRefusedVisiblyWhileAJobRuns) {
    OpenRez r;
    select_rows({L"readme.txt"});
    rezui::app.busy = true;
    int asked = 0;
    h4test::dialog_script = [&](int, DLGPROC) -> INT_PTR {
        ++asked;
        return 0;
    };
    const UINT commands[] = {IDM_EXTRACT_SELECTED, IDM_ADD_FILES, IDM_ADD_FOLDER, IDM_REPLACE_CONTENT,
                             IDM_REPLACE_FILES,    IDM_REMOVE,    IDM_RENAME};
    int refusals = 0;
    for (UINT id : commands) {
        SendMessageW(rezui::app.status_bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
        r.w.command(id);
        EXPECT_EQ(h4test::status_part(0), rezui::kBusyRefusalText) << id;
        EXPECT_EQ(count_of(h4test::log_text(), rezui::kBusyRefusalText), ++refusals) << id;
    }
    // New folder is reached from the list's context menu, which calls it directly.
    rezui::run_list_menu_choice(r.w.hwnd(), IDM_NEW_FOLDER);
    EXPECT_EQ(count_of(h4test::log_text(), rezui::kBusyRefusalText), ++refusals);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_TRUE(r.has("readme.txt"));
    EXPECT_EQ(autosaves(), 0);
    rezui::app.busy = false;
}

TEST(EntryEdits, RenameRefusesNamesThatWouldEscape) {
    OpenRez r;
    const wchar_t* refused[] = {L"..", L".", L"...", L". .", L"a\\b", L"a/b", L"c:x", L"  ..  ", L"x.dat"};
    for (const wchar_t* name : refused) {
        select_rows({L"readme.txt"});
        h4test::boxes.clear();
        TextAnswer answer(name);
        r.w.command(IDM_RENAME);
        ASSERT_EQ(h4test::boxes.size(), 1u) << rez::to_utf8(name);
        EXPECT_EQ(h4test::boxes[0].text, L"重命名失败（名称重复或无效）");
        EXPECT_EQ(h4test::boxes[0].caption, L"错误");
        EXPECT_TRUE(r.has("readme.txt")) << rez::to_utf8(name);
    }
    EXPECT_EQ(autosaves(), 0);

    select_rows({L"readme.txt"});
    h4test::boxes.clear();
    TextAnswer answer(L" notes.md ");
    r.w.command(IDM_RENAME);
    EXPECT_EQ(answer.prompts, std::vector<std::wstring>{L"新名称（目录不含扩展名；文件可带扩展名）"});
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_TRUE(r.has("notes.md"));
    EXPECT_FALSE(r.has("readme.txt"));
    EXPECT_NE(h4test::log_text().find(L"已重命名：readme.txt → notes.md"), std::wstring::npos);
    EXPECT_TRUE(list_shows(L"notes.md"));
    EXPECT_EQ(autosaves(), 1);
    settle();
}

TEST(EntryEdits, NewFolderIsMadeInTheCurrentFolderRefusesEscapesAndAutosaves) {
    OpenRez r;
    rezui::navigate_vdir(L"Textures");
    ASSERT_EQ(rezui::app.current_folder, L"Textures");
    for (const wchar_t* name : {L"..", L"a\\b", L"x:y", L". . ."}) {
        h4test::boxes.clear();
        TextAnswer answer(name);
        h4test::menu_answer = IDM_NEW_FOLDER;
        h4test::select_none();
        r.w.notify_list(NM_RCLICK);
        ASSERT_EQ(h4test::boxes.size(), 1u) << rez::to_utf8(name);
        EXPECT_EQ(h4test::boxes[0].text, std::wstring(L"文件夹名称无效：") + name);
    }
    EXPECT_EQ(rezui::app.archive.find_entry_const("Textures")->children.size(), 1u);
    EXPECT_EQ(autosaves(), 0);

    h4test::boxes.clear();
    TextAnswer answer(L"x");
    h4test::menu_answer = IDM_NEW_FOLDER;
    r.w.notify_list(NM_RCLICK);
    EXPECT_EQ(answer.prompts, std::vector<std::wstring>{L"文件夹名称"});
    const rez::Entry* made = rezui::app.archive.find_entry_const("Textures\\x");
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->is_dir);
    EXPECT_NE(h4test::log_text().find(L"已新建文件夹：Textures\\x"), std::wstring::npos);
    EXPECT_TRUE(list_shows(L"x"));
    EXPECT_EQ(autosaves(), 1);
    settle();
}

TEST(EntryEdits, ReplaceTakesTheDiskFileAndAutosaves) {
    OpenRez r;
    const std::wstring fresh = r.dir / L"fresh.bin";
    EXPECT_TRUE(qvltest::write_text(fresh, "new content"));
    select_rows({L"readme.txt"});
    h4test::open_answer = fresh;
    r.w.command(IDM_REPLACE_CONTENT);
    EXPECT_TRUE(h4test::boxes.empty());
    const rez::Entry* e = rezui::app.archive.find_entry_const("readme.txt");
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(e->source_path);
    EXPECT_EQ(*e->source_path, fresh);
    EXPECT_EQ(e->size, 11u);
    EXPECT_NE(h4test::log_text().find(L"已替换：readme.txt ← " + fresh), std::wstring::npos);
    EXPECT_EQ(autosaves(), 1);
    settle();

    // A folder has no content to replace.
    select_rows({L"Textures"});
    r.w.command(IDM_REPLACE_CONTENT);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"替换失败");
    EXPECT_EQ(autosaves(), 1);
}

TEST(EntryEdits, AddFilesTakesEveryPickedFileAndShowsWhatAPartialRunAdded) {
    OpenRez r;
    // Far more than a 2080-character result could hold.
    std::vector<std::wstring> files;
    for (int i = 0; i < 40; ++i) {
        std::wstring name = L"file_with_a_rather_long_name_to_fill_the_result_buffer_" + std::to_wstring(i) + L".txt";
        EXPECT_TRUE(qvltest::write_text(r.dir / name, "f"));
        files.push_back(r.dir / name);
    }
    answer_picker_with(L"Textures");
    h4test::open_many_answer = files;
    r.w.command(IDM_ADD_FILES);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_EQ(rezui::app.archive.find_entry_const("Textures")->children.size(), 41u);
    EXPECT_EQ(count_of(h4test::log_text(), L"已添加：Textures\\file_with_a"), 40);
    EXPECT_EQ(autosaves(), 1);
    settle();

    // The second of three is gone: the first stays added, is listed and saved; the third
    // is not added.
    EXPECT_TRUE(qvltest::write_text(r.dir / L"one.txt", "1"));
    EXPECT_TRUE(qvltest::write_text(r.dir / L"three.txt", "3"));
    answer_picker_with(L"");
    h4test::open_many_answer = {r.dir / L"one.txt", r.dir / L"gone.txt", r.dir / L"three.txt"};
    r.w.command(IDM_ADD_FILES);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"添加失败: " + (r.dir / L"gone.txt"));
    EXPECT_TRUE(r.has("one.txt"));
    EXPECT_FALSE(r.has("three.txt"));
    EXPECT_TRUE(list_shows(L"one.txt"));
    EXPECT_EQ(autosaves(), 2);
    settle();
}

TEST(EntryEdits, AddOrReplaceAddsReplacesAndRefusesAFolderName) {
    OpenRez r;
    qvltest::ScratchDir other(L"editsrc");
    EXPECT_TRUE(qvltest::write_text(other / L"readme.txt", "changed"));
    EXPECT_TRUE(qvltest::write_text(other / L"Textures", "not a folder"));
    EXPECT_TRUE(qvltest::write_text(other / L"new.txt", "new"));

    h4test::open_answer = other / L"Textures";
    answer_picker_with(L"");
    r.w.command(IDM_REPLACE_FILES);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"目标位置是一个目录，请改名后再试");
    EXPECT_TRUE(rezui::app.archive.find_entry_const("Textures")->is_dir);
    EXPECT_EQ(autosaves(), 0);

    h4test::boxes.clear();
    h4test::open_answer = other / L"readme.txt";
    r.w.command(IDM_REPLACE_FILES);
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_EQ(*rezui::app.archive.find_entry_const("readme.txt")->source_path, other / L"readme.txt");
    EXPECT_EQ(autosaves(), 1);
    settle();

    h4test::open_answer = other / L"new.txt";
    answer_picker_with(L"Textures");
    r.w.command(IDM_REPLACE_FILES);
    EXPECT_TRUE(r.has("Textures\\new.txt"));
    EXPECT_EQ(autosaves(), 2);
    settle();
}

TEST(EntryEdits, ExtractSelectedSanitisesNamesAndSkipsOnlyWhatEscapes) {
    OpenRez r;
    // Names a hostile archive can hold: one with a colon, one that is the parent folder.
    ASSERT_TRUE(rezui::app.archive.rename_entry("readme.txt", "a:b.txt"));
    ASSERT_TRUE(rezui::app.archive.rename_entry("x.dat", ".."));
    rezui::refresh_list();
    const std::wstring target = r.dir / L"out";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    select_rows({L"a:b.txt", L"..", L"Textures"});
    ASSERT_EQ(rezui::selected_item_paths().size(), 3u);
    h4test::folder_answers = {target};
    r.w.command(IDM_EXTRACT_SELECTED);
    EXPECT_EQ(qvltest::read_text(target + L"\\a_b.txt"), "hello");
    EXPECT_EQ(qvltest::read_text(target + L"\\Textures\\wall.dtx"), "texture");
    EXPECT_EQ(qvltest::read_text(target + L"\\.."), "<missing>");
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"解包完成");
    EXPECT_EQ(h4test::boxes[0].text, L"成功 2 个，失败 1 个。");
    EXPECT_EQ(h4test::boxes[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
    const std::wstring log = h4test::log_text();
    EXPECT_NE(log.find(L"解压选中：a:b.txt → " + target + L"\\a_b.txt"), std::wstring::npos);
    EXPECT_NE(log.find(L"解包完成：成功 2 个，失败 1。"), std::wstring::npos);
    EXPECT_EQ(h4test::status_part(0), L"已解压: " + target);
    // Nothing landed beside the target folder.
    WIN32_FIND_DATAW fd;
    int beside = 0;
    HANDLE h = FindFirstFileW((r.dir / L"*").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do ++beside;
    while (FindNextFileW(h, &fd));
    FindClose(h);
    EXPECT_EQ(beside, 2 + 5);  // ".", "..", three disk files, the archive and out

    // No row selected: the user is asked to choose one.
    h4test::boxes.clear();
    h4test::select_none();
    r.w.command(IDM_EXTRACT_SELECTED);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"请先选择一个条目");
    EXPECT_EQ(h4test::boxes[0].caption, L"提示");
}

TEST(EntryEdits, ARowWhosePathNamesNoEntryIsNeverTakenForTheWholeArchive) {
    OpenRez r;
    // A record named "\\" lists under a path the library reads as the root.
    ASSERT_TRUE(rezui::app.archive.rename_entry("x.dat", "\\"));
    rezui::refresh_list();
    select_rows({L"\\"});
    ASSERT_EQ(rezui::selected_item_paths(), std::vector<std::wstring>{L"\\"});
    const std::wstring target = r.dir / L"out";
    h4test::folder_answers = {target};
    r.w.command(IDM_EXTRACT_SELECTED);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"请先选择一个条目");
    EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(EntryEdits, ToolbarButtonsAndKeysReachTheEdits) {
    OpenRez r;
    select_rows({L"readme.txt"});
    h4test::pump();
    h4test::box_answer = IDNO;
    h4test::click_toolbar(IDM_REMOVE);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"确认移除条目 readme.txt？");
    EXPECT_TRUE(r.has("readme.txt"));

    std::vector<int> asked;
    h4test::dialog_script = [&](int id, DLGPROC) -> INT_PTR {
        asked.push_back(id);
        return 0;
    };
    h4test::click_toolbar(IDM_ADD_FILES);
    EXPECT_EQ(asked, std::vector<int>{IDD_VDIR_PICKER});

    TextAnswer answer(L"renamed.txt");
    MSG key{r.w.hwnd(), WM_KEYDOWN, VK_F2, 0, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorW(r.w.hwnd(), rezui::app.accelerators, &key));
    EXPECT_TRUE(r.has("renamed.txt"));
    EXPECT_EQ(autosaves(), 1);
    settle();
}

// A ZIP listing held in memory the way the open job builds it.
void show_zip_model() {
    rez::RezFile model(L"C:\\x.zip");
    rez::Entry dir;
    dir.is_dir = true;
    dir.name = "a";
    dir.member_dir = "a";
    rez::Entry file;
    file.name = "f";
    file.ext = "txt";
    file.member = rez::ArchiveMember{L"C:\\x.zip", "a/f.txt", true};
    dir.children.push_back(file);
    model.root.children.push_back(dir);
    rezui::app.archive = model;
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::app.current_folder.clear();
    rezui::refresh_list();
}

TEST(EntryEdits, FoldersMadeInAZipModelKnowTheirPathInTheArchive) {
    MainWindow w;
    rez::uppercase_rez_names = false;
    show_zip_model();
    rezui::navigate_vdir(L"a");
    {
        TextAnswer answer(L"n");
        rezui::run_list_menu_choice(w.hwnd(), IDM_NEW_FOLDER);
    }
    settle();
    const rez::Entry* made = rezui::app.archive.find_entry_const("a\\n");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->member_dir, "a/n");

    // Rename edits the ZIP model like a REZ one; the member it reads from stays.
    select_rows({L"f.txt"});
    {
        TextAnswer answer(L"g.md");
        w.command(IDM_RENAME);
    }
    const rez::Entry* renamed = rezui::app.archive.find_entry_const("a\\g.md");
    ASSERT_NE(renamed, nullptr);
    ASSERT_TRUE(renamed->member);
    EXPECT_EQ(renamed->member->member_name, "a/f.txt");
    EXPECT_EQ(autosaves(), 2);
    settle();

    // The same for a chain made at the root by add-or-replace's destination.
    qvltest::ScratchDir src(L"editzip");
    EXPECT_TRUE(qvltest::write_text(src / L"g.txt", "g"));
    h4test::open_answer = src / L"g.txt";
    answer_picker_with(L"p\\q");
    w.command(IDM_REPLACE_FILES);
    ASSERT_NE(rezui::app.archive.find_entry_const("p\\q\\g.txt"), nullptr);
    EXPECT_EQ(rezui::app.archive.find_entry_const("p")->member_dir, "p");
    EXPECT_EQ(rezui::app.archive.find_entry_const("p\\q")->member_dir, "p/q");
}

TEST(EntryEdits, PickedFilesResultIsSplitIntoFullPaths) {
    auto split = [](const std::wstring& buffer) {
        return rezui::split_open_files_result(buffer.data(), buffer.size());
    };
    using V = std::vector<std::wstring>;
    EXPECT_EQ(split(std::wstring(L"C:\\d\\one.txt\0\0", 15)), V{L"C:\\d\\one.txt"});
    EXPECT_EQ(split(std::wstring(L"C:\\d\0a\0b c\0\0", 13)), (V{L"C:\\d\\a", L"C:\\d\\b c"}));
    EXPECT_EQ(split(std::wstring(L"C:\\\0a\0\0", 8)), V{L"C:\\a"});
    EXPECT_EQ(split(std::wstring(L"\0\0", 2)), V{});
    // A buffer without its closing NULs ends at its size.
    EXPECT_EQ(split(std::wstring(L"C:\\d\0a\0b", 8)), (V{L"C:\\d\\a", L"C:\\d\\b"}));
}

}  // namespace
