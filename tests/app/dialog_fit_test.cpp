// Every window of the program on a laptop screen: 1366 x 768 less a taskbar leaves a work
// area of about 1366 x 728. Each dialog template, made into a window with the program's
// fonts, must fit it whole, with every control inside the dialog's client area; the main
// window never opens larger than the work area.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <initializer_list>

#include "app/browser/browser.h"
#include "app/common/window_helpers.h"
#include "app/settings/settings_dialog.h"
#include "app/tools/search_window.h"
#include "app/tools/wizard.h"
#include "app/app_state.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

constexpr int kWorkWidth = 1366, kWorkHeight = 728;

INT_PTR CALLBACK bare_proc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

struct Template {
    int id;
    const char* name;
};

const Template kTemplates[] = {
    {IDD_SEARCH, "search"},          {IDD_WIZARD, "wizard"},
    {IDD_CONVERT, "convert"},        {IDD_SETTINGS, "settings"},
    {IDD_COMMENT, "comment"},        {IDD_SFX_BUILDER, "sfx builder"},
    {IDD_INPUT_TEXT, "input text"},  {IDD_VDIR_PICKER, "folder picker"},
    {IDD_SFX_RUN, "sfx run"},        {IDD_ENTRY_PICKER, "entry picker"},
    {IDD_PACK, "pack"},              {IDD_NEW_PASSWORD, "new password"},
    {IDD_HEADER_EDITOR, "header"},   {IDD_PASSWORD_PROMPT, "password prompt"},
    {IDD_ABOUT, "about"},
};

}  // namespace

TEST(DialogFit, EveryDialogFitsALaptopWorkAreaWithEveryControlInside) {
    INITCOMMONCONTROLSEX icc{sizeof icc, 0xFF};
    InitCommonControlsEx(&icc);
    for (const Template& t : kTemplates) {
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(t.id), nullptr, bare_proc, 0);
        ASSERT_NE(dialog, nullptr) << t.name;
        RECT window{};
        GetWindowRect(dialog, &window);
        EXPECT_LE(window.right - window.left, kWorkWidth) << t.name;
        EXPECT_LE(window.bottom - window.top, kWorkHeight) << t.name;
        RECT client{};
        GetClientRect(dialog, &client);
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT rc{};
            GetWindowRect(child, &rc);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
            EXPECT_TRUE(rc.left >= 0 && rc.top >= 0 && rc.right <= client.right && rc.bottom <= client.bottom)
                << t.name << ": control " << GetDlgCtrlID(child) << " at " << rc.left << "," << rc.top << "-"
                << rc.right << "," << rc.bottom << " outside " << client.right << "x" << client.bottom;
        }
        DestroyWindow(dialog);
    }
}

TEST(DialogFit, TheMainWindowOpensInsideTheWorkArea) {
    struct Case {
        RECT work;
        RECT expected;
    };
    const Case cases[] = {
        {{0, 0, kWorkWidth, kWorkHeight}, {143, 0, 143 + 1080, kWorkHeight}},
        {{0, 0, 1920, 1040}, {420, 110, 1500, 930}},
        {{0, 40, 1024, 768}, {0, 40, 1024, 768}},  // a taskbar at the top
    };
    for (const Case& c : cases) {
        const RECT r = rezui::window_rect_in_work_area(1080, 820, c.work);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
}

namespace {

int list_string_width(HWND list, const std::wstring& text) {
    return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

}  // namespace

// Texts cut short at the window's default size: the load-more row (its totals at the end),
// the local view's dates, status-bar part 0 and the wizard's source paths.
TEST(DialogFit, TextsFitTheirColumnsAndTheStatusPart) {
    qvltest::ScratchDir dir(L"fit");
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    HWND list = rezui::app.list_view;
    for (int i = 0; i < static_cast<int>(rezui::kListPageSize) + 5; ++i)
        rez::write_file(dir / (L"f" + std::to_wstring(1000 + i) + L".txt"), reinterpret_cast<const uint8_t*>("n"), 1);
    rezui::open_local_folder(dir.path());
    const int last = appprobe::item_count() - 1;
    ASSERT_TRUE(rezui::row_of_item(last) && rezui::row_of_item(last)->is_load_more);
    EXPECT_GE(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), list_string_width(list, appprobe::item_text(last)) + 24);
    for (int column : {4, 5}) {
        const std::wstring date = appprobe::item_text(1, column);
        ASSERT_FALSE(date.empty()) << column;
        EXPECT_GE(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0), list_string_width(list, date) + 12) << column;
    }

    const std::wstring archive = h4test::make_small_rez(dir, L"一个名字相当长的资源包文件用来看状态栏第一栏.rez");
    ASSERT_TRUE(h4test::open_and_wait(archive));
    HWND bar = rezui::app.status_bar;
    const int length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    ASSERT_NE(text.find(L"总大小"), std::wstring::npos);
    HDC dc = GetDC(bar);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), length, &size);
    SelectObject(dc, old);
    ReleaseDC(bar, dc);
    RECT part{};
    SendMessageW(bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
    EXPECT_GE(part.right - part.left, size.cx + 8);

    const std::wstring source = dir / L"一个很长的文件夹名称用来看源列表是否显示整个路径\\再深一层的子文件夹";
    int column = 0, wanted = 0;
    h4test::folder_answers = {source};
    dlgtest::drive({[&](HWND d) {
        dlgtest::click(d, IDC_WIZ_PACK);
        dlgtest::click(d, IDC_WIZ_NEXT);
        dlgtest::click(d, IDC_WIZ_ADD_FOLDER);
        HWND sources = GetDlgItem(d, IDC_WIZ_SOURCES);
        column = static_cast<int>(SendMessageW(sources, LVM_GETCOLUMNWIDTH, 0, 0));
        wanted = list_string_width(sources, source);
        EndDialog(d, IDCANCEL);
    }});
    rezui::show_wizard(w.hwnd(), L"");
    EXPECT_GE(column, wanted + 12);
}

namespace {

// A window's client painted by itself into a black bitmap, as on a fresh surface; the colour
// at the point.
COLORREF printed_pixel(HWND window, POINT at) {
    RECT rc{};
    GetClientRect(window, &rc);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, rc.right, rc.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bitmap);
    FillRect(mem, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF c = GetPixel(mem, at.x, at.y);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    return c;
}

// Labels and check boxes on a tab's page show the page's colour behind their text: the
// status line once drew new text over old, the check boxes sat on patches of grey.
void expect_page_colour_behind(HWND dialog, int tabs_id, std::initializer_list<int> ids) {
    HWND tabs = GetDlgItem(dialog, tabs_id);
    RECT page{};
    GetClientRect(tabs, &page);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    const COLORREF colour = printed_pixel(tabs, {(page.left + page.right) / 2, page.bottom - 4});
    for (int id : ids) {
        HWND control = GetDlgItem(dialog, id);
        RECT rc{};
        GetClientRect(control, &rc);
        EXPECT_EQ(printed_pixel(control, {rc.right - 2, rc.bottom / 2}), colour) << "control " << id;
    }
}

}  // namespace

TEST(DialogFit, LabelsAndCheckBoxesOnTabPagesShowThePage) {
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    rezui::show_search_window(w.hwnd());
    HWND search = rezui::current_modeless_dialog;
    ASSERT_NE(search, nullptr);
    h4test::pump(50);
    expect_page_colour_behind(search, IDC_SEARCH_TABS, {IDC_S0_STATUS, IDC_S0_CASE, IDC_S0_ID});
    DestroyWindow(search);

    dlgtest::drive({[](HWND d) {
        h4test::pump(50);
        expect_page_colour_behind(d, IDC_SET_TABS, {IDC_SET_CONTEXT_MENU, IDC_SET_CONTEXT_STATE, IDC_SET_ASSOC_ZIP});
        EndDialog(d, 0);
    }});
    rezui::show_settings(w.hwnd());
}
