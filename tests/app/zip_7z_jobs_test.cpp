// The ZIP and 7z jobs driven through the real main window's commands: deleting from an
// encrypted ZIP, a model-only folder never standing for the whole archive, a failed backup
// move, a member that climbs out of the target, the password dialogue's limits, an encrypted
// 7z file list, a listing that fails for another reason, a stale cancel request, and the
// visible refusal while a job runs.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/browser/browser.h"
#include "app/main_window/main_window.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/crc32.h"
#include "archive/rez_model.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_writer.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "zip_7z_test_support.h"

namespace {

using namespace zjtest;

const std::wstring kFirstPrompt = L"该归档已加密，请输入密码以解压：";
const std::wstring kAgainPrompt = L"密码仍然错误，请重新输入：";

std::vector<std::wstring> files_to_add;

// The multi-select picker scripted for the whole test, put back afterwards.
struct FilesToAdd {
    explicit FilesToAdd(std::vector<std::wstring> files) {
        files_to_add = std::move(files);
        rezui::files_to_add_picker = [](HWND) { return files_to_add; };
    }
    ~FilesToAdd() { rezui::files_to_add_picker = rezui::pick_files_to_add; }
};

TEST(ZipJobs, SelectionCoversFilesExactlyAndEverythingBelowFolders) {
    struct Case {
        const char* name;
        std::vector<std::string> files, dirs;
        bool selected;
    };
    const Case cases[] = {
        {"a/x", {}, {"a"}, true},
        {"a/b/y", {}, {"a"}, true},
        {"ab/z", {}, {"a"}, false},
        {"a", {}, {"a"}, false},
        {"DATA/y", {}, {"Data"}, true},  // one folder in the browsing model
        {"x.txt", {}, {""}, false},      // a model-only folder stands for nothing
        {"a/b/c.txt", {"a/b/c.txt"}, {}, true},
        {"A/B/C.TXT", {"a/b/c.txt"}, {}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rezui::path_selected(c.name, {c.files, c.dirs}), c.selected) << c.name;
}

// Nothing is decrypted to delete from a ZIP: the members that stay are carried over as
// stored, so no password is asked and the archive stays encrypted.
TEST(ZipJobs, DeleteFromAnEncryptedZipNeedsNoPasswordAndKeepsTheArchiveEncrypted) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjdel");
    const std::wstring path = copy_fixture(dir, L"locked.zip", L"l.zip");
    rez::set_current_password(L"");
    ASSERT_TRUE(open_and_wait(path));
    ASSERT_TRUE(h4test::select_first_row_named(L"Data"));
    h4test::box_answer = IDYES;
    {
        PasswordScript script;
        script.answers = {L"pw"};
        w.command(IDM_REMOVE);
        ASSERT_TRUE(wait_idle());
        EXPECT_TRUE(script.prompts.empty());
    }
    ASSERT_FALSE(h4test::boxes.empty()) << h4test::log_text() << L"|" << h4test::status_part(0);
    EXPECT_EQ(h4test::boxes[0].text, L"确认从归档中删除选中的 1 个项目？此操作会直接改写归档文件。");
    EXPECT_EQ(h4test::boxes.size(), 1u) << h4test::boxes.back().text;
    EXPECT_TRUE(log_has(L"归档已更新: " + path));
    const std::map<std::string, std::string> expected{{"a/b/c.txt", "c text"}};
    EXPECT_EQ(members_of(path, L"pw"), expected);
    EXPECT_TRUE(rezui::archive_is_encrypted(path, "zip"));
    EXPECT_TRUE(members_of(path, L"wrong").empty());
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
    // The view was read again from the rewritten file.
    EXPECT_EQ(rezui::app.archive.find_entry("Data"), nullptr);
    EXPECT_NE(rezui::app.archive.find_entry("a\\b\\c.txt"), nullptr);
    rez::set_current_password(L"");
}

TEST(ZipJobs, DeletingAFolderMadeOnlyInTheModelNeverEmptiesTheArchive) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjnew");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    const std::vector<uint8_t> before = bytes_of(path);
    ASSERT_TRUE(open_and_wait(path));
    std::string made;
    ASSERT_TRUE(rezui::app.archive.create_directory("newdir", made));
    rezui::refresh_list();
    ASSERT_TRUE(h4test::select_first_row_named(L"newdir"));
    h4test::box_answer = IDYES;
    w.command(IDM_REMOVE);
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"请先选择要删除的项目");
    EXPECT_EQ(bytes_of(path), before);
}

TEST(ZipJobs, AFailedBackupMoveLeavesTheArchiveByteIdentical) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjbak");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    const std::vector<uint8_t> before = bytes_of(path);
    ASSERT_TRUE(open_and_wait(path));
    // A folder where the backup would go: the old archive cannot be moved aside.
    const std::wstring bak = path + L".bak_qvl_" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(bak.c_str(), nullptr));
    ASSERT_TRUE(h4test::select_first_row_named(L"Data"));
    h4test::box_answer = IDYES;
    w.command(IDM_REMOVE);
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_EQ(h4test::boxes[1].caption, L"操作失败");
    EXPECT_EQ(h4test::boxes[1].text, L"无法备份原归档");
    EXPECT_EQ(bytes_of(path), before);
    RemoveDirectoryW(bak.c_str());
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
}

TEST(ZipJobs, AddingToAZipThatCannotBeReplacedLeavesItIntact) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjappend");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    const std::vector<uint8_t> before = bytes_of(path);
    ASSERT_TRUE(write_text(dir / L"new.txt", "new one"));
    ASSERT_TRUE(open_and_wait(path));
    // Another program holds the archive open without letting it be replaced.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    FilesToAdd pick({dir / L"new.txt"});
    w.command(IDM_ADD_FILES);
    ASSERT_TRUE(wait_idle());
    CloseHandle(held);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"操作失败");
    EXPECT_EQ(bytes_of(path), before);
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
}

TEST(ZipJobs, ExtractionRefusesAMemberThatClimbsOutOfTheTarget) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjclimb");
    ASSERT_TRUE(open_and_wait(fx(L"climb.zip")));
    const std::wstring target = dir / L"out";
    h4test::folder_answers = {target};
    w.command(IDM_EXTRACT_ALL);
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, rez::refused_entries_message({"../x"}));
    EXPECT_FALSE(rez::file_exists(dir / L"x"));
    EXPECT_EQ(bytes_of(target + L"\\ok.txt"), (std::vector<uint8_t>{'f', 'i', 'n', 'e'}));
}

// Whole extraction from the window makes the archive's empty folders too, a nested one and
// one at the top, as the files' folders.
TEST(ZipJobs, WholeExtractionMakesEmptyFolders) {
    for (const wchar_t* name : {L"keep_names.zip", L"keep_u8.zip"}) {
        h4test::MainWindow w;
        qvltest::ScratchDir dir(L"zjempty");
        ASSERT_TRUE(open_and_wait(fx(name)));
        const std::wstring target = dir / L"out";
        h4test::folder_answers = {target};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(wait_idle());
        EXPECT_TRUE(h4test::boxes.empty()) << rez::to_utf8(h4test::boxes.back().text);
        const std::wstring empty = target + (std::wstring(name) == L"keep_names.zip" ? L"\\empty" : L"\\sub\\empty");
        const DWORD a = GetFileAttributesW(empty.c_str());
        EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) << rez::to_utf8(name);
    }
}

// Files are written on a second thread while the next ones decode. A file that cannot be
// written still stops the job with its own message: the files before it are written, none
// after it, though they were decoded and queued by then.
TEST(ZipJobs, AFileThatCannotBeWrittenStopsTheExtractionThere) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjblocked");
    std::vector<rez::ArchiveItem> items = {{"a.txt", {'a'}}, {"b.txt", {'b'}}, {"d/e.txt", {'e'}}};
    for (int i = 0; i < 60; i++) items.push_back({"after/f" + std::to_string(i) + ".txt", {'f'}});
    struct Case {
        const wchar_t* blocker;  // what stands in the way in the target
        bool blocker_is_folder;
        std::wstring message;    // after the target's path
        std::vector<std::wstring> written;
    };
    const Case cases[] = {
        {L"b.txt", true, L"写入失败: ", {L"a.txt", L"b.txt"}},
        {L"d", false, L"无法创建目标目录: ", {L"a.txt", L"b.txt", L"d"}},
    };
    for (const char* ext : {"zip", "7z"}) {
        SCOPED_TRACE(ext);
        std::wstring err;
        const std::wstring archive = dir / (L"many." + rez::from_utf8(ext));
        ASSERT_TRUE(std::string(ext) == "zip" ? rez::zip_create(archive, items, L"", err)
                                              : rez::sevenzip_create(archive, items, L"", err))
            << rez::to_utf8(err);
        ASSERT_TRUE(open_and_wait(archive));
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(ext) + " " + rez::to_utf8(c.blocker));
            const std::wstring target = dir / (rez::from_utf8(ext) + L"_" + c.blocker);
            ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
            const std::wstring blocker = target + L"\\" + c.blocker;
            ASSERT_TRUE(c.blocker_is_folder ? CreateDirectoryW(blocker.c_str(), nullptr) != 0
                                            : qvltest::write_text(blocker, "in the way"));
            h4test::boxes.clear();
            h4test::folder_answers = {target};
            w.command(IDM_EXTRACT_ALL);
            ASSERT_TRUE(wait_idle());
            ASSERT_EQ(h4test::boxes.size(), 1u);
            EXPECT_EQ(h4test::boxes[0].caption, L"操作失败");
            EXPECT_EQ(h4test::boxes[0].text, c.message + blocker);
            EXPECT_EQ(qvltest::read_text(target + L"\\a.txt"), "a");
            EXPECT_EQ(qvltest::folder_names(target), c.written);
        }
    }
    h4test::boxes.clear();
}

// A ZIP of one Deflate member from its raw stream, written by hand (our writer stores).
std::vector<uint8_t> zip_of_deflated(const std::string& name, const std::vector<uint8_t>& raw,
                                     const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> z;
    auto u16 = [&z](uint32_t v) { z.insert(z.end(), {uint8_t(v), uint8_t(v >> 8)}); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    const uint32_t crc = rez::crc32(plain.data(), plain.size());
    auto common = [&] {
        u16(20), u16(0), u16(8), u16(0), u16(0x21);  // version, flags, Deflate, time, date
        u32(crc), u32(uint32_t(raw.size())), u32(uint32_t(plain.size())), u16(uint32_t(name.size())), u16(0);
    };
    u32(0x04034B50), common();
    z.insert(z.end(), name.begin(), name.end());
    z.insert(z.end(), raw.begin(), raw.end());
    const uint32_t central = uint32_t(z.size());
    u32(0x02014B50), u16(20), common();
    u16(0), u16(0), u16(0), u32(0), u32(0);  // comment, disk, attributes, local header at 0
    z.insert(z.end(), name.begin(), name.end());
    const uint32_t central_size = uint32_t(z.size()) - central;
    u32(0x06054B50), u16(0), u16(0), u16(1), u16(1), u32(central_size), u32(central), u16(0);
    return z;
}

// A large member is written as it is decoded (Deflate) or read (stored): the bytes come out
// exact, and a member whose data is damaged past its first pieces leaves neither a partial
// file nor a harmed older file of that name.
TEST(ZipJobs, ExtractionOfALargeMemberInPieces) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjlarge");
    std::vector<uint8_t> plain, raw;
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"zip\\deflate_mixed.bin"), plain));
    ASSERT_TRUE(rez::read_file(qvltest::fixture(L"zip\\deflate_mixed.l6.raw"), raw));
    ASSERT_GT(plain.size(), size_t{1} << 20);
    std::wstring err;
    const std::vector<uint8_t> deflated = zip_of_deflated("big.bin", raw, plain);
    ASSERT_TRUE(rez::write_file(dir / L"deflated.zip", deflated.data(), deflated.size()));
    ASSERT_TRUE(rez::zip_create(dir / L"stored.zip", {{"big.bin", plain}}, L"", err)) << err;

    for (const wchar_t* kind : {L"deflated", L"stored"}) {
        SCOPED_TRACE(kind);
        const std::wstring path = dir / (std::wstring(kind) + L".zip");
        std::vector<rez::ZipEntry> entries;
        std::wstring comment;
        ASSERT_TRUE(rez::zip_list_entries(path, entries, comment, err));
        ASSERT_EQ(entries.size(), 1u);
        ASSERT_EQ(entries[0].method, kind == std::wstring(L"stored") ? 0u : 8u);

        const std::wstring good = dir / (std::wstring(kind) + L"_good");
        ASSERT_TRUE(open_and_wait(path));
        h4test::folder_answers = {good};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(wait_idle());
        EXPECT_TRUE(h4test::boxes.empty());
        EXPECT_TRUE(bytes_of(good + L"\\big.bin") == plain);
        EXPECT_EQ(qvltest::folder_names(good), (std::vector<std::wstring>{L"big.bin"}));

        // Damage near the end of the member's data: the first pieces decode (and are written)
        // before the failure shows.
        std::vector<uint8_t> bytes = bytes_of(path);
        bytes[entries[0].data_offset + entries[0].compressed_size - 40] ^= 0x5A;
        const std::wstring damaged = dir / (std::wstring(kind) + L"_damaged.zip");
        const std::wstring bad = dir / (std::wstring(kind) + L"_bad");
        ASSERT_TRUE(rez::write_file(damaged, bytes.data(), bytes.size()));
        ASSERT_TRUE(CreateDirectoryW(bad.c_str(), nullptr));
        ASSERT_TRUE(qvltest::write_text(bad + L"\\big.bin", "older"));
        ASSERT_TRUE(open_and_wait(damaged));
        h4test::boxes.clear();
        h4test::folder_answers = {bad};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(wait_idle());
        ASSERT_EQ(h4test::boxes.size(), 1u);
        EXPECT_EQ(h4test::boxes[0].caption, L"操作失败");
        // The decoder's own message ("ZIP Deflate 解压失败", "ZIP CRC 校验失败"), as in memory.
        EXPECT_NE(h4test::boxes[0].text.find(L"ZIP "), std::wstring::npos) << h4test::boxes[0].text;
        EXPECT_EQ(bytes_of(bad + L"\\big.bin"), (std::vector<uint8_t>{'o', 'l', 'd', 'e', 'r'}));
        EXPECT_EQ(qvltest::folder_names(bad), (std::vector<std::wstring>{L"big.bin"}));
        h4test::boxes.clear();
    }
}

// A solid 7z folder is read through a window: the 3 MiB file is written as it is decoded, the
// small files come whole. Damage in the large file's data (caught by its CRC, or by the
// decoder) fails the job with the reader's message; the file before it is already written
// and checked, and an older file of the damaged one's name is left as it was.
TEST(SevenZipJobs, ExtractionOfASolidFolderFileByFile) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjsolid");
    const std::wstring source = qvltest::fixture(L"sevenzip\\window_lzma2.7z");
    const auto fixture_bytes = [](const wchar_t* name) {
        return bytes_of(qvltest::fixture(std::wstring(L"sevenzip\\") + name));
    };
    const std::vector<uint8_t> random = fixture_bytes(L"random3m.bin"), mixed = fixture_bytes(L"mixed.bin");
    ASSERT_GT(random.size(), size_t{3} << 20);

    const std::wstring good = dir / L"good";
    ASSERT_TRUE(open_and_wait(source));
    h4test::folder_answers = {good};
    w.command(IDM_EXTRACT_ALL);
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_TRUE(bytes_of(good + L"\\random3m.bin") == random);
    EXPECT_TRUE(bytes_of(good + L"\\mixed.bin") == mixed);
    EXPECT_EQ(bytes_of(good + L"\\small.txt"), fixture_bytes(L"small.txt"));
    EXPECT_EQ(qvltest::read_text(good + L"\\tree\\a.txt"), "first file\n");

    // The folder holds mixed.bin, then random3m.bin (stored chunks), then the small files:
    // three quarters into the packed bytes lie inside random3m.bin.
    std::vector<uint8_t> bytes = bytes_of(source);
    rez::SevenZipDatabase db;
    std::wstring err;
    ASSERT_TRUE(rez::sevenzip_open(bytes, db, err));
    const std::vector<rez::SevenZipEntry> entries = rez::sevenzip_entries_of(db);
    ASSERT_EQ(entries[0].name, "mixed.bin");
    ASSERT_EQ(entries[1].name, "random3m.bin");
    const size_t at = static_cast<size_t>(32 + db.pack_pos + db.pack_sizes[0] * 3 / 4);
    for (size_t i = 0; i < 16; i++) bytes[at + i] ^= 0x5A;
    const std::wstring damaged = dir / L"damaged.7z";
    ASSERT_TRUE(rez::write_file(damaged, bytes.data(), bytes.size()));
    const std::wstring bad = dir / L"bad";
    ASSERT_TRUE(CreateDirectoryW(bad.c_str(), nullptr));
    ASSERT_TRUE(qvltest::write_text(bad + L"\\random3m.bin", "older"));
    ASSERT_TRUE(open_and_wait(damaged));
    h4test::folder_answers = {bad};
    w.command(IDM_EXTRACT_ALL);
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].caption, L"操作失败");
    // "7z 子流 CRC 校验失败", or the decoder's message if a chunk header was hit.
    EXPECT_NE(h4test::boxes[0].text.find(L"7z "), std::wstring::npos) << h4test::boxes[0].text;
    EXPECT_EQ(qvltest::read_text(bad + L"\\random3m.bin"), "older");
    EXPECT_TRUE(bytes_of(bad + L"\\mixed.bin") == mixed);
    EXPECT_EQ(qvltest::folder_names(bad), (std::vector<std::wstring>{L"mixed.bin", L"random3m.bin"}));
    h4test::boxes.clear();
}

TEST(SevenZipJobs, WrongPasswordsUpToTheLimitThenCancelThenTheRightOne) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjpw");
    rez::set_current_password(L"");
    // The file list is plain: the archive opens without a question.
    ASSERT_TRUE(open_and_wait(fx(L"data_locked.7z")));
    {  // Four wrong answers; the fifth failure gives up and nothing is written.
        PasswordScript script;
        script.answers = {L"b1", L"b2", L"b3", L"b4"};
        h4test::folder_answers = {dir / L"one"};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(script.prompts, (std::vector<std::wstring>{kFirstPrompt, kAgainPrompt, kAgainPrompt, kAgainPrompt}));
        ASSERT_EQ(h4test::boxes.size(), 1u);
        EXPECT_EQ(h4test::boxes[0].caption, L"无法解压");
        EXPECT_NE(h4test::boxes[0].text.find(L"多次重试仍无法解密，归档可能损坏。"), std::wstring::npos);
        EXPECT_FALSE(rez::file_exists(dir / L"one\\a\\b\\c.txt"));
    }
    {  // Cancel: said in the status bar, and no cancel request is left for the next job.
        PasswordScript script;
        h4test::folder_answers = {dir / L"two"};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(script.prompts.size(), 1u);
        EXPECT_EQ(h4test::status_part(0), L"已取消解压");
        EXPECT_FALSE(rezui::app.cancel.load());
        EXPECT_FALSE(rez::file_exists(dir / L"two\\a\\b\\c.txt"));
    }
    {  // The right answer.
        PasswordScript script;
        script.answers = {L"pw"};
        h4test::folder_answers = {dir / L"three"};
        w.command(IDM_EXTRACT_ALL);
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(script.prompts.size(), 1u);
        EXPECT_EQ(bytes_of(dir / L"three\\a\\b\\c.txt"), (std::vector<uint8_t>{'c', ' ', 't', 'e', 'x', 't'}));
        EXPECT_TRUE(log_has(L"解压完成: " + (dir / L"three")));
    }
    rez::set_current_password(L"");
}

TEST(SevenZipJobs, EncryptedFileListCancelWrongRightThenAnAddedFileKeepsItEncrypted) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjhdr");
    const std::wstring path = copy_fixture(dir, L"locked.7z", L"l.7z");
    rez::set_current_password(L"");
    auto script = std::make_unique<PasswordScript>();  // the open asks in the masked prompt
    std::vector<std::wstring>& answers = script->answers;
    rezui::open_file(path);
    ASSERT_TRUE(wait_idle());
    EXPECT_FALSE(rezui::app.archive_loaded);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text, L"已取消打开（需要密码）");

    answers = {L"wrong"};
    rezui::open_file(path);
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(h4test::boxes.size(), 2u);
    EXPECT_EQ(h4test::boxes[1].text, L"密码错误，无法打开该 7z 归档。");

    answers = {L"pw"};
    ASSERT_TRUE(open_and_wait(path));
    script.reset();

    const std::wstring added = dir / L"new.txt";
    ASSERT_TRUE(write_text(added, "new one"));
    FilesToAdd pick({added});
    w.command(IDM_ADD_FILES);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(h4test::boxes.size(), 2u) << h4test::boxes.back().text;
    const std::map<std::string, std::string> expected{{"a/b/c.txt", "c text"}, {"new.txt", "new one"}};
    EXPECT_EQ(members_of(path, L"pw"), expected);
    EXPECT_TRUE(rez::sevenzip_needs_password(path));
    EXPECT_TRUE(members_of(path, L"").empty());
    EXPECT_NE(rezui::app.archive.find_entry("new.txt"), nullptr);
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
    rez::set_current_password(L"");
}

TEST(SevenZipJobs, AListingThatFailsForAnotherReasonGivesItsOwnErrorNotAPasswordPrompt) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjbad");
    const std::wstring path = copy_fixture(dir, L"members.7z", L"bad.7z");
    std::vector<uint8_t> bytes = bytes_of(path);
    ASSERT_GT(bytes.size(), 32u);
    bytes[bytes.size() - 3] ^= 0x5A;  // inside the header: its checksum no longer matches
    ASSERT_TRUE(rez::write_file(path, bytes.data(), bytes.size()));
    rez::set_current_password(L"");
    int questions = 0;
    h4test::dialog_script = [&questions](int, DLGPROC) -> INT_PTR {
        ++questions;
        return 0;
    };
    rezui::open_file(path);
    ASSERT_TRUE(wait_idle());
    h4test::dialog_script = nullptr;
    EXPECT_EQ(questions, 0);
    ASSERT_EQ(h4test::boxes.size(), 1u);
    EXPECT_EQ(h4test::boxes[0].text.find(L"密码"), std::wstring::npos) << h4test::boxes[0].text;
    EXPECT_NE(h4test::boxes[0].text.find(L"7z"), std::wstring::npos) << h4test::boxes[0].text;
}

TEST(ZipJobs, ACancelLeftByAnEarlierJobDoesNotStopTheNextOne) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjstale");
    const std::wstring path = copy_fixture(dir, L"members.7z", L"m.7z");
    ASSERT_TRUE(open_and_wait(path));
    const std::wstring added = dir / L"new.txt";
    ASSERT_TRUE(write_text(added, "new one"));
    FilesToAdd pick({added});
    // Stop pressed as the last job ended: the request is still set.
    rezui::app.cancel.store(true);
    w.command(IDM_ADD_FILES);
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(log_has(L"归档已更新: " + path));
    EXPECT_EQ(members_of(path)["new.txt"], "new one");
    EXPECT_EQ(members_of(path)["a/b/c.txt"], "c text");

    // The same for an extraction of an entry that needs no password.
    rezui::app.cancel.store(true);
    h4test::folder_answers = {dir / L"out"};
    rezui::navigate_vdir(L"a\\b");
    ASSERT_TRUE(h4test::select_first_row_named(L"c.txt"));
    w.command(IDM_EXTRACT_SELECTED);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(bytes_of(dir / L"out\\a\\b\\c.txt"), (std::vector<uint8_t>{'c', ' ', 't', 'e', 'x', 't'}));
}

TEST(ZipJobs, AddingAFolderToAZipAppendsItsFilesUnderTheCurrentFolder) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjadddir");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    ASSERT_TRUE(CreateDirectoryW((dir / L"docs").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dir / L"docs\\en").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dir / L"docs\\empty").c_str(), nullptr));
    ASSERT_TRUE(write_text(dir / L"docs\\en\\readme.txt", "read me"));
    ASSERT_TRUE(open_and_wait(path));
    rezui::navigate_vdir(L"a");
    h4test::folder_answers = {dir / L"docs"};
    w.command(IDM_ADD_FOLDER);
    ASSERT_TRUE(wait_idle());
    std::map<std::string, std::string> m = members_of(path);
    EXPECT_EQ(m["a/docs/en/readme.txt"], "read me");
    EXPECT_EQ(m["a/b/c.txt"], "c text");
    EXPECT_EQ(m.size(), 4u);
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
}

TEST(ZipJobs, EveryJobCommandIsRefusedVisiblyWhileAJobRuns) {
    h4test::MainWindow w;
    ASSERT_TRUE(open_and_wait(fx(L"members.zip")));
    ASSERT_TRUE(h4test::select_first_row_named(L"Data"));
    FilesToAdd pick({fx(L"members.7z")});
    h4test::folder_answers = {L"C:\\nowhere"};
    rezui::app.busy = true;
    for (UINT id : {IDM_EXTRACT_ALL, IDM_EXTRACT_SELECTED, IDM_ADD_FILES, IDM_ADD_FOLDER, IDM_REMOVE, IDM_SET_PASSWORD,
                    IDM_TEST, IDM_SAVE}) {
        rezui::set_status_bar_text(L"");
        w.command(id);
        EXPECT_EQ(h4test::status_part(0), rezui::kBusyRefusalText) << id;
    }
    rezui::app.busy = false;
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_EQ(h4test::folder_answers.size(), 1u);
}

TEST(ZipJobs, SettingAndRemovingThePasswordRewritesTheArchive) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjsetpw");
    const std::wstring path = copy_fixture(dir, L"members.zip", L"m.zip");
    rez::set_current_password(L"");
    ASSERT_TRUE(open_and_wait(path));
    h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
        EXPECT_EQ(id, IDD_NEW_PASSWORD);
        rezui::new_password_result = L"np";
        return 1;
    };
    w.command(IDM_SET_PASSWORD);
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(rezui::archive_is_encrypted(path, "zip"));
    EXPECT_EQ(members_of(path, L"np")["a/b/c.txt"], "c text");
    EXPECT_EQ(rez::get_current_password(), L"np");

    // Removing it asks nothing more: the held password reads the old content.
    h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
        EXPECT_EQ(id, IDD_NEW_PASSWORD);
        rezui::new_password_result.clear();
        return 1;
    };
    w.command(IDM_SET_PASSWORD);
    ASSERT_TRUE(wait_idle());
    h4test::dialog_script = nullptr;
    EXPECT_FALSE(rezui::archive_is_encrypted(path, "zip"));
    EXPECT_EQ(members_of(path)["a/b/c.txt"], "c text");
    EXPECT_EQ(rez::get_current_password(), L"");
    EXPECT_TRUE(h4test::boxes.empty());
    EXPECT_TRUE(rewrite_leftovers(dir.path()).empty());
}

// A new password re-encrypts every member, and a WinZip AES archive stays AES; names, times
// and folders stay as they were.
TEST(ZipJobs, ANewPasswordKeepsAesNamesAndTimes) {
    h4test::MainWindow w;
    qvltest::ScratchDir dir(L"zjaespw");
    const std::wstring path = copy_fixture(dir, L"keep_aes.zip", L"k.zip");
    std::vector<rez::ZipEntry> before, after;
    std::wstring comment, err;
    ASSERT_TRUE(rez::zip_list_entries(path, before, comment, err));
    rez::set_current_password(L"PW");
    ASSERT_TRUE(open_and_wait(path));
    h4test::dialog_script = [](int id, DLGPROC) -> INT_PTR {
        EXPECT_EQ(id, IDD_NEW_PASSWORD);
        rezui::new_password_result = L"np";
        return 1;
    };
    w.command(IDM_SET_PASSWORD);
    ASSERT_TRUE(wait_idle());
    h4test::dialog_script = nullptr;
    EXPECT_TRUE(h4test::boxes.empty()) << rez::to_utf8(h4test::boxes.back().text);
    ASSERT_TRUE(rez::zip_list_entries(path, after, comment, err));
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].name, before[i].name);
        EXPECT_EQ(after[i].dos_date, before[i].dos_date) << after[i].name;
        EXPECT_EQ(after[i].dos_time, before[i].dos_time) << after[i].name;
        EXPECT_EQ(after[i].encryption, after[i].is_dir ? 0u : 2u) << after[i].name;
    }
    EXPECT_EQ(members_of(path, L"np")["dup.txt"], "dup old");
    EXPECT_TRUE(members_of(path, L"PW").empty());
    rez::set_current_password(L"");
}

}  // namespace
