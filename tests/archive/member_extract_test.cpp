// Member reading by listed name and whole-archive extraction of 7z, ZIP and REZ archives.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/member_extract.h"
#include "archive/password.h"
#include "archive/sevenzip_writer.h"
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

    // An escaping entry is skipped; those after it are still written, and the run fails.
    EXPECT_FALSE(rez::extract_archive_to_dir(fx(L"member\\parent.zip"), dir / L"p\\in", err, {}, {}));
    EXPECT_EQ(err, L"条目路径不安全，已拒绝 1 项，其余条目已解压: ../evil.txt");
    EXPECT_EQ(slurp(dir / L"p\\in\\good.txt"), "good\n");
    EXPECT_FALSE(rez::file_exists(dir / L"p\\evil.txt"));
    EXPECT_EQ(slurp(dir / L"p\\in\\after.txt"), "after\n");
    // Absolute and drive paths are made relative to the target; a parent step is refused.
    const struct {
        const wchar_t* archive;
        const wchar_t* written;  // null: refused
    } rooted[] = {{L"absolute.zip", L"abs.txt"},
                  {L"backslash.zip", L"abs.txt"},
                  {L"drive.zip", L"C_\\drive.txt"},
                  {L"inner_parent.zip", nullptr}};
    for (const auto& c : rooted) {
        qvltest::ScratchDir::remove_tree(dir / L"x");
        const bool ok = rez::extract_archive_to_dir(fx(std::wstring(L"member\\") + c.archive), dir / L"x", err, {}, {});
        EXPECT_EQ(ok, c.written != nullptr) << rez::to_utf8(c.archive);
        if (c.written) {
            EXPECT_EQ(slurp(dir / L"x\\" + c.written), "x") << rez::to_utf8(c.archive);
        } else {
            EXPECT_EQ(err, L"条目路径不安全，已拒绝 1 项，其余条目已解压: a/../../x.txt");
        }
    }
    EXPECT_FALSE(rez::file_exists(dir / L"x.txt"));
    // A damaged archive keeps its reader's message.
    EXPECT_FALSE(rez::extract_archive_to_dir(fx(L"multivol.7z.001"), dir / L"m", err, {}, {}));
    EXPECT_FALSE(rez::extract_archive_to_dir(dir / L"nothing.7z", dir / L"m", err, {}, {}));
    EXPECT_EQ(err, L"无法读取 7z 文件");
}

// Member names (also in odd_names.zip of the fixture script; a trailing "/" is a folder) and
// where whole-archive extraction puts them; null: skipped as escaping the target.
const struct {
    const char* name;
    const wchar_t* written;
} kOddNames[] = {
    {"good.txt", L"good.txt"},       {"a:b.txt", L"a_b.txt"},           {"CON", L"_CON"},
    {"sub/nul.txt", L"sub\\_nul.txt"}, {"Com1 .x", L"_Com1 .x"},          {"/abs.txt", L"abs.txt"},
    {"C:/drive.txt", L"C_\\drive.txt"}, {"../evil.txt", nullptr},          {"x/../../y", nullptr},
    {"...", nullptr},                {"d/. ./f.txt", nullptr},           {"aux/", L"_aux"},
    {"../up/", nullptr},             {"keep/", L"keep"},                {"prn.d/in.txt", L"_prn.d\\in.txt"},
};

TEST(MemberExtract, OddNamesAreSanitisedAndOnlyEscapingOnesSkipped) {
    qvltest::ScratchDir dir(L"mxodd");
    // No peer tool writes such names into a 7z: our own writer makes that copy of the table.
    std::vector<rez::ArchiveItem> items;
    for (const auto& c : kOddNames) {
        const std::string n = c.name;
        const std::string content = n.back() == '/' ? "" : "<" + n + ">";
        items.push_back({n, std::vector<uint8_t>(content.begin(), content.end())});
    }
    std::wstring err;
    ASSERT_TRUE(rez::sevenzip_create(dir / L"odd.7z", items, L"", err)) << rez::to_utf8(err);

    for (const std::wstring& source : {fx(L"member\\odd_names.zip"), dir / L"odd.7z"}) {
        SCOPED_TRACE(rez::to_utf8(source));
        const std::wstring target = dir / L"box\\in";
        std::vector<std::wstring> logged;
        EXPECT_FALSE(rez::extract_archive_to_dir(source, target, err, {},
                                                 [&](int, const std::wstring& t) { logged.push_back(t); }));
        // The 7z listing drops a folder's trailing "/".
        EXPECT_EQ(err.rfind(L"条目路径不安全，已拒绝 5 项，其余条目已解压: ../evil.txt、x/../../y、...、d/. ./f.txt、../up", 0),
                  0u)
            << rez::to_utf8(err);
        for (const auto& c : kOddNames) {
            std::string name = c.name;
            const bool folder = name.back() == '/';
            if (!c.written) {
                if (folder) name.pop_back();
                const std::wstring line = L"条目路径不安全，已拒绝: " + rez::from_utf8(name);
                EXPECT_TRUE(std::any_of(logged.begin(), logged.end(),
                                        [&](const std::wstring& t) { return t.rfind(line, 0) == 0; }))
                    << name;
            } else if (folder) {
                EXPECT_TRUE(is_dir(target + L"\\" + c.written)) << name;
            } else {
                EXPECT_EQ(slurp(target + L"\\" + c.written), "<" + name + ">") << name;
            }
        }
        EXPECT_EQ(qvltest::folder_names(target), (std::vector<std::wstring>{L"C_", L"_CON", L"_Com1 .x", L"_aux", L"_prn.d", L"a_b.txt",
                                                               L"abs.txt", L"good.txt", L"keep", L"sub"}));
        // Nothing beside the target or above it.
        EXPECT_EQ(qvltest::folder_names(dir / L"box"), (std::vector<std::wstring>{L"in"}));
        EXPECT_EQ(qvltest::folder_names(dir.path()), (std::vector<std::wstring>{L"box", L"odd.7z"}));
        qvltest::ScratchDir::remove_tree(dir / L"box");
    }
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
