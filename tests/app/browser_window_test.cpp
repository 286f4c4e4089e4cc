// The browser on real controls: paging with the load-more row, row texts, column widths,
// the "[..]" row, selection queries, the busy guard, local browsing and going up.
#include <gtest/gtest.h>

#include <string>

#include "app/browser/local_view.h"
#include "browser_test_window.h"
#include "test_support.h"

namespace {

using h5test::BrowserWindow;
using h5test::item_count;
using h5test::item_text;

rez::Entry file_entry(const std::string& name, const std::string& ext, uint32_t id, uint32_t size) {
    rez::Entry e;
    e.name = name;
    e.ext = ext;
    e.id = id;
    e.size = size;
    return e;
}

rez::Entry dir_entry(const std::string& name) {
    rez::Entry e;
    e.is_dir = true;
    e.name = name;
    return e;
}

// An in-memory archive at path whose folder BIG holds count files.
void load_model(const std::wstring& path, size_t count) {
    rezui::app.archive = rez::RezFile(path);
    rez::Entry big = dir_entry("BIG");
    for (size_t i = 0; i < count; ++i) {
        std::string name = std::to_string(10000 + i);
        name.insert(name.begin(), 'F');
        big.children.push_back(file_entry(name, "DAT", 1, 10));
    }
    rezui::app.archive.root.children.push_back(big);
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
}

TEST(BrowserWindow, PagesOf500WithLoadMoreRow) {
    BrowserWindow w;
    load_model(L"C:\\nowhere\\t.rez", 1234);
    rezui::navigate_vdir(L"BIG");
    ASSERT_EQ(rezui::app.current_folder, L"BIG");
    ASSERT_EQ(item_count(), 1 + 500 + 1);  // "[..]", a page, load-more
    EXPECT_EQ(item_text(0), L"[..] (上级目录)");
    EXPECT_EQ(item_text(501), L"▼ 单击加载更多…（已显示 500 / 1234 项）");
    h5test::select_item(501);
    EXPECT_TRUE(rezui::first_selected_is_load_more());
    EXPECT_EQ(rezui::first_selected_path(), L"");

    rezui::load_more_rows();
    ASSERT_EQ(item_count(), 1 + 1000 + 1);
    EXPECT_EQ(item_text(1001), L"▼ 单击加载更多…（已显示 1000 / 1234 项）");
    rezui::load_more_rows();
    ASSERT_EQ(item_count(), 1 + 1234);
    EXPECT_EQ(item_text(1234), L"F11233.dat");
    EXPECT_EQ(h5test::status_part(2), L"当前目录：0 个目录，1234 个文件，共12.1 KB");
}

TEST(BrowserWindow, ExactlyOnePageHasNoLoadMoreRow) {
    BrowserWindow w;
    load_model(L"C:\\nowhere\\t.rez", 500);
    rezui::navigate_vdir(L"BIG");
    EXPECT_EQ(item_count(), 501);
    EXPECT_FALSE(rezui::first_selected_is_load_more());
}

TEST(BrowserWindow, RowsSortedWithTextsAndArchiveColumnWidths) {
    BrowserWindow w;
    rezui::app.archive = rez::RezFile(std::wstring(L"C:\\nowhere\\t.rez"));
    auto& root = rezui::app.archive.root;
    root.children.push_back(file_entry("B", "TXT", 10000001, 2048));
    root.children.push_back(file_entry("a", "DTX", 10000002, 5));
    rez::Entry z = dir_entry("z");
    z.children.push_back(file_entry("in", "", 1, 1));
    root.children.push_back(z);
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::refresh_list();
    ASSERT_EQ(item_count(), 4);
    EXPECT_EQ(item_text(1), L"z");
    EXPECT_EQ(item_text(1, 1), L"目录");
    EXPECT_EQ(item_text(1, 3), L"1 项");
    EXPECT_EQ(item_text(2), L"a.dtx");
    EXPECT_EQ(item_text(2, 2), L"10000002");
    EXPECT_EQ(item_text(3), L"B.txt");
    EXPECT_EQ(item_text(3, 1), L"TXT");
    EXPECT_EQ(item_text(3, 3), L"2.0 KB");
    EXPECT_EQ(h5test::column_width(0), 240);
    EXPECT_EQ(h5test::column_width(3), 160);
    EXPECT_EQ(h5test::column_width(4), 0);
    EXPECT_EQ(h5test::column_width(5), 0);

    // The top-level "[..]" row points at the folder that holds the archive file.
    rezui::ListRow* up = rezui::row_of_item(0);
    ASSERT_NE(up, nullptr);
    EXPECT_TRUE(up->is_parent_row);
    EXPECT_TRUE(up->is_local);
    EXPECT_EQ(up->local_path, L"C:\\nowhere");
    h5test::select_item(0);
    EXPECT_TRUE(rezui::first_selected_is_parent_row());
    EXPECT_EQ(rezui::first_selected_path(), L"");
    EXPECT_TRUE(rezui::selected_item_paths().empty());

    h5test::select_item(1);
    EXPECT_EQ(rezui::first_selected_path(), L"z");
    EXPECT_TRUE(rezui::first_selected_is_dir());
    h5test::select_item(2);
    EXPECT_EQ(rezui::first_selected_path(), L"a.dtx");
    EXPECT_FALSE(rezui::first_selected_is_dir());
    EXPECT_EQ(h5test::status_part(0), L"REZ 资源包：t.rez  |  目录 2 个，文件 3 个，总大小 2.0 KB");
}

TEST(BrowserWindow, EncryptedMarkUntilUnlocked) {
    BrowserWindow w;
    rezui::app.archive = rez::RezFile(std::wstring(L"C:\\nowhere\\a.zip"));
    rez::Entry e = file_entry("secret", "txt", 10000001, 3);
    e.encrypted = true;
    rezui::app.archive.root.children.push_back(e);
    rezui::app.archive_loaded = true;
    rezui::app.fs_mode = false;
    rezui::refresh_list();
    EXPECT_EQ(item_text(1), L"secret.txt (*已加密)");
    rezui::archive_unlocked = true;
    rezui::refresh_list();
    EXPECT_EQ(item_text(1), L"secret.txt");
}

TEST(BrowserWindow, BusyStateLeavesListAndFolderAlone) {
    BrowserWindow w;
    load_model(L"C:\\nowhere\\t.rez", 600);
    rezui::navigate_vdir(L"BIG");
    ASSERT_EQ(item_count(), 1 + 500 + 1);
    rezui::app.busy = true;
    rezui::navigate_vdir(L"");
    rezui::refresh_list();
    rezui::load_more_rows();
    rezui::go_up();
    rezui::open_local_folder(L"Z:\\");
    rezui::preview_entry("BIG\\F10000.dat");
    rezui::reveal_archive_path(L"BIG\\F10001.dat");
    h5test::select_item(1);
    EXPECT_FALSE(rezui::first_selected_is_dir());
    EXPECT_EQ(rezui::app.current_folder, L"BIG");
    EXPECT_FALSE(rezui::app.fs_mode);
    EXPECT_EQ(item_count(), 1 + 500 + 1);
    EXPECT_FALSE(rezui::app.comment_panel_visible);
    rezui::app.busy = false;
}

TEST(BrowserWindow, MissingFolderAndRevealSelectsTheFile) {
    BrowserWindow w;
    load_model(L"C:\\nowhere\\t.rez", 3);
    rezui::navigate_vdir(L"NOPE");
    EXPECT_EQ(rezui::app.current_folder, L"");
    rezui::reveal_archive_path(L"BIG\\f10001.DAT\\");  // the file is matched without case
    EXPECT_EQ(rezui::app.current_folder, L"BIG");
    EXPECT_EQ(rezui::first_selected_path(), L"BIG\\F10001.dat");
}

TEST(BrowserWindow, TreeFollowsTheCurrentFolder) {
    BrowserWindow w;
    load_model(L"C:\\nowhere\\t.rez", 2);
    rezui::navigate_vdir(L"BIG");
    HWND tv = rezui::app.tree_view;
    HTREEITEM sel = reinterpret_cast<HTREEITEM>(SendMessageW(tv, TVM_GETNEXTITEM, TVGN_CARET, 0));
    ASSERT_NE(sel, nullptr);
    wchar_t buf[64] = {};
    TVITEMW it{};
    it.mask = TVIF_TEXT;
    it.hItem = sel;
    it.pszText = buf;
    it.cchTextMax = 64;
    SendMessageW(tv, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    EXPECT_STREQ(buf, L"BIG");
}

TEST(BrowserWindow, ListSharesItsImageLists) {
    BrowserWindow w;
    LONG_PTR style = GetWindowLongPtrW(rezui::app.list_view, GWL_STYLE);
    EXPECT_TRUE(style & LVS_SHAREIMAGELISTS);
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(rezui::app.list_view, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
              rezui::app.small_images);
    EXPECT_GE(ImageList_GetImageCount(rezui::app.small_images), 2);
}

TEST(BrowserWindow, IconCacheCapsDistinctExtensions) {
    BrowserWindow w;
    const int before = ImageList_GetImageCount(rezui::app.small_images);
    EXPECT_EQ(rezui::icon_index(L"file.ab1", false, true), before);
    EXPECT_EQ(rezui::icon_index(L"x.AB1", false, true), before);  // same key, no new image
    for (int i = 0; rezui::icon_cache.size() < rezui::kIconCacheLimit; ++i)
        rezui::icon_cache[L".fake" + std::to_wstring(i)] = 1;
    const int count = ImageList_GetImageCount(rezui::app.small_images);
    EXPECT_EQ(rezui::icon_index(L"file.zz9", false, true), 1);
    EXPECT_EQ(ImageList_GetImageCount(rezui::app.small_images), count);
    EXPECT_EQ(rezui::icon_index(L"", true, true), 0);
}

TEST(BrowserWindow, ThumbnailCacheClearedForAnotherArchive) {
    BrowserWindow w;
    rezui::thumb_cache[L"A\\T.dtx"] = 5;
    rezui::clear_thumbnail_cache();
    EXPECT_TRUE(rezui::thumb_cache.empty());
}

// ---- local browsing ----

void touch(const std::wstring& path, size_t size) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string data(size, 'x');
    DWORD done = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(size), &done, nullptr);
    CloseHandle(h);
}

TEST(LocalView, ListsFolderSkipsDotNamesAndHidesIdColumn) {
    BrowserWindow w;
    qvltest::ScratchDir dir(L"h5local");
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    CreateDirectoryW((dir / L".hidden").c_str(), nullptr);
    touch(dir / L"b.png", 3);
    touch(dir / L"A.txt", 2000);
    touch(dir / L"noext", 1);
    rezui::open_local_folder(dir.path() + L"\\\\");
    EXPECT_TRUE(rezui::app.fs_mode);
    EXPECT_EQ(rezui::app.local_root, dir.path());
    ASSERT_EQ(item_count(), 5);  // "[..]", sub, A.txt, b.png, noext
    EXPECT_EQ(item_text(0), L"[..] (上级目录)");
    EXPECT_EQ(item_text(1), L"sub");
    EXPECT_EQ(item_text(1, 1), L"文件夹");
    EXPECT_EQ(item_text(2), L"A.txt");
    EXPECT_EQ(item_text(2, 1), L"TXT");
    EXPECT_EQ(item_text(2, 3), L"2.0 KB");
    EXPECT_EQ(item_text(4, 1), L"文件");
    EXPECT_EQ(item_text(2, 4).size(), 19u);
    EXPECT_EQ(h5test::column_width(2), 0);
    EXPECT_EQ(h5test::status_part(0), L"本地目录：" + dir.path());
    h5test::select_item(2);
    EXPECT_EQ(rezui::first_selected_path(), dir / L"A.txt");

    rezui::navigate_local(L"sub");
    EXPECT_EQ(rezui::app.local_subdir, L"sub");
    rezui::go_up();
    EXPECT_EQ(rezui::app.local_subdir, L"");
    EXPECT_EQ(rezui::app.local_root, dir.path());
}

TEST(LocalView, DriveLettersAndDriveRoots) {
    BrowserWindow w;
    rezui::open_local_folder(L"Z:");
    EXPECT_EQ(rezui::app.local_root, L"Z:\\");
    rezui::go_up();  // a drive root has no parent
    EXPECT_EQ(rezui::app.local_root, L"Z:\\");
    rezui::open_local_folder(L"Z:\\");
    EXPECT_EQ(rezui::app.local_root, L"Z:\\");
}

TEST(LocalView, UpFromArchiveRootShowsTheArchiveFolder) {
    BrowserWindow w;
    qvltest::ScratchDir dir(L"h5up");
    load_model(dir / L"t.rez", 2);
    rezui::navigate_vdir(L"BIG");
    rezui::go_up();
    EXPECT_FALSE(rezui::app.fs_mode);
    EXPECT_EQ(rezui::app.current_folder, L"");
    rezui::go_up();
    EXPECT_TRUE(rezui::app.fs_mode);
    EXPECT_FALSE(rezui::app.archive_loaded);
    EXPECT_EQ(rezui::app.local_root, dir.path());
}

}  // namespace
