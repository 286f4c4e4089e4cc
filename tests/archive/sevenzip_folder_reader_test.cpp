// Reading 7z folders through a window: every file of every coder comes out as the whole-folder
// decode gives it, with windows small enough to move many times, going back, a stream that
// reaches past its stated dictionary, and streams that end early or are damaged.
#include <gtest/gtest.h>

#include <random>

#include "archive/password.h"
#include "archive/sevenzip_folder_reader.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

struct Opened {
    std::vector<uint8_t> file;
    rez::SevenZipDatabase db;
};

Opened open_fixture(const std::wstring& name) {
    Opened o;
    EXPECT_TRUE(rez::read_file(qvltest::fixture(L"sevenzip\\" + name), o.file)) << rez::to_utf8(name);
    std::wstring err;
    EXPECT_TRUE(rez::sevenzip_open(o.file, o.db, err)) << rez::to_utf8(err);
    return o;
}

// Every folder's whole decode, the reference.
std::vector<std::vector<uint8_t>> whole_folders(const Opened& o) {
    std::vector<std::vector<uint8_t>> out(o.db.folders.size());
    for (size_t f = 0; f < out.size(); f++) {
        std::wstring err;
        EXPECT_TRUE(rez::sevenzip_unpack_folder(o.file, o.db, f, out[f], err)) << rez::to_utf8(err);
    }
    return out;
}

// Reads every file of every folder through the reader: small ones as one piece, the rest
// pumped in pieces, each compared with the reference.
void read_all_and_compare(const Opened& o, size_t step) {
    const auto reference = whole_folders(o);
    for (uint64_t f = 0; f < o.db.folders.size(); f++) {
        SCOPED_TRACE("folder " + std::to_string(f) + ", step " + std::to_string(step));
        rez::SevenZipFolderReader reader;
        std::wstring err;
        ASSERT_TRUE(reader.open(o.file, o.db, f, err, step)) << rez::to_utf8(err);
        ASSERT_EQ(reader.size(), reference[f].size());
        for (const rez::SevenZipPlace& p : rez::sevenzip_folder_places(o.db, f)) {
            const auto* want = reference[f].data() + p.start;
            if (p.size <= reader.piece_limit()) {
                const uint8_t* data = nullptr;
                ASSERT_TRUE(reader.piece(p.start, static_cast<size_t>(p.size), data, err)) << rez::to_utf8(err);
                EXPECT_TRUE(std::equal(data, data + p.size, want)) << "at " << p.start;
                continue;
            }
            std::vector<uint8_t> got;
            ASSERT_TRUE(reader.pump(p.start, p.size,
                                    [&got](const uint8_t* d, size_t n) {
                                        got.insert(got.end(), d, d + n);
                                        return true;
                                    },
                                    err))
                << rez::to_utf8(err);
            ASSERT_EQ(got.size(), p.size);
            EXPECT_TRUE(std::equal(got.begin(), got.end(), want)) << "at " << p.start;
        }
    }
}

TEST(SevenZipFolderReader, EveryFileEqualsTheWholeFolderDecode) {
    rez::set_current_password(L"Secret1");
    // LZMA and LZMA2 with 64 KiB dictionaries, stored chunks, solid and not, a large file alone;
    // and coders that are decoded whole (Copy, Deflate, AES).
    for (const wchar_t* name : {L"window_lzma.7z", L"window_lzma2.7z", L"solid3.7z", L"lzma2.7z", L"lzma_enc.7z",
                                L"big_lzma2.7z", L"alone_lzma2.7z", L"far_reach.7z", L"copy_plain.7z", L"deflate.7z",
                                L"aes_data.7z"}) {
        SCOPED_TRACE(rez::to_utf8(name));
        const Opened o = open_fixture(name);
        for (size_t step : {size_t{1}, size_t{4096}, size_t{100000}, rez::SevenZipFolderReader::kWindowStep})
            read_all_and_compare(o, step);
    }
    rez::set_current_password(L"");
}

TEST(SevenZipFolderReader, PiecesOfEverySizeInOrderAndGoingBack) {
    const Opened o = open_fixture(L"window_lzma.7z");
    const auto reference = whole_folders(o);
    ASSERT_EQ(reference.size(), 1u);
    rez::SevenZipFolderReader reader;
    std::wstring err;
    ASSERT_TRUE(reader.open(o.file, o.db, 0, err, 5000)) << rez::to_utf8(err);
    std::mt19937 random(7);
    uint64_t at = 0;
    while (at < reader.size()) {
        const size_t n = std::min<uint64_t>(random() % (reader.piece_limit() + 1), reader.size() - at);
        const uint8_t* data = nullptr;
        ASSERT_TRUE(reader.piece(at, n, data, err)) << at;
        ASSERT_TRUE(std::equal(data, data + n, reference[0].data() + at)) << at;
        at += n + random() % 3 * 70000;  // now and then a gap, as for files not wanted
    }
    // Back to the start, then the end again.
    for (uint64_t from : {uint64_t{0}, uint64_t{100}, reader.size() - 10}) {
        const uint8_t* data = nullptr;
        ASSERT_TRUE(reader.piece(from, 10, data, err));
        EXPECT_TRUE(std::equal(data, data + 10, reference[0].data() + from)) << from;
    }
    const uint8_t* data = nullptr;
    EXPECT_FALSE(reader.piece(reader.size() - 5, 10, data, err));
    EXPECT_EQ(err, L"7z 子流大小不匹配");
}

// Matches reach 300 KiB back; the stated dictionary is made 64 KiB. The window cannot serve
// that, so the folder is decoded whole and the bytes still come out right.
TEST(SevenZipFolderReader, AStreamReachingPastItsStatedDictionaryStillDecodes) {
    Opened o = open_fixture(L"far_reach.7z");
    ASSERT_EQ(o.db.folders.size(), 1u);
    auto& props = o.db.folders[0].coders[0].properties;
    ASSERT_EQ(props.size(), 5u);
    const std::vector<uint8_t> reference = whole_folders(o)[0];
    props[1] = 0x00, props[2] = 0x00, props[3] = 0x01, props[4] = 0x00;  // 64 KiB
    std::vector<uint8_t> far_bytes;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"sevenzip\\far.bin"), far_bytes));
    EXPECT_EQ(reference, far_bytes);
    rez::SevenZipFolderReader reader;
    std::wstring err;
    ASSERT_TRUE(reader.open(o.file, o.db, 0, err, 4096)) << rez::to_utf8(err);
    std::vector<uint8_t> got;
    ASSERT_TRUE(reader.pump(0, reader.size(),
                            [&got](const uint8_t* d, size_t n) {
                                got.insert(got.end(), d, d + n);
                                return true;
                            },
                            err))
        << rez::to_utf8(err);
    EXPECT_EQ(got, far_bytes);
}

// An LZMA2 folder that states a shorter size than its chunks give: a match may cross the
// stated end, where the window has no room. Every file within the stated size still comes out
// as the whole decode gives it.
TEST(SevenZipFolderReader, AnLzma2StreamLongerThanItsStatedSizeReadsAsTheWholeDecode) {
    Opened o = open_fixture(L"lzma2.7z");
    ASSERT_EQ(o.db.folders.size(), 1u);
    const std::vector<uint8_t> reference = whole_folders(o)[0];
    const uint64_t stated = o.db.folders[0].unpack_sizes[0];
    for (uint64_t cut : {1, 2, 3, 5, 8, 13, 100, 1000, 30000}) {
        SCOPED_TRACE("cut " + std::to_string(cut));
        o.db.folders[0].unpack_sizes[0] = stated - cut;
        for (size_t step : {size_t{4096}, rez::SevenZipFolderReader::kWindowStep}) {
            rez::SevenZipFolderReader reader;
            std::wstring err;
            ASSERT_TRUE(reader.open(o.file, o.db, 0, err, step)) << rez::to_utf8(err);
            uint64_t at = 0;
            const uint64_t end = stated - cut;
            while (at < end) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(reader.piece_limit(), end - at));
                const uint8_t* data = nullptr;
                ASSERT_TRUE(reader.piece(at, n, data, err)) << at << " " << rez::to_utf8(err);
                ASSERT_TRUE(std::equal(data, data + n, reference.data() + at)) << at;
                at += n;
            }
        }
    }
}

// Input that ends early and a sink that stops: false, with the decoder's message for the
// stream and the caller's own for the sink. (Damage inside the data may decode to other bytes
// without a fault in the stream; the files' CRCs catch that, see the extraction tests.)
TEST(SevenZipFolderReader, ShortStreamsAndAStoppingSinkFail) {
    for (const wchar_t* name : {L"window_lzma.7z", L"window_lzma2.7z", L"solid3.7z"}) {
        SCOPED_TRACE(rez::to_utf8(name));
        Opened o = open_fixture(name);
        o.db.pack_sizes[0] /= 2;
        rez::SevenZipFolderReader reader;
        std::wstring err;
        ASSERT_TRUE(reader.open(o.file, o.db, 0, err, 4096)) << rez::to_utf8(err);
        uint64_t delivered = 0;
        const bool ok = reader.pump(0, reader.size(),
                                    [&delivered](const uint8_t*, size_t n) {
                                        delivered += n;
                                        return true;
                                    },
                                    err);
        EXPECT_FALSE(ok);
        EXPECT_EQ(err, L"7z 解压失败（不支持的压缩方法或数据损坏）");
        EXPECT_LT(delivered, reader.size());
    }
    const Opened o = open_fixture(L"window_lzma.7z");
    rez::SevenZipFolderReader reader;
    std::wstring err;
    ASSERT_TRUE(reader.open(o.file, o.db, 0, err, 4096));
    int calls = 0;
    err = L"untouched";
    EXPECT_FALSE(reader.pump(0, reader.size(), [&calls](const uint8_t*, size_t) { return ++calls < 3; }, err));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(err, L"untouched");
}

}  // namespace
