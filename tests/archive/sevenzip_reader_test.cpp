// The 7z reader against archives made by 7z: every coder we read, plain and encoded headers,
// solid folders, passwords, refused methods and damaged files.
#include <gtest/gtest.h>

#include <map>

#include "archive/crc32.h"
#include "archive/member_extract.h"
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
        // Only an encrypted file list makes the listing itself depend on a password.
        EXPECT_TRUE(rez::sevenzip_header_is_encrypted(fx(L"aes_header.7z")));
        for (const wchar_t* name : {L"aes_data.7z", L"aes_copy.7z", L"lzma_enc.7z", L"small.txt", L"missing.7z"})
            EXPECT_FALSE(rez::sevenzip_header_is_encrypted(fx(name))) << rez::to_utf8(name);
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
        EXPECT_EQ(err, L"7z 子流 CRC 校验失败: " + rez::from_utf8(e.name));
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

// A 7z number: leading one bits of the first byte count the little-endian bytes after it.
void put_number(std::vector<uint8_t>& out, uint64_t v) {
    int extra = 0;
    while (extra < 8 && v >= (uint64_t{1} << (7 * (extra + 1)))) extra++;
    if (extra == 8) {
        out.push_back(0xFF);
    } else {
        out.push_back(static_cast<uint8_t>((0xFF00u >> extra) & 0xFF) | static_cast<uint8_t>(v >> (8 * extra)));
    }
    for (int i = 0; i < extra; i++) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A small 7z whose one LZMA folder states `folder_size` unpacked bytes, split into files of
// the given sizes (the last takes the rest); the packed bytes are only a few zeros.
std::vector<uint8_t> lzma_folder_archive(uint64_t folder_size, const std::vector<std::string>& names,
                                         const std::vector<uint64_t>& leading_sizes) {
    const std::vector<uint8_t> packed(16, 0);
    std::vector<uint8_t> h = {0x01, 0x04, 0x06};  // Header, MainStreamsInfo, PackInfo
    put_number(h, 0);
    put_number(h, 1);
    h.push_back(0x09);
    put_number(h, packed.size());
    h.push_back(0x00);
    h.insert(h.end(), {0x07, 0x0B, 0x01, 0x00});  // UnpackInfo, Folder, one, not external
    h.insert(h.end(), {0x01, 0x23, 0x03, 0x01, 0x01, 0x05, 0x5D, 0x00, 0x00, 0x10, 0x00});
    h.push_back(0x0C);
    put_number(h, folder_size);
    h.push_back(0x00);
    h.insert(h.end(), {0x08, 0x0D});  // SubStreamsInfo, NumUnpackStream
    put_number(h, names.size());
    if (!leading_sizes.empty()) {
        h.push_back(0x09);
        for (uint64_t size : leading_sizes) put_number(h, size);
    }
    h.insert(h.end(), {0x00, 0x00});  // ends of SubStreamsInfo and MainStreamsInfo
    h.push_back(0x05);
    put_number(h, names.size());
    std::vector<uint8_t> utf16 = {0x00};
    for (const std::string& n : names) {
        for (char c : n) utf16.insert(utf16.end(), {static_cast<uint8_t>(c), 0});
        utf16.insert(utf16.end(), {0, 0});
    }
    h.push_back(0x11);
    put_number(h, utf16.size());
    h.insert(h.end(), utf16.begin(), utf16.end());
    h.insert(h.end(), {0x00, 0x00});  // ends of FilesInfo and Header

    std::vector<uint8_t> file = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04};
    file.resize(32, 0);
    const uint64_t fields[2] = {packed.size(), h.size()};
    for (int f = 0; f < 2; f++)
        for (int i = 0; i < 8; i++) file[12 + 8 * f + i] = static_cast<uint8_t>(fields[f] >> (8 * i));
    rez::store_u32le(file.data() + 28, rez::crc32(h.data(), h.size()));
    rez::store_u32le(file.data() + 8, rez::crc32(file.data() + 12, 20));
    file.insert(file.end(), packed.begin(), packed.end());
    file.insert(file.end(), h.begin(), h.end());
    return file;
}

// A file, or the solid folder it lies in, too large to be unpacked in memory is refused by
// its size with the entry's name, not called damage; member reading and whole-archive
// extraction alike.
TEST(SevenZipReader, EntryOverTheDecodingLimitIsRefusedBySize) {
    qvltest::ScratchDir dir(L"7zbig");
    struct Case {
        const wchar_t* file;
        std::vector<std::string> names;
        std::vector<uint64_t> leading_sizes;
        std::wstring message;
    };
    const Case cases[] = {
        {L"one.7z", {"big.bin"}, {}, L"条目过大，无法在此解压: big.bin (768.0 MB)"},
        {L"solid.7z", {"small.txt", "big.bin"}, {10}, L"条目所在的压缩块过大，无法在此解压: small.txt (768.0 MB)"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = lzma_folder_archive(0x30000000, c.names, c.leading_sizes);
        ASSERT_TRUE(rez::write_file(dir / c.file, bytes.data(), bytes.size()));
        std::vector<rez::SevenZipEntry> entries;
        std::wstring comment, err;
        ASSERT_TRUE(rez::sevenzip_list_entries(dir / c.file, entries, comment, err)) << rez::to_utf8(err);
        ASSERT_EQ(entries.size(), c.names.size());
        std::vector<uint8_t> out;
        EXPECT_FALSE(rez::sevenzip_extract_entry(dir / c.file, entries[0], out, err));
        EXPECT_EQ(err, c.message);
        EXPECT_FALSE(rez::extract_archive_to_dir(dir / c.file, dir / L"out", err, {}, {}));
        EXPECT_EQ(err, c.message);
    }
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
