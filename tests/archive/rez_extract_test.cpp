// Extraction: whole archive, one entry, progress and cancel, and hostile entry names.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/rez_model.h"
#include "rez_test_util.h"
#include "test_support.h"

using namespace reztest;

namespace {

struct Fixture : qvltest::ScratchDir {
    Fixture() : qvltest::ScratchDir(L"rezext") {}
    std::wstring text(const std::wstring& name, const std::string& content) {
        write_text(*this / name, content);
        return *this / name;
    }
};

// An archive saved from disk files and opened again, so its folders are not read yet.
rez::RezFile saved_archive(Fixture& f) {
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"top.txt", "top"), out);
    m.add_file("Textures", f.text(L"TEX.DTX", "texture bytes"), out);
    m.add_file("Textures\\Deep", f.text(L"zero.bin", ""), out);
    m.create_directory("EmptyDir", out);
    rez::Entry odd;
    odd.name = "bad?name";
    odd.ext = "TXT";
    odd.id = 77;
    odd.source_path = f.text(L"odd.src", "odd");
    m.root.children.push_back(odd);
    std::wstring err;
    EXPECT_TRUE(m.save(f / L"x.rez", err)) << rez::to_utf8(err);
    rez::RezFile back;
    EXPECT_TRUE(rez::RezFile::open(f / L"x.rez", back, err));
    return back;
}

TEST(RezExtract, WholeArchive) {
    Fixture f;
    rez::RezFile m = saved_archive(f);
    EXPECT_FALSE(m.root.children[1].loaded);
    std::vector<int> pcts;
    std::vector<std::wstring> texts;
    std::wstring err;
    const std::wstring out = f / L"out\\nested";
    ASSERT_TRUE(m.extract_to_directory(out, err, [&](int p, const std::wstring& t) {
        pcts.push_back(p);
        texts.push_back(t);
        return true;
    })) << rez::to_utf8(err);
    EXPECT_EQ(read_text(out + L"\\top.txt"), "top");
    EXPECT_EQ(read_text(out + L"\\Textures\\TEX.dtx"), "texture bytes");
    EXPECT_TRUE(exists_any(out + L"\\Textures\\Deep\\zero.bin"));
    EXPECT_EQ(read(out + L"\\Textures\\Deep\\zero.bin").size(), 0u);
    EXPECT_TRUE(exists_any(out + L"\\EmptyDir"));
    EXPECT_EQ(read_text(out + L"\\bad_name.txt"), "odd");
    ASSERT_FALSE(pcts.empty());
    EXPECT_EQ(pcts.back(), 100);
    EXPECT_TRUE(std::is_sorted(pcts.begin(), pcts.end()));
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"正在解压: TEX.dtx"), texts.end());

    // Without a callback: the same files.
    rez::RezFile m2 = saved_archive(f);
    ASSERT_TRUE(m2.extract_to_directory(f / L"out2", err));
    EXPECT_EQ(read_text(f / L"out2\\Textures\\TEX.dtx"), "texture bytes");
}

TEST(RezExtract, OneEntryAndErrors) {
    Fixture f;
    rez::RezFile m = saved_archive(f);
    std::wstring err;
    // A folder whose block is not read yet: read on the way, written whole.
    ASSERT_TRUE(m.extract_entries("textures", f / L"one", err)) << rez::to_utf8(err);
    EXPECT_EQ(qvltest::folder_names(f / L"one"), (std::vector<std::wstring>{L"Deep", L"TEX.dtx"}));
    ASSERT_TRUE(m.extract_entries("Textures\\tex.dtx", f / L"file\\copy.bin", err));
    EXPECT_EQ(read_text(f / L"file\\copy.bin"), "texture bytes");
    rez::ExtractTotals totals;
    ASSERT_TRUE(m.extract_entries("top.txt", f / L"t.txt", err, {}, &totals));
    EXPECT_EQ(totals.done_files, 1u);
    EXPECT_EQ(totals.done_bytes, 3u);

    EXPECT_FALSE(m.extract_entries("no\\such.txt", f / L"n", err));
    EXPECT_EQ(err, L"条目不存在: no\\such.txt");
    write_text(f / L"plainfile", "x");
    EXPECT_FALSE(m.extract_to_directory(f / L"plainfile\\sub", err));
    EXPECT_EQ(err, L"无法创建目标目录");
    DeleteFileW((f / L"x.rez").c_str());
    EXPECT_FALSE(m.extract_to_directory(f / L"gone", err));
    EXPECT_EQ(err, L"无法打开资源包");
}

TEST(RezExtract, NotSavedYetComesFromDisk) {
    Fixture f;
    rez::RezFile m = saved_archive(f);
    std::string out;
    m.add_file("", f.text(L"fresh.txt", "fresh from disk"), out);
    std::wstring err;
    ASSERT_TRUE(m.extract_to_directory(f / L"o", err)) << rez::to_utf8(err);
    EXPECT_EQ(read_text(f / L"o\\fresh.txt"), "fresh from disk");
}

TEST(RezExtract, CancelInsideALargeFileDeletesIt) {
    Fixture f;
    std::string big(10u << 20, 'b');
    rez::RezFile m;
    std::string out;
    m.add_file("", f.text(L"big.bin", big), out);
    std::wstring err;
    ASSERT_TRUE(m.save(f / L"big.rez", err));
    int calls = 0;
    ASSERT_FALSE(m.extract_entries("big.bin", f / L"big.out", err, [&](int, const std::wstring&) { return ++calls < 3; }));
    EXPECT_EQ(err, L"操作已取消");
    EXPECT_FALSE(exists_any(f / L"big.out"));
    ASSERT_TRUE(m.extract_entries("big.bin", f / L"big.out", err));
    EXPECT_EQ(read(f / L"big.out").size(), big.size());
}

TEST(RezExtract, OddNamesAreSanitisedAndOnlyEscapingOnesSkipped) {
    // {name, type text, name written; null: skipped as escaping the target}
    const struct {
        std::string name, type;
        const wchar_t* written;
    } files[] = {
        {"a:b", "", L"a_b"},       {"", "", L"unnamed"},          {"..", "", nullptr},
        {"CON", "", L"_CON"},      {"nul", "TXT", L"_nul.txt"},   {"Com1 ", "X", L"_Com1 .x"},
        {"x/../../y", "", L"x_.._.._y"}, {"...", "", nullptr},    {".. ", "", nullptr},
        {"C:", "", L"C_"},         {" ", "TXT", L".txt"},
    };
    const struct {
        std::string name;
        const wchar_t* written;
    } folders[] = {{"..", nullptr}, {". .", nullptr}, {"aux", L"_aux"}, {"..name", L"..name"}, {".", nullptr}};
    std::vector<std::pair<std::string, std::string>> file_list;
    for (const auto& c : files) file_list.push_back({c.name, c.type});
    std::vector<std::string> folder_list;
    for (const auto& c : folders) folder_list.push_back(c.name);
    const std::wstring refused = L"条目路径不安全，已拒绝 6 项，其余条目已解压: ..、...、.. 、..、. .、.";

    Fixture f;
    write(f / L"h.rez", odd_names_rez(file_list, folder_list));
    rez::RezFile m;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(f / L"h.rez", m, err)) << rez::to_utf8(err);
    const std::wstring target = f / L"box\\target";
    std::vector<std::wstring> texts;
    EXPECT_FALSE(m.extract_to_directory(target, err, [&](int, const std::wstring& t) {
        texts.push_back(t);
        return true;
    }));
    EXPECT_EQ(err, refused);
    for (const char* name : {"..", "...", ".. ", ". .", "."})
        EXPECT_NE(std::find(texts.begin(), texts.end(), L"条目路径不安全，已拒绝: " + rez::from_utf8(name)), texts.end())
            << name;

    // The same through one-entry extraction of the root's content.
    const std::wstring again = f / L"box\\t2";
    EXPECT_FALSE(m.extract_entries("", again, err));
    EXPECT_EQ(err, refused);

    std::vector<std::wstring> expected;
    for (const auto& c : files)
        if (c.written) expected.push_back(c.written);
    for (const auto& c : folders)
        if (c.written) expected.push_back(c.written);
    std::sort(expected.begin(), expected.end());
    for (const std::wstring& out : {target, again}) {
        EXPECT_EQ(qvltest::folder_names(out), expected);
        for (const auto& c : files) {
            if (c.written) {
                EXPECT_EQ(read_text(out + L"\\" + c.written), "<" + c.name + ">") << c.name;
            }
        }
        EXPECT_EQ(read_text(out + L"\\_aux\\f.txt"), "in aux");
        EXPECT_EQ(read_text(out + L"\\..name\\f.txt"), "in ..name");
    }
    // Nothing beside the targets, nothing above them.
    EXPECT_EQ(qvltest::folder_names(f / L"box"), (std::vector<std::wstring>{L"t2", L"target"}));
    EXPECT_EQ(qvltest::folder_names(f.path()), (std::vector<std::wstring>{L"box", L"h.rez"}));
}

TEST(RezExtract, Percent) {
    rez::ExtractTotals t;
    EXPECT_EQ(rez::extract_percent(t), 0);
    t.total_files = 4;
    t.done_files = 1;
    EXPECT_EQ(rez::extract_percent(t), 25);
    t.total_bytes = 200;
    t.done_bytes = 50;
    EXPECT_EQ(rez::extract_percent(t), 25);
    t.done_bytes = 300;
    EXPECT_EQ(rez::extract_percent(t), 100);
}

TEST(RezExtract, CreateDirectories) {
    Fixture f;
    EXPECT_TRUE(rez::create_directories(L""));
    EXPECT_TRUE(rez::create_directories(L"\\\\"));
    EXPECT_TRUE(rez::create_directories(f / L"a\\b/c\\"));
    EXPECT_TRUE(exists_any(f / L"a\\b\\c"));
    EXPECT_TRUE(rez::create_directories(f / L"a"));
    write_text(f / L"file", "x");
    EXPECT_FALSE(rez::create_directories(f / L"file"));
}

}  // namespace
