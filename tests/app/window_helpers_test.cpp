#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/browser/folder_tree.h"
#include "app/common/window_helpers.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

TEST(WindowHelpers, ParentLocalDir) {
    qvltest::ScratchDir dir(L"helpers");
    CreateDirectoryW((dir / L"a").c_str(), nullptr);
    CreateDirectoryW((dir / L"a\\b").c_str(), nullptr);
    const struct {
        std::wstring root, parent;
    } cases[] = {
        {L"C:\\", L""},
        {L"C:\\windows", L"C:\\"},
        {dir / L"a\\b\\", dir / L"a"},
        {dir / L"a\\b", dir / L"a"},
        {dir / L"missing\\x", L""},  // the parent must exist
        {L"", L""},
        {L"nofolder", L""},
    };
    for (const auto& c : cases) {
        rezui::app.local_root = c.root;
        EXPECT_EQ(rezui::parent_local_dir(), c.parent) << rez::to_utf8(c.root);
    }
    rezui::app.local_root.clear();
    rezui::app.local_subdir = L"x";
    EXPECT_EQ(rezui::current_local_path(), L"\\x");
    rezui::app.local_subdir.clear();
}

TEST(WindowHelpers, LocalTreeSkipsDotFolders) {
    qvltest::ScratchDir dir(L"helpers");
    for (const wchar_t* name : {L"shown", L".hidden", L"other"}) CreateDirectoryW((dir / name).c_str(), nullptr);
    rez::write_file(dir / L"file.txt", reinterpret_cast<const uint8_t*>("x"), 1);
    h4test::MainWindow w;
    rezui::app.local_root = dir.path();
    rezui::fill_fs_tree();
    HWND tree = rezui::app.tree_view;
    HTREEITEM root = TreeView_GetRoot(tree);
    ASSERT_NE(root, nullptr);
    std::vector<std::wstring> names;
    for (HTREEITEM c = TreeView_GetChild(tree, root); c; c = TreeView_GetNextSibling(tree, c))
        names.push_back(rezui::tree_node_data(c)->text);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"other", L"shown"}));
    // Each folder carries a placeholder until it is expanded.
    HTREEITEM first = TreeView_GetChild(tree, root);
    HTREEITEM placeholder = TreeView_GetChild(tree, first);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_TRUE(rezui::tree_node_data(placeholder)->text.empty());
    rezui::list_local_folder(first);  // an empty folder: the placeholder goes
    EXPECT_EQ(TreeView_GetChild(tree, first), nullptr);
}

TEST(WindowHelpers, PathBarEnterPostsGoAndEmptyTargetsDoNothing) {
    h4test::MainWindow w;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetComboBoxInfo(rezui::app.path_combo, &info));
    SetWindowTextW(info.hwndItem, L"abc");
    EXPECT_EQ(SendMessageW(info.hwndItem, WM_KEYDOWN, VK_RETURN, 0), 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, w.hwnd(), WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(LOWORD(msg.wParam), IDM_GO_PATH);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_EQ(rezui::get_window_text(info.hwndItem), L"abc");

    // Archive browsing: the root item carries no target, so choosing it changes nothing.
    rezui::app.archive = rez::RezFile(L"C:\\data\\x.rez");
    std::string out;
    rezui::app.archive.create_directory("A", out);
    rezui::app.archive.create_directory("A\\B", out);
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::app.current_folder = L"A\\B";
    rezui::fill_path_combo();
    HWND combo = rezui::app.path_combo;
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    wchar_t text[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"x.rez");
    SendMessageW(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"A\\B");
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    rezui::on_path_combo_select();
    EXPECT_EQ(rezui::app.current_folder, L"A\\B");

    // Local browsing: the "---" separator item does nothing either.
    rezui::app.fs_mode = true;
    rezui::app.local_root = L"C:\\windows";
    rezui::fill_path_combo();
    LRESULT sep = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"---"));
    ASSERT_NE(sep, CB_ERR);
    SendMessageW(combo, CB_SETCURSEL, sep, 0);
    rezui::on_path_combo_select();
    EXPECT_EQ(rezui::app.local_root, L"C:\\windows");
}

TEST(WindowHelpers, ThemeSelectsTheViewColours) {
    h4test::MainWindow w;
    const struct {
        const wchar_t* theme;
        COLORREF back, text;
    } cases[] = {{L"蓝色", 0xFAF2EB, 0x372319}, {L"浅色", 0xFCFCFC, 0x1E1E1E}, {L"", 0xFCFCFC, 0x1E1E1E},
                 {L"深蓝", 0xFAF2EB, 0x372319}};
    for (const auto& c : cases) {
        rezui::app.theme = c.theme;
        rezui::apply_view_colors();
        EXPECT_EQ(rezui::app.background_colour, c.back);
        EXPECT_EQ(rezui::app.text_colour, c.text);
        EXPECT_EQ(static_cast<COLORREF>(SendMessageW(rezui::app.list_view, LVM_GETBKCOLOR, 0, 0)), c.back);
        EXPECT_NE(rezui::app.background_brush, nullptr);
    }
}

TEST(WindowHelpers, ArchiveTreeMarksEncryptedFoldersUntilUnlocked) {
    h4test::MainWindow w;
    rez::Entry root;
    root.is_dir = true;
    rez::Entry secret;
    secret.is_dir = true;
    secret.name = "secret";
    secret.encrypted = true;
    secret.loaded = false;
    rez::Entry open_dir;
    open_dir.is_dir = true;
    open_dir.name = "open";
    rez::Entry hidden = open_dir;
    hidden.name = "hidden";
    hidden.hidden = true;
    rez::Entry inner = open_dir;
    inner.name = "inner";
    open_dir.children.push_back(inner);
    root.children = {secret, open_dir, hidden};
    HWND tree = rezui::app.tree_view;
    for (bool unlocked : {false, true}) {
        rezui::clear_tree();
        rezui::archive_unlocked = unlocked;
        rezui::add_archive_tree_nodes(nullptr, root, L"");
        HTREEITEM first = TreeView_GetRoot(tree);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(rezui::tree_node_data(first)->text, unlocked ? L"secret" : L"secret (*已加密)");
        EXPECT_EQ(rezui::tree_node_data(first)->key, L"secret");
        // Not loaded: a placeholder; loaded: the real children with their keys.
        EXPECT_TRUE(rezui::tree_node_data(TreeView_GetChild(tree, first))->text.empty());
        HTREEITEM second = TreeView_GetNextSibling(tree, first);
        ASSERT_NE(second, nullptr);
        HTREEITEM child = TreeView_GetChild(tree, second);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(rezui::tree_node_data(child)->key, L"open\\inner");
        EXPECT_EQ(TreeView_GetChild(tree, child), nullptr);  // loaded and empty: nothing below
        EXPECT_EQ(TreeView_GetNextSibling(tree, second), nullptr);  // hidden folders never show
    }
    rezui::archive_unlocked = false;
}

// A modal box shown by the running window must not end up behind its disabled owner when
// a second start raises that window.
TEST(WindowHelpers, RaisingAWindowBringsItsActivePopupToTheForeground) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = L"QvlRaiseTest";
    RegisterClassW(&wc);
    auto make = [&](DWORD style, HWND owner, int x) {
        return CreateWindowExW(0, L"QvlRaiseTest", L"raise", style | WS_VISIBLE, x, 40, 300, 200, owner, nullptr,
                               instance, nullptr);
    };
    HWND owner = make(WS_OVERLAPPEDWINDOW, nullptr, 20);
    HWND popup = make(WS_POPUP | WS_CAPTION, owner, 60);
    HWND other = make(WS_OVERLAPPEDWINDOW, nullptr, 100);
    ASSERT_TRUE(owner && popup && other);
    SetForegroundWindow(popup);
    h4test::pump();
    ASSERT_EQ(GetLastActivePopup(owner), popup);
    EnableWindow(owner, FALSE);  // as while the popup runs modally
    SetForegroundWindow(other);
    h4test::pump();
    ASSERT_EQ(GetForegroundWindow(), other);

    rezui::raise_window(owner);
    h4test::pump();
    EXPECT_EQ(GetForegroundWindow(), popup);
    bool popup_above_owner = false;
    for (HWND w = GetWindow(popup, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == owner) popup_above_owner = true;
    EXPECT_TRUE(popup_above_owner);

    // Without a popup the window itself comes forward.
    EnableWindow(owner, TRUE);
    DestroyWindow(popup);
    SetForegroundWindow(other);
    h4test::pump();
    rezui::raise_window(owner);
    h4test::pump();
    EXPECT_EQ(GetForegroundWindow(), owner);
    DestroyWindow(other);
    DestroyWindow(owner);
}

namespace {

// The pixels of a window's client area as they stand on the screen.
std::vector<uint32_t> client_pixels(HWND window) {
    RECT rc{};
    GetClientRect(window, &rc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = rc.right;
    info.bmiHeader.biHeight = -rc.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, rc.right, rc.bottom, screen, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits),
                                 static_cast<const uint32_t*>(bits) + static_cast<size_t>(rc.right) * rc.bottom);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return pixels;
}

}  // namespace

// A job's log box is appended to while its window is busy: until the box is painted, what it
// shows must be its state before the append, whole, never lines scrolled up over a gap that
// is painted only later (seen as the last lines twice, with a blank line between).
TEST(WindowHelpers, ALogBoxShowsEachAppendWhole) {
    HWND frame = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 40, 40, 420, 180, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 0,
                               0, 420, 180, frame, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(frame && box);
    UpdateWindow(frame);
    h4test::pump();
    std::vector<uint32_t> before = client_pixels(box);
    int torn = 0;
    for (int i = 1; i <= 40; ++i) {
        rezui::append_log_text(box, L"[" + std::to_wstring(i) + L"%] 正在打包: f" + std::to_wstring(i) + L".txt\r\n");
        const std::vector<uint32_t> shown = client_pixels(box);
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
        std::vector<uint32_t> after = client_pixels(box);
        if (shown != before && shown != after) ++torn;
        before = std::move(after);
    }
    EXPECT_GT(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 20);  // it did scroll
    EXPECT_EQ(torn, 0);
    DestroyWindow(frame);
}
