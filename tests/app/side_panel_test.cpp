// The side panel inside the real main window: its tabs answer a mouse click, its children
// are painted in the view colours, and it forgets the last preview when another archive
// opens or the local-folder view is shown.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/browser/browser.h"
#include "app/operations/open_archive.h"
#include "app/browser/preview_pane.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "test_support.h"

namespace {

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"app\\" + name); }

bool open_and_wait(const std::wstring& path) {
    rezui::open_file(path);
    return h4test::wait_idle();
}

// Whether a child of the (hidden) main window is switched on.
bool shown(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

int selected_tab() { return static_cast<int>(SendMessageW(rezui::app.preview_tabs, TCM_GETCURSEL, 0, 0)); }

std::wstring tab_title(int index) {
    wchar_t buf[600] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 600;
    SendMessageW(rezui::app.preview_tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return buf;
}

// A left click at the middle of a tab, as the mouse delivers it to the tab control.
void click_tab(int index) {
    RECT rc{};
    ASSERT_TRUE(SendMessageW(rezui::app.preview_tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc)));
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageW(rezui::app.preview_tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(rezui::app.preview_tabs, WM_LBUTTONUP, 0, at);
    h4test::pump();
}

// Previews a row of the list by double-clicking it.
void preview_row(h4test::MainWindow& w, const std::wstring& name) {
    ASSERT_TRUE(h4test::select_first_row_named(name)) << rez::to_utf8(name);
    w.notify_list(NM_DBLCLK);
}

TEST(SidePanel, ClickingTheTabsSwitchesBetweenCommentAndPreview) {
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(fx(L"preview\\engine.rez")));
    ASSERT_NO_FATAL_FAILURE(preview_row(w, L"M.txt"));
    ASSERT_EQ(selected_tab(), 1);
    ASSERT_TRUE(shown(rezui::app.preview_edit));

    ASSERT_NO_FATAL_FAILURE(click_tab(0));
    EXPECT_EQ(selected_tab(), 0);
    EXPECT_TRUE(shown(rezui::app.comment_box));
    EXPECT_FALSE(shown(rezui::app.preview_edit));

    ASSERT_NO_FATAL_FAILURE(click_tab(1));
    EXPECT_EQ(selected_tab(), 1);
    EXPECT_FALSE(shown(rezui::app.comment_box));
    EXPECT_TRUE(shown(rezui::app.preview_edit));

    // A picture comes back with its tab as well.
    ASSERT_NO_FATAL_FAILURE(preview_row(w, L"P.tga"));
    ASSERT_NO_FATAL_FAILURE(click_tab(0));
    EXPECT_FALSE(shown(rezui::app.preview_image));
    ASSERT_NO_FATAL_FAILURE(click_tab(1));
    EXPECT_TRUE(shown(rezui::app.preview_image));
    EXPECT_FALSE(shown(rezui::app.comment_box));
}

TEST(SidePanel, ItsChildrenAreColouredLikeTheViews) {
    h4test::MainWindow w;
    rezui::app.theme = L"淡蓝";
    rezui::apply_view_colors();
    HWND panel = rezui::app.comment_panel;
    HDC dc = GetDC(panel);
    // The read-only edits ask with WM_CTLCOLORSTATIC, an editable one would with
    // WM_CTLCOLOREDIT: both must come back with the view colours.
    for (HWND child : {rezui::app.comment_box, rezui::app.preview_edit, rezui::app.preview_image}) {
        for (UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLOREDIT}) {
            SetTextColor(dc, RGB(1, 2, 3));
            SetBkColor(dc, RGB(4, 5, 6));
            LRESULT brush = SendMessageW(panel, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
            EXPECT_EQ(brush, reinterpret_cast<LRESULT>(rezui::app.background_brush)) << message;
            EXPECT_EQ(GetTextColor(dc), rezui::app.text_colour) << message;
            EXPECT_EQ(GetBkColor(dc), rezui::app.background_colour) << message;
        }
    }
    ReleaseDC(panel, dc);
}

// What the preview tab holds after it was cleared: nothing of the last entry.
void expect_preview_cleared(const std::string& when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(tab_title(1), L"预览");
    EXPECT_EQ(rezui::get_window_text(rezui::app.preview_edit), L"");
    EXPECT_EQ(SendMessageW(rezui::app.preview_table, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(rezui::preview_bitmap, nullptr);
    EXPECT_EQ(SendMessageW(rezui::app.preview_image, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_FALSE(rezui::preview_is_image);
    EXPECT_FALSE(rezui::preview_is_table);
    EXPECT_EQ(selected_tab(), 0);
    EXPECT_FALSE(shown(rezui::app.preview_edit));
    EXPECT_FALSE(shown(rezui::app.preview_image));
    EXPECT_FALSE(shown(rezui::app.preview_table));
}

TEST(SidePanel, AnotherArchiveOrTheLocalViewForgetsTheLastPreview) {
    qvltest::ScratchDir dir(L"sidepanel");
    const struct {
        const char* name;
        std::function<bool()> leave;
    } cases[] = {
        {"another archive", [] { return open_and_wait(fx(L"selftest\\engine.rez")); }},
        {"local folder", [&dir] {
             rezui::open_local_folder(dir.path());
             return rezui::app.fs_mode;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        h4test::MainWindow w;
        ASSERT_TRUE(open_and_wait(fx(L"preview\\engine.rez")));
        // A comment as the comment editor leaves it, then a table, a picture and a text.
        rezui::app.archive.comment = L"旧注释";
        rezui::show_comment_box();
        for (const wchar_t* row : {L"T.csv", L"P.tga", L"M.txt"}) ASSERT_NO_FATAL_FAILURE(preview_row(w, row));
        ASSERT_EQ(tab_title(1), L"M.txt");
        ASSERT_NE(rezui::preview_bitmap, nullptr);

        ASSERT_TRUE(c.leave());
        expect_preview_cleared(c.name);
        // Neither the new archive nor a folder has a comment: the panel goes.
        EXPECT_EQ(rezui::get_window_text(rezui::app.comment_box), L"(无注释)");
        EXPECT_FALSE(rezui::app.comment_panel_visible);
        EXPECT_TRUE(h4test::boxes.empty());
    }
}

}  // namespace
