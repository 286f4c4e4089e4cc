// The entry details and archive information boxes: their texts, and that the menu, the
// list's context menu and a click on the toolbar's "信息" button reach them.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "app/operations/entry_info.h"
#include "app/browser/browser.h"
#include "app/operations/open_archive.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

rez::Entry make_entry(bool dir, const std::string& name, const std::string& ext, uint32_t id, uint32_t size,
                      uint64_t pos, int children = 0) {
    rez::Entry e;
    e.is_dir = dir;
    e.name = name;
    e.ext = ext;
    e.id = id;
    e.size = size;
    e.pos = pos;
    e.children.resize(children);
    return e;
}

std::wstring make_archive(const qvltest::ScratchDir& dir) { return h4test::make_small_rez(dir, L"info.rez", L"备注"); }

using h4test::open_and_wait;

}  // namespace

TEST(EntryInfo, DetailsTextOfFilesAndFolders) {
    const struct {
        rez::Entry entry;
        const wchar_t* key;
        const wchar_t* text;
    } cases[] = {
        {make_entry(true, "Textures", "", 0, 40, 0x2A0, 3), L"Textures",
         L"名称：Textures\n类型：目录\nID：-\n大小：3 项\n数据偏移：0x2A0\n虚拟路径：Textures\n"},
        {make_entry(false, "WALL", "DAT", 10000001, 5, 4096), L"Textures\\WALL.dat",
         L"名称：WALL.dat\n类型：资源 (.dat)\nID：10000001\n大小：5 字节\n数据偏移：0x1000\n"
         L"虚拟路径：Textures\\WALL.dat\n"},
        {make_entry(false, "noext", "", 7, 0, 0), L"noext",
         L"名称：noext\n类型：资源\nID：7\n大小：0 字节\n数据偏移：0x0\n虚拟路径：noext\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::entry_details_text(c.entry, c.key), c.text) << rez::to_utf8(c.key);
}

TEST(EntryInfo, DetailsComeFromTheSelectedRowOnly) {
    qvltest::ScratchDir dir(L"entryinfo");
    const std::wstring path = make_archive(dir);
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(path));

    // Nothing selected, then the parent row: no box, from the menu bar or the list menu.
    h4test::select_none();
    w.command(IDM_ENTRY_DETAILS);
    ASSERT_TRUE(h4test::select_first_row_named(L"[..]"));
    w.command(IDM_ENTRY_DETAILS);
    EXPECT_TRUE(h4test::boxes.empty());

    // "查看信息" of the list's menu on a folder and on a file.
    ASSERT_TRUE(h4test::select_first_row_named(L"Textures"));
    h4test::menu_answer = IDM_ENTRY_DETAILS;
    w.notify_list(NM_RCLICK);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"条目详情");
    EXPECT_TRUE(h4test::boxes[0].flags & MB_ICONINFORMATION);
    EXPECT_EQ(h4test::boxes[0].text.rfind(L"名称：Textures\n类型：目录\nID：-\n大小：1 项\n数据偏移：0x", 0), 0u);
    ASSERT_TRUE(h4test::select_first_row_named(L"readme"));
    w.command(IDM_ENTRY_DETAILS);
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_NE(h4test::boxes[1].text.find(L"大小：5 字节\n"), std::wstring::npos);
    EXPECT_NE(h4test::boxes[1].text.find(L"虚拟路径：readme.txt\n"), std::wstring::npos);

    // A local folder's rows are files on disk, not entries.
    rezui::open_local_folder(dir.path());
    ASSERT_TRUE(h4test::select_first_row_named(L"readme"));
    w.command(IDM_ENTRY_DETAILS);
    EXPECT_EQ(h4test::boxes.size(), 2u);
}

TEST(EntryInfo, TheInfoButtonShowsTheArchiveAndItsStatistics) {
    qvltest::ScratchDir dir(L"entryinfo");
    const std::wstring path = make_archive(dir);
    h4test::MainWindow w;
    ShowWindow(w.hwnd(), SW_SHOW);
    h4test::click_toolbar(IDM_ARCHIVE_INFO);  // no archive: nothing
    EXPECT_TRUE(h4test::boxes.empty());

    ASSERT_TRUE(open_and_wait(path));
    h4test::click_toolbar(IDM_ARCHIVE_INFO);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"文件信息");
    EXPECT_EQ(h4test::boxes[0].text, L"文件: " + path +
                                         L"\n版权: RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.\n"
                                         L"描述: LithTech Resource File\n注释: 备注\n目录数: 2\n文件数: 2\n"
                                         L"总大小: 12 字节");
    EXPECT_NE(h4test::log_text().find(L"文件信息：" + path + L"（目录 2 个，文件 2 个，总大小 12 字节）"),
              std::wstring::npos);

    // An empty comment still has its line.
    rezui::app.archive.comment.clear();
    w.command(IDM_ARCHIVE_INFO);
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_NE(h4test::boxes[1].text.find(L"\n注释: \n目录数: "), std::wstring::npos);
}
