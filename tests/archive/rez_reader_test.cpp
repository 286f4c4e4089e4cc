// The REZ reader against archives built byte by byte, and against damaged and hostile input.
#include <gtest/gtest.h>

#include <random>

#include "archive/rez_model.h"
#include "rez_test_util.h"
#include "test_support.h"

using namespace reztest;

namespace {

constexpr uint32_t kDTX = 0x00445458;  // "DTX" as stored

// header | "hello" | "world!!" | root block | Sub block
Bytes two_level_archive(uint32_t sub_id = 20000000) {
    const uint32_t root_pos = 168 + 5 + 7;
    const Bytes file_a = file_record(168, 5, 42, kDTX, "TEX", 0, 0, 0, 77);
    const uint32_t root_len = static_cast<uint32_t>(file_a.size() + dir_record(0, 0, "Sub").size());
    const uint32_t sub_pos = root_pos + root_len;
    const Bytes sub = file_record(173, 7, sub_id, 0, "readme", 2, 2, 1);  // two keys, attr with its extra byte
    const Bytes root = cat({file_a, dir_record(sub_pos, static_cast<uint32_t>(sub.size()), "Sub", 99)});
    Bytes h = header(root_pos, root_len, 1, "Signature", "My Title");
    h[64 + 8] = 0;  // title padded with a zero and then spaces
    return cat({h, {'h', 'e', 'l', 'l', 'o'}, {'w', 'o', 'r', 'l', 'd', '!', '!'}, scramble(root, root_pos),
                scramble(sub, sub_pos)});
}

struct Dir : qvltest::ScratchDir {
    Dir() : qvltest::ScratchDir(L"rezread") {}
    std::wstring put(const std::wstring& name, const Bytes& b) {
        const std::wstring p = *this / name;
        write(p, b);
        return p;
    }
};

TEST(RezReader, HandBuiltArchive) {
    Dir d;
    const std::wstring p = d.put(L"a.rez", two_level_archive());
    rez::RezFile m;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(p, m, err)) << rez::to_utf8(err);
    EXPECT_EQ(m.path, p);
    EXPECT_FALSE(m.engine_layout);
    EXPECT_EQ(m.signature_text, "Signature");
    EXPECT_EQ(m.user_title, "My Title");
    ASSERT_EQ(m.root.children.size(), 2u);
    const rez::Entry& tex = m.root.children[0];
    EXPECT_FALSE(tex.is_dir);
    EXPECT_EQ(tex.name, "TEX");
    EXPECT_EQ(tex.ext, "DTX");
    EXPECT_EQ(tex.id, 42u);
    EXPECT_EQ(tex.pos, 168u);
    EXPECT_EQ(tex.size, 5u);
    EXPECT_EQ(tex.time, 77u);
    ASSERT_TRUE(tex.reserved.has_value());
    EXPECT_EQ(tex.reserved->size(), 32u);
    EXPECT_EQ((*tex.reserved)[0], 'A');
    const rez::Entry& sub = m.root.children[1];
    EXPECT_TRUE(sub.is_dir);
    EXPECT_FALSE(sub.loaded);
    EXPECT_EQ(sub.name, "Sub");
    EXPECT_EQ(sub.time, 99u);
    EXPECT_TRUE(sub.children.empty());
    EXPECT_EQ(m.next_id, 10000000u);  // only root-level ids count at open

    std::vector<uint8_t> bytes;
    ASSERT_TRUE(m.read_entry_data(tex, bytes, err));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello");

    ASSERT_TRUE(m.load_directory("sub", err)) << rez::to_utf8(err);
    ASSERT_EQ(m.root.children[1].children.size(), 1u);
    const rez::Entry* readme = m.find_entry("Sub\\README");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ(readme->ext, "");
    ASSERT_TRUE(m.read_entry_data(*readme, bytes, err));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "world!!");

    EXPECT_FALSE(m.read_entry_data(m.root.children[1], bytes, err));
    EXPECT_EQ(err, L"目录没有数据");
    err.clear();
    EXPECT_FALSE(m.load_directory("nope", err));
    EXPECT_EQ(err, L"目录不存在: nope");
    EXPECT_FALSE(m.load_directory("TEX.dtx", err));
    EXPECT_EQ(err, L"不是目录");
}

TEST(RezReader, IdsOfLaterLoadedFoldersAreTaken) {
    Dir d;
    const std::wstring p = d.put(L"a.rez", two_level_archive(10000000));
    rez::RezFile m;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(p, m, err));
    std::wstring e2;
    ASSERT_TRUE(m.load_all_directories(e2));
    EXPECT_TRUE(e2.empty());
    EXPECT_EQ(m.find_entry("Sub\\readme")->id, 10000000u);
    EXPECT_NE(m.next_free_id(), 10000000u);
}

TEST(RezReader, NextIdAfterOpen) {
    struct Case {
        std::vector<uint32_t> ids;
        uint32_t next;
    } cases[] = {{{5, 20000000}, 20000001}, {{5}, 10000000}, {{0xFFFFFFFE}, 1}, {{0xFFFFFFFF}, 1}};
    Dir d;
    for (const Case& c : cases) {
        Bytes root;
        for (size_t i = 0; i < c.ids.size(); ++i) root = cat({root, file_record(168, 0, c.ids[i], 0, std::string(1, static_cast<char>('a' + i)))});
        const std::wstring p = d.put(L"ids.rez", cat({header(168, static_cast<uint32_t>(root.size())), scramble(root, 168)}));
        rez::RezFile m;
        std::wstring err;
        ASSERT_TRUE(rez::RezFile::open(p, m, err)) << rez::to_utf8(err);
        EXPECT_EQ(m.next_id, c.next);
        EXPECT_EQ(m.used_ids.size(), c.ids.size());
    }
}

TEST(RezReader, EmptyArchive) {
    Dir d;
    rez::RezFile m;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(d.put(L"e.rez", header(168, 0)), m, err));
    EXPECT_TRUE(m.root.children.empty());
    EXPECT_EQ(m.next_id, 10000000u);
    EXPECT_TRUE(m.comment.empty());
}

TEST(RezReader, EngineLayout) {
    Bytes root;
    put32(root, 0);
    for (uint32_t v : {168u, 3u, 7u, 0u, kDTX, 5u}) put32(root, v);  // key count read and ignored
    put_str(root, "Tex");
    root.push_back(0);
    put_str(root, "a description");
    root.push_back(0);
    put32(root, 1);
    for (uint32_t v : {0u, 0u, 0u}) put32(root, v);
    put_str(root, "Folder");
    root.push_back(0);
    Dir d;
    const std::wstring p = d.put(L"Engine.REZ", cat({header(171, static_cast<uint32_t>(root.size())), {'a', 'b', 'c'}, root}));
    rez::RezFile m;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(p, m, err)) << rez::to_utf8(err);
    EXPECT_TRUE(m.engine_layout);
    ASSERT_EQ(m.root.children.size(), 2u);
    EXPECT_EQ(m.root.children[0].name_with_ext(), "Tex.dtx");
    EXPECT_EQ(m.root.children[0].id, 7u);
    EXPECT_FALSE(m.root.children[0].reserved.has_value());
    EXPECT_EQ(m.root.children[1].name, "Folder");
    EXPECT_TRUE(m.root.children[1].is_dir);
}

// Opens `bytes` as an archive; the error text (empty on success).
std::wstring open_error(const Bytes& bytes, rez::RezFile* out = nullptr) {
    Dir d;
    rez::RezFile m;
    std::wstring err;
    const bool ok = rez::RezFile::open(d.put(L"t.rez", bytes), m, err);
    if (ok && out) *out = m;
    return ok ? L"" : (err.empty() ? L"(no text)" : err);
}

TEST(RezReader, DamagedHeadersAndBlocks) {
    const Bytes good_file = file_record(168, 0, 1, 0, "f");
    const Bytes dir_full = dir_record(0, 0, "d");
    const Bytes dir_short(dir_full.begin(), dir_full.begin() + 16);
    Bytes huge_name = dir_record(0, 0, "x");
    rez::store_u32le(&huge_name[16], 0x7FFFFFFF);
    Bytes file_huge_keys = file_record(168, 0, 1, 0, "k");
    rez::store_u32le(&file_huge_keys[24], 0xFFFFFFFF);
    Bytes bad_sig = header(168, 0);
    bad_sig[63] = 0;
    Bytes no_attr = file_record(168, 0, 1, 0, "n");
    no_attr.resize(32 + 1 + 1);  // fixed part, name, terminator
    Bytes no_reserved = file_record(168, 0, 1, 0, "n");
    no_reserved.resize(no_reserved.size() - 10);

    auto with_root = [](const Bytes& plain) {
        return cat({header(168, static_cast<uint32_t>(plain.size())), scramble(plain, 168)});
    };
    struct Case {
        const char* what;
        Bytes bytes;
        std::wstring err;
    } cases[] = {
        {"100 bytes", Bytes(100, 0x0D), L"REZ 头不完整（文件小于 168 字节）"},
        {"empty file", Bytes(), L"REZ 头不完整（文件小于 168 字节）"},
        {"zero-filled", Bytes(4096, 0), L"REZ 签名不匹配（应为 0D 0A / 0D 0A / 0D 0A 1A）"},
        {"bad signature", cat({bad_sig, Bytes(8, 0)}), L"REZ 签名不匹配（应为 0D 0A / 0D 0A / 0D 0A 1A）"},
        {"version 2", cat({header(168, 0, 2), Bytes(4, 0)}), L"不支持的 REZ 版本 2"},
        {"offset 100", cat({header(100, 4), Bytes(4, 0)}), L"目录偏移过小"},
        {"offset at end", cat({header(172, 4), Bytes(4, 0)}), L"目录偏移超出文件范围"},
        {"offset far out", cat({header(0xFFFFFFF0u, 0xFFFFFFF0u), Bytes(4, 0)}), L"目录偏移超出文件范围"},
        {"keys cut short", with_root(file_record(168, 0, 1, 0, "k", 3, 2)), L"File entry extra data incomplete"},
        {"huge key count", with_root(file_huge_keys), L"File entry extra data incomplete"},
        {"directory cut", with_root(dir_short), L"Directory entry data incomplete"},
        {"file cut", with_root(Bytes(good_file.begin(), good_file.begin() + 20)), L"File entry data incomplete"},
        {"name length huge", with_root(huge_name), L"Name length invalid in directory"},
        {"attribute missing", with_root(no_attr), L"File entry attr incomplete"},
        {"reserved cut", with_root(no_reserved), L"File entry reserved field incomplete"},
    };
    for (const Case& c : cases) EXPECT_EQ(open_error(c.bytes), c.err) << c.what;

    EXPECT_EQ(open_error(cat({header(168, 0), Bytes(1, 0)}) /*1 zero byte of root*/), L"");
    Dir d;
    rez::RezFile m;
    std::wstring err;
    EXPECT_FALSE(rez::RezFile::open(d / L"missing.rez", m, err));
    EXPECT_EQ(err, L"无法打开文件: " + (d / L"missing.rez"));
}

TEST(RezReader, BlockEdges) {
    rez::RezFile m;
    // All-zero root block: no entries, no message.
    EXPECT_EQ(open_error(cat({header(168, 64), Bytes(64, 0)}), &m), L"");
    EXPECT_TRUE(m.root.children.empty());
    // 1-3 stray bytes after the last record are ignored.
    const Bytes rec = cat({file_record(168, 0, 1, 0, "f"), {1, 2, 3}});
    EXPECT_EQ(open_error(cat({header(168, static_cast<uint32_t>(rec.size())), scramble(rec, 168)}), &m), L"");
    EXPECT_EQ(m.root.children.size(), 1u);
    // A root length past the end reads to the end; length 0 means "the rest".
    const Bytes two = cat({file_record(168, 0, 1, 0, "a"), file_record(168, 0, 2, 0, "b")});
    EXPECT_EQ(open_error(cat({header(168, 100000), scramble(two, 168)}), &m), L"");
    EXPECT_EQ(m.root.children.size(), 2u);
    EXPECT_EQ(open_error(cat({header(168, 0), scramble(two, 168)}), &m), L"");
    EXPECT_EQ(m.root.children.size(), 2u);
}

TEST(RezReader, EntryDataPastTheEndIsRefusedBeforeAllocating) {
    const Bytes root = file_record(168, 0xFFFFFFF0u, 1, 0, "big");
    rez::RezFile m;
    ASSERT_EQ(open_error(cat({header(168, static_cast<uint32_t>(root.size())), scramble(root, 168)}), &m), L"");
    Dir d;
    m.path = d.put(L"big.rez", cat({header(168, static_cast<uint32_t>(root.size())), scramble(root, 168)}));
    std::vector<uint8_t> out;
    std::wstring err;
    EXPECT_FALSE(m.read_entry_data(m.root.children[0], out, err));
    EXPECT_EQ(err, L"读取资源数据失败");
}

Bytes comment_section(const std::string& utf8, uint32_t claimed_len = 0xFFFFFFFF) {
    Bytes s;
    put_str(s, "REZ_COMMENT_SECTION");
    put32(s, claimed_len == 0xFFFFFFFF ? static_cast<uint32_t>(utf8.size()) : claimed_len);
    const uint8_t key[8] = {0x6B, 0x0E, 0x93, 0xD2, 0xA7, 0x41, 0x5C, 0xF8};
    for (size_t i = 0; i < utf8.size(); ++i) s.push_back(static_cast<uint8_t>(utf8[i]) ^ key[i % 8]);
    return s;
}

TEST(RezReader, CommentSection) {
    const Bytes root = file_record(168, 0, 1, 0, "f");
    const Bytes base = cat({header(168, static_cast<uint32_t>(root.size())), scramble(root, 168)});
    rez::RezFile m;
    EXPECT_EQ(open_error(cat({base, comment_section("first"), comment_section("第二个注释")}), &m), L"");
    EXPECT_EQ(m.comment, L"第二个注释");
    // A section whose length runs past the end is ignored; the archive still opens.
    EXPECT_EQ(open_error(cat({base, comment_section("abc", 1000)}), &m), L"");
    EXPECT_TRUE(m.comment.empty());
    EXPECT_EQ(m.root.children.size(), 1u);
    // Longer than the 64 KiB the reader looks at first, ending the file: read back whole.
    std::string big;
    for (int i = 0; big.size() < 300000; ++i) big += "行" + std::to_string(i) + "\n";
    EXPECT_EQ(open_error(cat({base, comment_section(big)}), &m), L"");
    EXPECT_EQ(rez::to_utf8(m.comment), big);
    // An empty root (length 0) followed by a comment: no entries, the comment kept.
    EXPECT_EQ(open_error(cat({header(168, 0), comment_section("only a comment")}), &m), L"");
    EXPECT_TRUE(m.root.children.empty());
    EXPECT_EQ(m.comment, L"only a comment");
}

// A root whose one folder's block is at `sub_pos` holding `sub`.
Bytes nested(const std::function<Bytes(uint32_t root_pos, uint32_t sub_pos)>& sub_of) {
    const uint32_t root_pos = 168;
    const uint32_t root_len = static_cast<uint32_t>(dir_record(0, 0, "D").size());
    const uint32_t sub_pos = root_pos + root_len;
    const Bytes sub = sub_of(root_pos, sub_pos);
    return cat({header(root_pos, root_len), scramble(dir_record(sub_pos, static_cast<uint32_t>(sub.size()), "D"), root_pos),
                scramble(sub, sub_pos)});
}

TEST(RezReader, CyclicDirectoryBlocksAreRefused) {
    const std::wstring msg = L"Directory block refers to itself or a parent directory";
    Dir d;
    // The folder's block holds a folder pointing back at the root block, or at itself.
    const Bytes to_root = nested([](uint32_t root_pos, uint32_t) { return dir_record(root_pos, 22, "D"); });
    const Bytes to_self = nested([](uint32_t, uint32_t sub_pos) { return dir_record(sub_pos, 22, "D"); });
    for (const Bytes* b : {&to_root, &to_self}) {
        const std::wstring p = d.put(L"cycle.rez", *b);
        rez::RezFile m;
        std::wstring err;
        ASSERT_TRUE(rez::RezFile::open(p, m, err)) << rez::to_utf8(err);
        err.clear();
        m.load_all_directories(err);
        EXPECT_EQ(err, msg);
        EXPECT_FALSE(m.load_directory("D\\D", err));
        EXPECT_EQ(err, msg);
        err.clear();
        EXPECT_FALSE(m.extract_to_directory(d / L"out", err));
        EXPECT_EQ(err, msg);
        err.clear();
        rez::ExtractTotals t;
        EXPECT_FALSE(m.count_extract_totals("", t, err));
        EXPECT_EQ(err, msg);
    }
}

TEST(RezReader, EndlessNestingAndSharedBlocksAreBounded) {
    Dir d;
    // 200 blocks, each holding one folder whose block is the next one.
    {
        Bytes body;
        const uint32_t root_pos = 168;
        const uint32_t rec = static_cast<uint32_t>(dir_record(0, 0, "D").size());
        for (uint32_t k = 0; k < 200; ++k) {
            const uint32_t at = root_pos + k * rec;
            body = cat({body, scramble(dir_record(at + rec, rec, "D"), at)});
        }
        rez::RezFile m;
        std::wstring err;
        ASSERT_TRUE(rez::RezFile::open(d.put(L"deep.rez", cat({header(root_pos, rec), body})), m, err));
        err.clear();
        m.load_all_directories(err);
        EXPECT_EQ(err, L"Directory nesting too deep");
    }
    // 12 blocks of 300 folders, all pointing at the next block: 300^12 entries if followed.
    {
        Bytes body;
        const uint32_t root_pos = 168;
        const uint32_t rec = static_cast<uint32_t>(dir_record(0, 0, "D").size());
        const uint32_t len = rec * 300;
        for (uint32_t k = 0; k < 12; ++k) {
            const uint32_t at = root_pos + k * len;
            Bytes block;
            for (int i = 0; i < 300; ++i) block = cat({block, dir_record(at + len, len, "D")});
            body = cat({body, scramble(block, at)});
        }
        rez::RezFile m;
        std::wstring err;
        ASSERT_TRUE(rez::RezFile::open(d.put(L"wide.rez", cat({header(root_pos, len), body})), m, err));
        err.clear();
        m.load_all_directories(err);
        EXPECT_FALSE(err.empty());
        EXPECT_LT(m.records_loaded, 2000000u);
    }
}

TEST(RezReader, RandomAndTruncatedInputNeverCrash) {
    std::mt19937 rng(12345);
    Dir d;
    const Bytes good = two_level_archive();
    for (int round = 0; round < 120; ++round) {
        Bytes b;
        switch (round % 4) {
        case 0:  // random bytes
            b.resize(rng() % 4000);
            for (auto& x : b) x = static_cast<uint8_t>(rng());
            break;
        case 1:  // a good archive cut short
            b.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(rng() % good.size()));
            break;
        case 2: {  // a valid header over random blocks with random offsets
            b = cat({header(168 + rng() % 64, rng() % 3 ? rng() % 2000 : rng()), Bytes(2000)});
            for (size_t i = 168; i < b.size(); ++i) b[i] = static_cast<uint8_t>(rng());
            break;
        }
        default:  // a good archive with a few bytes flipped
            b = good;
            for (int i = 0; i < 4; ++i) b[168 + rng() % (b.size() - 168)] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
        const std::wstring p = d.put(L"r.rez", b);
        rez::RezFile m;
        std::wstring err;
        if (!rez::RezFile::open(p, m, err)) {
            EXPECT_FALSE(err.empty());
            continue;
        }
        err.clear();
        m.load_all_directories(err);
        std::vector<std::string> items;
        rez::collect_save_items(m.root, "", items);
        for (const std::string& it : items) {
            std::vector<uint8_t> out;
            if (const rez::Entry* e = m.find_entry(it)) m.read_entry_data(*e, out, err);
        }
    }
}

}  // namespace
