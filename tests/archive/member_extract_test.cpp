// Member reading by listed name and whole-archive extraction of 7z, ZIP and REZ archives.
#include <gtest/gtest.h>

#include "archive/member_extract.h"
#include "archive/password.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"sevenzip\\" + name); }

std::string slurp(const std::wstring& path) {
    std::vector<uint8_t> d;
    if (!rez::read_file(path, d)) return "<missing>";
    return std::string(d.begin(), d.end());
}

bool is_dir(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(MemberExtract, WholeSevenZipArchiveWithFoldersEmptyFilesAndCjkNames) {
    for (const wchar_t* name : {L"lzma2.7z", L"aes_data.7z"}) {
        rez::set_current_password(L"Secret1");
        qvltest::ScratchDir dir(L"mx7z");
        const std::wstring target = dir / L"out";
        std::vector<int> percents;
        std::wstring err;
        const bool ok = rez::extract_archive_to_dir(fx(name), target, err, {},
                                                    [&](int p, const std::wstring&) { percents.push_back(p); });
        rez::set_current_password(L"");
        ASSERT_TRUE(ok) << rez::to_utf8(err);
        EXPECT_EQ(slurp(target + L"\\a.txt"), "first file\n");
        EXPECT_EQ(slurp(target + L"\\sub\\deeper\\n.txt"), "nested\n");
        EXPECT_EQ(slurp(target + L"\\sub\\mixed.bin"), slurp(fx(L"mixed.bin")));
        EXPECT_EQ(slurp(target + L"\\empty.txt"), "");
        EXPECT_EQ(slurp(target + L"\\中文目录\\文件.txt"), "汉字内容\n");
        EXPECT_TRUE(is_dir(target + L"\\emptydir"));
        ASSERT_EQ(percents.size(), 5u);
        EXPECT_EQ(percents.back(), 100);
    }
}

TEST(MemberExtract, ZipByUpperCaseExtensionLogsEachFile) {
    qvltest::ScratchDir dir(L"mxzip");
    const std::wstring source = dir / L"ARCHIVE.ZIP";
    ASSERT_TRUE(CopyFileW(fx(L"member\\three.zip").c_str(), source.c_str(), FALSE));
    std::vector<std::pair<int, std::wstring>> logged;
    std::wstring err;
    int asked = 0;
    ASSERT_TRUE(rez::extract_archive_to_dir(
        source, dir / L"out\\deeper", err, [&](int, const std::wstring&) { return ++asked > 0; },
        [&](int p, const std::wstring& t) { logged.emplace_back(p, t); }))
        << rez::to_utf8(err);
    EXPECT_EQ(asked, 3);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[0], std::make_pair(33, std::wstring(L"a.txt")));
    EXPECT_EQ(logged[1], std::make_pair(66, std::wstring(L"sub\\b.txt")));
    EXPECT_EQ(logged[2], std::make_pair(100, std::wstring(L"c.txt")));
    EXPECT_EQ(slurp(dir / L"out\\deeper\\sub\\b.txt"), "two\n");
}

TEST(MemberExtract, CancelUnsupportedAndUnsafePaths) {
    qvltest::ScratchDir dir(L"mxbad");
    std::wstring err;
    EXPECT_FALSE(rez::extract_archive_to_dir(fx(L"member\\three.zip"), dir / L"c", err,
                                             [](int, const std::wstring&) { return false; }, {}));
    EXPECT_EQ(err, L"操作已取消");
    EXPECT_FALSE(rez::file_exists(dir / L"c\\a.txt"));

    EXPECT_FALSE(rez::extract_archive_to_dir(fx(L"small.txt"), dir / L"u", err, {}, {}));
    EXPECT_EQ(err, L"不支持的源格式");
    EXPECT_TRUE(is_dir(dir / L"u"));

    EXPECT_FALSE(rez::extract_archive_to_dir(fx(L"member\\parent.zip"), dir / L"p\\in", err, {}, {}));
    EXPECT_EQ(err, L"条目路径不安全，已拒绝: ../evil.txt");
    EXPECT_EQ(slurp(dir / L"p\\in\\good.txt"), "good\n");
    EXPECT_FALSE(rez::file_exists(dir / L"p\\evil.txt"));
    EXPECT_FALSE(rez::file_exists(dir / L"p\\in\\after.txt"));
    const struct {
        const wchar_t* archive;
        const wchar_t* name;
    } unsafe[] = {{L"absolute.zip", L"/abs.txt"},
                  {L"backslash.zip", L"\\abs.txt"},
                  {L"drive.zip", L"C:/drive.txt"},
                  {L"inner_parent.zip", L"a/../../x.txt"}};
    for (const auto& c : unsafe) {
        EXPECT_FALSE(rez::extract_archive_to_dir(fx(std::wstring(L"member\\") + c.archive), dir / L"x", err, {}, {}));
        EXPECT_EQ(err, std::wstring(L"条目路径不安全，已拒绝: ") + c.name);
    }
    EXPECT_FALSE(rez::file_exists(dir / L"x.txt"));
    // A damaged archive keeps its reader's message.
    EXPECT_FALSE(rez::extract_archive_to_dir(fx(L"multivol.7z.001"), dir / L"m", err, {}, {}));
    EXPECT_FALSE(rez::extract_archive_to_dir(dir / L"nothing.7z", dir / L"m", err, {}, {}));
    EXPECT_EQ(err, L"无法读取 7z 文件");
}

TEST(MemberExtract, MembersAreFoundByExactName) {
    std::vector<uint8_t> out;
    std::wstring err;
    rez::ArchiveMember m{fx(L"member\\case.zip"), "Name.txt", true};
    ASSERT_TRUE(rez::extract_archive_entry(m, out, err)) << rez::to_utf8(err);
    EXPECT_EQ(std::string(out.begin(), out.end()), "upper\n");
    m.member_name = "name.txt";
    ASSERT_TRUE(rez::extract_archive_entry(m, out, err));
    EXPECT_EQ(std::string(out.begin(), out.end()), "lower\n");
    m = {fx(L"member\\three.zip"), "sub\\b.txt", true};
    EXPECT_FALSE(rez::extract_archive_entry(m, out, err));
    EXPECT_EQ(err, L"ZIP 中未找到条目: sub\\b.txt");
    m.member_name = "sub/b.txt";
    ASSERT_TRUE(rez::extract_archive_entry(m, out, err));
    EXPECT_EQ(std::string(out.begin(), out.end()), "two\n");

    m = {fx(L"lzma_enc.7z"), "中文目录/文件.txt", false};
    ASSERT_TRUE(rez::extract_archive_entry(m, out, err)) << rez::to_utf8(err);
    EXPECT_EQ(std::string(out.begin(), out.end()), "汉字内容\n");
    m.member_name = "EMPTY.TXT";
    EXPECT_FALSE(rez::extract_archive_entry(m, out, err));
    EXPECT_EQ(err, L"7z 中未找到条目: EMPTY.TXT");
    m.member_name = "empty.txt";
    ASSERT_TRUE(rez::extract_archive_entry(m, out, err));
    EXPECT_TRUE(out.empty());
}

TEST(MemberExtract, RezArchiveGoesThroughTheRezExtraction) {
    qvltest::ScratchDir dir(L"mxrez");
    const std::string text = "rez payload\n";
    ASSERT_TRUE(rez::write_file(dir / L"data.txt", reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    rez::RezFile archive;
    std::string entry_path;
    ASSERT_TRUE(archive.add_file("", dir / L"data.txt", entry_path));
    std::wstring err;
    ASSERT_TRUE(archive.save(dir / L"pack.rez", err)) << rez::to_utf8(err);
    int logs = 0, progresses = 0;
    ASSERT_TRUE(rez::extract_archive_to_dir(dir / L"pack.rez", dir / L"out", err,
                                            [&](int, const std::wstring&) { return ++progresses > 0; },
                                            [&](int, const std::wstring&) { ++logs; }))
        << rez::to_utf8(err);
    EXPECT_GT(logs, 0);
    EXPECT_EQ(logs, progresses);
    EXPECT_EQ(slurp(dir / L"out\\data.txt"), text);
}

}  // namespace
