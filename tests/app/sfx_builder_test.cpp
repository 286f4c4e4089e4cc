#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common/window_helpers.h"
#include "app/tools/sfx_builder.h"
#include "app/tools/sfx_container.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "test_support.h"

using qvltest::ScratchDir;

namespace {

void press(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(4, (r.bottom - r.top) / 2);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(control, WM_LBUTTONUP, 0, at);
}

bool enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// The builder opened from the main window's command, with an archive open there.
struct BuilderRun {
    ScratchDir dir{L"sfx_builder"};
    h4test::MainWindow w;
    std::wstring rez, host;
    INT_PTR result = -1;
    BuilderRun() {
        rez = h4test::make_small_rez(dir, L"game.rez");
        host = dir / L"Hobbleton.exe";
        EXPECT_TRUE(qvltest::write_text(host, "MZ stand-in runner"));
        EXPECT_TRUE(h4test::open_and_wait(rez));
    }
    // Runs command 2023 with the scripts for the builder and the dialogs it opens.
    void run(std::vector<dlgtest::Script> scripts) {
        dlgtest::drive(std::move(scripts));
        w.command(IDM_SFX);
    }
    rezui::SfxConfig read_back(const std::wstring& path) {
        rezui::SfxPayload payload;
        EXPECT_TRUE(rezui::read_sfx(path, payload));
        if (!payload.temp_archive.empty()) {
            EXPECT_EQ(qvltest::bytes_of(payload.temp_archive), qvltest::bytes_of(rez));
            DeleteFileW(payload.temp_archive.c_str());
        }
        return payload.config;
    }
};

}  // namespace

TEST(SfxBuilder, OutputNamesFollowTheHostAndEndInExe) {
    const struct {
        std::wstring field, host, output;
    } cases[] = {
        {L"D:\\out\\setup", L"D:\\tools\\Hobbleton.exe", L"D:\\out\\setup.exe"},
        {L"D:\\out\\setup.EXE", L"D:\\tools\\Hobbleton.exe", L"D:\\out\\setup.EXE"},
        {L"ab", L"D:\\tools\\Hobbleton.exe", L"ab.exe"},
        {L"", L"D:\\tools\\Hobbleton.exe", L"D:\\tools\\Hobbleton_sfx.exe"},
        {L"", L"D:\\app.data\\runner", L"D:\\app_sfx.exe"},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::sfx_output_path(c.field, c.host), c.output) << rez::to_utf8(c.field);
}

TEST(SfxBuilder, Base64IsStandardAndPadded) {
    const struct {
        std::string in, out;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"},
                 {"\xff\xfe\xfd", "//79"}, {"\xfb\xef", "++8="}};
    for (const auto& c : cases)
        EXPECT_EQ(rezui::base64_encode(reinterpret_cast<const uint8_t*>(c.in.data()), c.in.size()), c.out) << c.in;
}

// The user's path through the dialog: the defaults are shown, the mode and shortcut switches
// enable and disable their fields by click, and the build writes what the fields hold.
TEST(SfxBuilder, ClicksThroughTheFieldsAndBuildsFromTheOpenArchive) {
    BuilderRun b;
    ASSERT_TRUE(qvltest::write_text(b.dir / L"banner.png", "png bytes"));
    h4test::open_answer = b.dir / L"banner.png";
    struct Seen {
        std::wstring title, description, host, rez;
        bool intro = true, license = true, readme = false, target = false;
        bool intro_after = false, target_after = true;
    };
    static Seen seen;
    seen = {};
    const std::wstring host = b.host, output = b.dir / L"setup";
    b.run({[&](HWND d) {
        seen.title = dlgtest::text_of(d, IDC_SFX_TITLE);
        seen.description = dlgtest::text_of(d, IDC_SFX_DESCRIPTION);
        seen.host = dlgtest::text_of(d, IDC_SFX_HOST);
        seen.rez = dlgtest::text_of(d, IDC_SFX_REZ);
        seen.intro = enabled(d, IDC_SFX_INTRO);
        seen.license = enabled(d, IDC_SFX_LICENSE);
        seen.readme = enabled(d, IDC_SFX_README);
        seen.target = enabled(d, IDC_SFX_TARGET);
        dlgtest::type_into(d, IDC_SFX_TITLE, L"游戏 \"Demo\"");
        press(d, IDC_SFX_MODE_INSTALLER);
        seen.intro_after = enabled(d, IDC_SFX_INTRO);
        dlgtest::type_into(d, IDC_SFX_INTRO, L"欢迎");
        dlgtest::type_into(d, IDC_SFX_LICENSE, L"许可");
        dlgtest::type_into(d, IDC_SFX_TARGET, L"Textures\\wall.dtx");
        press(d, IDC_SFX_SHORTCUT);
        seen.target_after = enabled(d, IDC_SFX_TARGET);
        press(d, IDC_SFX_IMAGE_BROWSE);
        dlgtest::type_into(d, IDC_SFX_RUN_PROGRAM, L"setup\\go.exe");
        dlgtest::type_into(d, IDC_SFX_HOST, host);
        dlgtest::type_into(d, IDC_SFX_OUTPUT, output);
        press(d, IDC_SFX_BUILD);
    }});
    EXPECT_EQ(seen.title, L"自解压程序");
    EXPECT_EQ(seen.description, L"点击“解压”按钮将文件释放到指定目录。");
    EXPECT_EQ(seen.host, rez::exe_directory() + L"\\Hobbleton.exe");
    EXPECT_EQ(seen.rez, b.rez);
    EXPECT_FALSE(seen.intro);
    EXPECT_FALSE(seen.license);
    EXPECT_TRUE(seen.readme);
    EXPECT_TRUE(seen.target);
    EXPECT_TRUE(seen.intro_after);
    EXPECT_FALSE(seen.target_after);
    EXPECT_EQ(h4test::boxes.size(), 0u);

    const std::wstring written = output + L".exe";
    const rezui::SfxConfig c = b.read_back(written);
    EXPECT_EQ(c.title, "游戏 \"Demo\"");
    EXPECT_EQ(c.mode, "installer");
    EXPECT_EQ(c.intro, "欢迎");
    EXPECT_EQ(c.license, "许可");
    EXPECT_FALSE(c.create_shortcut);
    EXPECT_EQ(c.shortcut_target, "Textures\\wall.dtx");  // still written while switched off
    EXPECT_EQ(c.run_program, "setup\\go.exe");
    EXPECT_EQ(c.image_base64, "cG5nIGJ5dGVz");
    EXPECT_TRUE(h4test::log_has(L"自解压包生成完成：" + written));
    ASSERT_EQ(h4test::shell_launches.size(), 1u);
    EXPECT_EQ(h4test::shell_launches[0], L"open|explorer.exe|/select,\"" + written + L"\"");

    // The next opening starts without the image.
    std::wstring image_field = L"?";
    b.run({[&](HWND d) {
        image_field = dlgtest::text_of(d, IDC_SFX_IMAGE);
        dlgtest::type_into(d, IDC_SFX_HOST, host);
        dlgtest::type_into(d, IDC_SFX_OUTPUT, output);
        press(d, IDC_SFX_BUILD);
    }});
    EXPECT_EQ(image_field, L"");
    EXPECT_EQ(b.read_back(written).image_base64, "");
}

TEST(SfxBuilder, MissingInputsAreNamedInOrderAndAFailedBuildKeepsTheDialog) {
    BuilderRun b;
    const std::wstring missing = b.dir / L"none.rez";
    const struct {
        std::wstring rez, host, output;
        std::wstring text, caption;
    } cases[] = {
        {L"", L"", L"", L"请先选择 REZ 资源包。", L"缺少必填项"},
        {missing, b.host, L"", L"REZ 资源包不存在：\n" + missing, L"缺少必填项"},
        {b.dir.path(), b.host, L"", L"REZ 资源包不存在：\n" + b.dir.path(), L"缺少必填项"},
        {b.rez, L"", L"", L"请选择有效的宿主程序（默认为 Hobbleton.exe）。", L"缺少必填项"},
        {b.rez, b.dir.path(), L"", L"请选择有效的宿主程序（默认为 Hobbleton.exe）。", L"缺少必填项"},
        {b.rez, b.host, b.host, L"输出程序不能是宿主程序本身", L"创建失败"},
    };
    for (const auto& c : cases) {
        h4test::boxes.clear();
        bool still_open = false;
        b.run({[&](HWND d) {
            dlgtest::type_into(d, IDC_SFX_REZ, c.rez);
            dlgtest::type_into(d, IDC_SFX_HOST, c.host);
            dlgtest::type_into(d, IDC_SFX_OUTPUT, c.output);
            press(d, IDC_SFX_BUILD);
            still_open = IsWindow(d) && dlgtest::text_of(d, IDC_SFX_REZ) == c.rez;
            press(d, IDCANCEL);
        }});
        ASSERT_EQ(h4test::boxes.size(), 1u) << rez::to_utf8(c.text);
        EXPECT_EQ(h4test::boxes[0].text, c.text);
        EXPECT_EQ(h4test::boxes[0].caption, c.caption);
        EXPECT_TRUE(still_open) << rez::to_utf8(c.text);
    }
    EXPECT_EQ(qvltest::read_text(b.host), "MZ stand-in runner");
    EXPECT_FALSE(qvltest::path_exists(b.dir / L"Hobbleton_sfx.exe"));
}

TEST(SfxBuilder, PickerListsTheOpenArchivesFilesAndFillsTheField) {
    BuilderRun b;
    std::vector<std::wstring> listed;
    std::wstring target, run_program;
    auto pick_row = [&](const std::wstring& wanted) {
        return [&, wanted](HWND) {
            // The driver may hand over the builder beneath; the picker is found by its caption.
            HWND picker = FindWindowW(L"#32770", L"选择快捷方式目标文件");
            HWND list = GetDlgItem(picker, IDC_SFX_PICK_LIST);
            const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
            listed.clear();
            int row = -1;
            for (int i = 0; i < count; ++i) {
                wchar_t text[260] = {};
                SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
                listed.push_back(text);
                if (wanted == text) row = i;
            }
            RECT r{};
            SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
            const LPARAM at = MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2);
            SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageW(list, WM_LBUTTONUP, 0, at);
            SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            SendMessageW(list, WM_LBUTTONUP, 0, at);
        };
    };
    b.run({[&](HWND d) {
               press(d, IDC_SFX_TARGET_PICK);
               target = dlgtest::text_of(d, IDC_SFX_TARGET);
               press(d, IDC_SFX_RUN_PICK);
               run_program = dlgtest::text_of(d, IDC_SFX_RUN_PROGRAM);
               press(d, IDCANCEL);
           },
           pick_row(L"Textures\\wall.dtx"), pick_row(L"readme.txt")});
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"Textures\\wall.dtx", L"readme.txt"}));
    EXPECT_EQ(target, L"Textures\\wall.dtx");
    EXPECT_EQ(run_program, L"readme.txt");
    EXPECT_EQ(rezui::sfx_pick_result, nullptr);

    // Without an open archive the builder still opens from the menu; only the picker does not.
    rezui::app.archive_loaded = false;
    rezui::update_command_states();
    EXPECT_FALSE(GetMenuState(GetMenu(b.w.hwnd()), IDM_SFX, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
    h4test::boxes.clear();
    b.run({[&](HWND d) {
        press(d, IDC_SFX_TARGET_PICK);
        press(d, IDCANCEL);
    }});
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"当前没有已打开的 REZ 文件，无法浏览内部文件");
    EXPECT_EQ(h4test::boxes[0].caption, L"提示");
    EXPECT_EQ(dlgtest::opened, std::vector<int>{IDD_SFX_BUILDER});
}

TEST(SfxBuilder, ReadmeLoadsAsUtf8OrElseAsGbk) {
    BuilderRun b;
    const struct {
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {"\xef\xbb\xbf" "abc", L"\xFEFF" L"abc"},               // the mark stays
        {"\xd6\xd0\xce\xc4", L"中文"},                        // GBK
        {"abc\xb0\xa1", L"abc啊"},                           // not UTF-8 throughout: all of it as GBK
        {"\xe4\xb8\xad\xe6\x96\x87", L"中文"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(qvltest::write_text(b.dir / L"readme.txt", c.bytes));
        h4test::open_answer = b.dir / L"readme.txt";
        std::wstring shown;
        b.run({[&](HWND d) {
            press(d, IDC_SFX_README_LOAD);
            shown = dlgtest::text_of(d, IDC_SFX_README);
            press(d, IDCANCEL);
        }});
        EXPECT_EQ(shown, c.text) << c.bytes;
    }
    h4test::open_answer = b.dir / L"no such.txt";
    h4test::boxes.clear();
    b.run({[&](HWND d) {
        press(d, IDC_SFX_README_LOAD);
        press(d, IDCANCEL);
    }});
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"读取自述文件失败");
    EXPECT_EQ(h4test::boxes[0].caption, L"错误");
}
