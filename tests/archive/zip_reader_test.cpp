#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/crypto.h"
#include "archive/lzma.h"
#include "archive/member_extract.h"
#include "archive/password.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "test_support.h"

namespace {

std::wstring zfix(const std::wstring& name) { return qvltest::fixture(L"zip\\" + name); }

struct PasswordScope {
    explicit PasswordScope(const std::wstring& p) { rez::set_current_password(p); }
    ~PasswordScope() { rez::set_current_password(L""); }
};

std::vector<uint8_t> disk(const std::wstring& rel) {
    std::vector<uint8_t> d;
    EXPECT_TRUE(rez::read_file(zfix(rel), d)) << rez::to_utf8(rel);
    return d;
}

const std::string kChineseName = "src/\xe4\xb8\xad\xe6\x96\x87\xe5\x90\x8d.txt";  // src/中文名.txt

std::map<std::string, rez::ZipEntry> list_ok(const std::wstring& archive, std::wstring* comment = nullptr) {
    std::vector<rez::ZipEntry> entries;
    std::wstring c, err;
    EXPECT_TRUE(rez::zip_list_entries(archive, entries, c, err)) << rez::to_utf8(err);
    if (comment) *comment = c;
    std::map<std::string, rez::ZipEntry> by_name;
    for (auto& e : entries) by_name[e.name] = e;
    return by_name;
}

// A fixed-Huffman Deflate stream of one zero byte followed by `matches` copies of 258 bytes
// at distance 1: a few bytes that expand about a thousandfold.
std::vector<uint8_t> zero_run_stream(size_t matches) {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int held = 0;
    auto bits = [&](uint32_t value, int count) {  // packed from the low bit up
        acc |= value << held;
        for (held += count; held >= 8; held -= 8, acc >>= 8) out.push_back(static_cast<uint8_t>(acc));
    };
    auto code = [&](uint32_t value, int length) {  // Huffman codes go most significant bit first
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) reversed |= ((value >> i) & 1u) << (length - 1 - i);
        bits(reversed, length);
    };
    bits(1, 1);         // final block
    bits(1, 2);         // fixed codes
    code(0x30, 8);      // literal 0
    for (size_t i = 0; i < matches; ++i) {
        code(0xC5, 8);  // length 258
        code(0, 5);     // distance 1
    }
    code(0, 7);         // end of block
    if (held) out.push_back(static_cast<uint8_t>(acc));
    return out;
}

// Every file of the fixture tree, extracted from `archive`, equals its source on disk.
void expect_tree_contents(const std::wstring& archive, const std::string& chinese_name) {
    auto entries = list_ok(archive);
    ASSERT_EQ(entries.size(), 7u);
    for (const char* dir : {"src/", "src/sub/", "src/sub/empty/"}) {
        ASSERT_TRUE(entries.count(dir)) << dir;
        EXPECT_TRUE(entries[dir].is_dir);
    }
    const std::pair<std::string, std::wstring> files[] = {{"src/a.txt", L"src\\a.txt"},
                                                          {"src/sub/n.txt", L"src\\sub\\n.txt"},
                                                          {"src/sub/r.bin", L"src\\sub\\r.bin"},
                                                          {chinese_name, L"src\\\x4E2D\x6587\x540D.txt"}};
    for (const auto& [name, rel] : files) {
        ASSERT_TRUE(entries.count(name)) << name;
        EXPECT_FALSE(entries[name].is_dir);
        std::vector<uint8_t> out;
        std::wstring err;
        EXPECT_TRUE(rez::zip_extract_entry(archive, entries[name], out, err))
            << name << " " << rez::to_utf8(err);
        EXPECT_TRUE(out == disk(rel)) << name;
    }
}

TEST(ZipReader, PeerArchivesListAndExtract) {
    // Info-ZIP without the UTF-8 flag: high-byte names follow the ANSI code page.
    const std::string raw = kChineseName;
    std::string ansi_name = rez::codepage_to_utf8(raw.data(), raw.size(), CP_ACP);
    expect_tree_contents(zfix(L"tree.zip"), ansi_name);
    expect_tree_contents(zfix(L"stored.zip"), ansi_name);
    auto tree = list_ok(zfix(L"tree.zip"));
    EXPECT_EQ(tree["src/sub/n.txt"].method, 8u);
    EXPECT_EQ(tree["src/a.txt"].method, 0u);  // too small to gain from Deflate
    for (auto& [name, e] : list_ok(zfix(L"stored.zip"))) EXPECT_EQ(e.method, 0u) << name;
    EXPECT_FALSE(rez::zip_needs_password(zfix(L"tree.zip")));

    // A self-extractor-like stub in front: offsets found through the base offset.
    expect_tree_contents(zfix(L"stub.zip"), ansi_name);
    std::vector<uint8_t> bytes = disk(L"stub.zip");
    rez::ZipEocd eocd;
    ASSERT_TRUE(rez::zip_find_eocd(bytes, eocd));
    EXPECT_EQ(eocd.base_offset, 1000u);
}

// The users' Windows is Simplified Chinese (ANSI code page 936); the tests run in its locale.
TEST(ZipReader, RunsUnderTheUsersAnsiCodePage) { EXPECT_EQ(GetACP(), 936u); }

// A ZIP made on the users' Windows: GBK names without the UTF-8 flag list as Chinese, and
// the files extracted carry those names, "籠" (its second GBK byte is "\\") included.
TEST(ZipReader, GbkNamesWithoutTheUtf8Flag) {
    const std::wstring archive = zfix(L"gbk_names.zip");
    std::vector<std::string> listed;
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::zip_list_entries(archive, entries, comment, err)) << rez::to_utf8(err);
    for (const rez::ZipEntry& e : entries) {
        EXPECT_EQ(e.flags & 0x0800, 0) << e.name;
        listed.push_back(e.name);
    }
    EXPECT_EQ(listed, (std::vector<std::string>{rez::to_utf8(L"中文目录/"), rez::to_utf8(L"中文目录/说明文件.txt"),
                                                rez::to_utf8(L"中文目录/籠.txt"), rez::to_utf8(L"压缩包.txt")}));

    qvltest::ScratchDir dir(L"gbkzip");
    ASSERT_TRUE(rez::extract_archive_to_dir(archive, dir / L"out", err, {}, {})) << rez::to_utf8(err);
    const struct {
        const wchar_t* path;
        const char* text;
    } files[] = {
        {L"中文目录\\说明文件.txt", "GBK names\n"},
        {L"中文目录\\籠.txt", "trail byte 5C\n"},
        {L"压缩包.txt", "top\n"},
    };
    for (const auto& f : files) {
        std::vector<uint8_t> data;
        EXPECT_TRUE(rez::read_file(dir / (std::wstring(L"out\\") + f.path), data)) << rez::to_utf8(f.path);
        EXPECT_EQ(std::string(data.begin(), data.end()), f.text) << rez::to_utf8(f.path);
    }
}

// A name without the UTF-8 flag is read from Info-ZIP's Unicode Path field when the field was
// made for the stored name (its CRC matches) and is of version 1; otherwise the code page rule
// holds. The content is read under either name.
TEST(ZipReader, UnicodePathFieldOfTheStoredName) {
    const std::wstring archive = zfix(L"unicode_path.zip");
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::zip_list_entries(archive, entries, comment, err)) << rez::to_utf8(err);
    std::vector<std::string> listed;
    for (const rez::ZipEntry& e : entries) listed.push_back(e.name);
    EXPECT_EQ(listed, (std::vector<std::string>{rez::to_utf8(L"说明.txt"), "old.txt", rez::to_utf8(L"压缩.txt")}));
    ASSERT_EQ(entries.size(), 3u);
    std::vector<uint8_t> data;
    ASSERT_TRUE(rez::zip_extract_entry(archive, entries[0], data, err)) << rez::to_utf8(err);
    EXPECT_EQ(std::string(data.begin(), data.end()), "field\n");
}

TEST(ZipReader, EncryptedEntriesOfEachKind) {
    struct Case {
        const wchar_t* file;
        uint32_t encryption, strength;
    } cases[] = {{L"zc_time.zip", 1, 3},
                 {L"zc_crc.zip", 1, 3},
                 {L"aes128.zip", 2, 1},
                 {L"aes192.zip", 2, 2},
                 {L"aes256.zip", 2, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(rez::to_utf8(c.file));
        std::wstring archive = zfix(c.file);
        EXPECT_TRUE(rez::zip_needs_password(archive));
        auto entries = list_ok(archive);
        ASSERT_TRUE(entries.count("src/sub/n.txt"));
        const rez::ZipEntry n = entries["src/sub/n.txt"];
        EXPECT_EQ(n.encryption, c.encryption);
        EXPECT_EQ(n.aes_strength, c.strength);
        EXPECT_EQ(n.method, 8u);
        EXPECT_EQ(entries["src/sub/"].encryption, 0u);
        if (c.encryption == 2) {
            EXPECT_EQ(n.crc32, 0u);  // AE-2: no CRC to check
        }

        std::vector<uint8_t> out;
        std::wstring err;
        EXPECT_FALSE(rez::zip_extract_entry(archive, n, out, err));
        EXPECT_EQ(err, L"该 ZIP 条目已加密，请先设置密码");
        for (const wchar_t* wrong : {L"wrong", L"Secret", L"secret1", L"s", L"\x5BC6\x7801"}) {
            PasswordScope pw(wrong);
            err.clear();
            EXPECT_FALSE(rez::zip_extract_entry(archive, n, out, err));
            bool says_password =
                err.find(L"密码") != std::wstring::npos || err.find(L"CRC") != std::wstring::npos;
            EXPECT_TRUE(says_password) << rez::to_utf8(err);
            if (c.encryption == 2) {
                EXPECT_EQ(err, L"ZIP 密码错误");
            }
        }
        PasswordScope pw(L"secret");
        for (const auto& [name, rel] :
             std::vector<std::pair<std::string, std::wstring>>{{"src/sub/n.txt", L"src\\sub\\n.txt"},
                                                               {"src/sub/r.bin", L"src\\sub\\r.bin"},
                                                               {"src/a.txt", L"src\\a.txt"}}) {
            ASSERT_TRUE(rez::zip_extract_entry(archive, entries[name], out, err))
                << name << rez::to_utf8(err);
            EXPECT_TRUE(out == disk(rel)) << name;
        }
    }
    // Time-based check byte (data descriptor flag) from Info-ZIP, CRC-based from 7-Zip.
    EXPECT_TRUE(list_ok(zfix(L"zc_time.zip"))["src/a.txt"].flags & 0x0008);
    auto seven = list_ok(zfix(L"zc_crc.zip"));
    EXPECT_FALSE(seven["src/a.txt"].flags & 0x0008);
    ASSERT_TRUE(seven.count(kChineseName));  // UTF-8 flag: the name as stored
    EXPECT_TRUE(seven[kChineseName].flags & 0x0800);
}

TEST(ZipReader, WrongPasswordPastTheCheckByteIsStillAPasswordFailure) {
    // About one wrong password in 256 passes the check byte; the Deflate data then decodes
    // to garbage, which must be reported as a password problem, not as a damaged archive.
    std::wstring archive = zfix(L"zc_crc.zip");
    auto entries = list_ok(archive);
    const rez::ZipEntry n = entries["src/sub/n.txt"];
    std::vector<uint8_t> file = disk(L"zc_crc.zip"), plain;
    std::string lucky;
    for (int i = 0; i < 20000 && lucky.empty(); ++i) {
        std::string candidate = "wrong" + std::to_string(i);
        if (rez::zipcrypto_decrypt(candidate, file.data() + n.data_offset, n.compressed_size,
                                   static_cast<uint8_t>(n.crc32 >> 24), plain))
            lucky = candidate;
    }
    ASSERT_FALSE(lucky.empty());
    PasswordScope pw(rez::from_utf8(lucky));
    std::vector<uint8_t> out;
    std::wstring err;
    EXPECT_FALSE(rez::zip_extract_entry(archive, n, out, err));
    EXPECT_TRUE(err.find(L"密码") != std::wstring::npos || err.find(L"CRC") != std::wstring::npos)
        << rez::to_utf8(err);
}

TEST(ZipReader, CommentsInThreeEncodings) {
    std::wstring comment;
    list_ok(zfix(L"comment_ascii.zip"), &comment);
    EXPECT_EQ(comment, L"plain ASCII comment");
    list_ok(zfix(L"comment_utf8.zip"), &comment);
    EXPECT_EQ(comment, L"\x4E2D\x6587\x6CE8\x91CA comment");
    list_ok(zfix(L"comment_gbk.zip"), &comment);
    EXPECT_EQ(comment, L"\x4E2D\x6587\x6CE8\x91CA \x538B\x7F29\x5305");
    list_ok(zfix(L"tree.zip"), &comment);
    EXPECT_EQ(comment, L"");
}

TEST(ZipReader, RefusedMethodsAndSplitArchives) {
    struct Case {
        const wchar_t* file;
        const wchar_t* message;
    } cases[] = {{L"bzip2.zip", L"不支持的 ZIP 压缩方法: 12"},
                 {L"deflate64.zip", L"不支持的 ZIP 压缩方法: 9"},
                 {L"ppmd.zip", L"不支持的 ZIP 压缩方法: 98"}};
    for (const auto& c : cases) {
        auto entries = list_ok(zfix(c.file));
        ASSERT_EQ(entries.size(), 1u);
        std::vector<uint8_t> out;
        std::wstring err;
        EXPECT_FALSE(rez::zip_extract_entry(zfix(c.file), entries.begin()->second, out, err));
        EXPECT_EQ(err, c.message);
    }
    // The last piece of a split archive: its entries' headers live in the other pieces.
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    EXPECT_FALSE(rez::zip_list_entries(zfix(L"split.zip"), entries, comment, err));
    EXPECT_EQ(err, L"ZIP 本地文件头无效");
    EXPECT_FALSE(rez::zip_list_entries(zfix(L"missing.zip"), entries, comment, err));
    EXPECT_EQ(err, L"无法读取 ZIP 文件");
}

TEST(ZipReader, EndRecordSearchWindow) {
    rez::ZipEocd eocd;
    std::vector<uint8_t> file(22 + 65535, 0);
    rez::store_u32le(file.data(), 0x06054B50);
    ASSERT_TRUE(rez::zip_find_eocd(file, eocd));
    EXPECT_EQ(eocd.position, 0u);
    file.push_back(0);
    EXPECT_FALSE(rez::zip_find_eocd(file, eocd));

    qvltest::ScratchDir dir(L"zipeocd");
    ASSERT_TRUE(rez::write_file(dir / L"far.zip", file.data(), file.size()));
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    EXPECT_FALSE(rez::zip_list_entries(dir / L"far.zip", entries, comment, err));
    EXPECT_EQ(err, L"未找到 ZIP 结束记录（EOCD）");
    EXPECT_FALSE(rez::zip_find_eocd(std::vector<uint8_t>(21, 0), eocd));
}

// The size field is only a claim: a small stream stating 4 GiB must not be allowed to expand
// past the decoders' common limit.
TEST(ZipReader, DeflateOutputStopsAtTheCommonLimit) {
    rez::ZipEntry e;
    e.method = 8;
    std::vector<uint8_t> out;
    std::wstring err;

    const std::vector<uint8_t> small = zero_run_stream(1000);
    e.compressed_size = static_cast<uint32_t>(small.size());
    e.uncompressed_size = 1 + 258 * 1000;
    ASSERT_TRUE(rez::zip_extract_entry_in(small, e, out, err)) << rez::to_utf8(err);
    EXPECT_TRUE(out == std::vector<uint8_t>(1 + 258 * 1000, 0));

    const std::vector<uint8_t> bomb = zero_run_stream(rez::kMaxDecodedSize / 258 + 1);
    e.compressed_size = static_cast<uint32_t>(bomb.size());
    e.uncompressed_size = static_cast<uint32_t>(rez::kMaxDecodedSize);
    EXPECT_FALSE(rez::zip_extract_entry_in(bomb, e, out, err));
    EXPECT_EQ(err, L"ZIP Deflate 解压失败");
    EXPECT_TRUE(out.empty());
}

// One Deflate entry whose local and central headers both state `claimed` unpacked bytes.
std::vector<uint8_t> one_deflate_entry_zip(const std::string& name, const std::vector<uint8_t>& stream,
                                           uint32_t claimed) {
    std::vector<uint8_t> z;
    auto u16 = [&z](uint32_t v) {
        z.push_back(static_cast<uint8_t>(v));
        z.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    auto sizes = [&] {  // CRC (never reached), packed and unpacked size
        u32(0x12345678);
        u32(static_cast<uint32_t>(stream.size()));
        u32(claimed);
    };
    u32(0x04034B50), u16(20), u16(0), u16(8), u16(0), u16(0x5A21);
    sizes();
    u16(static_cast<uint32_t>(name.size())), u16(0);
    z.insert(z.end(), name.begin(), name.end());
    z.insert(z.end(), stream.begin(), stream.end());
    const uint32_t directory = static_cast<uint32_t>(z.size());
    u32(0x02014B50), u16(20), u16(20), u16(0), u16(8), u16(0), u16(0x5A21);
    sizes();
    u16(static_cast<uint32_t>(name.size())), u16(0), u16(0), u16(0), u16(0), u32(0), u32(0);
    z.insert(z.end(), name.begin(), name.end());
    const uint32_t directory_size = static_cast<uint32_t>(z.size()) - directory;
    u32(0x06054B50), u16(0), u16(0), u16(1), u16(1), u32(directory_size), u32(directory), u16(0);
    return z;
}

// An entry too large to be unpacked in memory says so, with its name and size, instead of
// calling a sound archive damaged; one member read and whole-archive extraction alike.
TEST(ZipReader, EntryOverTheDecodingLimitIsRefusedBySize) {
    qvltest::ScratchDir dir(L"zipbig");
    const std::vector<uint8_t> bytes = one_deflate_entry_zip("big.bin", zero_run_stream(4), 0x30000000u);
    ASSERT_TRUE(rez::write_file(dir / L"big.zip", bytes.data(), bytes.size()));
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::zip_list_entries(dir / L"big.zip", entries, comment, err)) << rez::to_utf8(err);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].uncompressed_size, 0x30000000u);
    std::vector<uint8_t> out;
    EXPECT_FALSE(rez::zip_extract_entry(dir / L"big.zip", entries[0], out, err));
    EXPECT_EQ(err, L"条目过大，无法在此解压: big.bin (768.0 MB)");
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(rez::extract_archive_to_dir(dir / L"big.zip", dir / L"out", err, {}, {}));
    EXPECT_EQ(err, L"条目过大，无法在此解压: big.bin (768.0 MB)");
}

TEST(ZipReader, DamagedArchivesGiveTheirMessages) {
    std::vector<uint8_t> good = disk(L"stored.zip");
    std::vector<rez::ZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::zip_list_entries_in(good, entries, comment, err));
    const rez::ZipEntry* a = nullptr;
    for (auto& e : entries)
        if (e.name == "src/a.txt") a = &e;
    ASSERT_NE(a, nullptr);
    std::vector<uint8_t> out;

    auto flipped = good;
    flipped[a->data_offset] ^= 1;
    EXPECT_FALSE(rez::zip_extract_entry_in(flipped, *a, out, err));
    EXPECT_EQ(err, L"ZIP CRC 校验失败");

    rez::ZipEntry beyond = *a;
    beyond.data_offset = good.size() - 2;
    EXPECT_FALSE(rez::zip_extract_entry_in(good, beyond, out, err));
    EXPECT_EQ(err, L"ZIP 条目数据越界");

    // A stored entry whose size field says 0 is returned without a size check.
    rez::ZipEntry unsized = *a;
    unsized.uncompressed_size = 0;
    unsized.crc32 = 0;
    ASSERT_TRUE(rez::zip_extract_entry_in(good, unsized, out, err));
    EXPECT_EQ(rez::vector_to_string(out), "hello\n");

    // A Deflate entry claiming 512 MiB: decoded to its real size, then refused on the mismatch.
    auto tree = list_ok(zfix(L"tree.zip"));
    rez::ZipEntry inflated = tree["src/sub/n.txt"];
    ASSERT_EQ(inflated.method, 8u);
    inflated.uncompressed_size = static_cast<uint32_t>(rez::kMaxDecodedSize);
    EXPECT_FALSE(rez::zip_extract_entry(zfix(L"tree.zip"), inflated, out, err));
    EXPECT_EQ(err, L"ZIP 解压大小不匹配");
    EXPECT_TRUE(out.empty());

    auto bad_local = good;
    bad_local[0] = 'X';  // the first entry's local header starts the file
    EXPECT_FALSE(rez::zip_list_entries_in(bad_local, entries, comment, err));
    EXPECT_EQ(err, L"ZIP 本地文件头无效");

    rez::ZipEocd eocd;
    ASSERT_TRUE(rez::zip_find_eocd(good, eocd));
    auto bad_dir = good;
    bad_dir[eocd.directory_offset] = 'X';
    EXPECT_FALSE(rez::zip_list_entries_in(bad_dir, entries, comment, err));
    EXPECT_EQ(err, L"ZIP 中央目录无效");

    auto extra_count = good;  // one record more than the directory holds
    extra_count[eocd.position + 10] = static_cast<uint8_t>(eocd.entry_count + 1);
    EXPECT_FALSE(rez::zip_list_entries_in(extra_count, entries, comment, err));
    EXPECT_EQ(err, L"ZIP 中央目录条目无效");
}

}  // namespace
