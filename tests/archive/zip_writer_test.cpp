#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/password.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "test_support.h"

namespace {

std::wstring zfix(const std::wstring& name) { return qvltest::fixture(L"zip\\" + name); }

struct PasswordScope {
    explicit PasswordScope(const std::wstring& p) { rez::set_current_password(p); }
    ~PasswordScope() { rez::set_current_password(L""); }
};

rez::ArchiveItem item(const std::string& name, const std::string& data) {
    return {name, {data.begin(), data.end()}};
}

const std::string kNonAscii = "\xe6\x96\x87\xe4\xbb\xb6/\xe8\xaf\xb4\xe6\x98\x8e.txt";  // 文件/说明.txt

std::vector<rez::ArchiveItem> sample_items() {
    std::string big(70000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + (i >> 7));
    return {item("docs/", ""), item("docs/readme.txt", "read me\r\n"), item("docs/empty.txt", ""),
            item(kNonAscii, "\xe4\xb8\xad\xe6\x96\x87"), item("bin/blob.dat", big)};
}

// Lists the archive and reads every entry back; returns name -> data (folders map to "/").
std::map<std::string, std::string> read_back(const std::wstring& path, std::wstring* comment = nullptr,
                                             std::vector<rez::ZipEntry>* listing = nullptr) {
    std::vector<rez::ZipEntry> entries;
    std::wstring c, err;
    EXPECT_TRUE(rez::zip_list_entries(path, entries, c, err)) << rez::to_utf8(err);
    if (comment) *comment = c;
    if (listing) *listing = entries;
    std::map<std::string, std::string> out;
    for (const auto& e : entries) {
        if (e.is_dir) {
            out[e.name].assign(1, '/');  // (a plain = "/" trips a false -Wrestrict in g++ 12)
            continue;
        }
        std::vector<uint8_t> data;
        EXPECT_TRUE(rez::zip_extract_entry(path, e, data, err)) << e.name << " " << rez::to_utf8(err);
        out[e.name] = rez::vector_to_string(data);
    }
    return out;
}

std::map<std::string, std::string> as_map(const std::vector<rez::ArchiveItem>& items) {
    std::map<std::string, std::string> m;
    for (const auto& i : items) m[i.name] = i.name.back() == '/' ? "/" : rez::vector_to_string(i.data);
    return m;
}

std::vector<uint8_t> bytes_of(const std::wstring& path) {
    std::vector<uint8_t> d;
    EXPECT_TRUE(rez::read_file(path, d));
    return d;
}

TEST(ZipWriter, CreateRoundTripsPlainAndEncrypted) {
    qvltest::ScratchDir dir(L"zipw");
    auto items = sample_items();
    std::wstring err, comment;
    std::vector<rez::ZipEntry> listing;

    ASSERT_TRUE(rez::zip_create(dir / L"plain.zip", items, L"\x8BF4\x660E comment", err, L""))
        << rez::to_utf8(err);
    EXPECT_EQ(read_back(dir / L"plain.zip", &comment, &listing), as_map(items));
    EXPECT_EQ(comment, L"\x8BF4\x660E comment");
    for (const auto& e : listing) {
        EXPECT_EQ(e.flags, e.name == kNonAscii ? 0x0800 : 0) << e.name;
        EXPECT_EQ(e.method, 0u);
        EXPECT_EQ(e.encryption, 0u);
        EXPECT_EQ(e.dos_date, 0x0021);
    }
    EXPECT_FALSE(rez::zip_needs_password(dir / L"plain.zip"));

    ASSERT_TRUE(rez::zip_create(dir / L"sealed.zip", items, L"", err, L"p\x00E4ss"));
    EXPECT_TRUE(rez::zip_needs_password(dir / L"sealed.zip"));
    {
        PasswordScope pw(L"p\x00E4ss");
        EXPECT_EQ(read_back(dir / L"sealed.zip", nullptr, &listing), as_map(items));
    }
    for (const auto& e : listing) EXPECT_EQ(e.flags, (e.name == kNonAscii ? 0x0800 : 0) | 0x0001) << e.name;

    // An empty archive: end record and comment only, and our reader lists it as empty.
    ASSERT_TRUE(rez::zip_create(dir / L"empty.zip", {}, L"nothing", err, L""));
    EXPECT_EQ(bytes_of(dir / L"empty.zip").size(), 22u + 7u);
    EXPECT_TRUE(read_back(dir / L"empty.zip", &comment).empty());
    EXPECT_EQ(comment, L"nothing");
}

TEST(ZipWriter, EntryCountLimit) {
    qvltest::ScratchDir dir(L"zipcount");
    std::vector<rez::ArchiveItem> items(65535);
    for (size_t i = 0; i < items.size(); ++i) items[i].name = std::to_string(i);
    std::wstring err;
    ASSERT_TRUE(rez::zip_create(dir / L"max.zip", items, L"", err, L""));
    std::vector<rez::ZipEntry> entries;
    std::wstring comment;
    ASSERT_TRUE(rez::zip_list_entries(dir / L"max.zip", entries, comment, err));
    EXPECT_EQ(entries.size(), 65535u);

    items.push_back(item("one-more", "x"));
    EXPECT_FALSE(rez::zip_create(dir / L"over.zip", items, L"", err, L""));
    EXPECT_EQ(err, L"条目数超过 65535，ZIP32 格式无法表示（需要 Zip64）");
    EXPECT_FALSE(rez::file_exists(dir / L"over.zip"));

    // Appending past the limit is refused before anything is written.
    auto before = bytes_of(dir / L"max.zip");
    EXPECT_FALSE(rez::zip_append(dir / L"max.zip", {item("x", "y")}, err, L""));
    EXPECT_EQ(err, L"添加后条目数超过 65535，ZIP32 格式无法表示（需要 Zip64）");
    EXPECT_TRUE(bytes_of(dir / L"max.zip") == before);
}

TEST(ZipWriter, CommentEncoding) {
    struct Case {
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {L"\x4E2D\x6587", "\xd6\xd0\xce\xc4"},          // Chinese: GBK
        {L"\x4E2D\xD55C", "\xe4\xb8\xad\xed\x95\x9c"},  // GBK has no Hangul: UTF-8, not "??"
        {L"\x3072\x3089\x304C\x306A",
         "\xe3\x81\xb2\xe3\x82\x89\xe3\x81\x8c\xe3\x81\xaa"},  // kana only: UTF-8
        {L"caf\x00E9", "caf\xc3\xa9"},                         // Latin: UTF-8
        {L"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(rez::vector_to_string(rez::zip_encode_comment(c.text)), c.bytes);
}

TEST(ZipWriter, AppendKeepsPeerEntriesValid) {
    qvltest::ScratchDir dir(L"zipappend");
    std::wstring err, comment;
    auto added = std::vector<rez::ArchiveItem>{item("new/", ""), item("new/added.txt", "added"),
                                               item(kNonAscii, "more")};
    // Plain peer archive with a GBK comment, and the same archive behind a 1000-byte stub.
    for (const wchar_t* name : {L"comment_gbk.zip", L"stub.zip", L"zc_crc.zip"}) {
        SCOPED_TRACE(rez::to_utf8(name));
        std::wstring target = dir / name;
        ASSERT_TRUE(CopyFileW(zfix(name).c_str(), target.c_str(), FALSE));
        std::wstring old_comment;
        std::map<std::string, std::string> expected;
        {
            PasswordScope pw(L"secret");
            expected = read_back(target, &old_comment);
        }
        ASSERT_FALSE(expected.empty());
        ASSERT_TRUE(rez::zip_append(target, added, err, L"")) << rez::to_utf8(err);
        for (const auto& [k, v] : as_map(added)) expected[k] = v;  // kNonAscii repeats no old name here
        PasswordScope pw(L"secret");
        EXPECT_EQ(read_back(target, &comment), expected);
        EXPECT_EQ(comment, old_comment);
    }
    // The stub's offsets are absolute now: the end record no longer implies leading data.
    rez::ZipEocd eocd;
    ASSERT_TRUE(rez::zip_find_eocd(bytes_of(dir / L"stub.zip"), eocd));
    EXPECT_EQ(eocd.base_offset, 0u);

    // Encrypted additions under a password; an empty one writes plain entries.
    ASSERT_TRUE(rez::zip_append(dir / L"stub.zip", {item("locked.txt", "locked")}, err, L"pw2"));
    ASSERT_TRUE(rez::zip_append(dir / L"stub.zip", {item("open.txt", "open")}, err, L""));
    std::vector<rez::ZipEntry> listing;
    ASSERT_TRUE(rez::zip_list_entries(dir / L"stub.zip", listing, comment, err));
    for (const auto& e : listing) {
        if (e.name == "locked.txt") {
            EXPECT_EQ(e.encryption, 1u);
        }
        if (e.name == "open.txt") {
            EXPECT_EQ(e.encryption, 0u);
        }
    }

    EXPECT_FALSE(rez::zip_append(dir / L"stub.zip", {}, err, L""));
    EXPECT_EQ(err, L"没有要添加的文件");
    EXPECT_FALSE(rez::zip_append(dir / L"none.zip", added, err, L""));
    EXPECT_EQ(err, L"无法读取原 ZIP 文件");
}

TEST(ZipWriter, AppendKeepsOnlyCommentBytesPresent) {
    qvltest::ScratchDir dir(L"zipclaim");
    std::wstring err, comment;
    ASSERT_TRUE(rez::zip_create(dir / L"c.zip", {item("a", "1")}, L"abc", err, L""));
    auto bytes = bytes_of(dir / L"c.zip");
    bytes[bytes.size() - 3 - 2] = 200;  // the length field claims 200 comment bytes
    ASSERT_TRUE(rez::write_file(dir / L"c.zip", bytes.data(), bytes.size()));
    ASSERT_TRUE(rez::zip_append(dir / L"c.zip", {item("b", "2")}, err, L""));
    EXPECT_EQ(read_back(dir / L"c.zip", &comment),
              (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(comment, L"abc");
    auto after = bytes_of(dir / L"c.zip");
    EXPECT_EQ(after[after.size() - 5], 3);
}

TEST(ZipWriter, SetCommentReplacesAndClearingRestoresBytes) {
    qvltest::ScratchDir dir(L"zipcomment");
    std::wstring target = dir / L"t.zip";
    ASSERT_TRUE(CopyFileW(zfix(L"tree.zip").c_str(), target.c_str(), FALSE));
    auto original = bytes_of(target);
    std::wstring comment;
    ASSERT_TRUE(rez::zip_set_comment(target, L"\x65B0\x7684\x6CE8\x91CA"));
    auto contents = read_back(target, &comment);
    EXPECT_EQ(comment, L"\x65B0\x7684\x6CE8\x91CA");
    EXPECT_EQ(contents.size(), 7u);
    ASSERT_TRUE(rez::zip_set_comment(target, L"second"));
    read_back(target, &comment);
    EXPECT_EQ(comment, L"second");
    ASSERT_TRUE(rez::zip_set_comment(target, L""));
    EXPECT_TRUE(bytes_of(target) == original);
    EXPECT_FALSE(rez::zip_set_comment(dir / L"none.zip", L"x"));
}

TEST(ZipWriter, FailedRewriteLeavesArchiveUntouched) {
    qvltest::ScratchDir dir(L"zipfail");
    std::wstring target = dir / L"t.zip";
    ASSERT_TRUE(CopyFileW(zfix(L"tree.zip").c_str(), target.c_str(), FALSE));
    auto original = bytes_of(target);
    {
        // Another program holds the archive open without delete sharing: it cannot be replaced.
        rez::FileHandle lock(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock);
        std::wstring err;
        EXPECT_FALSE(rez::zip_append(target, {item("x.txt", "x")}, err, L""));
        EXPECT_EQ(err, L"写入 ZIP 文件失败");
        EXPECT_FALSE(rez::zip_set_comment(target, L"new comment"));
        EXPECT_FALSE(rez::zip_create(target, {item("y.txt", "y")}, L"", err, L""));
    }
    EXPECT_TRUE(bytes_of(target) == original);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir / L"*.tmp_qvl_*").c_str(), &fd);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "temporary file left behind";
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

// Writes archives for the peer check script (unzip -t, 7z t) when QVL_ZIP_OUT names a folder;
// next to each archive, a folder of the same name holds the expected files.
TEST(ZipPeerOutput, WriteArchivesForPeerTools) {
    const char* out_env = std::getenv("QVL_ZIP_OUT");
    if (!out_env || !*out_env) GTEST_SKIP() << "run by zip_peer_check.sh";
    std::wstring out = qvltest::host_to_windows(out_env);
    std::wstring err;
    auto items = sample_items();
    auto expect_dir = [&](const std::wstring& name, const std::vector<rez::ArchiveItem>& content) {
        std::wstring base = out + L"\\" + name + L".expected";
        CreateDirectoryW(base.c_str(), nullptr);
        for (const auto& i : content) {
            auto parts = rez::split_archive_path(i.name);
            bool is_dir = i.name.back() == '/';
            std::wstring p = base;
            for (size_t k = 0; k < parts.size(); ++k) {
                p += L"\\" + rez::from_utf8(parts[k]);
                if (k + 1 < parts.size() || is_dir) CreateDirectoryW(p.c_str(), nullptr);
            }
            if (!is_dir) {
                ASSERT_TRUE(rez::write_file(p, i.data.data(), i.data.size()));
            }
        }
    };
    ASSERT_TRUE(rez::zip_create(out + L"\\stored.zip", items, L"\x4E2D\x6587\x6CE8\x91CA", err, L""));
    expect_dir(L"stored.zip", items);
    ASSERT_TRUE(rez::zip_create(out + L"\\zipcrypto.zip", items, L"", err, L"secret"));
    expect_dir(L"zipcrypto.zip", items);
    ASSERT_TRUE(rez::zip_create(out + L"\\empty.zip", {}, L"", err, L""));
    ASSERT_TRUE(rez::zip_create(out + L"\\commented.zip", items, L"", err, L""));
    ASSERT_TRUE(rez::zip_set_comment(out + L"\\commented.zip", L"\x8BF4\x660E"));
    expect_dir(L"commented.zip", items);
    // Appends onto archives made by the peers (plain, behind a stub, 7-Zip's encrypted one).
    auto added =
        std::vector<rez::ArchiveItem>{item("added/", ""), item("added/one.txt", "one"), item(kNonAscii, "x")};
    for (const wchar_t* peer : {L"tree.zip", L"stub.zip", L"zc_crc.zip"}) {
        std::wstring target = out + L"\\appended_" + peer;
        ASSERT_TRUE(CopyFileW(zfix(peer).c_str(), target.c_str(), FALSE));
        ASSERT_TRUE(
            rez::zip_append(target, added, err, peer == std::wstring(L"zc_crc.zip") ? L"secret" : L""));
        expect_dir(L"appended_" + std::wstring(peer), added);
    }
}

}  // namespace
