// Archives written by the ZIP/7z jobs for the peer check (zip_7z_peer_check.sh): each case
// runs a real command on a copy of a fixture made by zip or p7zip and leaves the result in
// QVL_PEER_OUT, where unzip and 7z test it. Skipped when QVL_PEER_OUT is not set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/operations/autosave.h"
#include "app/operations/zip_7z_jobs.h"
#include "modal_dialog_driver.h"
#include "zip_7z_test_support.h"

namespace {

using namespace zjtest;

std::wstring peer_out() {
    const char* out = std::getenv("QVL_PEER_OUT");
    return out && *out ? qvltest::host_to_windows(out) : L"";
}

// Puts the written archive where the peer check looks for it.
void hand_over(const std::wstring& path, const std::wstring& name) {
    EXPECT_TRUE(CopyFileW(path.c_str(), (peer_out() + L"\\" + name).c_str(), FALSE)) << name;
    EXPECT_TRUE(rewrite_leftovers(path.substr(0, path.find_last_of(L'\\'))).empty());
}

class ZipJobsPeerOutput : public ::testing::Test {
protected:
    void SetUp() override {
        if (peer_out().empty()) GTEST_SKIP() << "QVL_PEER_OUT not set";
        rez::set_current_password(L"");
    }
    void TearDown() override { rez::set_current_password(L""); }
};

TEST_F(ZipJobsPeerOutput, DeleteFromAZipMadeWithAPassword) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjpeer");
    const std::wstring path = copy_fixture(dir, L"locked.zip", L"l.zip");
    ASSERT_TRUE(open_and_wait(path));
    ASSERT_TRUE(h4test::select_first_row_named(L"Data"));
    h4test::box_answer = IDYES;
    PasswordScript script;
    script.answers = {L"pw"};
    w.command(IDM_REMOVE);
    ASSERT_TRUE(wait_idle());
    hand_over(path, L"deleted_locked.zip");
}

TEST_F(ZipJobsPeerOutput, AddToASevenZipMadeByP7zip) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjpeer");
    const std::wstring path = copy_fixture(dir, L"members.7z", L"m.7z");
    ASSERT_TRUE(write_text(dir / L"new.txt", "new one"));
    ASSERT_TRUE(CreateDirectoryW((dir / L"docs").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dir / L"docs\\en").c_str(), nullptr));
    ASSERT_TRUE(write_text(dir / L"docs\\en\\readme.txt", "read me"));
    ASSERT_TRUE(open_and_wait(path));
    static std::wstring added;
    added = dir / L"new.txt";
    rezui::files_to_add_picker = [](HWND) { return std::vector<std::wstring>{added}; };
    w.command(IDM_ADD_FILES);
    ASSERT_TRUE(wait_idle());
    rezui::files_to_add_picker = rezui::pick_files_to_add;
    h4test::folder_answers = {dir / L"docs"};
    w.command(IDM_ADD_FOLDER);
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(h4test::boxes.empty()) << h4test::boxes.back().text;
    hand_over(path, L"added.7z");
}

TEST_F(ZipJobsPeerOutput, AutosaveOfEncryptedArchives) {
    for (const wchar_t* name : {L"locked.zip", L"locked.7z"}) {
        h4test::MainWindow w;
        qvltest::ScratchDir dir(L"zjpeer");
        const std::wstring path = copy_fixture(dir, name, name);
        ASSERT_TRUE(write_text(dir / L"replacement.txt", "new c"));
        rez::set_current_password(L"pw");
        ASSERT_TRUE(open_and_wait(path));
        ASSERT_TRUE(rezui::app.archive.replace_entry("a\\b\\c.txt", dir / L"replacement.txt"));
        rezui::start_autosave();
        ASSERT_TRUE(wait_idle());
        EXPECT_TRUE(h4test::boxes.empty()) << h4test::boxes.back().text;
        hand_over(path, std::wstring(L"autosaved_") + name);
    }
}

TEST_F(ZipJobsPeerOutput, NewPasswordOnASevenZip) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjpeer");
    const std::wstring path = copy_fixture(dir, L"members.7z", L"m.7z");
    ASSERT_TRUE(open_and_wait(path));
    h4test::dialog_script = [](int, DLGPROC) -> INT_PTR {
        rezui::new_password_result = L"np";
        return 1;
    };
    w.command(IDM_SET_PASSWORD);
    ASSERT_TRUE(wait_idle());
    h4test::dialog_script = nullptr;
    hand_over(path, L"passworded.7z");
}


// The same four edits on ZIPs as the usual tools make them, through the real commands: delete
// gone.txt, add added.txt and dup.txt (a name already there), rename ren.txt to renamed.txt
// (an edit of the model, saved by the autosave) and change the comment. The peer check
// compares every untouched member with the original record by record.
TEST_F(ZipJobsPeerOutput, EditsKeepWhatTheyDoNotTouch) {
    for (const wchar_t* name : {L"keep_u8.zip", L"keep_aes.zip", L"keep_zc.zip", L"keep_names.zip"}) {
        SCOPED_TRACE(rez::to_utf8(name));
        h4test::MainWindow w;
        qvltest::ScratchDir dir(L"zjpeer");
        const std::wstring path = copy_fixture(dir, name, name);
        ASSERT_TRUE(write_text(dir / L"added.txt", "added"));
        ASSERT_TRUE(write_text(dir / L"dup.txt", "dup new"));
        rez::set_current_password(L"PW");
        ASSERT_TRUE(open_and_wait(path));

        ASSERT_TRUE(h4test::select_first_row_named(L"gone.txt"));
        h4test::box_answer = IDYES;
        w.command(IDM_REMOVE);
        ASSERT_TRUE(wait_idle());
        ASSERT_EQ(h4test::boxes.size(), 1u) << rez::to_utf8(h4test::boxes.back().text);  // the question
        h4test::boxes.clear();

        static std::vector<std::wstring> added;
        added = {dir / L"added.txt", dir / L"dup.txt"};
        rezui::files_to_add_picker = [](HWND) { return added; };
        w.command(IDM_ADD_FILES);
        ASSERT_TRUE(wait_idle());
        rezui::files_to_add_picker = rezui::pick_files_to_add;

        ASSERT_TRUE(h4test::select_first_row_named(L"ren.txt"));
        h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
            if (id != IDD_INPUT_TEXT) return 0;
            *rezui::input_text = L"renamed.txt";
            return 1;
        };
        w.command(IDM_RENAME);
        ASSERT_TRUE(wait_idle());
        h4test::dialog_script = nullptr;

        dlgtest::drive({[](HWND d) {
            dlgtest::type_into(d, IDC_COMMENT_EDIT, L"new comment");
            dlgtest::click(d, IDOK);
        }});
        w.command(IDM_COMMENT);
        ASSERT_TRUE(wait_idle());
        EXPECT_TRUE(h4test::boxes.empty()) << rez::to_utf8(h4test::boxes.back().text);
        hand_over(path, std::wstring(L"edited_") + name);
    }
}

}  // namespace
