// Editing the archive tree: folders, files and disk folders added; remove, rename,
// replace, move and copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "archive/rez_model.h"
#include "rez_test_util.h"
#include "test_support.h"

using namespace reztest;

namespace {

struct Upper {
    explicit Upper(bool on) { rez::uppercase_rez_names = on; }
    ~Upper() { rez::uppercase_rez_names = false; }
};

std::vector<std::string> names(const rez::Entry& dir) {
    std::vector<std::string> out;
    for (const rez::Entry& c : dir.children) {
        std::string n = c.is_dir ? "/" : "";
        n += c.name_with_ext();
        out.push_back(n);
    }
    return out;
}

TEST(RezEdit, CreateDirectory) {
    rez::RezFile m;
    std::string out;
    EXPECT_TRUE(m.create_directory("", out));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(m.create_directory("Maps/Level1", out));
    EXPECT_EQ(out, "Maps\\Level1");
    EXPECT_TRUE(m.create_directory("MAPS\\level1", out));  // exists: nothing added, names as stored
    EXPECT_EQ(out, "Maps\\Level1");
    EXPECT_EQ(m.root.children.size(), 1u);
    {
        Upper up(true);
        EXPECT_TRUE(m.create_directory("textures", out));
        EXPECT_EQ(out, "TEXTURES");
    }
    EXPECT_EQ(names(m.root), (std::vector<std::string>{"/Maps", "/TEXTURES"}));
}

TEST(RezEdit, AddFileNamesTypesAndIds) {
    qvltest::ScratchDir d(L"rezedit");
    for (const wchar_t* n : {L"readme.txt", L"archive.backup", L"0042.dds", L"12a.dds", L"noext", L".hidden", L"trail."})
        write_text(d / n, "data");
    rez::RezFile m;
    std::string out;
    {
        Upper up(true);
        ASSERT_TRUE(m.add_file("docs", d / L"readme.txt", out));
        EXPECT_EQ(out, "DOCS\\README");
        const rez::Entry* e = m.find_entry("docs\\readme.txt");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->name, "README");
        EXPECT_EQ(e->ext, "TXT");
        EXPECT_EQ(e->size, 4u);
        EXPECT_EQ(e->pos, 0u);
        EXPECT_EQ(e->id, 10000000u);
        EXPECT_EQ(*e->source_path, d / L"readme.txt");
        EXPECT_EQ(e->modified_text.size(), 19u);
        EXPECT_EQ(e->created_text.size(), 19u);
    }
    ASSERT_TRUE(m.add_file("", d / L"readme.txt", out));
    EXPECT_EQ(m.root.children.back().name, "readme");
    EXPECT_EQ(m.root.children.back().ext, "txt");
    ASSERT_TRUE(m.add_file("", d / L"archive.backup", out));
    EXPECT_EQ(m.root.children.back().name, "archive.backup");
    EXPECT_EQ(m.root.children.back().ext, "");
    ASSERT_TRUE(m.add_file("", d / L"0042.dds", out));
    EXPECT_EQ(m.root.children.back().id, 42u);
    ASSERT_TRUE(m.add_file("", d / L"12a.dds", out));
    EXPECT_EQ(m.root.children.back().id, 10000003u);  // 10000002 went to archive.backup
    ASSERT_TRUE(m.add_file("sub", d / L"0042.dds", out));  // id 42 is taken now
    EXPECT_EQ(m.find_entry("sub\\0042.dds")->id, 10000004u);
    ASSERT_TRUE(m.add_file("", d / L".hidden", out));
    EXPECT_EQ(m.root.children.back().name, ".hidden");
    ASSERT_TRUE(m.add_file("", d / L"trail.", out));
    EXPECT_EQ(m.root.children.back().name, "trail");
    EXPECT_EQ(m.root.children.back().ext, "");
}

TEST(RezEdit, AddingOneNameTwiceRefreshesTheEntry) {
    qvltest::ScratchDir d(L"rezedit");
    write_text(d / L"a.txt", "one");
    qvltest::ScratchDir d2(L"rezedit2");
    write_text(d2 / L"A.TXT", "second");
    rez::RezFile m;
    std::string out;
    ASSERT_TRUE(m.add_file("", d / L"a.txt", out));
    const uint32_t id = m.root.children[0].id;
    m.root.children[0].pos = 500;
    ASSERT_TRUE(m.add_file("", d2 / L"A.TXT", out));
    ASSERT_EQ(m.root.children.size(), 1u);
    EXPECT_EQ(m.root.children[0].id, id);
    EXPECT_EQ(m.root.children[0].size, 6u);
    EXPECT_EQ(m.root.children[0].pos, 0u);
    EXPECT_EQ(*m.root.children[0].source_path, d2 / L"A.TXT");
}

TEST(RezEdit, FolderImportOrderMergeAndDotNames) {
    qvltest::ScratchDir d(L"rezedit");
    const std::wstring src = d / L"Pack";
    CreateDirectoryW(src.c_str(), nullptr);
    for (const wchar_t* sub : {L"\\beta", L"\\Alpha", L"\\.git", L"\\Alpha\\inner"})
        CreateDirectoryW((src + sub).c_str(), nullptr);
    for (const wchar_t* f : {L"\\b.txt", L"\\A.txt", L"\\.secret", L"\\Alpha\\x.dat", L"\\Alpha\\inner\\y.dat",
                             L"\\.git\\config"})
        write_text(src + f, "z");

    rez::RezFile m;
    // The archive already has Pack\alpha with a file of its own.
    std::string out;
    m.create_directory("PACK\\alpha", out);
    write_text(d / L"keep.dat", "keep");
    m.add_file("PACK\\alpha", d / L"keep.dat", out);

    std::vector<std::wstring> seen;
    std::wstring err;
    ASSERT_TRUE(m.add_directory_tree("", src, out, &err, [&](const std::wstring& p) {
        seen.push_back(p);
        return true;
    }));
    EXPECT_EQ(out, "PACK");
    ASSERT_EQ(m.root.children.size(), 1u);
    const rez::Entry& pack = m.root.children[0];
    EXPECT_EQ(names(pack), (std::vector<std::string>{"/alpha", "/beta", "A.txt", "b.txt"}));
    EXPECT_EQ(names(pack.children[0]), (std::vector<std::string>{"keep.dat", "/inner", "x.dat"}));
    // Every file, deep ones included, is offered to the callback; dot-names are left out.
    EXPECT_EQ(seen.size(), 4u);

    // Importing the same folder again adds nothing new: it merges.
    ASSERT_TRUE(m.add_directory_tree("", src, out, &err));
    EXPECT_EQ(m.stats().files, 5u);
    EXPECT_EQ(m.stats().dirs, 5u);

    // A callback that says stop.
    rez::RezFile m2;
    ASSERT_FALSE(m2.add_directory_tree("", src, out, &err, [](const std::wstring&) { return false; }));
    EXPECT_EQ(err, L"操作已取消");

    rez::RezFile m3;
    ASSERT_TRUE(m3.add_directory_contents_to_root(src, err));
    EXPECT_EQ(names(m3.root), (std::vector<std::string>{"/Alpha", "/beta", "A.txt", "b.txt"}));
    EXPECT_TRUE(m3.add_directory_contents_to_root(d / L"missing", err));  // nothing to list: nothing added
    EXPECT_FALSE(m3.add_directory_contents("nope", src, err));
    // A folder path with a trailing separator has no name of its own.
    rez::RezFile m4;
    ASSERT_TRUE(m4.add_directory_tree("", src + L"\\", out, &err));
    EXPECT_EQ(out, "DIR");
}

rez::RezFile sample() {
    rez::RezFile m;
    auto f = [](const char* n, const char* e, uint32_t id) {
        rez::Entry x;
        x.name = n;
        x.ext = e;
        x.id = id;
        return x;
    };
    rez::Entry a;
    a.is_dir = true;
    a.name = "A";
    a.children = {f("one", "dat", 1), f("two", "dat", 2)};
    rez::Entry b;
    b.is_dir = true;
    b.name = "B";
    b.children = {f("one", "dat", 3)};
    rez::Entry c;
    c.is_dir = true;
    c.name = "C";
    m.root.children = {a, b, c, f("A", "", 4), f("top", "txt", 5)};
    m.build_used_ids();
    return m;
}

TEST(RezEdit, RemoveAndRename) {
    rez::RezFile m = sample();
    EXPECT_FALSE(m.remove_entries("A\\none"));
    EXPECT_EQ(m.used_ids.size(), 5u);
    EXPECT_FALSE(m.remove_entries(""));
    EXPECT_TRUE(m.remove_entries("a\\ONE.DAT"));
    EXPECT_EQ(names(m.root.children[0]), (std::vector<std::string>{"two.dat"}));
    EXPECT_FALSE(m.used_ids.count(1));
    // One component may name a directory and a file alike: both go.
    EXPECT_TRUE(m.remove_entries("a"));
    EXPECT_EQ(names(m.root), (std::vector<std::string>{"/B", "/C", "top.txt"}));

    m = sample();
    EXPECT_TRUE(m.rename_entry("top.txt", "  notes  "));
    EXPECT_EQ(m.root.children[4].name, "notes");
    EXPECT_EQ(m.root.children[4].ext, "");
    EXPECT_TRUE(m.rename_entry("notes", "Readme.MD"));
    EXPECT_EQ(m.root.children[4].name_with_ext(), "Readme.md");
    EXPECT_FALSE(m.rename_entry("A\\two.dat", "ONE.dat"));   // a sibling of the same kind
    EXPECT_TRUE(m.rename_entry("readme.md", "B"));            // a directory of that name is no conflict
    EXPECT_FALSE(m.rename_entry("C", "b"));
    EXPECT_FALSE(m.rename_entry("C", "   "));
    EXPECT_TRUE(m.rename_entry("C", "D.x"));
    EXPECT_EQ(m.root.children[2].name, "D.x");
}

TEST(RezEdit, Replace) {
    qvltest::ScratchDir d(L"rezedit");
    write_text(d / L"new.bin", "12345678");
    rez::RezFile m = sample();
    rez::Entry& e = m.root.children[4];
    e.pos = 999;
    e.reserved = std::vector<uint8_t>(32, 'x');
    EXPECT_TRUE(m.replace_entry("top.txt", d / L"new.bin"));
    EXPECT_EQ(e.size, 8u);
    EXPECT_EQ(e.pos, 0u);
    EXPECT_FALSE(e.reserved.has_value());
    EXPECT_EQ(e.name_with_ext(), "top.txt");
    EXPECT_EQ(e.id, 5u);
    EXPECT_FALSE(m.replace_entry("A", d / L"new.bin"));
    EXPECT_FALSE(m.replace_entry("top.txt", d / L"missing"));
    EXPECT_FALSE(m.replace_entry("top.txt", d.path()));
}

TEST(RezEdit, Move) {
    rez::RezFile m = sample();
    EXPECT_TRUE(m.move_entries("A\\two.dat", "B"));
    EXPECT_EQ(names(m.find_entry_const("B")[0]), (std::vector<std::string>{"one.dat", "two.dat"}));
    // A same-named file of the same type: refused, the source left as it was (order too).
    EXPECT_FALSE(m.move_entries("A\\one.dat", "B"));
    EXPECT_EQ(names(m.root.children[0]), (std::vector<std::string>{"one.dat"}));
    // Into a later sibling: the target is still the folder the caller named.
    EXPECT_TRUE(m.move_entries("A", "C"));
    EXPECT_EQ(names(m.root), (std::vector<std::string>{"/B", "/C", "A", "top.txt"}));
    EXPECT_EQ(names(m.root.children[1]), (std::vector<std::string>{"/A"}));
    // Into itself or below itself: refused, nothing changes.
    EXPECT_FALSE(m.move_entries("C", "C"));
    EXPECT_FALSE(m.move_entries("C", "C\\A"));
    EXPECT_EQ(names(m.root), (std::vector<std::string>{"/B", "/C", "A", "top.txt"}));
    // Up and into a new folder.
    EXPECT_TRUE(m.move_entries("C\\A\\one.dat", "New\\Deeper"));
    EXPECT_NE(m.find_entry("New\\Deeper\\one.dat"), nullptr);
    EXPECT_FALSE(m.move_entries("nothing", "B"));
}

// A refused move leaves the folders as they were: the target named is not made.
TEST(RezEdit, RefusedMoveMakesNoFolders) {
    struct Case {
        const char* source;
        const char* target;
    };
    const Case cases[] = {
        {"nothing", "Fresh\\Sub"},  // no such source
        {"A\\none.dat", "Fresh"},   // no such file in an existing folder
        {"A", "A\\Inside"},         // below itself
        {"C", "C\\Deeper\\Still"},  // below itself, two levels
        {"A\\one.dat", "B"},        // B holds one.dat already
    };
    for (const Case& c : cases) {
        rez::RezFile m = sample();
        const rez::Stats before = m.stats();
        const std::vector<std::string> top = names(m.root);
        EXPECT_FALSE(m.move_entries(c.source, c.target)) << c.source << " -> " << c.target;
        EXPECT_EQ(names(m.root), top) << c.target;
        EXPECT_EQ(m.stats().dirs, before.dirs) << c.source << " -> " << c.target;
    }
}

TEST(RezEdit, Copy) {
    rez::RezFile m = sample();
    EXPECT_TRUE(m.copy_entries("A", "C"));
    const rez::Entry* copy = m.find_entry("C\\A\\two.dat");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->id, 2u);  // copies keep their ids
    EXPECT_FALSE(m.copy_entries("A", "C"));
    EXPECT_TRUE(m.copy_entries("A", "A"));  // into itself: a copy of what was there
    EXPECT_EQ(names(*m.find_entry("A\\A")), (std::vector<std::string>{"one.dat", "two.dat"}));
    rez::Entry src;
    src.name = "n";
    src.reserved = std::vector<uint8_t>(32, 7);
    src.source_path = L"C:\\x";
    src.modified_text = L"t";
    rez::Entry dup = rez::Entry::deep_copy(src);
    EXPECT_EQ(dup.reserved, src.reserved);
    EXPECT_EQ(dup.source_path, src.source_path);
    EXPECT_EQ(dup.modified_text, L"t");
}

}  // namespace

namespace {

void collect_file_ids(const rez::Entry& dir, std::vector<uint32_t>& ids) {
    for (const rez::Entry& c : dir.children) {
        if (c.is_dir)
            collect_file_ids(c, ids);
        else
            ids.push_back(c.id);
    }
}

}  // namespace

// An archive opened from disk has read its root folder only; files added to it (one by
// one, as a folder, or a folder's contents) take ids used nowhere in the archive, also not
// in folders that had not been read yet.
TEST(RezEdit, NewIdsAreFreeOverTheWholeArchive) {
    qvltest::ScratchDir d(L"rezedit");
    write_text(d / L"a.txt", "a");
    write_text(d / L"b.txt", "b");
    write_text(d / L"c.txt", "c");
    const std::wstring folder = d / L"Pack";
    CreateDirectoryW(folder.c_str(), nullptr);
    write_text(folder + L"\\p.txt", "p");
    {
        rez::RezFile m;
        std::string out;
        ASSERT_TRUE(m.add_file("SUB\\DEEP", d / L"a.txt", out));
        ASSERT_TRUE(m.add_file("SUB", d / L"b.txt", out));
        std::wstring err;
        ASSERT_TRUE(m.save(d / L"ids.rez", err)) << rez::to_utf8(err);
    }
    const struct {
        const char* what;
        std::function<bool(rez::RezFile&)> add;
    } cases[] = {
        {"file", [&](rez::RezFile& m) { std::string out; return m.add_file("", d / L"c.txt", out); }},
        {"folder", [&](rez::RezFile& m) { std::string out; return m.add_directory_tree("", folder, out); }},
        {"contents", [&](rez::RezFile& m) { std::wstring err; return m.add_directory_contents("", folder, err); }},
    };
    for (const auto& c : cases) {
        rez::RezFile m;
        std::wstring err;
        ASSERT_TRUE(rez::RezFile::open(d / L"ids.rez", m, err)) << rez::to_utf8(err);
        ASSERT_TRUE(c.add(m)) << c.what;
        ASSERT_TRUE(m.load_all_directories(err)) << rez::to_utf8(err);
        std::vector<uint32_t> ids;
        collect_file_ids(m.root, ids);
        ASSERT_EQ(ids.size(), 3u) << c.what;
        std::sort(ids.begin(), ids.end());
        EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end()) == ids.end()) << c.what;
    }
}

TEST(RezEdit, CountsTheEntriesAnAddReplaced) {
    qvltest::ScratchDir d(L"rezedit");
    qvltest::ScratchDir d2(L"rezedit2");
    write_text(d / L"same.txt", "one");
    write_text(d2 / L"same.txt", "two");
    write_text(d / L"other.txt", "x");
    rez::RezFile m;
    std::string out;
    ASSERT_TRUE(m.add_file("", d / L"same.txt", out));
    ASSERT_TRUE(m.add_file("", d / L"other.txt", out));
    EXPECT_EQ(m.entries_replaced, 0u);
    ASSERT_TRUE(m.add_file("", d2 / L"same.txt", out));
    EXPECT_EQ(m.entries_replaced, 1u);
    EXPECT_EQ(m.root.children.size(), 2u);
}
