// The settings dialog opened through the main window's command, driven with clicks and keys
// sent to its controls: what it shows, what Save writes and who sees it afterwards, how a
// failed save is told, and the integration apply.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window/messages.h"
#include "app/settings/settings.h"
#include "app/settings/settings_dialog.h"
#include "archive/rez_model.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "shell_registry_support.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

using rezui::app;

// A press and release of the left button in the middle of the control.
void click(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    RECT rc{};
    GetClientRect(control, &rc);
    const LPARAM at = MAKELPARAM(rc.right / 2, rc.bottom / 2);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(control, WM_LBUTTONUP, 0, at);
}

void click_tab(HWND dialog, int index) {
    HWND tabs = GetDlgItem(dialog, IDC_SET_TABS);
    RECT rc{};
    ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc)));
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tabs, WM_LBUTTONUP, 0, at);
}

void key(HWND dialog, int id, WPARAM vk) {
    HWND control = GetDlgItem(dialog, id);
    SetFocus(control);
    SendMessageW(control, WM_KEYDOWN, vk, 1);
    SendMessageW(control, WM_KEYUP, vk, 0xC0000001);
}

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool shown(HWND dialog, int id) { return (GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }

std::vector<int> applied_masks;
std::vector<int> applied_touches;
bool apply_answer = true;
bool record_apply(int mask, int touch) {
    applied_masks.push_back(mask);
    applied_touches.push_back(touch);
    return apply_answer;
}

// The main window with the settings file and the integration apply of this test: the file in
// a folder of its own, the apply recorded instead of run.
class SettingsDialog : public ::testing::Test {
protected:
    h4test::MainWindow w;
    qvltest::ScratchDir dir{L"setdlg"};
    std::wstring file = dir / L"Rezconfig.dat";
    int result = -1;

    void SetUp() override {
        rezui::settings_file_override = file;
        rezui::integration_apply = record_apply;
        applied_masks.clear();
        applied_touches.clear();
        apply_answer = true;
        app.theme = L"浅色";
        app.last_drag_out_folder = L"C:\\old";
        app.uppercase_rez = app.uppercase_zip = app.uppercase_7z = false;
        rez::uppercase_rez_names = false;
    }
    void TearDown() override {
        rezui::settings_file_override.clear();
        rezui::integration_apply = rezui::apply_integration_as_needed;
        rez::uppercase_rez_names = false;
        app.uppercase_rez = false;
    }
    // Opens the dialog through the main window's menu command and runs the script in it.
    void run(dlgtest::Script script) {
        dlgtest::drive({std::move(script)});
        w.command(IDM_SETTINGS);
        ASSERT_EQ(dlgtest::opened, std::vector<int>{IDD_SETTINGS});
    }
};

TEST_F(SettingsDialog, OpensOnTheMenuPageWithTheStateInForceAndClicksSwitchPages) {
    app.uppercase_7z = true;
    app.close_to_tray = true;
    run([](HWND dialog) {
        EXPECT_EQ(rezui::get_window_text(dialog), L"程序设置");
        HWND tabs = GetDlgItem(dialog, IDC_SET_TABS);
        EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
        EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
        EXPECT_TRUE(shown(dialog, IDC_SET_CONTEXT_MENU));
        EXPECT_TRUE(shown(dialog, IDC_SET_APPLY));
        EXPECT_FALSE(shown(dialog, IDC_SET_THEME));
        EXPECT_FALSE(shown(dialog, IDC_SET_UPPER_REZ));
        EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CLIPCHILDREN, 0);
        // Nothing is installed in the test's registry.
        for (int label : {IDC_SET_CONTEXT_STATE, IDC_SET_SHELLNEW_STATE, IDC_SET_ASSOC_REZ_STATE,
                          IDC_SET_ASSOC_ZIP_STATE, IDC_SET_ASSOC_7Z_STATE})
            EXPECT_EQ(dlgtest::text_of(dialog, label), L"✗ 未安装");
        EXPECT_FALSE(checked(dialog, IDC_SET_ASSOC_REZ));
        EXPECT_EQ(dlgtest::text_of(dialog, IDC_SET_THEME), L"浅色");
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_SET_THEME, CB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(dlgtest::text_of(dialog, IDC_SET_DRAG_FOLDER), L"C:\\old");
        EXPECT_FALSE(checked(dialog, IDC_SET_UPPER_REZ));
        EXPECT_TRUE(checked(dialog, IDC_SET_UPPER_7Z));
        EXPECT_TRUE(checked(dialog, IDC_SET_CLOSE_TO_TRAY));

        click_tab(dialog, 1);
        EXPECT_FALSE(shown(dialog, IDC_SET_CONTEXT_MENU));
        EXPECT_TRUE(shown(dialog, IDC_SET_THEME));
        EXPECT_TRUE(shown(dialog, IDC_SET_SHOW_LOG));
        click(dialog, IDC_SET_UPPER_REZ);
        click(dialog, IDCANCEL);
    });
    EXPECT_FALSE(app.uppercase_rez) << "cancel keeps nothing";
    EXPECT_FALSE(qvltest::path_exists(file));
    EXPECT_TRUE(applied_masks.empty());
}

// The REZ upper-case choice was copied into the archive library only when the window was
// created; a saved change must reach the next job that adds entries, which runs on a worker.
TEST_F(SettingsDialog, ClicksChangeValuesThatAreSavedReadBackAndUsed) {
    const bool log_shown_before = app.show_log_box;
    h4test::folder_answers = {L"D:\\拖出"};
    run([](HWND dialog) {
        click_tab(dialog, 1);
        key(dialog, IDC_SET_THEME, VK_DOWN);
        EXPECT_EQ(dlgtest::text_of(dialog, IDC_SET_THEME), L"蓝色");
        click(dialog, IDC_SET_BROWSE);
        EXPECT_EQ(dlgtest::text_of(dialog, IDC_SET_DRAG_FOLDER), L"D:\\拖出");
        dlgtest::type_into(dialog, IDC_SET_DRAG_FOLDER, L"E:\\out");
        click(dialog, IDC_SET_UPPER_REZ);
        click(dialog, IDC_SET_UPPER_ZIP);
        click(dialog, IDC_SET_SHOW_LOG);
        click(dialog, IDOK);
    });
    EXPECT_TRUE(h4test::boxes.empty());
    const rezui::Settings back = rezui::load_settings_from(file);
    EXPECT_EQ(back.theme, L"蓝色");
    EXPECT_EQ(back.last_drag_out_folder, L"E:\\out");
    EXPECT_TRUE(back.uppercase_rez);
    EXPECT_TRUE(back.uppercase_zip);
    EXPECT_FALSE(back.uppercase_7z);
    EXPECT_EQ(back.show_log_box, !log_shown_before);
    EXPECT_EQ(back.copyright, app.copyright);
    // Page 0 shows the registry as it is: with nothing changed there, Save applies nothing.
    EXPECT_TRUE(applied_masks.empty());

    EXPECT_EQ(app.background_colour, COLORREF(0xFAF2EB));
    EXPECT_EQ((GetWindowLongPtrW(app.log_box, GWL_STYLE) & WS_VISIBLE) != 0, !log_shown_before);

    // A file handed over for a REZ archive, as the drop handler's start does.
    const std::wstring archive = dir / L"target.rez", notes = dir / L"notes.txt";
    ASSERT_TRUE(qvltest::write_text(notes, "n"));
    {
        rez::RezFile empty(archive);
        std::wstring err;
        ASSERT_TRUE(empty.save(archive, err));
    }
    h4test::send_copydata(w.hwnd(), rezui::COPYDATA_ADD_TO_REZ, archive + L"\n" + notes);
    ASSERT_TRUE(h4test::pump_until([] { return h4test::log_has(L"拖放加入完成"); })) << rez::to_utf8(h4test::log_text());
    ASSERT_TRUE(h4test::wait_idle());
    rez::RezFile saved;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(archive, saved, err)) << rez::to_utf8(err);
    ASSERT_EQ(saved.root.children.size(), 1u);
    EXPECT_EQ(saved.root.children[0].name, "NOTES");
    EXPECT_EQ(saved.root.children[0].ext, "TXT");
}

// A save whose file could not be written said nothing, so the user believed it kept.
TEST_F(SettingsDialog, ClicksOnSaveReportAFileThatCouldNotBeWrittenAndKeepTheOldOne) {
    rezui::Settings old = rezui::default_settings();
    old.theme = L"浅色";
    ASSERT_TRUE(rezui::save_settings_to(file, old));
    const std::vector<uint8_t> before = qvltest::bytes_of(file);
    // A folder in the way of the new file's temporary name.
    ASSERT_TRUE(CreateDirectoryW((file + L".tmp").c_str(), nullptr));
    run([](HWND dialog) {
        click_tab(dialog, 1);
        click(dialog, IDC_SET_UPPER_REZ);
        click(dialog, IDOK);
    });
    RemoveDirectoryW((file + L".tmp").c_str());
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"错误");
    EXPECT_EQ(h4test::boxes[0].flags & MB_ICONMASK, UINT(MB_ICONERROR));
    EXPECT_NE(h4test::boxes[0].text.find(file), std::wstring::npos) << rez::to_utf8(h4test::boxes[0].text);
    EXPECT_EQ(qvltest::bytes_of(file), before);
    EXPECT_TRUE(rez::uppercase_rez_names.load()) << "the choice still holds for this run";
}

// Save with one box changed on page 0 hands over that item alone.
TEST_F(SettingsDialog, ClicksOnSaveApplyOnlyTheBoxesThatChanged) {
    run([](HWND dialog) {
        click(dialog, IDC_SET_ASSOC_7Z);
        click(dialog, IDOK);
    });
    EXPECT_EQ(applied_masks, std::vector<int>{16});
    EXPECT_EQ(applied_touches, std::vector<int>{16});
}

TEST_F(SettingsDialog, ClicksOnApplyTellTheOutcomeAndCancelKeepsTheApply) {
    struct Case {
        bool answer;
        const wchar_t* text;
    };
    for (const Case& c : {Case{true, L"右键菜单设置已应用。"}, Case{false, L"部分设置未成功，请确认是否以管理员运行。"}}) {
        apply_answer = c.answer;
        applied_masks.clear();
        applied_touches.clear();
        h4test::boxes.clear();
        run([](HWND dialog) {
            click(dialog, IDC_SET_CONTEXT_MENU);
            click(dialog, IDC_SET_ASSOC_ZIP);
            click(dialog, IDC_SET_APPLY);
            // The check boxes show the registry again, where the recorder installed nothing.
            EXPECT_FALSE(checked(dialog, IDC_SET_CONTEXT_MENU));
            click(dialog, IDCANCEL);
        });
        EXPECT_EQ(applied_masks, std::vector<int>{1 | 8});
        EXPECT_EQ(applied_touches, std::vector<int>{31});
        ASSERT_EQ(h4test::boxes.size(), 1u);
        EXPECT_EQ(h4test::boxes[0].text, c.text);
        EXPECT_EQ(h4test::boxes[0].caption, L"完成");
        EXPECT_EQ(h4test::boxes[0].flags & MB_ICONMASK, UINT(MB_ICONINFORMATION));
    }
    EXPECT_FALSE(qvltest::path_exists(file));
}

}  // namespace

// The real apply on the test prefix's registry: the user's own choice of program for .zip
// survives a Save that changes the theme page, and one that adds the .7z association.
TEST(ShellRegistry, ClicksOnSaveKeepTheUsersChoiceOfProgramForUnchangedItems) {
    using qvltest::reg_has_key;
    using qvltest::reg_set_text;
    using qvltest::reg_text;
    qvltest::ShellRegistryGuard guard;
    h4test::MainWindow w;
    qvltest::ScratchDir dir{L"setreg"};
    rezui::settings_file_override = dir / L"Rezconfig.dat";
    ASSERT_TRUE(rezui::apply_integration_mask(rezui::kIntegrateZip));
    const std::wstring exts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.zip";
    reg_set_text(HKEY_CURRENT_USER, exts + L"\\UserChoice", L"ProgId", L"OtherTool.Zip");
    reg_set_text(HKEY_CURRENT_USER, exts + L"\\OpenWithList", L"a", L"other.exe");

    const std::vector<dlgtest::Script> saves = {
        [](HWND dialog) {
            click_tab(dialog, 1);
            click(dialog, IDC_SET_UPPER_ZIP);
            click(dialog, IDOK);
        },
        [](HWND dialog) {
            EXPECT_TRUE(checked(dialog, IDC_SET_ASSOC_ZIP));
            click(dialog, IDC_SET_ASSOC_7Z);
            click(dialog, IDOK);
        }};
    for (const dlgtest::Script& script : saves) {
        dlgtest::drive({script});
        w.command(IDM_SETTINGS);
        EXPECT_EQ(reg_text(HKEY_CURRENT_USER, exts + L"\\UserChoice", L"ProgId"), L"OtherTool.Zip");
        EXPECT_EQ(reg_text(HKEY_CURRENT_USER, exts + L"\\OpenWithList", L"a"), L"other.exe");
        EXPECT_TRUE(rezui::is_association_installed(L".zip"));
    }
    EXPECT_TRUE(rezui::is_association_installed(L".7z"));
    EXPECT_FALSE(rezui::is_association_installed(L".rez"));
    rezui::settings_file_override.clear();
    app.uppercase_zip = false;
}
