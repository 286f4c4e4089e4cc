// Saving: the written bytes, reading them back, progress, cancel, and the failures that
// must leave the old archive whole.
#include <gtest/gtest.h>

#include "archive/rez_model.h"
#include "archive/temp_note.h"
#include "rez_test_util.h"
#include "test_support.h"

using namespace reztest;

namespace {

struct Fixture : qvltest::ScratchDir {
    Fixture() : qvltest::ScratchDir(L"rezsave") {}
    std::wstring text(const std::wstring& name, const std::string& content) {
        write_text(*this / name, content);
        return *this / name;
    }
};

// Opens and loads every folder; fails the test on any error.
rez::RezFile reopen(const std::wstring& p) {
    rez::RezFile m;
    std::wstring err;
    EXPECT_TRUE(rez::RezFile::open(p, m, err)) << rez::to_utf8(err);
    std::wstring lerr;
    EXPECT_TRUE(m.load_all_directories(lerr));
    EXPECT_TRUE(lerr.empty()) << rez::to_utf8(lerr);
    return m;
}

std::string data_of(const rez::RezFile& m, const std::string& path) {
    const rez::Entry* e = m.find_entry_const(path);
    if (!e) return "<missing>";
    std::vector<uint8_t> b;
    std::wstring err;
    if (!m.read_entry_data(*e, b, err)) return "<error " + rez::to_utf8(err) + ">";
    return std::string(b.begin(), b.end());
}

TEST(RezSave, EmptyModel) {
    Fixture f;
    rez::RezFile m;
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"e.rez", err)) << rez::to_utf8(err);
    const Bytes b = read(f / L"e.rez");
    ASSERT_EQ(b.size(), 168u);
    EXPECT_EQ(rez::load_u32le(&b[131]), 168u);
    EXPECT_EQ(rez::load_u32le(&b[135]), 0u);
    EXPECT_EQ(rez::load_u32le(&b[143]), 168u);
    EXPECT_EQ(std::string(b.begin() + 2, b.begin() + 24), "RezMgr Version 1 Copyr");
    EXPECT_EQ(m.path, f / L"e.rez");
    EXPECT_FALSE(reztest::exists_any(rez::temp_name_beside(f / L"e.rez")));
    rez::RezFile back = reopen(f / L"e.rez");
    EXPECT_TRUE(back.root.children.empty());
}

TEST(RezSave, WriteAndReadBack) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"abc.txt", "abc"), out);
    m.add_file("Maps\\Level1", f.text(L"world.dat", "world data"), out);
    m.add_file("Maps", f.text(L"sprite.ABCDE", "five"), out);  // a type of five characters
    m.add_file("Maps", f.text(L"empty.bin", ""), out);
    m.create_directory("Empty", out);
    m.create_directory("Maps\\E", out);  // an empty folder with a short name
    m.comment = L"注释：第一行\r\nsecond line";
    m.user_title = "A title that is far longer than sixty bytes, so it must be cut at sixty";
    std::wstring err;
    const std::wstring target = f / L"out.rez";
    ASSERT_TRUE(m.save(target, err)) << rez::to_utf8(err);

    const rez::Entry* abc = m.find_entry("abc.txt");
    EXPECT_EQ(abc->pos, 168u);
    ASSERT_TRUE(abc->reserved.has_value());
    EXPECT_EQ(std::string(abc->reserved->begin(), abc->reserved->end()), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(m.find_entry("Maps\\Level1\\world.dat")->pos, 171u);  // the data follow one another

    const Bytes b = read(target);
    const std::string comment_utf8 = rez::to_utf8(m.comment);
    const size_t at = b.size() - comment_utf8.size() - 23;
    EXPECT_EQ(std::string(b.begin() + at, b.begin() + at + 19), "REZ_COMMENT_SECTION");
    EXPECT_EQ(rez::load_u32le(&b[at + 19]), comment_utf8.size());
    EXPECT_EQ(b[at + 23], static_cast<uint8_t>(comment_utf8[0] ^ 0x6B));
    EXPECT_EQ(b[at + 24], static_cast<uint8_t>(comment_utf8[1] ^ 0x0E));

    rez::RezFile back = reopen(target);
    EXPECT_EQ(back.comment, m.comment);
    EXPECT_EQ(back.user_title, m.user_title.substr(0, 60));
    EXPECT_EQ(back.signature_text, m.signature_text);
    EXPECT_EQ(data_of(back, "abc.txt"), "abc");
    EXPECT_EQ(data_of(back, "maps\\level1\\WORLD.DAT"), "world data");
    EXPECT_EQ(data_of(back, "Maps\\sprite.abcd"), "five");
    EXPECT_EQ(back.find_entry("Maps\\sprite.abcd")->ext, "ABCD");
    EXPECT_EQ(data_of(back, "Maps\\empty.bin"), "");
    EXPECT_EQ(back.find_entry("abc.txt")->id, m.find_entry("abc.txt")->id);
    EXPECT_EQ(*back.find_entry("abc.txt")->reserved, *abc->reserved);
    EXPECT_TRUE(back.find_entry("Empty")->children.empty());
    EXPECT_TRUE(back.find_entry("Maps\\E")->is_dir);
    rez::Stats s = back.stats();
    EXPECT_EQ(s.files, 4u);
    EXPECT_EQ(s.dirs, 5u);

    // The saved model now describes the new file: an empty folder is not read from where
    // it was, and a second save, in place and from the archive's own bytes, keeps everything.
    EXPECT_TRUE(m.load_directory("Empty", err));
    EXPECT_TRUE(m.find_entry("Empty")->children.empty());
    back.comment.clear();
    ASSERT_TRUE(back.save(target, err)) << rez::to_utf8(err);
    rez::RezFile again = reopen(target);
    EXPECT_EQ(data_of(again, "maps\\level1\\world.dat"), "world data");
    EXPECT_EQ(data_of(again, "Maps\\sprite.abcd"), "five");
    EXPECT_TRUE(again.comment.empty());
    EXPECT_EQ(read(target).size(), b.size() - comment_utf8.size() - 23);
}

TEST(RezSave, ProgressSequenceAndCancel) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"a.txt", "a"), out);
    m.add_file("d", f.text(L"b.txt", "bb"), out);
    std::vector<int> pcts;
    bool after_load = false;
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"p.rez", err, [&](int p, const std::wstring& text) {
        if (text == L"正在初始化...") after_load = true;
        if (after_load) pcts.push_back(p);
        return true;
    }));
    EXPECT_EQ(pcts, (std::vector<int>{0, 5, 10, 10, 40, 70, 85, 95, 100}));

    // Cancel in the data loop: no temporary file left, entries as they were, target untouched.
    const Bytes before = read(f / L"p.rez");
    rez::RezFile opened = reopen(f / L"p.rez");
    const rez::Entry snapshot = *opened.find_entry("d\\b.txt");
    std::string added;
    ASSERT_TRUE(opened.remove_entries("a.txt"));  // b.txt would move to offset 168
    opened.add_file("", f.text(L"c.txt", "ccc"), added);
    ASSERT_FALSE(opened.save(f / L"p.rez", err, [&](int, const std::wstring& text) {
        return text.find(L"(2/2)") == std::wstring::npos;
    }));
    EXPECT_EQ(err, L"操作已取消");
    EXPECT_FALSE(reztest::exists_any(rez::temp_name_beside(f / L"p.rez")));
    EXPECT_EQ(read(f / L"p.rez"), before);
    EXPECT_EQ(snapshot.pos, 169u);
    EXPECT_EQ(opened.find_entry("d\\b.txt")->pos, snapshot.pos);
    EXPECT_EQ(opened.find_entry("d\\b.txt")->reserved, snapshot.reserved);
    EXPECT_EQ(opened.find_entry("c.txt")->pos, 0u);
    EXPECT_EQ(opened.path, f / L"p.rez");
}

TEST(RezSave, VanishedDiskSourceFailsTheSave) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"keep.txt", "keep"), out);
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"v.rez", err));
    const Bytes before = read(f / L"v.rez");
    m.add_file("sub", f.text(L"gone.txt", "gone"), out);
    DeleteFileW((f / L"gone.txt").c_str());
    ASSERT_FALSE(m.save(f / L"v.rez", err));
    EXPECT_EQ(err, L"读取资源失败: sub\\gone.txt（无法读取文件 " + (f / L"gone.txt") + L"）");
    EXPECT_EQ(read(f / L"v.rez"), before);
    EXPECT_FALSE(reztest::exists_any(rez::temp_name_beside(f / L"v.rez")));
    // A file that a save already stored is taken from the archive once its disk copy is gone.
    m.remove_entries("sub");
    DeleteFileW((f / L"keep.txt").c_str());
    ASSERT_TRUE(m.save(f / L"v.rez", err)) << rez::to_utf8(err);
    EXPECT_EQ(data_of(reopen(f / L"v.rez"), "keep.txt"), "keep");
}

TEST(RezSave, UnreadableFolderRefusesTheSave) {
    // The root holds a folder whose block has a cut key list.
    const Bytes bad = file_record(168, 0, 1, 0, "k", 3, 1);
    const uint32_t root_len = static_cast<uint32_t>(dir_record(0, 0, "Bad").size());
    const uint32_t sub_pos = 168 + root_len;
    const Bytes file = cat({header(168, root_len), scramble(dir_record(sub_pos, static_cast<uint32_t>(bad.size()), "Bad"), 168),
                            scramble(bad, sub_pos)});
    Fixture f;
    write(f / L"bad.rez", file);
    rez::RezFile m;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(f / L"bad.rez", m, err));
    err.clear();
    ASSERT_FALSE(m.save(f / L"bad.rez", err));
    EXPECT_NE(err.find(L"File entry extra data incomplete"), std::wstring::npos) << rez::to_utf8(err);
    EXPECT_EQ(read(f / L"bad.rez"), file);
    EXPECT_FALSE(reztest::exists_any(rez::temp_name_beside(f / L"bad.rez")));
}

TEST(RezSave, SameNamedSiblingsKeepTheirOwnData) {
    Fixture f;
    rez::RezFile m;
    rez::Entry a;
    a.name = "same";
    a.ext = "txt";
    a.id = 1;
    a.source_path = f.text(L"1.txt", "first");
    rez::Entry b = a;
    b.id = 2;
    b.source_path = f.text(L"2.txt", "second!");
    rez::Entry d;
    d.is_dir = true;
    d.name = "same";  // a folder named like a file without type
    rez::Entry c = a;
    c.ext.clear();
    c.id = 3;
    c.source_path = f.text(L"3.txt", "third");
    m.root.children = {a, b, d, c};
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"s.rez", err)) << rez::to_utf8(err);
    rez::RezFile back = reopen(f / L"s.rez");
    ASSERT_EQ(back.root.children.size(), 4u);
    std::vector<std::string> got;
    for (const rez::Entry& e : back.root.children) {
        std::vector<uint8_t> bytes;
        if (!e.is_dir && back.read_entry_data(e, bytes, err)) got.emplace_back(bytes.begin(), bytes.end());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"first", "second!", "third"}));
}

TEST(RezSave, EngineNamedTargetReadsBack) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("Sub", f.text(L"x.dat", "xx"), out);
    m.create_directory("Q", out);   // a last folder with a one-letter name
    m.create_directory("Sub\\A", out);
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"engine.rez", err)) << rez::to_utf8(err);
    EXPECT_TRUE(m.engine_layout);
    rez::RezFile back = reopen(f / L"engine.rez");
    EXPECT_TRUE(back.engine_layout);
    EXPECT_EQ(data_of(back, "Sub\\x.dat"), "xx");
    EXPECT_NE(back.find_entry("Q"), nullptr);
    EXPECT_NE(back.find_entry("Sub\\A"), nullptr);
    // And from the engine layout to an ordinary name: the game layout.
    ASSERT_TRUE(back.save(f / L"game.rez", err));
    EXPECT_FALSE(back.engine_layout);
    EXPECT_EQ(data_of(reopen(f / L"game.rez"), "Sub\\x.dat"), "xx");
}

TEST(RezSave, CommentsLongAndOnAnEmptyRoot) {
    Fixture f;
    rez::RezFile m;
    std::wstring big;
    while (big.size() < 200000) big += L"很长的注释 long comment ";
    m.comment = big;
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"c.rez", err));
    rez::RezFile back = reopen(f / L"c.rez");
    EXPECT_EQ(back.comment, big);
    EXPECT_TRUE(back.root.children.empty());

    m.comment.assign(3u << 20, L'注');  // 9 MiB of UTF-8
    ASSERT_FALSE(m.save(f / L"c.rez", err));
    EXPECT_EQ(err, L"文件注释过长（超过 4 MiB），无法保存");
    EXPECT_EQ(reopen(f / L"c.rez").comment, big);
}

TEST(RezSave, FailedReplaceKeepsOldArchiveAndTheNewOne) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"a.txt", "old"), out);
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"r.rez", err));
    const Bytes before = read(f / L"r.rez");
    // Someone holds the target open without letting it be deleted or replaced.
    rez::FileHandle lock(CreateFileW((f / L"r.rez").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
    write_text(f / L"a.txt", "new content");
    m.replace_entry("a.txt", f / L"a.txt");
    ASSERT_FALSE(m.save(f / L"r.rez", err));
    EXPECT_NE(err.find(L"移动临时文件到目标失败"), std::wstring::npos);
    EXPECT_NE(err.find(rez::temp_name_beside(f / L"r.rez")), std::wstring::npos);
    lock.close();
    EXPECT_EQ(read(f / L"r.rez"), before);
    EXPECT_EQ(data_of(reopen(rez::temp_name_beside(f / L"r.rez")), "a.txt"), "new content");
    EXPECT_EQ(m.path, f / L"r.rez");
    EXPECT_EQ(m.find_entry("a.txt")->pos, 0u);  // still to be read from disk
}

TEST(RezSave, ImportIntoAFolderNotReadYetKeepsItsContent) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("Data", f.text(L"old.txt", "old"), out);
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"i.rez", err));
    rez::RezFile opened;
    ASSERT_TRUE(rez::RezFile::open(f / L"i.rez", opened, err));
    ASSERT_FALSE(opened.root.children[0].loaded);
    const std::wstring disk = f / L"Data";
    CreateDirectoryW(disk.c_str(), nullptr);
    write_text(disk + L"\\new.txt", "new");
    ASSERT_TRUE(opened.add_directory_tree("", disk, out, &err));
    ASSERT_TRUE(opened.save(f / L"i.rez", err)) << rez::to_utf8(err);
    rez::RezFile back = reopen(f / L"i.rez");
    EXPECT_EQ(data_of(back, "Data\\old.txt"), "old");
    EXPECT_EQ(data_of(back, "Data\\new.txt"), "new");
}

TEST(RezSave, ReadEntrySource) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"a.txt", "disk"), out);
    std::vector<uint8_t> b;
    EXPECT_TRUE(m.read_entry_source("a.txt", L"", b));
    EXPECT_EQ(std::string(b.begin(), b.end()), "disk");
    std::wstring err;
    EXPECT_TRUE(m.read_entry_data(*m.find_entry("a.txt"), b, err));  // not saved yet: from disk
    EXPECT_EQ(std::string(b.begin(), b.end()), "disk");
    EXPECT_FALSE(m.read_entry_source("missing", L"", b));
}

}  // namespace

TEST(RezSave, UsersOwnTmpFileBesideTheArchiveIsLeftAlone) {
    Fixture f;
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"a.txt", "content"), out);
    write_text(f / L"u.rez.tmp", "the user's own notes");
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"u.rez", err)) << rez::to_utf8(err);
    const Bytes kept = read(f / L"u.rez.tmp");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's own notes");
    EXPECT_EQ(data_of(reopen(f / L"u.rez"), "a.txt"), "content");
    EXPECT_FALSE(reztest::exists_any(rez::temp_name_beside(f / L"u.rez")));
}
