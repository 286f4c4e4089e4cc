// Finding the folder a drag-out landed in: Explorer's location URLs, the hit box of an
// icon, the walk up from the window under the pointer, and the folder search for a drop
// over an Explorer window and over the desktop (shell-like test windows; Wine has no real
// Explorer window and a thin shell-window list, so the search ends in its logged fallbacks).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/operations/drop_target.h"
#include "main_window_fixture.h"
#include "shell_like_windows.h"

namespace {

using rezui::drag_state;

TEST(DropTarget, FileUrlsBecomePaths) {
    struct Case {
        const wchar_t* url;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"file:///C:/Users/a%20b/x", L"C:/Users/a b/x"},    // escapes decoded, slashes kept
        {L"file:///C:/50%2", L"C:/50%2"},                    // too few digits: kept
        {L"file:///C:/50%", L"C:/50%"},
        {L"file:///C:/a%zz", L"C:/a%zz"},                    // not hexadecimal: kept
        {L"file:///C:/%41%62", L"C:/Ab"},                    // either case
        {L"file:///C:/%e4%b8%ad%E6%96%87", L"C:/\u4e2d\u6587"},  // UTF-8 bytes of one name
        {L"file:///C:/%E4%B8x", L"C:/\u00e4\u00b8x"},        // a broken sequence: each code
        {L"file:///C:/\u4e2d", L"C:/\u4e2d"},
        {L"file://server/share/x", L""},                     // a host: no local path
        {L"file:/C:/x", L""},
        {L"File:///C:/x", L""},
        {L"file:C:/x", L""},
        {L"http://x/y", L""},
        {L"file:", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(rezui::file_url_to_path(c.url), c.path) << c.url;
}

TEST(DropTarget, IconHitBoxFollowsTheDisplayScale) {
    struct Case {
        POINT item;
        double scale;
        RECT box;
    };
    const Case cases[] = {
        {{100, 50}, 1.0, {90, 40, 190, 130}},
        {{150, 75}, 1.5, {90, 40, 190, 130}},
        {{151, 77}, 1.5, {90, 41, 190, 131}},  // quotients truncated
        {{0, 0}, 2.0, {-10, -10, 90, 80}},
    };
    for (const Case& c : cases) {
        const RECT box = rezui::icon_hit_box(c.item, c.scale);
        EXPECT_EQ(box.left, c.box.left);
        EXPECT_EQ(box.top, c.box.top);
        EXPECT_EQ(box.right, c.box.right);
        EXPECT_EQ(box.bottom, c.box.bottom);
    }
}

class DropWindowWalk : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        drag_state = rezui::DragOutState{};
    }
    void TearDown() override { drag_state = rezui::DragOutState{}; }
};

TEST_F(DropWindowWalk, ExplorerAndDesktopWindowsAreTargets) {
    for (const wchar_t* cls : {L"CabinetWClass", L"ExploreWClass"}) {
        shelltest::ShellChain explorer(cls, true);
        drag_state.on_desktop = true;  // left from an earlier release
        EXPECT_TRUE(rezui::note_drop_window(explorer.inner())) << cls;
        EXPECT_EQ(drag_state.explorer_window, explorer.top);
        EXPECT_EQ(drag_state.folder_view, explorer.view);
        EXPECT_FALSE(drag_state.on_desktop);
        EXPECT_TRUE(drag_state.target_seen);
    }
    for (const wchar_t* cls : {L"Progman", L"WorkerW"}) {
        drag_state = rezui::DragOutState{};
        shelltest::ShellChain desktop(cls, false);
        EXPECT_TRUE(rezui::note_drop_window(desktop.top)) << cls;
        EXPECT_TRUE(drag_state.on_desktop);
        EXPECT_EQ(drag_state.explorer_window, nullptr);
        EXPECT_EQ(drag_state.folder_view, nullptr);
        EXPECT_TRUE(drag_state.target_seen);
    }
}

TEST_F(DropWindowWalk, OtherWindowsAreNoTargetAndTheFirstFolderViewCounts) {
    shelltest::ShellChain other(L"QvlOtherProgram", true);
    drag_state.explorer_window = other.top;  // left from an earlier release
    EXPECT_FALSE(rezui::note_drop_window(other.inner()));
    EXPECT_FALSE(drag_state.target_seen);
    EXPECT_EQ(drag_state.explorer_window, nullptr);
    EXPECT_EQ(drag_state.folder_view, other.view);

    shelltest::ShellChain near_name(L"ProgmanX", false);
    EXPECT_FALSE(rezui::note_drop_window(near_name.top));

    // A view inside a view: the one nearest the pointer is the folder view.
    shelltest::ShellChain desktop(L"Progman", true);
    HWND inner_view = shelltest::make_window(L"SHELLDLL_DefView", desktop.list, 0, 0, 10, 10);
    EXPECT_TRUE(rezui::note_drop_window(inner_view));
    EXPECT_EQ(drag_state.folder_view, inner_view);
    EXPECT_TRUE(drag_state.on_desktop);
}

std::wstring desktop_folder() {
    wchar_t buf[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, buf, CSIDL_DESKTOPDIRECTORY, FALSE) ? buf : L"";
}

TEST_F(DropWindowWalk, TheFolderSearchFallsBackWhenTheShellGivesNothing) {
    h4test::MainWindow w;
    OleInitialize(nullptr);
    // Released somewhere that is not Explorer: no folder, nothing looked up.
    EXPECT_EQ(rezui::find_drop_folder(), L"");
    EXPECT_FALSE(h4test::log_has(L"拖出：base="));

    // Over the desktop's icon list: the desktop folder, after the icon probe has said
    // why it found no folder icon.
    shelltest::ShellChain desktop(L"Progman", true);
    ASSERT_TRUE(rezui::note_drop_window(desktop.list));
    RECT r{};
    GetWindowRect(desktop.list, &r);
    drag_state.drop_point = POINT{r.left + 20, r.top + 20};
    const std::wstring base = desktop_folder();
    ASSERT_FALSE(base.empty());
    EXPECT_EQ(rezui::find_drop_folder(), base);
    EXPECT_TRUE(h4test::log_has(L"拖出：base=" + base + L" list_view=0x"));
    EXPECT_TRUE(h4test::log_has(L"拖出：real_dpi="));
    EXPECT_TRUE(h4test::log_has(L"拖出：未命中子文件夹，落点为 base -> " + base));

    // Over an Explorer window the shell-window list does not know: no folder, so the drop
    // is refused instead of guessed.
    shelltest::ShellChain explorer(L"CabinetWClass", true);
    ASSERT_TRUE(rezui::note_drop_window(explorer.list));
    EXPECT_EQ(rezui::explorer_folder_at(), L"");
    EXPECT_EQ(rezui::find_drop_folder(), L"");

    // The icon probe without a list or a base says so.
    EXPECT_EQ(rezui::probe_desktop_icon(nullptr, POINT{0, 0}, base), L"");
    EXPECT_TRUE(h4test::log_has(L"拖出：无法探测图标，list_view/base 为空"));
    OleUninitialize();
}

}  // namespace
