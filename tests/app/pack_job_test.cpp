// The pack job and the name a new pack gets, run as the dialog's worker runs them: the
// archive is read back, the progress it reports stays in its phase's half, and a cancel
// stops an extraction between files.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/tools/pack_job.h"
#include "archive/member_extract.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

using qvltest::read_text;

void write_text(const std::wstring& path, const std::string& text) { EXPECT_TRUE(qvltest::write_text(path, text)); }

// Every file below the folder: relative path -> contents.
void read_tree(const std::wstring& root, const std::wstring& rel, std::map<std::wstring, std::string>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((root + rel + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring n = fd.cFileName;
        if (n == L"." || n == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            read_tree(root, rel + L"\\" + n, out);
        else
            out[rel.empty() ? n : rel.substr(1) + L"\\" + n] = read_text(root + rel + L"\\" + n);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

struct Step {
    int percent, done, total;
    bool save_phase;
    std::wstring log;
};

struct Recorder {
    std::vector<Step> steps;
    rezui::PackProgressFn fn() {
        return [this](int p, int d, int t, bool s, const std::wstring&, const std::wstring& log) {
            steps.push_back({p, d, t, s, log});
        };
    }
    std::wstring log() const {
        std::wstring all;
        for (const auto& s : steps) all += s.log;
        return all;
    }
};

struct PackJobTest : ::testing::Test {
    qvltest::ScratchDir dir{L"packjob"};
    void SetUp() override { rezui::pack_cancel = false; }
    void TearDown() override { rezui::pack_cancel = false; }
};

}  // namespace

TEST_F(PackJobTest, DefaultNamesComeFromTheFileNamePartAndNeverCollide) {
    CreateDirectoryW((dir / L"textures.old").c_str(), nullptr);
    CreateDirectoryW((dir / L"textures.old\\pack").c_str(), nullptr);
    CreateDirectoryW((dir / L"Old.rez").c_str(), nullptr);
    const std::wstring d = dir.path();
    struct Case {
        std::vector<std::wstring> sources;
        std::wstring expected;
    } cases[] = {
        // A dot in a folder name does not cut the path.
        {{d + L"\\textures.old\\pack"}, d + L"\\textures.old\\pack.rez"},
        {{d + L"\\textures.old"}, d + L"\\textures.rez"},
        {{d + L"\\data\\a.b.rez"}, d + L"\\data\\a.b.rez"},
        {{d + L"\\data\\.cfg"}, d + L"\\data\\.cfg.rez"},
        {{d + L"\\data\\a.dtx", d + L"\\DATA\\b.dtx"}, d + L"\\data\\data.rez"},
        {{d + L"\\data\\a.dtx", d + L"\\x\\b.dtx"}, d + L"\\data\\MergedPack.rez"},
        {{d + L"\\Old.rez\\a", d + L"\\Old.rez\\b"}, d + L"\\Old.rez\\Old.rez"},
        // Several items right below a drive root: their parent "Q:" names no file.
        {{L"Q:\\a", L"Q:\\b"}, L"Q:\\MergedPack.rez"},
        {{L"Q:\\a.txt"}, L"Q:\\a.rez"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rezui::default_pack_output(c.sources), c.expected) << rez::to_utf8(c.sources.front());

    // Taken names count up.
    const std::vector<std::wstring> one{d + L"\\textures.old\\pack"};
    write_text(d + L"\\textures.old\\pack.rez", "x");
    EXPECT_EQ(rezui::default_pack_output(one), d + L"\\textures.old\\pack (1).rez");
    write_text(d + L"\\textures.old\\pack (1).rez", "x");
    EXPECT_EQ(rezui::default_pack_output(one), d + L"\\textures.old\\pack (2).rez");
    write_text(d + L"\\Maps.rez", "x");
    EXPECT_EQ(rezui::default_pack_output({d + L"\\Maps.rez"}), d + L"\\Maps (1).rez");
}

TEST_F(PackJobTest, APackedFolderAndFileReadBackWithTheirNamesAndBytes) {
    const std::wstring src = dir / L"Models";
    CreateDirectoryW(src.c_str(), nullptr);
    CreateDirectoryW((src + L"\\sub.dir").c_str(), nullptr);
    write_text(src + L"\\a.txt", "alpha");
    write_text(src + L"\\sub.dir\\b.dtx", std::string(3000, 'b'));
    // Names with a leading dot are neither counted nor packed.
    write_text(src + L"\\.hidden", "h");
    write_text(dir / L"loose.cfg", "loose file");
    const std::wstring output = dir / L"out.rez";

    Recorder rec;
    // A file that turns up after the count is added all the same: the add phase still
    // must not pass its half.
    rezui::PackProgressFn record = [&rec, &src](int p, int d, int t, bool s, const std::wstring& c,
                                                const std::wstring& log) {
        if (rec.steps.empty()) write_text(src + L"\\late.txt", "late");
        rec.fn()(p, d, t, s, c, log);
    };
    std::wstring err;
    ASSERT_TRUE(rezui::pack_impl({src, dir / L"loose.cfg"}, output, err, record)) << rez::to_utf8(err);
    ASSERT_FALSE(rec.steps.empty());
    EXPECT_EQ(rec.steps.front().total, 3);
    for (const auto& s : rec.steps) {
        if (s.save_phase)
            EXPECT_GE(s.percent, 50);
        else
            EXPECT_LE(s.percent, 50) << "done " << s.done << " of " << s.total;
    }
    const std::wstring log = rec.log();
    EXPECT_NE(log.find(L"[信息] 共 2 个目标待打包"), std::wstring::npos);
    EXPECT_NE(log.find(L"(文件夹) " + src + L"  →  2 个文件"), std::wstring::npos);
    EXPECT_NE(log.find(L"[信息] 总计 3 个文件将被加入到压缩包。"), std::wstring::npos);

    rez::RezFile archive;
    ASSERT_TRUE(rez::RezFile::open(output, archive, err)) << rez::to_utf8(err);
    ASSERT_TRUE(archive.load_all_directories(err)) << rez::to_utf8(err);
    EXPECT_EQ(archive.user_title, "LithTech Resource File");
    std::vector<std::string> names;
    rez::collect_save_items(archive.root, "", names);
    for (auto& n : names) std::replace(n.begin(), n.end(), '/', '\\');
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Models\\a.txt", "Models\\late.txt", "Models\\sub.dir\\b.dtx",
                                               "loose.cfg"}));
    const rez::Entry* big = archive.find_entry("Models\\sub.dir\\b.dtx");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->size, 3000u);

    const std::wstring back = dir / L"back";
    ASSERT_TRUE(rez::extract_archive_to_dir(output, back, err, {}, {})) << rez::to_utf8(err);
    std::map<std::wstring, std::string> files;
    read_tree(back, L"", files);
    EXPECT_EQ(files, (std::map<std::wstring, std::string>{{L"Models\\a.txt", "alpha"},
                                                           {L"Models\\late.txt", "late"},
                                                           {L"Models\\sub.dir\\b.dtx", std::string(3000, 'b')},
                                                           {L"loose.cfg", "loose file"}}));
}

TEST_F(PackJobTest, AMissingSourceOrACancelledSaveWritesNothing) {
    write_text(dir / L"a.txt", "a");
    std::wstring err;
    Recorder rec;
    EXPECT_FALSE(rezui::pack_impl({dir / L"a.txt", dir / L"gone.txt"}, dir / L"x.rez", err, rec.fn()));
    EXPECT_EQ(err, L"源不存在: " + (dir / L"gone.txt"));
    EXPECT_TRUE(rec.steps.empty());

    // The cancel arrives while the archive is being written.
    err.clear();
    rezui::PackProgressFn cancel_in_save = [](int, int, int, bool save, const std::wstring&, const std::wstring&) {
        if (save) rezui::pack_cancel = true;
    };
    EXPECT_FALSE(rezui::pack_impl({dir / L"a.txt"}, dir / L"x.rez", err, cancel_in_save));
    EXPECT_EQ(err, L"操作已取消");
    EXPECT_FALSE(rez::file_exists(dir / L"x.rez"));
}

TEST_F(PackJobTest, ExtractionStopsBetweenFilesOnceCancelled) {
    const std::wstring src = dir / L"many";
    CreateDirectoryW(src.c_str(), nullptr);
    for (int i = 0; i < 40; ++i) write_text(src + L"\\f" + std::to_wstring(i) + L".txt", std::to_string(i));
    std::wstring err;
    ASSERT_TRUE(rezui::pack_impl({src}, dir / L"many.rez", err, {})) << rez::to_utf8(err);

    int calls = 0;
    rezui::PackProgressFn cancel_early = [&calls](int, int, int, bool, const std::wstring& current,
                                                  const std::wstring&) {
        if (!current.empty() && ++calls == 3) rezui::pack_cancel = true;
    };
    const std::wstring out = dir / L"out";
    EXPECT_FALSE(rezui::extract_impl(dir / L"many.rez", out, err, cancel_early));
    EXPECT_EQ(err, L"操作已取消");
    std::map<std::wstring, std::string> files;
    read_tree(out, L"", files);
    EXPECT_GE(files.size(), 1u);
    EXPECT_LT(files.size(), 10u);

    // Not cancelled, every file arrives.
    rezui::pack_cancel = false;
    files.clear();
    EXPECT_TRUE(rezui::extract_impl(dir / L"many.rez", dir / L"all", err, {})) << rez::to_utf8(err);
    read_tree(dir / L"all", L"", files);
    EXPECT_EQ(files.size(), 40u);
}

TEST_F(PackJobTest, ExtractionWritesNothingOutsideItsFolder) {
    write_text(dir / L"keep.txt", "kept");
    write_text(dir / L"evil.txt", "escaped");
    rez::RezFile archive(dir / L"bad.rez");
    std::string out;
    ASSERT_TRUE(archive.add_file("", dir / L"keep.txt", out));
    ASSERT_TRUE(archive.create_directory("up", out));
    ASSERT_TRUE(archive.add_file("up", dir / L"evil.txt", out));
    // A folder record named ".." would lead one level above the destination.
    for (auto& child : archive.root.children)
        if (child.is_dir) child.name = "..";
    std::wstring err;
    ASSERT_TRUE(archive.save(dir / L"bad.rez", err)) << rez::to_utf8(err);
    DeleteFileW((dir / L"evil.txt").c_str());

    CreateDirectoryW((dir / L"inner").c_str(), nullptr);
    const bool ok = rezui::extract_impl(dir / L"bad.rez", dir / L"inner\\out", err, {});
    EXPECT_EQ(read_text(dir / L"inner\\out\\keep.txt"), "kept");
    EXPECT_FALSE(rez::file_exists(dir / L"inner\\evil.txt"));
    EXPECT_FALSE(rez::file_exists(dir / L"evil.txt"));
    // Either the name was made safe inside the folder, or the entry was refused and said so.
    EXPECT_TRUE(ok || !err.empty());
}

// A folder from a case-sensitive disk (made by the fixture script): a.txt, A.txt and a (2).txt,
// and Sub\x.dat beside SUB\X.dat and SUB\y.dat. Every file goes into the archive, the later
// of two twins under a free numbered name, and the log names each renamed file.
TEST_F(PackJobTest, NamesThatDifferOnlyInCaseAreAllKeptUnderNumberedNames) {
    const std::wstring twins = qvltest::fixture(L"app\\case_twins");
    ASSERT_TRUE(rez::file_exists(twins + L"\\a (2).txt"));
    const struct {
        std::vector<std::wstring> sources;
        std::map<std::string, std::string> expected;  // lower-cased entry path -> bytes
        int renamed;
    } cases[] = {
        {{twins},
         {{"case_twins\\a.txt", ""},
          {"case_twins\\a (2).txt", "numbered"},
          {"case_twins\\a (3).txt", ""},
          {"case_twins\\sub\\x.dat", ""},
          {"case_twins\\sub\\x (2).dat", ""},
          {"case_twins\\sub\\y.dat", "only"}},
         2},
        // The twins handed over as two sources of their own land in the archive's root.
        {{twins + L"\\a.txt", twins + L"\\A.txt"}, {{"a.txt", ""}, {"a (2).txt", ""}}, 1},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring output = dir / (L"twins" + std::to_wstring(++n) + L".rez");
        Recorder rec;
        std::wstring err;
        ASSERT_TRUE(rezui::pack_impl(c.sources, output, err, rec.fn())) << rez::to_utf8(err);
        rez::RezFile archive;
        ASSERT_TRUE(rez::RezFile::open(output, archive, err)) << rez::to_utf8(err);
        ASSERT_TRUE(archive.load_all_directories(err)) << rez::to_utf8(err);
        std::vector<std::pair<std::string, rez::Entry*>> items;
        rez::collect_save_items(archive.root, "", items);
        std::map<std::string, std::string> got;
        std::multiset<std::string> bytes;
        for (const auto& [path, entry] : items) {
            std::vector<uint8_t> data;
            ASSERT_TRUE(archive.read_entry_data(*entry, data, err)) << rez::to_utf8(err);
            std::string lowered = rez::to_lower_ascii(path);
            std::replace(lowered.begin(), lowered.end(), '/', '\\');
            got[lowered] = std::string(data.begin(), data.end());
            bytes.insert(got[lowered]);
        }
        // Which twin keeps the plain name is the archive library's choice; every one is kept.
        ASSERT_EQ(got.size(), c.expected.size()) << rez::to_utf8(rec.log());
        for (const auto& [path, content] : c.expected) {
            ASSERT_EQ(got.count(path), 1u) << path << "\n" << rez::to_utf8(rec.log());
            if (!content.empty()) {
                EXPECT_EQ(got[path], content) << path;
            }
        }
        const std::multiset<std::string> all =
            c.sources.size() == 1 ? std::multiset<std::string>{"lower", "upper", "numbered", "one", "two", "only"}
                                  : std::multiset<std::string>{"lower", "upper"};
        EXPECT_EQ(bytes, all);
        const std::wstring log = rec.log();
        size_t lines = 0;
        for (size_t at = log.find(L"[信息] 名称仅大小写不同，改名存入: "); at != std::wstring::npos;
             at = log.find(L"[信息] 名称仅大小写不同，改名存入: ", at + 1))
            ++lines;
        EXPECT_EQ(lines, static_cast<size_t>(c.renamed)) << rez::to_utf8(log);
        EXPECT_NE(log.find(L"[信息] 共 " + std::to_wstring(c.renamed) + L" 个文件与同一文件夹中的文件名称仅大小写不同"),
                  std::wstring::npos)
            << rez::to_utf8(log);
    }
}
