#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"

using rezui::CommandLine;
using rezui::parse_command_line;
using V = std::vector<std::wstring>;

TEST(CommandLine, VerbListsRunToTheNextOption) {
    CommandLine cl = parse_command_line({L"--pack", L"a", L"b", L"-x", L"c"});
    EXPECT_EQ(cl.pack_list, (V{L"a", L"b"}));
    EXPECT_EQ(cl.files, (V{L"c"}));
    EXPECT_TRUE(rezui::is_headless_run(parse_command_line({L"--pack", L"a"})));
    EXPECT_FALSE(rezui::is_headless_run(cl));  // a plain file shows the window

    // The argument that ends a list is examined as a verb itself; verbs repeat and grow.
    cl = parse_command_line({L"--convert", L"x", L"--extract-here", L"y", L"--convert", L"z", L"--edit-header", L"h"});
    EXPECT_EQ(cl.convert_list, (V{L"x", L"z"}));
    EXPECT_EQ(cl.extract_here_list, (V{L"y"}));
    EXPECT_EQ(cl.edit_header_list, (V{L"h"}));
    EXPECT_TRUE(cl.files.empty());
}

TEST(CommandLine, AddToRezTakesItsTargetWhateverItLooksLike) {
    CommandLine cl = parse_command_line({L"--add-to-rez", L"-t", L"f1", L"f2"});
    EXPECT_EQ(cl.add_to_rez_target, L"-t");
    EXPECT_EQ(cl.add_to_rez_files, (V{L"f1", L"f2"}));
    EXPECT_TRUE(rezui::has_work(cl));
    // A target alone is no work.
    EXPECT_FALSE(rezui::has_work(parse_command_line({L"--add-to-rez", L"t.rez"})));
}

TEST(CommandLine, SelftestTakesItsArgumentAndTheLastWins) {
    CommandLine cl = parse_command_line({L"--selftest", L"a.rez", L"b.rez", L"--selftest", L"c.rez"});
    EXPECT_TRUE(cl.selftest);
    EXPECT_EQ(cl.selftest_path, L"c.rez");
    EXPECT_EQ(cl.files, (V{L"b.rez"}));
    cl = parse_command_line({L"x.rez", L"--selftest"});
    EXPECT_FALSE(cl.selftest);
    EXPECT_EQ(cl.files, (V{L"x.rez"}));
}

TEST(CommandLine, RelativePathsBecomeAbsoluteBeforeTheyAreHandedOver) {
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::wstring base = cwd;
    if (base.back() != L'\\') base += L'\\';
    CommandLine cl = parse_command_line({L"a.rez", L"--pack", L"sub\\b", L"--add-to-rez", L"t.rez", L"f.txt"});
    rezui::make_paths_absolute(cl);
    EXPECT_EQ(cl.files[0], base + L"a.rez");
    EXPECT_EQ(cl.pack_list[0], base + L"sub\\b");
    EXPECT_EQ(cl.add_to_rez_target, base + L"t.rez");
    EXPECT_EQ(cl.add_to_rez_files[0], base + L"f.txt");
    EXPECT_EQ(rezui::absolute_path(L"C:\\x\\..\\y.rez"), L"C:\\y.rez");
}

TEST(CommandLine, HandOverMessagesInSendingOrder) {
    CommandLine cl = parse_command_line(
        {L"o1", L"o2", L"--pack", L"p", L"--convert", L"c", L"--extract-here", L"e", L"--edit-header", L"h"});
    cl.add_to_rez_target = L"C:\\a.rez";
    cl.add_to_rez_files = {L"C:\\x.txt", L"C:\\y.txt"};
    auto items = rezui::build_hand_over(cl);
    ASSERT_EQ(items.size(), 7u);
    const ULONG_PTR codes[] = {1, 1, 2, 3, 4, 5, 6};
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].code, codes[i]) << i;
    EXPECT_EQ(items[1].text, L"o2");
    EXPECT_EQ(items[6].text, L"C:\\a.rez\nC:\\x.txt\nC:\\y.txt");  // nothing after the last file

    auto payload = rezui::copydata_payload(L"ab");
    ASSERT_EQ(payload.size(), 3u);
    EXPECT_EQ(payload.back(), L'\0');
    COPYDATASTRUCT cds{};
    cds.cbData = static_cast<DWORD>(payload.size() * 2);
    cds.lpData = payload.data();
    std::wstring text;
    EXPECT_TRUE(rezui::copydata_text(&cds, text));
    EXPECT_EQ(text, L"ab");
    cds.cbData = 1;
    EXPECT_FALSE(rezui::copydata_text(&cds, text));
    EXPECT_FALSE(rezui::copydata_text(nullptr, text));
}

TEST(CommandLine, ReceiverSplitsHandOverAndDropResultTexts) {
    EXPECT_EQ(rezui::split_hand_over_lines(L"C:\\a.rez\nC:\\x.txt\n\nC:\\y.txt"),
              (V{L"C:\\a.rez", L"C:\\x.txt", L"C:\\y.txt"}));
    EXPECT_TRUE(rezui::split_hand_over_lines(L"").empty());
    const struct {
        const wchar_t *text, *archive, *added, *skipped, *replaced;
    } cases[] = {{L"C:\\a.rez|3|0", L"C:\\a.rez", L"3", L"0", L"0"},
                 {L"C:\\a.rez|3|2", L"C:\\a.rez", L"3", L"2", L"0"},
                 {L"C:\\a.rez|3|2|1", L"C:\\a.rez", L"3", L"2", L"1"},
                 {L"C:\\a.rez|5", L"C:\\a.rez", L"5", L"0", L"0"},
                 {L"C:\\a.rez", L"C:\\a.rez", L"", L"0", L"0"}};
    for (const auto& c : cases) {
        std::wstring a, b, s, r;
        rezui::split_drop_added(c.text, a, b, s, r);
        EXPECT_EQ(a, c.archive);
        EXPECT_EQ(b, c.added);
        EXPECT_EQ(s, c.skipped);
        EXPECT_EQ(r, c.replaced);
    }
}
