// "压缩单文件" from the main window's menu: the archive it writes is never the open one.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

TEST(PackOneFile, TheOpenArchiveIsRefusedAsTargetAndStaysReadable) {
    qvltest::ScratchDir dir(L"packone");
    rez::uppercase_rez_names = false;
    h4test::MainWindow w;
    const std::wstring open = h4test::make_small_rez(dir, L"open.rez");
    ASSERT_TRUE(h4test::open_and_wait(open));
    const std::vector<uint8_t> before = qvltest::bytes_of(open);
    const std::wstring single = dir / L"single.txt";
    ASSERT_TRUE(qvltest::write_text(single, "a file packed on its own"));

    h4test::open_answer = single;
    // The same file under another spelling of its name.
    std::wstring shouted = open;
    for (auto& c : shouted) c = static_cast<wchar_t>(towupper(c));
    h4test::save_answer = shouted;
    w.command(IDM_PACK_ONE);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"错误");
    EXPECT_NE(h4test::boxes[0].text.find(L"当前打开的压缩包"), std::wstring::npos) << rez::to_utf8(h4test::boxes[0].text);
    EXPECT_EQ(qvltest::bytes_of(open), before);
    std::vector<uint8_t> data;
    std::wstring err;
    const rez::Entry* readme = rezui::app.archive.find_entry_const("readme.txt");
    ASSERT_NE(readme, nullptr);
    ASSERT_TRUE(rezui::app.archive.read_entry_data(*readme, data, err)) << rez::to_utf8(err);
    EXPECT_EQ(std::string(data.begin(), data.end()), "hello");

    // Another target is written as before.
    h4test::boxes.clear();
    h4test::save_answer = dir / L"single.rez";
    w.command(IDM_PACK_ONE);
    EXPECT_TRUE(h4test::boxes.empty());
    rez::RezFile packed;
    ASSERT_TRUE(rez::RezFile::open(dir / L"single.rez", packed, err)) << rez::to_utf8(err);
    EXPECT_NE(packed.find_entry_const("single.txt"), nullptr);
}

}  // namespace
