// Writing an edited ZIP/7z model back (the autosave after an edit, and the Save command):
// through the temporary file and backup, from a fresh work folder that is always removed,
// with added and replaced entries read from their disk files, and an encrypted archive kept
// encrypted with the held password.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/operations/autosave.h"
#include "zip_7z_test_support.h"

namespace {

using namespace zjtest;

// A work folder of the old fixed name, and one of the numbered kind, each holding a file that
// must never reach an archive.
void plant_stale_work_folders(const PrivateTemp& temp) {
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    for (const std::wstring& name : {L"qvl_autosave_" + pid, L"qvl_autosave_" + pid + L"_0"}) {
        CreateDirectoryW((temp.dir / name).c_str(), nullptr);
        EXPECT_TRUE(write_text(temp.dir / (name + L"\\stale.txt"), "stale"));
    }
}

TEST(ZipAutosave, EditedModelIsPackedFromAFreshWorkFolderWithItsDiskSources) {
    h4test::MainWindow w;
    PrivateTemp temp;
    plant_stale_work_folders(temp);
    const std::vector<std::wstring> temp_before = temp.names();
    qvltest::ScratchDir dir(L"zjauto");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    ASSERT_TRUE(write_text(dir / L"replacement.txt", "new c"));
    ASSERT_TRUE(write_text(dir / L"added.txt", "added"));
    ASSERT_TRUE(open_and_wait(path));
    ASSERT_TRUE(rezui::app.archive.replace_entry("a\\b\\c.txt", dir / L"replacement.txt"));
    std::string added;
    ASSERT_TRUE(rezui::app.archive.add_file("", dir / L"added.txt", added));
    rezui::start_autosave();
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(log_has(L"自动保存完成: " + path)) << h4test::log_text();

    std::map<std::string, std::string> m = members_of(path);
    EXPECT_EQ(m["a/b/c.txt"], "new c");
    EXPECT_EQ(m["added.txt"], "added");
    EXPECT_EQ(m["data/x"], "x");
    EXPECT_EQ(m["data/y"], "yy");
    EXPECT_EQ(m.size(), 4u);  // no stale.txt
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
    EXPECT_EQ(temp.names(), temp_before);  // its own work folder is gone
    // The model was read again: the added entry is now a member of the archive.
    const rez::Entry* e = rezui::app.archive.find_entry(added);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->member.has_value());
}

TEST(ZipAutosave, AnEncryptedArchiveStaysEncryptedWithTheHeldPassword) {
    for (const wchar_t* name : {L"locked.zip", L"locked.7z"}) {
        SCOPED_TRACE(name);
        h4test::MainWindow w;
        qvltest::ScratchDir dir(L"zjautopw");
        const std::wstring path = copy_fixture(dir, name, name);
        ASSERT_TRUE(write_text(dir / L"replacement.txt", "new c"));
        rez::set_current_password(L"pw");
        ASSERT_TRUE(open_and_wait(path));
        ASSERT_TRUE(rezui::app.archive.replace_entry("a\\b\\c.txt", dir / L"replacement.txt"));
        rezui::start_autosave();
        ASSERT_TRUE(wait_idle());
        EXPECT_TRUE(h4test::boxes.empty()) << h4test::boxes.back().text;
        EXPECT_TRUE(rezui::archive_is_encrypted(path, rezui::archive_ext_lower(path)));
        EXPECT_EQ(members_of(path, L"pw")["a/b/c.txt"], "new c");
        EXPECT_TRUE(members_of(path, L"wrong").empty());
        EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
        rez::set_current_password(L"");
    }
}

TEST(ZipAutosave, AFailureLeavesTheArchiveUntouchedAndNoWorkFolderBehind) {
    h4test::MainWindow w;
    PrivateTemp temp;
    qvltest::ScratchDir dir(L"zjautofail");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    const std::vector<uint8_t> before = bytes_of(path);
    ASSERT_TRUE(write_text(dir / L"gone.txt", "soon gone"));
    ASSERT_TRUE(open_and_wait(path));
    ASSERT_TRUE(rezui::app.archive.replace_entry("a\\b\\c.txt", dir / L"gone.txt"));
    DeleteFileW((dir / L"gone.txt").c_str());
    rezui::start_autosave();
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(log_has(L"操作失败: ")) << h4test::log_text();
    EXPECT_EQ(bytes_of(path), before);
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
    EXPECT_TRUE(temp.names().empty());
}

TEST(ZipSave, SaveCommandWritesTheEditedSevenZipModelBack) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjsave");
    const std::wstring path = copy_fixture(dir, L"members.7z", L"m.7z");
    ASSERT_TRUE(open_and_wait(path));
    ASSERT_TRUE(rezui::app.archive.rename_entry("a\\b\\c.txt", "d.txt"));
    w.command(IDM_SAVE);
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(h4test::boxes.empty()) << h4test::boxes.back().text;
    EXPECT_TRUE(log_has(L"保存完成: " + path));
    std::map<std::string, std::string> m = members_of(path);
    EXPECT_EQ(m["a/b/d.txt"], "c text");
    EXPECT_EQ(m.count("a/b/c.txt"), 0u);
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
    const rez::Entry* e = rezui::app.archive.find_entry("a\\b\\d.txt");
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(e->member.has_value());
    EXPECT_EQ(e->member->member_name, "a/b/d.txt");
}

}  // namespace
