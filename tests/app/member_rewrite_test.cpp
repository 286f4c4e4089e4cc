// The plan that writes an edited browsing model of a ZIP/7z back: members still where the
// listing put them are carried over as stored, moved or renamed ones under their new name,
// and nothing is merged, renamed or dropped that the user did not touch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/operations/member_rewrite.h"
#include "app/operations/open_archive.h"
#include "test_support.h"

namespace {

using rezui::ListedName;
using rezui::RewriteItem;

const std::wstring kArchive = L"C:\\k.zip";

// The listing of a ZIP that a folder on disk could not hold: case twins, a reserved
// character, a type in capitals, folders differing in case and an empty folder.
const std::vector<ListedName> kListing = {
    {"d/Readme.txt", false}, {"d/readme.txt", false}, {"q?x.txt", false}, {"TOP.TXT", false},
    {"Data/a.txt", false},   {"DATA/b.txt", false},   {"empty/", true},   {"ren.txt", false},
};

rez::RezFile model_of(bool uppercase) {
    rez::RezFile model(kArchive);
    std::vector<rezui::ListedMember> members;
    for (const ListedName& l : kListing) members.push_back({l.name, l.is_dir, false, 1});
    rezui::build_member_model(model, kArchive, true, members, uppercase, {});
    return model;
}

// (member index or -1, name) of each planned item.
std::vector<std::pair<long, std::string>> plan_of(const rez::RezFile& model) {
    std::vector<RewriteItem> items;
    bool applicable = false;
    std::wstring err;
    EXPECT_TRUE(rezui::plan_from_model(model, kArchive, kListing, items, applicable, err)) << rez::to_utf8(err);
    EXPECT_TRUE(applicable);
    std::vector<std::pair<long, std::string>> out;
    for (const RewriteItem& i : items)
        out.emplace_back(i.member == RewriteItem::kNew ? -1L : static_cast<long>(i.member), i.name);
    return out;
}

TEST(MemberRewritePlan, AnUntouchedModelKeepsEveryMemberAsStored) {
    for (bool uppercase : {false, true}) {
        const std::vector<std::pair<long, std::string>> expected = {{0, ""}, {1, ""}, {2, ""}, {3, ""},
                                                                    {4, ""}, {5, ""}, {6, ""}, {7, ""}};
        EXPECT_EQ(plan_of(model_of(uppercase)), expected) << uppercase;
    }
}

TEST(MemberRewritePlan, OnlyWhatTheUserChangedIsRenamed) {
    rez::RezFile model = model_of(false);
    ASSERT_TRUE(model.rename_entry("ren.txt", "renamed.txt"));
    ASSERT_TRUE(model.rename_entry("Data", "Info"));  // the folder shown for Data/ and DATA/
    ASSERT_TRUE(model.move_entries("TOP.TXT", "empty"));
    std::string made;
    ASSERT_TRUE(model.create_directory("fresh", made));
    ASSERT_TRUE(model.remove_entries("q?x.txt"));
    const std::vector<std::pair<long, std::string>> expected = {
        {0, ""},          {1, ""}, {3, "empty/TOP.TXT"}, {4, "Info/a.txt"}, {5, "Info/b.txt"},
        {6, ""},          {7, "renamed.txt"},            {-1, "fresh/"},
    };
    EXPECT_EQ(plan_of(model), expected);
}

TEST(MemberRewritePlan, AModelWithEntriesFromElsewhereIsNotPlanned) {
    rez::RezFile model = model_of(false);
    model.root.children[0].children[0].member->archive_path = L"C:\\other.zip";
    std::vector<RewriteItem> items;
    bool applicable = true;
    std::wstring err;
    EXPECT_TRUE(rezui::plan_from_model(model, kArchive, kListing, items, applicable, err));
    EXPECT_FALSE(applicable);
    EXPECT_TRUE(items.empty());
}

}  // namespace
