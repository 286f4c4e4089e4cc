// The 7z reader against archives made by 7z: every coder we read, plain and encoded headers,
// solid folders, passwords, refused methods and damaged files.
#include <gtest/gtest.h>

#include <map>

#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"sevenzip\\" + name); }

std::string read_text(const std::wstring& name) {
    std::vector<uint8_t> d;
    EXPECT_TRUE(rez::read_file(fx(name), d));
    return std::string(d.begin(), d.end());
}

// Sets the held password for one test and clears it afterwards.
struct PasswordScope {
    explicit PasswordScope(const std::wstring& p) { rez::set_current_password(p); }
    ~PasswordScope() { rez::set_current_password(L""); }
};

std::map<std::string, std::string> extract_all(const std::wstring& archive, std::map<std::string, bool>& dirs) {
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    std::map<std::string, std::string> files;
    EXPECT_TRUE(rez::sevenzip_list_entries(archive, entries, comment, err)) << rez::to_utf8(err);
    for (const auto& e : entries) {
        if (e.is_dir) {
            dirs[e.name] = true;
            continue;
        }
        std::vector<uint8_t> data;
        EXPECT_TRUE(rez::sevenzip_extract_entry(archive, e, data, err)) << e.name << " " << rez::to_utf8(err);
        EXPECT_EQ(data.size(), e.size) << e.name;
        files[e.name] = std::string(data.begin(), data.end());
    }
    return files;
}

TEST(SevenZipReader, ReadsEveryCoderAndHeaderKind) {
    PasswordScope pw(L"Secret1");
    const std::map<std::string, std::string> expected = {
        {"a.txt", "first file\n"},
        {"empty.txt", ""},
        {"sub/mixed.bin", read_text(L"mixed.bin")},
        {"sub/deeper/n.txt", "nested\n"},
        {"中文目录/文件.txt", "汉字内容\n"},
    };
    const std::map<std::string, bool> expected_dirs = {
        {"emptydir", true}, {"sub", true}, {"sub/deeper", true}, {"中文目录", true}};
    for (const wchar_t* name : {L"copy_plain.7z", L"lzma_enc.7z", L"lzma_plain.7z", L"lzma2.7z", L"deflate.7z",
                                L"aes_copy.7z", L"aes_data.7z", L"aes_header.7z"}) {
        std::map<std::string, bool> dirs;
        EXPECT_EQ(extract_all(fx(name), dirs), expected) << rez::to_utf8(name);
        EXPECT_EQ(dirs, expected_dirs) << rez::to_utf8(name);
    }
}

TEST(SevenZipReader, MultiChunkLzma2AndSolidFolders) {
    std::map<std::string, bool> dirs;
    auto files = extract_all(fx(L"big_lzma2.7z"), dirs);
    EXPECT_TRUE(files["random3m.bin"] == read_text(L"random3m.bin"));
    EXPECT_TRUE(files["mixed.bin"] == read_text(L"mixed.bin"));

    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::sevenzip_list_entries(fx(L"solid3.7z"), entries, comment, err));
    ASSERT_EQ(entries.size(), 3u);
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(entries[i].folder, 0u);
        EXPECT_EQ(entries[i].index_in_folder, i);
        EXPECT_FALSE(entries[i].encrypted);
    }
    files = extract_all(fx(L"solid3.7z"), dirs);
    EXPECT_EQ(files["small.txt"], read_text(L"small.txt"));
    EXPECT_EQ(files["tree/a.txt"], "first file\n");
}

TEST(SevenZipReader, PasswordsAreAskedForNotCalledDamage) {
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    {
        PasswordScope none(L"");
        EXPECT_FALSE(rez::sevenzip_list_entries(fx(L"aes_header.7z"), entries, comment, err));
        EXPECT_EQ(err, L"该 7z 的文件列表已加密，请先设置密码");
        // Encrypted data under an LZMA-compressed plain header: listed, marked, and a password test that says so.
        ASSERT_TRUE(rez::sevenzip_list_entries(fx(L"aes_data.7z"), entries, comment, err));
        bool any = false;
        for (const auto& e : entries) {
            if (e.is_dir || e.size == 0) continue;
            any = true;
            EXPECT_TRUE(e.encrypted);
            std::vector<uint8_t> data;
            EXPECT_FALSE(rez::sevenzip_extract_entry(fx(L"aes_data.7z"), e, data, err));
            EXPECT_NE(err.find(L"密码"), std::wstring::npos) << rez::to_utf8(err);
        }
        EXPECT_TRUE(any);
        EXPECT_TRUE(rez::sevenzip_needs_password(fx(L"aes_data.7z")));
        EXPECT_TRUE(rez::sevenzip_needs_password(fx(L"aes_header.7z")));
        EXPECT_TRUE(rez::sevenzip_needs_password(fx(L"aes_copy.7z")));
        EXPECT_FALSE(rez::sevenzip_needs_password(fx(L"lzma2.7z")));
        EXPECT_FALSE(rez::sevenzip_needs_password(fx(L"lzma_enc.7z")));
    }
    PasswordScope wrong(L"wrong");
    EXPECT_FALSE(rez::sevenzip_list_entries(fx(L"aes_header.7z"), entries, comment, err));
    EXPECT_EQ(err, L"7z 密码错误或文件损坏");
    for (const wchar_t* name : {L"aes_data.7z", L"aes_copy.7z"}) {
        ASSERT_TRUE(rez::sevenzip_list_entries(fx(name), entries, comment, err));
        for (const auto& e : entries) {
            if (e.name != "sub/mixed.bin") continue;
            std::vector<uint8_t> data;
            EXPECT_FALSE(rez::sevenzip_extract_entry(fx(name), e, data, err));
            const bool password_kind = err.find(L"密码") != std::wstring::npos || err.find(L"CRC") != std::wstring::npos;
            EXPECT_TRUE(password_kind) << rez::to_utf8(err);
        }
    }
}

TEST(SevenZipReader, RefusesOtherMethodsVolumesAndDamage) {
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    for (const wchar_t* name : {L"bzip2.7z", L"deflate64.7z", L"ppmd.7z", L"bcj.7z"}) {
        ASSERT_TRUE(rez::sevenzip_list_entries(fx(name), entries, comment, err)) << rez::to_utf8(name);
        ASSERT_EQ(entries.size(), 1u);
        std::vector<uint8_t> data;
        EXPECT_FALSE(rez::sevenzip_extract_entry(fx(name), entries[0], data, err));
        EXPECT_EQ(err, L"7z 解压失败（不支持的压缩方法或数据损坏）") << rez::to_utf8(name);
    }
    EXPECT_FALSE(rez::sevenzip_list_entries(fx(L"multivol.7z.001"), entries, comment, err));
    EXPECT_EQ(err, L"7z 下一头超出文件范围");
    EXPECT_FALSE(rez::sevenzip_list_entries(fx(L"small.txt"), entries, comment, err));
    EXPECT_EQ(err, L"不是有效的 7z 文件（签名不匹配）");
    EXPECT_FALSE(rez::sevenzip_list_entries(fx(L"missing.7z"), entries, comment, err));
    EXPECT_EQ(err, L"无法读取 7z 文件");

    std::vector<uint8_t> file;
    ASSERT_TRUE(rez::read_file(fx(L"copy_plain.7z"), file));
    rez::SevenZipDatabase db;
    auto bad = file;
    bad[13] ^= 1;  // inside the start header
    EXPECT_FALSE(rez::sevenzip_open(bad, db, err));
    EXPECT_EQ(err, L"7z 起始头 CRC 校验失败");
    bad = file;
    bad[bad.size() - 3] ^= 1;  // inside the header
    EXPECT_FALSE(rez::sevenzip_open(bad, db, err));
    EXPECT_EQ(err, L"7z 下一头 CRC 校验失败");
    bad.assign(file.begin(), file.end() - 10);
    EXPECT_FALSE(rez::sevenzip_open(bad, db, err));
    EXPECT_EQ(err, L"7z 下一头超出文件范围");
    // A flipped data byte in a Copy folder is caught by the stream CRC.
    ASSERT_TRUE(rez::sevenzip_open(file, db, err));
    bad = file;
    bad[32 + 5] ^= 0xFF;
    std::vector<rez::SevenZipEntry> listed = rez::sevenzip_entries_of(db);
    bool checked = false;
    for (const auto& e : listed) {
        if (e.is_dir || e.size < 6 || e.folder != 0) continue;
        std::vector<uint8_t> decoded, out;
        ASSERT_TRUE(rez::sevenzip_unpack_folder(bad, db, e.folder, decoded, err));
        EXPECT_FALSE(rez::sevenzip_slice_entry(db, e, decoded, out, err));
        EXPECT_EQ(err, L"7z 子流 CRC 校验失败");
        checked = true;
    }
    EXPECT_TRUE(checked);
}

TEST(SevenZipReader, HostileSizesAreRefusedWithoutHugeAllocations) {
    // An LZMA folder that claims 2^40 unpacked bytes and a pack stream beyond the file.
    rez::SevenZipFolder folder;
    folder.coders.push_back({{0x03, 0x01, 0x01}, 1, 1, {0x5D, 0, 0, 0x80, 0}});
    folder.packed_streams = {0};
    folder.unpack_sizes = {uint64_t{1} << 40};
    std::vector<uint8_t> packed(64, 0);
    std::vector<uint8_t> out;
    EXPECT_FALSE(rez::sevenzip_decode_folder(folder, packed, out));
    folder.coders[0].method_id = {0x00};  // Copy takes only what is there
    ASSERT_TRUE(rez::sevenzip_decode_folder(folder, packed, out));
    EXPECT_EQ(out.size(), 64u);
}

TEST(SevenZipReader, MutatedHeadersNeverCrash) {
    std::vector<uint8_t> file;
    ASSERT_TRUE(rez::read_file(fx(L"small_plain.7z"), file));
    // Zero CRC fields are not checked, so the mutations reach the parser.
    std::fill(file.begin() + 8, file.begin() + 12, 0);
    std::fill(file.begin() + 28, file.begin() + 32, 0);
    uint64_t offset = 0;
    for (int i = 7; i >= 0; i--) offset = (offset << 8) | file[12 + i];
    const size_t header = static_cast<size_t>(32 + offset);
    ASSERT_LT(header, file.size());
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    int opened = 0;
    for (int it = 0; it < 3000; it++) {
        auto bad = file;
        const int flips = 1 + next() % 4;
        for (int k = 0; k < flips; k++) bad[header + next() % (bad.size() - header)] ^= static_cast<uint8_t>(1 + next() % 255);
        rez::SevenZipDatabase db;
        std::wstring err;
        if (!rez::sevenzip_open(bad, db, err)) continue;
        opened++;
        for (const auto& e : rez::sevenzip_entries_of(db)) {
            if (e.is_dir || e.size == 0) continue;
            std::vector<uint8_t> decoded, out;
            if (rez::sevenzip_unpack_folder(bad, db, e.folder, decoded, err))
                rez::sevenzip_slice_entry(db, e, decoded, out, err);
        }
    }
    EXPECT_GT(opened, 0);
}

}  // namespace
