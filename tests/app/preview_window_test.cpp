// The side panel on real controls (comment tab, tab title, table from a game table) and
// the icon pieces that need a device: icon fitting and texture thumbnails of disk files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/browser/local_view.h"
#include "archive/util.h"
#include "browser_test_window.h"
#include "test_support.h"

namespace {

using h5test::BrowserWindow;

TEST(PreviewWindow, CommentTabShowsAndHidesThePanel) {
    BrowserWindow w;
    rezui::app.archive.comment = L"第一行\r\n第二行";
    rezui::show_comment_box();
    EXPECT_TRUE(rezui::app.comment_panel_visible);
    EXPECT_EQ(SendMessageW(rezui::app.preview_tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(rezui::get_window_text(rezui::app.comment_box), L"第一行\r\n第二行");
    rezui::app.archive.comment.clear();
    rezui::show_comment_box();
    EXPECT_FALSE(rezui::app.comment_panel_visible);
    EXPECT_EQ(rezui::get_window_text(rezui::app.comment_box), L"(无注释)");
}

TEST(PreviewWindow, GameTableNeedsItsMarkerAndSkipsTruncationLines) {
    BrowserWindow w;
    EXPECT_FALSE(rezui::show_table_preview("no marker here\nA,B\n1,2\n", false));
    EXPECT_FALSE(rezui::show_table_preview("CSV data (first rows):\n   \n\n", false));
    ASSERT_TRUE(rezui::show_table_preview(
        "Table: x\nCSV data (first rows):\r\nA;B\r\n1;2\r\n... Preview truncated ...\r\n3;4;5\r\n", false));
    HWND table = rezui::app.preview_table;
    ASSERT_EQ(SendMessageW(table, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(h5test::item_text(1, 0, table), L"3");
    EXPECT_EQ(h5test::item_text(1, 1, table), L"4");  // cut to the header's two fields
    EXPECT_TRUE(rezui::preview_is_table);
    EXPECT_EQ(SendMessageW(rezui::app.preview_tabs, TCM_GETCURSEL, 0, 0), 1);

    // A lone blank column stays (it is the only one).
    ASSERT_TRUE(rezui::show_table_preview("\n", true) == false);
    ASSERT_TRUE(rezui::show_table_preview(" \t \nx\n", true) == true);
}

TEST(PreviewWindow, LongTabTitleWidensTheSidePanel) {
    BrowserWindow w;
    rezui::app.client_width = 1000;
    rezui::side_panel_width = 300;
    rezui::set_preview_tabs(std::wstring(200, L'W'));
    EXPECT_EQ(rezui::side_panel_width, 760);  // limited to the client width - 240
    rezui::side_panel_width = 300;
    rezui::set_preview_tabs(L"a.txt");
    EXPECT_EQ(rezui::side_panel_width, 300);
    TCITEMW item{};
    wchar_t buf[64] = {};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 64;
    SendMessageW(rezui::app.preview_tabs, TCM_GETITEMW, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(buf, L"a.txt");
    EXPECT_EQ(SendMessageW(rezui::app.preview_tabs, TCM_GETITEMCOUNT, 0, 0), 2);
}

// Colour bytes of an icon's colour bitmap as a top-down 32-bit image.
std::vector<uint8_t> icon_pixels(HICON icon, int& w, int& h) {
    ICONINFO ii{};
    std::vector<uint8_t> px;
    if (!GetIconInfo(icon, &ii)) return px;
    BITMAP bm{};
    GetObjectW(ii.hbmColor, sizeof bm, &bm);
    w = bm.bmWidth;
    h = bm.bmHeight;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    px.resize(static_cast<size_t>(w) * h * 4);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, ii.hbmColor, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    return px;
}

TEST(IconFit, SmallIconCenteredNotEnlargedLargeOneScaledDown) {
    std::vector<uint8_t> red(32 * 32 * 4);
    for (size_t i = 0; i < red.size(); i += 4) {
        red[i + 2] = 255;
        red[i + 3] = 255;
    }
    HICON icon = rezui::icon_from_pixels(red.data(), 32, 32);
    ASSERT_NE(icon, nullptr);
    HICON big = rezui::fit_icon(icon, 64);
    ASSERT_NE(big, nullptr);
    int w = 0, h = 0;
    std::vector<uint8_t> px = icon_pixels(big, w, h);
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 64);
    auto red_at = [&](int x, int y) { return px[(static_cast<size_t>(y) * w + x) * 4 + 2]; };
    EXPECT_EQ(red_at(15, 15), 0);
    EXPECT_EQ(red_at(16, 16), 255);
    EXPECT_EQ(red_at(47, 47), 255);
    EXPECT_EQ(red_at(48, 48), 0);
    HICON small = rezui::fit_icon(icon, 16);
    ASSERT_NE(small, nullptr);
    px = icon_pixels(small, w, h);
    ASSERT_EQ(w, 16);
    EXPECT_EQ(px[2], 255);
    EXPECT_EQ(px[(15 * 16 + 15) * 4 + 2], 255);
    EXPECT_EQ(rezui::fit_icon(nullptr, 16), nullptr);
    EXPECT_EQ(rezui::fit_icon(icon, 0), nullptr);
    DestroyIcon(icon);
    DestroyIcon(big);
    DestroyIcon(small);
}

TEST(IconFit, TextureFilesGetThumbnailsBrokenOnesTheirExtensionIcon) {
    BrowserWindow w;
    qvltest::ScratchDir dir(L"h5thumb");
    const uint8_t tga[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 32, 0x28, 255, 0, 0, 255, 0, 0, 255, 128};
    ASSERT_TRUE(rez::write_file(dir / L"good.tga", tga, sizeof tga));
    const uint8_t junk[] = {'n', 'o', 't', ' ', 'p', 'n', 'g'};
    ASSERT_TRUE(rez::write_file(dir / L"bad.png", junk, sizeof junk));
    const int before = ImageList_GetImageCount(rezui::app.small_images);
    rezui::open_local_folder(dir.path());
    EXPECT_EQ(rezui::thumb_cache.count(dir / L"good.tga"), 1u);
    EXPECT_EQ(rezui::thumb_cache.count(dir / L"bad.png"), 0u);
    const int good = rezui::thumb_cache[dir / L"good.tga"];
    EXPECT_GE(good, before);
    EXPECT_EQ(ImageList_GetImageCount(rezui::app.large_images), ImageList_GetImageCount(rezui::app.small_images));
    // The broken picture's row shows the icon of its extension.
    EXPECT_EQ(rezui::icon_cache.count(L".png"), 1u);
    // A second listing reuses the cached thumbnail instead of adding images.
    const int count = ImageList_GetImageCount(rezui::app.small_images);
    rezui::refresh_list();
    EXPECT_EQ(ImageList_GetImageCount(rezui::app.small_images), count);
}

}  // namespace
