// The header editor driven as a user drives it, reached from the command line and the
// hand-over of a second start: only the two text ranges of the file change, and the
// archive open in the main window keeps the new texts through its next save.
#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"
#include "app/operations/header_editor.h"
#include "app/operations/open_archive.h"
#include "archive/rez_header.h"
#include "archive/util.h"
#include "main_window_fixture.h"
#include "modal_dialog_driver.h"
#include "resources/resource.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> bytes_of(const std::wstring& path) {
    std::vector<uint8_t> b;
    rez::read_file(path, b);
    return b;
}

// A REZ archive with one file, its header texts given.
std::wstring make_rez(const qvltest::ScratchDir& dir, const std::wstring& name, const std::string& signature,
                      const std::string& title) {
    const std::wstring data = dir / L"data.txt", path = dir / name;
    rez::write_file(data, reinterpret_cast<const uint8_t*>("payload"), 7);
    rez::RezFile archive(path);
    archive.signature_text = signature;
    archive.user_title = title;
    std::string out;
    EXPECT_TRUE(archive.add_file("", data, out));
    std::wstring err;
    EXPECT_TRUE(archive.save(path, err)) << rez::to_utf8(err);
    return path;
}

// Hands the command line of a second start to the window, as that start would.
void second_start(HWND window, const std::vector<std::wstring>& args) {
    for (const auto& item : rezui::build_hand_over(rezui::parse_command_line(args))) {
        auto payload = rezui::copydata_payload(item.text);
        COPYDATASTRUCT cds{item.code, static_cast<DWORD>(payload.size() * 2), payload.data()};
        SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
}

using h4test::open_and_wait;

struct Seen {
    std::wstring caption, signature, title, signature_count, title_count;
};

Seen read_dialog(HWND d) {
    return {rezui::get_window_text(d), dlgtest::text_of(d, IDC_HEADER_SIGNATURE), dlgtest::text_of(d, IDC_HEADER_TITLE),
            dlgtest::text_of(d, IDC_HEADER_SIGNATURE_COUNT), dlgtest::text_of(d, IDC_HEADER_TITLE_COUNT)};
}

}  // namespace

TEST(HeaderEditor, OnlyRezFilesOpenTheEditor) {
    h4test::MainWindow w;
    Seen seen;
    dlgtest::drive({[&](HWND d) {
        seen = read_dialog(d);
        dlgtest::click(d, IDCANCEL);
    }});
    rezui::edit_rez_header(w.hwnd(), L"C:\\nowhere\\a.zip");
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"编辑文件头 只允许编辑 .REZ 文件。");
    EXPECT_EQ(h4test::boxes[0].caption, L"格式不支持");
    EXPECT_TRUE(dlgtest::opened.empty());

    // Capitals are a REZ file too; one that cannot be read shows the default texts.
    rezui::edit_rez_header(w.hwnd(), L"C:\\nowhere\\GAME.REZ");
    ASSERT_EQ(dlgtest::opened, std::vector<int>{IDD_HEADER_EDITOR});
    EXPECT_EQ(seen.caption, L"编辑文件头 - GAME.REZ");
    EXPECT_EQ(seen.signature, L"RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.");
    EXPECT_EQ(seen.title, L"LithTech Resource File");
    EXPECT_EQ(seen.signature_count, L"长度：49 / 60");
    EXPECT_EQ(h4test::boxes.size(), 1u);
}

TEST(HeaderEditor, SavingFromTheCommandLineVerbChangesOnlyTheTextBytes) {
    qvltest::ScratchDir dir(L"hdredit");
    const std::wstring path = make_rez(dir, L"game.rez", "Old sig", "Old title");
    const std::vector<uint8_t> before = bytes_of(path);
    h4test::MainWindow w;
    Seen first, typed, restored;
    const std::wstring long_title = L"a二二二二二二二二二二二二二二二二二二二二";  // 61 UTF-8 bytes
    dlgtest::drive({[&](HWND d) {
        first = read_dialog(d);
        dlgtest::type_into(d, IDC_HEADER_TITLE, long_title);
        typed = read_dialog(d);
        dlgtest::click(d, IDC_HEADER_DEFAULTS);
        restored = read_dialog(d);
        dlgtest::type_into(d, IDC_HEADER_SIGNATURE, L"新的版权");
        dlgtest::type_into(d, IDC_HEADER_TITLE, long_title);
        dlgtest::click(d, IDOK);
    }});
    second_start(w.hwnd(), {L"--edit-header", path});
    ASSERT_EQ(dlgtest::opened, std::vector<int>{IDD_HEADER_EDITOR});
    EXPECT_EQ(first.caption, L"编辑文件头 - game.rez");
    EXPECT_EQ(first.signature, L"Old sig");
    EXPECT_EQ(first.title, L"Old title");
    EXPECT_EQ(first.title_count, L"长度：9 / 60");
    EXPECT_EQ(typed.title_count, L"长度：21 / 60");
    EXPECT_EQ(restored.signature, L"RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.");
    EXPECT_EQ(restored.title, L"LithTech Resource File");
    EXPECT_EQ(restored.title_count, L"长度：22 / 60");
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"文件头已保存。");
    EXPECT_EQ(h4test::boxes[0].caption, L"完成");

    const std::vector<uint8_t> after = bytes_of(path);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        if ((i >= 2 && i <= 61) || (i >= 64 && i <= 123)) continue;
        EXPECT_EQ(after[i], before[i]) << "byte " << i;
    }
    const std::string sig8 = rez::to_utf8(L"新的版权");
    EXPECT_EQ(std::string(after.begin() + 2, after.begin() + 62), sig8 + std::string(60 - sig8.size(), ' '));
    EXPECT_EQ(std::string(after.begin() + 64, after.begin() + 124), rez::to_utf8(long_title).substr(0, 60));
}

TEST(HeaderEditor, TheOpenArchiveKeepsTheNewTextsThroughItsNextSave) {
    qvltest::ScratchDir dir(L"hdredit");
    const std::wstring path = make_rez(dir, L"open.rez", "Old sig", "Old title");
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(path));
    dlgtest::drive({[](HWND d) {
        dlgtest::type_into(d, IDC_HEADER_TITLE, L"新标题");
        dlgtest::click(d, IDOK);
    }});
    // Named another way than the open archive: the same file all the same.
    const std::wstring other_name = dir.path() + L"\\.\\OPEN.REZ";
    second_start(w.hwnd(), {L"--edit-header", other_name});
    ASSERT_EQ(dlgtest::opened.size(), 1u);
    EXPECT_EQ(rezui::app.archive.user_title, rez::to_utf8(L"新标题"));
    EXPECT_EQ(rezui::app.archive.signature_text, "Old sig");

    w.command(IDM_SAVE);
    ASSERT_TRUE(h4test::pump_until([] { return !rezui::app.busy; }));
    ASSERT_NE(h4test::log_text().find(L"保存完成"), std::wstring::npos) << rez::to_utf8(h4test::log_text());
    std::string sig, title;
    std::wstring err;
    ASSERT_TRUE(rez::read_rez_header_texts(path, sig, title, err));
    EXPECT_EQ(title, rez::to_utf8(L"新标题"));
    EXPECT_EQ(sig, "Old sig");
}

TEST(HeaderEditor, SaveWhileAJobRunsWaitsAndAFailedSaveSaysWhy) {
    qvltest::ScratchDir dir(L"hdredit");
    const std::wstring path = make_rez(dir, L"busy.rez", "s", "t");
    const std::vector<uint8_t> before = bytes_of(path);
    h4test::MainWindow w;
    bool still_open = false;
    dlgtest::drive({[&](HWND d) {
                        rezui::app.busy = true;
                        dlgtest::type_into(d, IDC_HEADER_TITLE, L"later");
                        dlgtest::click(d, IDOK);
                        still_open = IsWindowVisible(d);
                        EXPECT_EQ(bytes_of(path), before);
                        rezui::app.busy = false;
                        dlgtest::click(d, IDOK);
                    },
                    [&](HWND d) {
                        DeleteFileW(path.c_str());  // gone before the user saves
                        dlgtest::click(d, IDOK);
                    }});
    rezui::edit_rez_header(w.hwnd(), path);
    EXPECT_TRUE(still_open);
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_EQ(h4test::boxes[0].text, rezui::kBusyRefusalText);
    EXPECT_EQ(h4test::boxes[1].text, L"文件头已保存。");
    std::string sig, title;
    std::wstring err;
    ASSERT_TRUE(rez::read_rez_header_texts(path, sig, title, err));
    EXPECT_EQ(title, "later");

    rezui::edit_rez_header(w.hwnd(), path);
    ASSERT_EQ(h4test::boxes.size(), 3u);
    EXPECT_EQ(h4test::boxes[2].text, L"保存失败：文件不存在");
    EXPECT_EQ(h4test::boxes[2].caption, L"错误");
    EXPECT_FALSE(rez::file_exists(path));
}
