// The 7z writer and comment trailer, read back by our reader. SevenZipPeerOutput writes the
// archives that sevenzip_peer_check.sh hands to 7z.
#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_writer.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> bytes_of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<rez::ArchiveItem> sample_items() {
    std::vector<uint8_t> binary(100000);
    for (size_t i = 0; i < binary.size(); i++) binary[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    return {
        {"a.txt", bytes_of("first file\n")},
        {"dir/", {}},
        {"dir/b.bin", binary},
        {"空文件.txt", {}},
        {"中文/名字.txt", bytes_of("汉字内容\n")},
        {"emptydir/", {}},
        {"sixteen.bin", bytes_of("0123456789abcdef")},
    };
}

struct PasswordScope {
    explicit PasswordScope(const std::wstring& p) { rez::set_current_password(p); }
    ~PasswordScope() { rez::set_current_password(L""); }
};

void expect_reads_back(const std::wstring& path, const std::vector<rez::ArchiveItem>& items, bool encrypted,
                       const std::wstring& expected_comment) {
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::sevenzip_list_entries(path, entries, comment, err)) << rez::to_utf8(err);
    EXPECT_EQ(comment, expected_comment);
    ASSERT_EQ(entries.size(), items.size());
    for (size_t i = 0; i < items.size(); i++) {
        const bool folder = !items[i].name.empty() && items[i].name.back() == '/';
        EXPECT_EQ(entries[i].is_dir, folder) << items[i].name;
        EXPECT_EQ(entries[i].name, folder ? items[i].name.substr(0, items[i].name.size() - 1) : items[i].name);
        if (folder) continue;
        EXPECT_EQ(entries[i].size, items[i].data.size());
        EXPECT_EQ(entries[i].encrypted, encrypted);
        std::vector<uint8_t> data;
        EXPECT_TRUE(rez::sevenzip_extract_entry(path, entries[i], data, err)) << rez::to_utf8(err);
        EXPECT_TRUE(data == items[i].data) << items[i].name;
    }
}

TEST(SevenZipWriter, PlainAndEncryptedArchivesReadBack) {
    qvltest::ScratchDir dir(L"7zw");
    const auto items = sample_items();
    std::wstring err;
    ASSERT_TRUE(rez::sevenzip_create(dir / L"plain.7z", items, L"注释 comment", err)) << rez::to_utf8(err);
    expect_reads_back(dir / L"plain.7z", items, false, L"注释 comment");
    EXPECT_FALSE(rez::sevenzip_needs_password(dir / L"plain.7z"));

    ASSERT_TRUE(rez::sevenzip_create(dir / L"aes.7z", items, L"", err, L"pass词"));
    EXPECT_TRUE(rez::sevenzip_needs_password(dir / L"aes.7z"));
    {
        PasswordScope pw(L"pass词");
        expect_reads_back(dir / L"aes.7z", items, true, L"");
    }
    // An empty file is stored as one encrypted block; the AES coder declares the file's own size.
    std::vector<uint8_t> file;
    ASSERT_TRUE(rez::read_file(dir / L"aes.7z", file));
    rez::SevenZipDatabase db;
    ASSERT_TRUE(rez::sevenzip_open(file, db, err));
    ASSERT_EQ(db.folders.size(), 5u);
    EXPECT_EQ(db.pack_sizes[2], 16u);  // 空文件.txt
    EXPECT_EQ(db.folders[2].unpack_sizes, (std::vector<uint64_t>{0, 0}));
    EXPECT_EQ(db.pack_sizes[3], 16u);  // 名字.txt, 13 bytes
    EXPECT_EQ(db.folders[3].unpack_sizes, (std::vector<uint64_t>{13, 13}));
    EXPECT_EQ(db.pack_sizes[4], 16u);  // exactly one block stays one block

    // No items at all.
    ASSERT_TRUE(rez::sevenzip_create(dir / L"empty.7z", {}, L"", err));
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment;
    ASSERT_TRUE(rez::sevenzip_list_entries(dir / L"empty.7z", entries, comment, err)) << rez::to_utf8(err);
    EXPECT_TRUE(entries.empty());
}

TEST(SevenZipWriter, NumbersUseTheVariableLengthEncoding) {
    struct Case {
        uint64_t value;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {0, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x80, 0x80}},
        {0x3FFF, {0xBF, 0xFF}},
        {0x4000, {0xC0, 0x00, 0x40}},
        {uint64_t{1} << 56, {0xFF, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        rez::sevenzip_write_number(out, c.value);
        EXPECT_EQ(out, c.bytes) << c.value;
        rez::SevenZipByteReader r{out.data(), out.size(), 0, false};
        EXPECT_EQ(rez::sevenzip_read_number(r), c.value);
        EXPECT_FALSE(r.error);
    }
}

TEST(SevenZipComment, SetReplaceClearAndStoredMarkerText) {
    qvltest::ScratchDir dir(L"7zc");
    const std::wstring path = dir / L"c.7z";
    std::wstring err;
    // A stored file whose content ends with what looks like a trailer head.
    std::string fake = "text 7Z_COMMENT_SECTION";
    fake += std::string("\x02\x00\x00\x00", 4);
    ASSERT_TRUE(rez::sevenzip_create(path, {{"fake.txt", bytes_of(fake)}}, L"", err));
    std::vector<uint8_t> original;
    ASSERT_TRUE(rez::read_file(path, original));

    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment;
    ASSERT_TRUE(rez::sevenzip_list_entries(path, entries, comment, err));
    EXPECT_EQ(comment, L"");
    ASSERT_TRUE(rez::sevenzip_set_comment(path, L"第一"));
    ASSERT_TRUE(rez::sevenzip_set_comment(path, L"second"));
    ASSERT_TRUE(rez::sevenzip_list_entries(path, entries, comment, err));
    EXPECT_EQ(comment, L"second");
    std::vector<uint8_t> now;
    ASSERT_TRUE(rez::read_file(path, now));
    EXPECT_EQ(now.size(), original.size() + 22 + 6);  // exactly one trailer
    ASSERT_TRUE(rez::sevenzip_set_comment(path, L""));
    ASSERT_TRUE(rez::read_file(path, now));
    EXPECT_TRUE(now == original);

    // A failed replace leaves the archive byte for byte.
    ASSERT_TRUE(rez::sevenzip_set_comment(path, L"keep"));
    ASSERT_TRUE(rez::read_file(path, original));
    // A folder where the new file would be written makes that write fail.
    const std::wstring blocker = path + L".tmp_qvl_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                std::to_wstring(GetCurrentThreadId());
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    EXPECT_FALSE(rez::sevenzip_set_comment(path, L"lost"));
    RemoveDirectoryW(blocker.c_str());
    ASSERT_TRUE(rez::read_file(path, now));
    EXPECT_TRUE(now == original);
    EXPECT_FALSE(rez::sevenzip_set_comment(dir / L"missing.7z", L"x"));
}

// Archives for the peer check script, which runs this case alone (naming the output folder in
// QVL_SEVENZIP_PEER_OUT) and then tests them with 7z; skipped in ordinary runs.
TEST(SevenZipPeerOutput, WriteArchivesForPeers) {
    const char* target = std::getenv("QVL_SEVENZIP_PEER_OUT");
    if (!target || !*target) GTEST_SKIP() << "run by sevenzip_peer_check.sh";
    const std::wstring out = target[0] == '/' ? qvltest::host_to_windows(target) : rez::from_utf8(target);
    CreateDirectoryW(out.c_str(), nullptr);
    const auto items = sample_items();
    std::wstring err;
    ASSERT_TRUE(rez::sevenzip_create(out + L"\\plain.7z", items, L"", err));
    ASSERT_TRUE(rez::sevenzip_create(out + L"\\aes.7z", items, L"", err, L"pw123"));
    ASSERT_TRUE(rez::sevenzip_create(out + L"\\comment_set.7z", items, L"", err));
    ASSERT_TRUE(rez::sevenzip_set_comment(out + L"\\comment_set.7z", L"注释"));
    ASSERT_TRUE(rez::sevenzip_create(out + L"\\comment_cleared.7z", items, L"old", err));
    ASSERT_TRUE(rez::sevenzip_set_comment(out + L"\\comment_cleared.7z", L"new"));
    ASSERT_TRUE(rez::sevenzip_set_comment(out + L"\\comment_cleared.7z", L""));
    // The files as they should come out, for byte comparison.
    const std::wstring expected = out + L"\\expected";
    for (const auto& item : items) {
        std::wstring rel = rez::from_utf8(item.name);
        for (auto& c : rel)
            if (c == L'/') c = L'\\';
        const std::wstring path = expected + L"\\" + rel;
        for (size_t i = expected.size(); i < path.size(); i++)
            if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
        if (!item.name.empty() && item.name.back() == '/') continue;
        ASSERT_TRUE(rez::write_file(path, item.data.data(), item.data.size()));
    }
}

}  // namespace
