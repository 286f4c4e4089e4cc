// Reading members of a solid 7z one after another: the folder is decoded once and kept until
// it is dropped, the file changes or another password is held; what comes out is what 7z
// itself extracts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/member_extract.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

std::wstring fx(const std::wstring& name) { return qvltest::fixture(L"sevenzip\\" + name); }

std::vector<uint8_t> disk(const std::wstring& path) {
    std::vector<uint8_t> d;
    EXPECT_TRUE(rez::read_file(path, d)) << rez::to_utf8(path);
    return d;
}

std::wstring backslashed(const std::string& name) {
    std::wstring w = rez::from_utf8(name);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

std::vector<uint8_t> member(const std::wstring& archive, const std::string& name) {
    std::vector<uint8_t> out;
    std::wstring err;
    EXPECT_TRUE(rez::extract_archive_entry(rez::ArchiveMember{archive, name, false}, out, err))
        << name << " " << rez::to_utf8(err);
    return out;
}

void set_write_time(const std::wstring& path, uint64_t ticks) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &t));
    CloseHandle(h);
}

TEST(SevenZipCache, MembersOfOneSolidFolderCostOneDecode) {
    qvltest::ScratchDir dir(L"7zcache");
    const std::wstring archive = dir / L"solid.7z";
    ASSERT_TRUE(CopyFileW(fx(L"solid3.7z").c_str(), archive.c_str(), FALSE));
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::sevenzip_list_entries(archive, entries, comment, err));
    ASSERT_EQ(entries.size(), 3u);
    rez::sevenzip_drop_cache();

    const uint64_t start = rez::sevenzip_folders_decoded();
    for (int round = 0; round < 2; round++) {
        for (const auto& e : entries) {
            EXPECT_EQ(member(archive, e.name), disk(fx(L"solid3_out\\" + backslashed(e.name)))) << e.name;
            std::vector<uint8_t> out;
            ASSERT_TRUE(rez::sevenzip_extract_entry(archive, e, out, err)) << rez::to_utf8(err);
            EXPECT_EQ(out, disk(fx(L"solid3_out\\" + backslashed(e.name)))) << e.name;
        }
    }
    EXPECT_EQ(rez::sevenzip_folders_decoded() - start, 1u);

    rez::sevenzip_drop_cache();
    EXPECT_EQ(member(archive, "small.txt"), disk(fx(L"solid3_out\\small.txt")));
    EXPECT_EQ(rez::sevenzip_folders_decoded() - start, 2u);

    // The same bytes with another write time: read again.
    set_write_time(archive, 132000000000000000ull);
    EXPECT_EQ(member(archive, "small.txt"), disk(fx(L"solid3_out\\small.txt")));
    EXPECT_EQ(rez::sevenzip_folders_decoded() - start, 3u);
    EXPECT_EQ(member(archive, "tree/a.txt"), disk(fx(L"solid3_out\\tree\\a.txt")));
    EXPECT_EQ(rez::sevenzip_folders_decoded() - start, 3u);

    // Another archive in its place: its own members, never the kept folder's bytes.
    ASSERT_TRUE(CopyFileW(fx(L"lzma2.7z").c_str(), archive.c_str(), FALSE));
    set_write_time(archive, 132000000000000000ull);
    EXPECT_EQ(rez::vector_to_string(member(archive, "a.txt")), "first file\n");
    std::vector<uint8_t> out;
    EXPECT_FALSE(rez::extract_archive_entry(rez::ArchiveMember{archive, "small.txt", false}, out, err));
    EXPECT_EQ(err, L"7z 中未找到条目: small.txt");
}

// A folder decoded with the right password does not answer for a wrong one: the password
// check of the extraction reads through the same path.
TEST(SevenZipCache, KeptEncryptedFolderIsNotServedUnderAnotherPassword) {
    rez::sevenzip_drop_cache();
    const std::wstring archive = fx(L"aes_data.7z");
    rez::set_current_password(L"Secret1");
    EXPECT_EQ(rez::vector_to_string(member(archive, "a.txt")), "first file\n");
    rez::set_current_password(L"wrong");
    std::vector<uint8_t> out;
    std::wstring err;
    EXPECT_FALSE(rez::extract_archive_entry(rez::ArchiveMember{archive, "a.txt", false}, out, err));
    const bool password_kind = err.find(L"密码") != std::wstring::npos || err.find(L"CRC") != std::wstring::npos;
    EXPECT_TRUE(password_kind) << rez::to_utf8(err);
    rez::set_current_password(L"Secret1");
    EXPECT_EQ(rez::vector_to_string(member(archive, "a.txt")), "first file\n");
    rez::set_current_password(L"");
}

}  // namespace
