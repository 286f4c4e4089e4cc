// A solid 7z damaged half-way through its folder, through the real main window: extraction,
// the integrity test and the preview agree on which files are whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip_7z_test_support.h"

namespace {

using namespace zjtest;

constexpr int kFiles = 12;
constexpr int kLines = 600;

std::wstring stem(int k) {
    wchar_t name[8];
    swprintf(name, 8, L"s%02d", k);
    return name;
}

// A file as the fixture wrote it: kLines lines that each name their file and line.
bool whole_file(const std::wstring& path, int k) {
    const std::string text = qvltest::read_text(path);
    char first[32], last[32];
    snprintf(first, sizeof first, "file %02d line 0000 ", k);
    snprintf(last, sizeof last, "file %02d line %04d ", k, kLines - 1);
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines == kLines && text.rfind(first, 0) == 0 && text.find(last) != std::string::npos;
}

const h4test::Box* box_titled(const std::wstring& caption) {
    for (const h4test::Box& b : h4test::boxes)
        if (b.caption == caption) return &b;
    return nullptr;
}

TEST(DamagedSolid7z, TestAndPreviewAgreeWithExtraction) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"dsolid");
    const std::wstring path = copy_fixture(dir, L"damaged_solid.7z", L"d.7z");
    ASSERT_TRUE(open_and_wait(path));

    // Extraction writes the files before the damage and stops at it.
    const std::wstring out = dir / L"out";
    h4test::folder_answers = {out};
    w.command(IDM_EXTRACT_ALL);
    ASSERT_TRUE(wait_idle());
    int whole = 0;
    while (whole < kFiles && whole_file(out + L"\\" + stem(whole + 1) + L".txt", whole + 1)) ++whole;
    ASSERT_GT(whole, 0);
    ASSERT_LT(whole, kFiles);
    h4test::boxes.clear();

    // The integrity test passes exactly those and names the first file after them.
    w.command(IDM_TEST);
    ASSERT_TRUE(wait_idle());
    const h4test::Box* result = box_titled(L"测试结果");
    ASSERT_NE(result, nullptr);
    EXPECT_NE(result->text.find(L"通过: " + std::to_wstring(whole) + L" 项\n失败: " +
                                std::to_wstring(kFiles - whole) + L" 项\n"),
              std::wstring::npos)
        << rez::to_utf8(result->text);
    EXPECT_NE(result->text.find(L"首条错误: 读取失败: " + stem(whole + 1) + L"  ("), std::wstring::npos)
        << rez::to_utf8(result->text);
    h4test::boxes.clear();

    // The first file and the last whole one preview; the first damaged one says which it is.
    for (int k : {1, whole, whole + 1}) {
        SCOPED_TRACE(k);
        SetWindowTextW(rezui::app.preview_edit, L"");
        ASSERT_TRUE(h4test::select_first_row_named(stem(k) + L".txt"));
        h4test::menu_answer = IDM_DECODE_PREVIEW;
        w.notify_list(NM_RCLICK);
        h4test::pump();
        char line[32];
        snprintf(line, sizeof line, "file %02d line 0000", k);
        const bool shown =
            rezui::get_window_text(rezui::app.preview_edit).find(rez::from_utf8(line)) != std::wstring::npos;
        if (k <= whole) {
            EXPECT_TRUE(shown);
            EXPECT_EQ(box_titled(L"读取失败"), nullptr);
        } else {
            EXPECT_FALSE(shown);
            const h4test::Box* failed = box_titled(L"读取失败");
            ASSERT_NE(failed, nullptr);
            EXPECT_NE(failed->text.find(stem(k) + L".txt"), std::wstring::npos) << rez::to_utf8(failed->text);
        }
        h4test::boxes.clear();
    }
}

}  // namespace
