// The browsing model built from a ZIP or 7z listing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/operations/open_archive.h"

namespace {

using rezui::ListedMember;

rez::RezFile build(bool is_zip, const std::vector<ListedMember>& members, bool upper) {
    rez::RezFile model(std::wstring(is_zip ? L"C:\\a.zip" : L"C:\\a.7z"));
    rezui::build_member_model(model, model.path, is_zip, members, upper, {});
    return model;
}

TEST(MemberModel, ZipFolderMemberAloneGivesOneFolder) {
    rez::RezFile m = build(true, {{"dir/", true, false, 0}}, true);
    ASSERT_EQ(m.root.children.size(), 1u);
    EXPECT_TRUE(m.root.children[0].is_dir);
    EXPECT_EQ(m.root.children[0].name, "DIR");
    EXPECT_EQ(m.root.children[0].member_dir, "dir");
    EXPECT_TRUE(m.root.children[0].loaded);
}

// An empty 7z folder shows as one, as in a ZIP, and its node remembers the member so that a
// rewrite keeps it.
TEST(MemberModel, SevenZipFolderMemberWithNothingBelowGivesItsNode) {
    rez::RezFile m = build(false, {{"dir", true, false, 0}}, false);
    ASSERT_EQ(m.root.children.size(), 1u);
    EXPECT_TRUE(m.root.children[0].is_dir);
    ASSERT_EQ(m.root.children[0].dir_members.size(), 1u);
    EXPECT_EQ(m.root.children[0].dir_members[0].member_name, "dir");
    rez::RezFile n = build(false, {{"a\\b\\", true, false, 0}}, false);
    ASSERT_EQ(n.root.children.size(), 1u);
    EXPECT_EQ(n.root.children[0].name, "a");
    ASSERT_EQ(n.root.children[0].children.size(), 1u);
    EXPECT_EQ(n.root.children[0].children[0].name, "b");
}

TEST(MemberModel, NestedFileCreatesFoldersAndPointsBackAtItsMember) {
    rez::RezFile m = build(true, {{"x.bin", false, false, 1}, {"a/b/c.txt", false, true, 77}}, true);
    ASSERT_EQ(m.root.children.size(), 2u);
    const rez::Entry& a = m.root.children[1];
    ASSERT_TRUE(a.is_dir);
    EXPECT_EQ(a.member_dir, "a");
    ASSERT_EQ(a.children.size(), 1u);
    const rez::Entry& b = a.children[0];
    EXPECT_EQ(b.member_dir, "a/b");
    ASSERT_EQ(b.children.size(), 1u);
    const rez::Entry& c = b.children[0];
    EXPECT_FALSE(c.is_dir);
    EXPECT_EQ(c.name, "c");  // stems are never upper-cased
    EXPECT_EQ(c.ext, "TXT");
    EXPECT_EQ(c.id, 10000002u);
    EXPECT_EQ(c.size, 77u);
    EXPECT_TRUE(c.encrypted);
    ASSERT_TRUE(c.member.has_value());
    EXPECT_EQ(c.member->member_name, "a/b/c.txt");
    EXPECT_EQ(c.member->archive_path, L"C:\\a.zip");
    EXPECT_TRUE(c.member->is_zip);
}

TEST(MemberModel, FoldersDifferingInCaseShareTheFirstName) {
    rez::RezFile m = build(true, {{"Data/x", false, false, 1}, {"DATA/y", false, false, 1}}, false);
    ASSERT_EQ(m.root.children.size(), 1u);
    EXPECT_EQ(m.root.children[0].name, "Data");
    EXPECT_EQ(m.root.children[0].children.size(), 2u);
}

TEST(MemberModel, HugeSevenZipMemberClampedAndNamesWithoutDotKeepNoType) {
    rez::RezFile m = build(false, {{"big", false, false, 5ull << 30}, {".cfg", false, false, 3}}, false);
    ASSERT_EQ(m.root.children.size(), 2u);
    EXPECT_EQ(m.root.children[0].size, 0xFFFFFFFFu);
    EXPECT_EQ(m.root.children[0].ext, "");
    EXPECT_FALSE(m.root.children[0].member->is_zip);
    EXPECT_EQ(m.root.children[1].name, ".cfg");
}

TEST(MemberModel, ProgressStopsTheBuildWhenItAnswersFalse) {
    rez::RezFile model(std::wstring(L"C:\\a.zip"));
    int calls = 0;
    std::vector<int> percents;
    rezui::build_member_model(model, model.path, true, {{"a", false, false, 1}, {"b", false, false, 1}, {"c", false, false, 1}},
                              false, [&](int p, const std::wstring&) {
                                  percents.push_back(p);
                                  return ++calls < 2;
                              });
    EXPECT_EQ(model.root.children.size(), 1u);
    ASSERT_EQ(percents.size(), 2u);
    EXPECT_EQ(percents[0], 33);
    EXPECT_EQ(percents[1], 66);
}

}  // namespace
