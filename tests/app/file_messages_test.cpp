// Messages about one file name it, through the real main window: an archive that cannot be
// opened, a ZIP entry renamed to a name Windows keeps for a device, and (when the test is
// handed a folder on a small full disk) extraction that runs out of room.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/browser/browser.h"
#include "app/common/small_dialogs.h"
#include "archive/zip_writer.h"
#include "zip_7z_test_support.h"

namespace {

using namespace zjtest;

const h4test::Box* box_titled(const std::wstring& caption) {
    for (const h4test::Box& b : h4test::boxes)
        if (b.caption == caption) return &b;
    return nullptr;
}

TEST(FileMessages, AnArchiveThatCannotBeOpenedIsNamed) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"fmopen");
    const std::wstring path = h4test::make_small_rez(dir, L"held.rez");
    // Another program holds the file shut.
    rez::FileHandle hold(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold);
    h4test::open_answer = path;
    w.command(IDM_OPEN);
    ASSERT_TRUE(wait_idle());
    ASSERT_FALSE(h4test::boxes.empty());
    EXPECT_NE(h4test::boxes.back().text.find(L"无法打开文件: " + path), std::wstring::npos)
        << rez::to_utf8(h4test::boxes.back().text);
}

TEST(FileMessages, ADeviceNameGivenToAZipEntryIsReplacedAndSaid) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"fmrename");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    ASSERT_TRUE(open_and_wait(path));
    rezui::navigate_vdir(L"a\\b");
    ASSERT_TRUE(h4test::select_first_row_named(L"c.txt"));
    h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
        if (id != IDD_INPUT_TEXT) return 0;
        *rezui::input_text = L"con.txt";
        return 1;
    };
    w.command(IDM_RENAME);
    h4test::dialog_script = nullptr;
    ASSERT_TRUE(wait_idle());
    const h4test::Box* said = box_titled(L"重命名");
    ASSERT_NE(said, nullptr);
    EXPECT_NE(said->text.find(L"“con.txt”"), std::wstring::npos) << rez::to_utf8(said->text);
    EXPECT_NE(said->text.find(L"“_con.txt”"), std::wstring::npos) << rez::to_utf8(said->text);
    const auto members = members_of(path);
    EXPECT_EQ(members.count("a/b/_con.txt"), 1u);
    EXPECT_EQ(members.count("a/b/c.txt"), 0u);
}

// zip -fz writes its end records in the ZIP64 form: a whole archive, which unzip reads, but
// in a form this program does not read. The user is told that, not that it is damaged.
TEST(FileMessages, AZip64ArchiveIsSaidToBeUnsupportedNotDamaged) {
    h4test::MainWindow w;
    h4test::open_answer = fx(L"zip64.zip");
    w.command(IDM_OPEN);
    ASSERT_TRUE(wait_idle());
    ASSERT_FALSE(h4test::boxes.empty());
    const std::wstring& text = h4test::boxes.back().text;
    EXPECT_NE(text.find(L"不支持 ZIP64 格式的压缩包"), std::wstring::npos) << rez::to_utf8(text);
    EXPECT_EQ(text.find(L"无效"), std::wstring::npos) << rez::to_utf8(text);
    EXPECT_FALSE(rezui::app.archive_loaded && rezui::app.archive.path == fx(L"zip64.zip"));
}

// Needs a folder on a nearly full disk, named by QVL_FULL_DISK (the disk-full check mounts a
// small file system for it); without one there is nothing to fill.
TEST(DiskFull, ExtractionIntoAFullDiskSaysSoAndNamesTheFile) {
    const char* full = std::getenv("QVL_FULL_DISK");
    if (!full || !*full) GTEST_SKIP() << "QVL_FULL_DISK names no folder on a full disk";
    const std::wstring target = rez::from_utf8(full);
    qvltest::ScratchDir dir(L"diskfull");
    // One file larger than the room left, as a REZ entry and as a ZIP member.
    const std::wstring big = dir / L"big.bin";
    std::vector<uint8_t> noise(1 << 20);
    uint32_t x = 12345;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    ASSERT_TRUE(rez::write_file(big, noise.data(), noise.size()));
    const std::wstring rez_path = dir / L"big.rez";
    {
        rez::RezFile model(rez_path);
        std::string added;
        ASSERT_TRUE(model.add_file("", big, added));
        std::wstring err;
        ASSERT_TRUE(model.save(rez_path, err)) << rez::to_utf8(err);
    }
    const std::wstring zip_path = dir / L"big.zip";
    {
        std::vector<rez::ArchiveItem> items(1);
        items[0].name = "big.bin";
        items[0].data = noise;
        std::wstring err;
        ASSERT_TRUE(rez::zip_create(zip_path, items, L"", err, L"")) << rez::to_utf8(err);
    }
    for (const std::wstring& archive : {rez_path, zip_path}) {
        SCOPED_TRACE(rez::to_utf8(archive));
        h4test::MainWindow w;
        rez::uppercase_rez_names = false;
        ASSERT_TRUE(h4test::open_and_wait(archive));
        const std::wstring out = target + L"\\" + std::to_wstring(GetCurrentProcessId());
        h4test::folder_answers = {out};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(wait_idle());
        ASSERT_FALSE(h4test::boxes.empty());
        const std::wstring& text = h4test::boxes.back().text;
        EXPECT_NE(text.find(L"磁盘空间不足"), std::wstring::npos) << rez::to_utf8(text);
        EXPECT_NE(text.find(L"big.bin"), std::wstring::npos) << rez::to_utf8(text);
        qvltest::ScratchDir::remove_tree(out);
    }
}

}  // namespace
