// Where the main window's controls go for a client size, computed apart from the windows
// so the rectangles can be checked as a table.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window/main_window.h"
#include "app/browser/preview_pane.h"
#include "resources/resource.h"

namespace rezui {
namespace {

void place(HWND window, const Box& b) {
    if (window) MoveWindow(window, b.x, b.y, b.w, b.h, TRUE);
}

HWND child(HWND window, int id) { return GetDlgItem(window, id); }

// Below these the list or the status bar's middle part (the last log line) is no longer
// usable.
constexpr int kMinBrowserHeight = 120;
constexpr int kMinStatusMiddleWidth = 100;
constexpr int kStatusTotalsWidth = 420;  // part 2 as laid out
constexpr int kMinStatusTotalsWidth = 200;
// The status parts of the last layout, before part 0 is fitted to its text.
int laid_out_status_parts[3] = {360, 660, -1};

int toolbar_window_height() {
    if (!app.toolbar) return 0;
    RECT rc;
    if (!GetWindowRect(app.toolbar, &rc)) return 0;
    return rc.bottom - rc.top;
}

bool has_nav_row(HWND window) {
    return child(window, IDM_UP) && child(window, IDM_DESKTOP) && child(window, IDM_REFRESH);
}

// Widens the last visible column so that the columns fill the list.
void fill_list_columns() {
    HWND list = app.list_view;
    if (!list) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    int count = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    if (count <= 0) return;
    RECT rc;
    if (!GetClientRect(list, &rc)) return;
    int sum = 0, last = -1;
    for (int i = 0; i < count; ++i) {
        int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
        sum += width;
        if (width > 0) last = i;
    }
    if (last < 0) return;
    int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, last, 0)) + (rc.right - sum);
    if (width > 0) SendMessageW(list, LVM_SETCOLUMNWIDTH, last, width);
}

}  // namespace

int clamp_side_panel_width(int width, int client_width) {
    int p = std::clamp(width, 180, 600);
    if (p > client_width - 240) p = std::max(client_width - 240, 0);
    return p;
}

MainLayout compute_main_layout(int w, int h, int toolbar_window_height, bool has_toolbar, bool has_nav, bool log_on,
                               bool panel_visible, int side_width) {
    MainLayout l;
    int th = 0;
    if (has_toolbar) {
        th = std::max(toolbar_window_height, 36);
        l.toolbar = {0, 0, w, th};
    }
    if (has_nav) {
        int y = th + 6;
        l.up = {2, y, 64, 24};
        l.desktop = {68, y, 64, 24};
        l.refresh = {134, y, 64, 24};
        l.path = {200, y, w - 202, 24};
        th += 30;
    }
    l.toolbar_height = th;
    int bottom = log_on ? h - 206 : h - 76;
    int p = panel_visible ? clamp_side_panel_width(side_width, w) : 0;
    l.panel_width = p;
    int height = bottom - th - 24;
    l.browser = {0, th, w - p, height};
    l.panel = {w - p + 3, th, p - 3, height};
    l.panel_child = {2, 28, p - 4, bottom - th - 54};
    l.splitter = {w - p, th, 5, height};
    l.splitter_visible = panel_visible;
    l.log_visible = log_on;
    l.log = {0, bottom + 48, w, 130};
    l.progress_bar = {0, bottom + 22, w, 18};
    l.progress_text = {4, bottom - 6, w / 2 - 8, 20};
    l.host = {w / 2, bottom - 12, w / 2 - 6, 28};
    l.pause = {w / 2 - 242, 2, 52, 24};
    l.resume = {w / 2 - 186, 2, 52, 24};
    l.stop = {w / 2 - 130, 2, 52, 24};
    l.clear_log = {w / 2 - 74, 2, 72, 24};
    l.status = {0, h - 24, w, 24};
    l.status_parts[0] = 360;
    l.status_parts[1] = w - 420;
    l.status_parts[2] = -1;
    return l;
}

SIZE min_main_client_size(int toolbar_window_height, bool has_toolbar, bool has_nav) {
    // Measured on the layout of an empty client area with the log box on, which leaves the
    // list the least room: whatever is negative there is what the fixed rows take.
    MainLayout zero = compute_main_layout(0, 0, toolbar_window_height, has_toolbar, has_nav, true, false, 0);
    SIZE size;
    size.cx = zero.status_parts[0] + kMinStatusMiddleWidth - zero.status_parts[1];
    size.cy = kMinBrowserHeight - zero.browser.h;
    return size;
}

POINT main_window_min_track_size(HWND window) {
    const bool ours = window == app.main_window;
    SIZE client = min_main_client_size(ours ? toolbar_window_height() : 0, ours && app.toolbar, has_nav_row(window));
    RECT rc = {0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), GetMenu(window) != nullptr,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    return {rc.right - rc.left, rc.bottom - rc.top};
}

void layout_main_window(HWND window, int w, int h) {
    int toolbar_height = toolbar_window_height();
    bool has_nav = has_nav_row(window);
    MainLayout l = compute_main_layout(w, h, toolbar_height, app.toolbar != nullptr, has_nav, app.show_log_box,
                                       app.comment_panel_visible, side_panel_width);
    if (app.comment_panel_visible) side_panel_width = l.panel_width;

    place(app.toolbar, l.toolbar);
    if (has_nav) {
        place(child(window, IDM_UP), l.up);
        place(child(window, IDM_DESKTOP), l.desktop);
        place(child(window, IDM_REFRESH), l.refresh);
        place(app.path_combo, l.path);
    }
    place(app.tree_view, l.browser);
    place(app.list_view, l.browser);
    place(app.comment_panel, l.panel);
    for (HWND pane : {app.comment_box, app.preview_table, app.preview_edit, app.preview_image}) place(pane, l.panel_child);
    place(app.splitter, l.splitter);
    if (app.splitter) ShowWindow(app.splitter, l.splitter_visible ? SW_SHOW : SW_HIDE);
    if (app.comment_panel_visible) {
        fill_list_columns();
        autosize_preview_columns();
    }
    if (app.log_box) {
        if (l.log_visible) place(app.log_box, l.log);
        ShowWindow(app.log_box, l.log_visible ? SW_SHOW : SW_HIDE);
    }
    if (app.clear_log_button) ShowWindow(app.clear_log_button, l.log_visible ? SW_SHOW : SW_HIDE);
    place(app.progress_bar, l.progress_bar);
    place(child(window, IDC_PROGRESS_TEXT), l.progress_text);
    place(child(window, IDC_BUTTON_HOST), l.host);
    place(app.pause_button, l.pause);
    place(app.resume_button, l.resume);
    place(app.cancel_button, l.stop);
    place(app.clear_log_button, l.clear_log);
    if (app.status_bar) {
        place(app.status_bar, l.status);
        std::copy(std::begin(l.status_parts), std::end(l.status_parts), std::begin(laid_out_status_parts));
        fit_status_parts();
    }
    app.layout_done = true;
}

namespace {

// Width of a status part's text in the bar's font, with the part's borders and margins.
int status_text_width(HWND bar, int part) {
    const int length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, part, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
    SIZE size{};
    if (HDC dc = GetDC(bar)) {
        HGDIOBJ old_font = nullptr;
        if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0))) old_font = SelectObject(dc, font);
        GetTextExtentPoint32W(dc, text.c_str(), length, &size);
        if (old_font) SelectObject(dc, old_font);
        ReleaseDC(bar, dc);
    }
    return size.cx + 16;
}

}  // namespace

void fit_status_parts() {
    HWND bar = app.status_bar;
    if (!bar) return;
    int parts[3];
    std::copy(std::begin(laid_out_status_parts), std::end(laid_out_status_parts), std::begin(parts));
    // Part 2 (the folder's totals) gives up what its text does not use; part 0 (what is
    // open) takes what its text needs; the middle part (the last log line) keeps its minimum.
    const int right = parts[1] + kStatusTotalsWidth;
    const int totals = std::clamp(status_text_width(bar, 2) + 8, kMinStatusTotalsWidth, kStatusTotalsWidth);
    parts[1] = right - totals;
    const int wanted = status_text_width(bar, 0);
    if (wanted > parts[0]) parts[0] = std::max(parts[0], std::min(wanted, parts[1] - kMinStatusMiddleWidth));
    SendMessageW(bar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
}

bool splitter_hit_test(int x, int y) {
    if (!app.splitter || !app.comment_panel_visible || !app.main_window) return false;
    RECT rc;
    if (!GetWindowRect(app.splitter, &rc)) return false;
    POINT tl = {rc.left, rc.top}, br = {rc.right, rc.bottom};
    ScreenToClient(app.main_window, &tl);
    ScreenToClient(app.main_window, &br);
    return x >= tl.x - 3 && x <= br.x + 3 && y >= tl.y - 4 && y <= br.y + 4;
}

}  // namespace rezui
