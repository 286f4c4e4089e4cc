// A tour of every window of the program for a person to look at: the main window in its
// views and each dialog, opened the way the program opens it, written as bitmaps of the
// whole screen into the folder named by QVL_SHOTS. Run by hand on a screen of the size in
// question:
//   wine explorer /desktop=q,1366x768 app_tests.exe --gtest_also_run_disabled_tests
//        --gtest_filter=ScreenTour.*     (with QVL_SHOTS set to a Windows path)
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/small_dialogs.h"
#include "app/common/window_helpers.h"
#include "app/operations/comment_editor.h"
#include "app/operations/header_editor.h"
#include "app/operations/vdir_picker.h"
#include "app/settings/settings_dialog.h"
#include "app/tools/convert_dialog.h"
#include "app/tools/pack_dialog.h"
#include "app/tools/search_window.h"
#include "app/tools/sfx_builder.h"
#include "app/tools/sfx_container.h"
#include "app/tools/sfx_run_window.h"
#include "app/tools/wizard.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

std::wstring shots_folder() {
    const wchar_t* folder = _wgetenv(L"QVL_SHOTS");
    return folder ? folder : L"";
}

// The whole screen as a 24-bit bitmap file.
void shoot(const std::wstring& name) {
    h4test::pump(150);
    const std::wstring folder = shots_folder();
    if (folder.empty()) return;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    const DWORD stride = ((w * 3 + 3) / 4) * 4, size = stride * h;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + size;
    std::vector<uint8_t> file(fh.bfSize);
    memcpy(file.data(), &fh, sizeof(fh));
    memcpy(file.data() + sizeof(fh), &bi.bmiHeader, sizeof(bi.bmiHeader));
    memcpy(file.data() + fh.bfOffBits, bits, size);
    rez::write_file(folder + L"\\" + name + L".bmp", file.data(), file.size());
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

void click_tab(HWND tabs, int index) {
    RECT rc{};
    SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc));
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tabs, WM_LBUTTONUP, 0, at);
}

dlgtest::Script shot_and_close(const std::wstring& name) {
    return [name](HWND d) {
        shoot(name);
        EndDialog(d, IDCANCEL);
    };
}

}  // namespace

TEST(ScreenTour, DISABLED_EveryWindow) {
    qvltest::ScratchDir dir(L"tour");
    h4test::MainWindow w;
    HWND main = w.hwnd();
    rezui::ui_seams.message_box = rezui::default_ui_seams().message_box;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const RECT frame = rezui::window_rect_in_work_area(1080, 820, work);
    SetWindowPos(main, nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, SWP_NOZORDER);
    SetWindowTextW(main, L"Quarvel");
    ShowWindow(main, SW_SHOW);
    SetForegroundWindow(main);
    shoot(L"main_empty");

    // A local folder with dates, then more rows than a page.
    const std::wstring local = dir / L"本地文件夹";
    CreateDirectoryW(local.c_str(), nullptr);
    for (int i = 0; i < 520; ++i)
        rez::write_file(local + L"\\file_" + std::to_wstring(1000 + i) + L".txt", reinterpret_cast<const uint8_t*>("x"), 1);
    rezui::open_local_folder(local);
    shoot(L"main_local");
    SendMessageW(rezui::app.list_view, LVM_ENSUREVISIBLE, appprobe::item_count() - 1, FALSE);
    shoot(L"main_local_load_more");

    const std::wstring archive = h4test::make_small_rez(dir, L"tour.rez", L"tour comment");
    ASSERT_TRUE(h4test::open_and_wait(archive));
    shoot(L"main_archive");
    rezui::set_status_bar_text(L"已打开: " + archive);
    SendMessageW(main, WM_COMMAND, IDM_SIDE_PANEL, 0);
    shoot(L"main_archive_side_panel");
    SendMessageW(main, WM_COMMAND, IDM_SIDE_PANEL, 0);

    // Modeless search: three tabs, a search run on the first.
    rezui::show_search_window(main);
    HWND search = rezui::current_modeless_dialog;
    ASSERT_NE(search, nullptr);
    shoot(L"search_tab0");
    dlgtest::type_into(search, IDC_S0_KEYWORD, L"readme");
    dlgtest::click(search, IDC_S0_FIND);
    h4test::pump(800);
    shoot(L"search_tab0_found");
    for (int tab = 1; tab < 3; ++tab) {
        click_tab(GetDlgItem(search, IDC_SEARCH_TABS), tab);
        shoot(L"search_tab" + std::to_wstring(tab));
    }
    DestroyWindow(search);
    h4test::pump(100);

    const std::wstring long_source = dir / L"一个很长的文件夹名称用来看源列表是否显示整个路径\\再深一层的子文件夹";
    CreateDirectoryW((dir / L"一个很长的文件夹名称用来看源列表是否显示整个路径").c_str(), nullptr);
    CreateDirectoryW(long_source.c_str(), nullptr);
    rez::write_file(long_source + L"\\a.txt", reinterpret_cast<const uint8_t*>("a"), 1);
    dlgtest::drive({[&](HWND d) {
        shoot(L"wizard_1");
        dlgtest::click(d, IDC_WIZ_PACK);
        dlgtest::click(d, IDC_WIZ_NEXT);
        rezui::wizard_add_source(d, long_source);
        shoot(L"wizard_2");
        dlgtest::click(d, IDC_WIZ_NEXT);
        shoot(L"wizard_3");
        dlgtest::click(d, IDC_WIZ_NEXT);
        shoot(L"wizard_4");
        EndDialog(d, IDCANCEL);
    }});
    rezui::show_wizard(main, L"");

    dlgtest::drive({shot_and_close(L"convert")});
    rezui::show_convert_for_file(main, L"");

    dlgtest::drive({[](HWND d) {
        shoot(L"settings_0");
        click_tab(GetDlgItem(d, IDC_SET_TABS), 1);
        shoot(L"settings_1");
        EndDialog(d, 0);
    }});
    rezui::show_settings(main);

    dlgtest::drive({shot_and_close(L"comment_editor")});
    rezui::show_comment_editor(main);
    dlgtest::drive({shot_and_close(L"sfx_builder")});
    rezui::show_sfx_builder(main);
    dlgtest::drive({shot_and_close(L"sfx_entry_picker")});
    rezui::run_dialog(IDD_ENTRY_PICKER, main, rezui::sfx_pick_entry_proc);
    std::wstring text = L"readme.txt";
    dlgtest::drive({shot_and_close(L"input_text")});
    rezui::ask_text(main, L"重命名", L"新名称：", text);
    dlgtest::drive({shot_and_close(L"new_password")});
    rezui::ask_new_password(main, text);
    dlgtest::drive({shot_and_close(L"password_prompt")});
    rezui::ask_password(main, L"需要密码", L"请输入密码：", text);
    dlgtest::drive({shot_and_close(L"about")});
    rezui::show_about(main);
    dlgtest::drive({shot_and_close(L"vdir_picker")});
    rezui::pick_virtual_dir(main, text);
    dlgtest::drive({shot_and_close(L"header_editor")});
    rezui::edit_rez_header(main, archive);

    // Self-extractors on the runner, for a look at it from outside this process.
    for (const char* mode : {"sfx", "installer"}) {
        if (shots_folder().empty()) break;
        rezui::SfxConfig config;
        config.title = "游戏资源包";
        config.mode = mode;
        config.intro = "欢迎使用安装向导。";
        config.license = "许可协议文本。";
        config.readme = "自述文件的内容";
        std::wstring error;
        rezui::build_sfx(rez::exe_directory() + L"\\Hobbleton.exe", archive,
                         shots_folder() + L"\\tour_" + rez::from_utf8(mode) + L".exe", config, error);
    }

    rezui::SfxPayload payload;
    payload.config.readme = "自述文件的内容";
    rezui::g_sfx_payload = &payload;
    dlgtest::drive({shot_and_close(L"sfx_run")});
    rezui::run_dialog(IDD_SFX_RUN, main, rezui::sfx_run_proc);
    rezui::g_sfx_payload = nullptr;

    dlgtest::drive({[](HWND d) {
        h4test::pump(1500);
        shoot(L"pack_dialog");
        EndDialog(d, IDCANCEL);
    }});
    rezui::run_pack_dialog(main, {long_source});
    h4test::wait_idle();

    // A message box of the program: a typed path that is no folder of the archive.
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR timer, DWORD) {
        if (HWND box = qvltest::visible_dialog_of_this_thread()) {
            KillTimer(nullptr, timer);
            shoot(L"message_box");
            EndDialog(box, IDOK);
        }
    });
    rezui::set_window_text(rezui::app.path_combo, L"\\没有这个文件夹");
    SendMessageW(main, WM_COMMAND, IDM_GO_PATH, 0);
}
