// The header texts patched in place: what is read back, what is written, and that no byte
// outside the two text ranges ever changes.
#include <gtest/gtest.h>

#include "archive/rez_header.h"
#include "rez_test_util.h"
#include "test_support.h"

using namespace reztest;

namespace {

// A header whose separator bytes (62-63, 124-125) and every byte after 126 hold values the
// writer of this program would never put there, followed by some archive data.
Bytes odd_archive(const std::string& sig, const std::string& title) {
    Bytes b = header(200, 0, 1, sig, title);
    b[62] = 0xEE;
    b[63] = 0xEF;
    b[124] = 0x55;
    b[125] = 0x66;
    for (size_t i = 127; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7);
    for (int i = 0; i < 64; ++i) b.push_back(static_cast<uint8_t>(0xA0 + i));
    return b;
}

std::string utf8(const wchar_t* text) { return rez::to_utf8(text); }

}  // namespace

TEST(RezHeaderTexts, ReadStripsTrailingSpacesAndNuls) {
    qvltest::ScratchDir dir(L"rezhdr");
    Bytes b = odd_archive("Sig  text", "Title");
    b[2 + 9] = 0;  // NUL then spaces after the signature
    b[64 + 5] = ' ';
    b[64 + 6] = 0;
    const std::wstring path = dir / L"a.rez";
    write(path, b);
    std::string sig = "stale", title = "stale";
    std::wstring err;
    ASSERT_TRUE(rez::read_rez_header_texts(path, sig, title, err)) << rez::to_utf8(err);
    EXPECT_EQ(sig, "Sig  text");
    EXPECT_EQ(title, "Title");
}

TEST(RezHeaderTexts, WriteChangesOnlyTheTwoTextRanges) {
    qvltest::ScratchDir dir(L"rezhdr");
    const std::wstring path = dir / L"a.rez";
    const Bytes before = odd_archive("Old signature that is rather long for sure", "Old title");
    write(path, before);
    const std::string long_sig(61, 'x');
    const std::string title = utf8(L"a二二二二二二二二二二二二二二二二二二二二");  // 61 bytes
    ASSERT_EQ(title.size(), 61u);
    std::wstring err;
    ASSERT_TRUE(rez::write_rez_header_texts(path, long_sig, title, err)) << rez::to_utf8(err);

    const Bytes after = read(path);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        const bool in_text = (i >= 2 && i <= 61) || (i >= 64 && i <= 123);
        if (!in_text) {
            EXPECT_EQ(after[i], before[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(std::string(after.begin() + 2, after.begin() + 62), std::string(60, 'x'));
    // Cut at byte 60 even inside the last character.
    EXPECT_EQ(std::string(after.begin() + 64, after.begin() + 124), title.substr(0, 60));

    // A short text is padded with spaces up to the end of its range.
    ASSERT_TRUE(rez::write_rez_header_texts(path, "S", "", err));
    const Bytes padded = read(path);
    EXPECT_EQ(std::string(padded.begin() + 2, padded.begin() + 62), "S" + std::string(59, ' '));
    EXPECT_EQ(std::string(padded.begin() + 64, padded.begin() + 124), std::string(60, ' '));
    std::string sig, read_title;
    ASSERT_TRUE(rez::read_rez_header_texts(path, sig, read_title, err));
    EXPECT_EQ(sig, "S");
    EXPECT_EQ(read_title, "");
}

TEST(RezHeaderTexts, RefusesWhatIsNoRezHeaderAndLeavesItAlone) {
    qvltest::ScratchDir dir(L"rezhdr");
    Bytes bad_marker = odd_archive("s", "t");
    bad_marker[126] = 0x1B;
    Bytes bad_start = odd_archive("s", "t");
    bad_start[1] = 0x0D;
    const struct {
        const wchar_t* name;
        Bytes bytes;
        bool create;
        const wchar_t* read_err;
        const wchar_t* write_err;
    } cases[] = {
        {L"marker.rez", bad_marker, true, L"不是有效的 REZ 文件", L"不是有效的 REZ 文件"},
        {L"start.rez", bad_start, true, L"不是有效的 REZ 文件", L"不是有效的 REZ 文件"},
        {L"short.rez", Bytes(100, 0x0D), true, L"读取文件头失败", L"读取文件头失败"},
        {L"missing.rez", {}, false, L"文件不存在", L"文件不存在"},
    };
    for (const auto& c : cases) {
        const std::wstring path = dir / c.name;
        if (c.create) write(path, c.bytes);
        std::string sig = "x", title = "y";
        std::wstring err;
        EXPECT_FALSE(rez::read_rez_header_texts(path, sig, title, err));
        EXPECT_EQ(err, c.read_err) << rez::to_utf8(c.name);
        EXPECT_TRUE(sig.empty() && title.empty());
        err.clear();
        EXPECT_FALSE(rez::write_rez_header_texts(path, "new", "new", err));
        EXPECT_EQ(err, c.write_err) << rez::to_utf8(c.name);
        if (c.create) {
            EXPECT_EQ(read(path), c.bytes) << rez::to_utf8(c.name);
        } else {
            EXPECT_FALSE(exists_any(path));  // writing never creates the file
        }
    }
    std::wstring err;
    std::string sig, title;
    EXPECT_FALSE(rez::write_rez_header_texts(dir.path(), "a", "b", err));
    EXPECT_EQ(err, L"文件不存在");
}
