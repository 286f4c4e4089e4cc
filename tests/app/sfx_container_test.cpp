#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/tools/sfx_container.h"
#include "app/tools/sfx_shortcut.h"
#include "archive/util.h"
#include "test_support.h"

using qvltest::bytes_of;
using qvltest::ScratchDir;

namespace {

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

void write_bytes(const std::wstring& path, const std::vector<uint8_t>& data) {
    ASSERT_TRUE(rez::write_file(path, data.data(), data.size()));
}

void append(std::vector<uint8_t>& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

void append_le(std::vector<uint8_t>& out, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool contains(const std::vector<uint8_t>& hay, const std::string& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

// Reads a container and removes the temporary archive it left, keeping its bytes.
struct Read {
    bool ok = false;
    rezui::SfxPayload payload;
    std::vector<uint8_t> archive;
};
Read read(const std::wstring& path) {
    Read r;
    r.ok = rezui::read_sfx(path, r.payload);
    if (!r.payload.temp_archive.empty()) {
        r.archive = bytes_of(r.payload.temp_archive);
        DeleteFileW(r.payload.temp_archive.c_str());
    }
    return r;
}

// A stand-in runner and an archive; only their bytes matter to the container.
struct SfxFiles {
    ScratchDir dir{L"sfx"};
    std::wstring host = dir / L"Hobbleton.exe";
    std::wstring rez = dir / L"data.rez";
    std::wstring out = dir / L"setup.exe";
    std::vector<uint8_t> host_bytes = bytes("MZ stand-in runner \x01\x02\x03");
    std::vector<uint8_t> rez_bytes = bytes("RZ archive bytes \xff\x00\x7f");
    SfxFiles() {
        write_bytes(host, host_bytes);
        write_bytes(rez, rez_bytes);
    }
};

}  // namespace

TEST(SfxContainer, EscapesEveryNonAsciiAndControlByte) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"\xe4\xb8\xad", "\\u4E2D"},                      // U+4E2D
        {"\xf0\x9f\x98\x80", "\\uD83D\\uDE00"},           // U+1F600 as a surrogate pair
        {"a\tb", "a\\u0009b"},
        {"say \"hi\" \\ ok", "say \\\"hi\\\" \\\\ ok"},
        {"\xc3\xa9", "\\u00E9"},
        {"x\xe4\xb8", "x\xe4\\u00B8"},  // cut-off sequence: lead byte kept, the rest goes on
        {"\x80", "\\u0080"},                               // stray continuation byte
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::sfx_json_escape(c.in), c.out) << c.in;
}

TEST(SfxContainer, ParserIsLenientAboutKeysAndStopsAtWhatItCannotRead) {
    rezui::SfxConfig c;
    rezui::parse_sfx_config(R"({"MODE":"installer","title":"\u4E2D\uD83D\uDE00\n","CreateShortcut":True})", c);
    EXPECT_EQ(c.mode, "installer");
    EXPECT_EQ(c.title, "\xe4\xb8\xad\xf0\x9f\x98\x80\n");
    EXPECT_FALSE(c.create_shortcut);  // only the exact text true counts

    rezui::SfxConfig d;
    rezui::parse_sfx_config(R"({ "Mode" : "installer", "Title":"A", "title":"B", "Other":"x"})", d);
    EXPECT_EQ(d.mode, "installer");
    EXPECT_EQ(d.title, "B");      // a later duplicate wins
    EXPECT_TRUE(d.create_shortcut);  // absent key: the caller's value stays

    rezui::SfxConfig e;
    rezui::parse_sfx_config(R"({"Readme":"r" ,"Intro":"never"})", e);
    EXPECT_EQ(e.readme, "r");
    EXPECT_EQ(e.intro, "");  // space before the comma ends the reading

    std::string out;
    size_t pos = 0;
    EXPECT_FALSE(rezui::sfx_json_read_string("\"abc\\", pos, out));  // unterminated
    EXPECT_EQ(out, "abc\\");
    pos = 0;
    EXPECT_TRUE(rezui::sfx_json_read_bare("  false  }", pos, out));
    EXPECT_EQ(out, "false");
    EXPECT_EQ(pos, 9u);
}

TEST(SfxContainer, BuiltProgramReadsBackWithEverySetting) {
    SfxFiles f;
    rezui::SfxConfig in;
    in.title = "\xe6\xb5\x8b\xe8\xaf\x95 \"Demo\"\t\xf0\x9f\x98\x80";
    in.description = "line1\r\nline2 \\ end";
    in.default_path = "D:\\Games\\Demo";
    in.image_base64 = "iVBORw0KGgo=";
    in.icon_base64 = "AAAB";
    in.create_shortcut = false;
    in.shortcut_target = "bin\\demo.exe";
    in.mode = "installer";
    in.intro = "intro";
    in.license = "license";
    in.readme = "readme";
    in.run_program = "setup\\go.exe";
    // A runner whose own data holds the marker is still read from the appended one.
    append(f.host_bytes, rezui::sfx_marker() + "junk");
    write_bytes(f.host, f.host_bytes);

    std::wstring error;
    ASSERT_EQ(rezui::build_sfx(f.host, f.rez, f.out, in, error), 1) << rez::to_utf8(error);
    const std::vector<uint8_t> written = bytes_of(f.out);
    ASSERT_GT(written.size(), f.host_bytes.size());
    EXPECT_TRUE(std::equal(f.host_bytes.begin(), f.host_bytes.end(), written.begin()));
    // Nothing is left beside the output.
    EXPECT_EQ(qvltest::folder_names(f.dir.path()), (std::vector<std::wstring>{L"Hobbleton.exe", L"data.rez", L"setup.exe"}));

    Read r = read(f.out);
    ASSERT_TRUE(r.ok);
    EXPECT_NE(r.payload.temp_archive.find(L"rez_sfx_" + std::to_wstring(GetCurrentProcessId()) + L".rez"),
              std::wstring::npos);
    EXPECT_EQ(r.payload.archive_size, f.rez_bytes.size());
    EXPECT_EQ(r.archive, f.rez_bytes);
    const rezui::SfxConfig& c = r.payload.config;
    EXPECT_EQ(c.title, in.title);
    EXPECT_EQ(c.description, in.description);
    EXPECT_EQ(c.default_path, in.default_path);
    EXPECT_EQ(c.image_base64, in.image_base64);
    EXPECT_EQ(c.icon_base64, in.icon_base64);
    EXPECT_FALSE(c.create_shortcut);
    EXPECT_EQ(c.shortcut_target, in.shortcut_target);
    EXPECT_EQ(c.mode, "installer");
    EXPECT_EQ(c.intro, in.intro);
    EXPECT_EQ(c.license, in.license);
    EXPECT_EQ(c.readme, in.readme);
    EXPECT_EQ(c.run_program, in.run_program);

    // Any mode other than the exact "installer" is written as "sfx".
    in.mode = "Installer";
    ASSERT_EQ(rezui::build_sfx(f.host, f.rez, f.out, in, error), 1);
    EXPECT_EQ(read(f.out).payload.config.mode, "sfx");
}

TEST(SfxContainer, OlderLayoutGivesTheCallersSettingsAndItsArchive) {
    SfxFiles f;
    std::vector<uint8_t> file = f.host_bytes;
    append(file, rezui::sfx_legacy_marker());
    append_le(file, f.rez_bytes.size(), 8);
    file.insert(file.end(), f.rez_bytes.begin(), f.rez_bytes.end());
    write_bytes(f.out, file);

    Read r = read(f.out);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.archive, f.rez_bytes);
    EXPECT_EQ(r.payload.archive_size, f.rez_bytes.size());
    const rezui::SfxConfig defaults;
    EXPECT_EQ(r.payload.config.title, defaults.title);
    EXPECT_EQ(r.payload.config.description, defaults.description);
    EXPECT_TRUE(r.payload.config.create_shortcut);
    EXPECT_EQ(r.payload.config.mode, "sfx");
}

TEST(SfxContainer, StoredLengthsThatDoNotFitAreRefused) {
    SfxFiles f;
    auto legacy = [&](uint64_t n) {
        std::vector<uint8_t> file = f.host_bytes;
        append(file, rezui::sfx_legacy_marker());
        append_le(file, n, 8);
        append(file, "tail");
        return file;
    };
    auto current = [&](uint32_t l, uint32_t a) {
        std::vector<uint8_t> file = f.host_bytes;
        append(file, rezui::sfx_marker());
        append_le(file, l, 4);
        append(file, "{}");
        append_le(file, a, 4);
        append(file, "tail");
        return file;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> file;
    } cases[] = {
        // A length so large that offset + length wraps round to a small number.
        {"legacy, wrapping length", legacy(0xFFFFFFFFFFFFFFFFull - 20)},
        {"legacy, one byte too long", legacy(5)},
        {"legacy, empty archive", legacy(0)},
        {"header past the end", current(0xFFFFFFF0u, 4)},
        {"header above 16 MiB", current(16u * 1024 * 1024 + 1, 4)},
        {"archive one byte too long", current(2, 5)},
        {"empty archive", current(2, 0)},
        {"too short", bytes("MZ")},
    };
    qvltest::PrivateTemp temp(L"sfx_lengths");
    for (const auto& c : cases) {
        write_bytes(f.out, c.file);
        Read r = read(f.out);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_TRUE(r.payload.temp_archive.empty()) << c.what;
        // Refused before anything is written: no temporary archive, not even a part of one.
        EXPECT_EQ(qvltest::folder_names(temp.dir.path()), std::vector<std::wstring>{}) << c.what;
    }
    // The last byte in reach is still taken.
    write_bytes(f.out, legacy(4));
    EXPECT_EQ(read(f.out).archive, bytes("tail"));
    write_bytes(f.out, current(2, 4));
    EXPECT_EQ(read(f.out).archive, bytes("tail"));
}

TEST(SfxContainer, BareProgramsAreNoSelfExtractors) {
    const std::wstring dir = rez::exe_directory();
    int checked = 0;
    for (const wchar_t* name : {L"Quarvel.exe", L"Hobbleton.exe"}) {
        const std::wstring path = dir + L"\\" + name;
        if (!rez::file_exists(path)) continue;  // the runner arrives with its own branch
        ++checked;
        const std::vector<uint8_t> program = bytes_of(path);
        ASSERT_FALSE(program.empty());
        EXPECT_FALSE(contains(program, rezui::sfx_marker())) << rez::to_utf8(name);
        EXPECT_FALSE(contains(program, rezui::sfx_legacy_marker())) << rez::to_utf8(name);
        Read r = read(path);
        EXPECT_FALSE(r.ok) << rez::to_utf8(name);
    }
    EXPECT_GE(checked, 1) << "Quarvel.exe is built beside the tests";
}

TEST(SfxContainer, FailedBuildKeepsTheOldOutputAndNeverWritesOverItsInputs) {
    SfxFiles f;
    const std::vector<uint8_t> old_output = bytes("old self-extractor");
    write_bytes(f.out, old_output);
    ScratchDir empty_dir(L"sfx_empty");
    const std::wstring empty_rez = empty_dir / L"empty.rez";
    write_bytes(empty_rez, {});
    rezui::SfxConfig huge;
    huge.readme.assign(16u * 1024 * 1024, 'x');
    const rezui::SfxConfig plain;

    const struct {
        const char* what;
        std::wstring rez, output;
        const rezui::SfxConfig* config;
        std::wstring error;
    } cases[] = {
        {"empty archive", empty_rez, f.out, &plain, L"REZ 文件为空，无法生成自解压程序"},
        {"header too large", f.rez, f.out, &huge,
         L"自解压配置数据过大（背景图或介绍/许可文本超过 16MB），请更换较小的背景图"},
        {"missing archive", f.dir / L"none.rez", f.out, &plain, L"无法读取 REZ 文件"},
        {"output is the runner", f.rez, f.host, &plain, L"输出程序不能是宿主程序本身"},
        {"output is the archive", f.rez, f.dir / L"sub\\..\\DATA.REZ", &plain, L"输出程序不能是 REZ 资源包本身"},
    };
    for (const auto& c : cases) {
        std::wstring error;
        EXPECT_EQ(rezui::build_sfx(f.host, c.rez, c.output, *c.config, error), 0) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(bytes_of(f.out), old_output) << c.what;
        EXPECT_EQ(bytes_of(f.host), f.host_bytes) << c.what;
        EXPECT_EQ(bytes_of(f.rez), f.rez_bytes) << c.what;
        EXPECT_EQ(qvltest::folder_names(f.dir.path()),
                  (std::vector<std::wstring>{L"Hobbleton.exe", L"data.rez", L"setup.exe"}))
            << c.what;
    }
}

TEST(SfxContainer, HeaderPathsMustStayInsideTheExtractionFolder) {
    ScratchDir dest(L"sfx_inside");
    const struct {
        std::string relative;
        bool inside;
    } cases[] = {
        {"bin\\demo.exe", true}, {"bin/demo.exe", true},    {"demo.exe", true},
        {"", false},             {"..\\evil.exe", false},   {"bin\\..\\..\\evil.exe", false},
        {"C:\\Windows\\x.exe", false}, {"\\x.exe", false},  {"/x.exe", false},
        {"\\\\server\\share\\x.exe", false}, {"bin\\. .\\x.exe", false}, {"...\\x.exe", false},
        {".", false},            {"a:b.exe", false},
    };
    for (const auto& c : cases) {
        const std::wstring got = rezui::sfx_path_inside(dest.path(), c.relative);
        if (c.inside) {
            std::wstring rel = rez::from_utf8(c.relative);
            for (wchar_t& ch : rel)
                if (ch == L'/') ch = L'\\';
            EXPECT_EQ(got, dest.path() + L"\\" + rel) << c.relative;
        } else {
            EXPECT_EQ(got, L"") << c.relative;
        }
    }

    // The shortcut points at a named file only when it exists inside the folder.
    ASSERT_TRUE(CreateDirectoryW((dest / L"bin").c_str(), nullptr));
    ASSERT_TRUE(qvltest::write_text(dest / L"bin\\demo.exe", "x"));
    rezui::SfxConfig config;
    std::wstring target, work;
    for (const char* named : {"", "bin", "missing.exe", "..\\x.exe", "C:\\windows\\notepad.exe"}) {
        config.shortcut_target = named;
        rezui::sfx_shortcut_target(dest.path(), config, target, work);
        EXPECT_EQ(target, dest.path()) << named;
        EXPECT_EQ(work, dest.path()) << named;
    }
    config.shortcut_target = "bin\\demo.exe";
    rezui::sfx_shortcut_target(dest.path(), config, target, work);
    EXPECT_EQ(target, dest / L"bin\\demo.exe");
    EXPECT_EQ(work, dest / L"bin");
}

TEST(SfxContainer, ShortcutNamesAreFileNames) {
    const struct {
        std::string title;
        std::wstring name;
    } cases[] = {
        {"a/b:c ", L"a_b_c"},
        {"   ", L"解压目录"},
        {"", L"解压目录"},
        {"x\"*<>?\\|\ty", L"x________y"},
        {"\xe6\xb8\xb8\xe6\x88\x8f Demo", L"游戏 Demo"},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::sfx_shortcut_name(c.title), c.name) << c.title;
}

// Writes a self-extractor into QVL_SFX_OUT for sfx_reader.py, which reads it knowing only the
// layout; the settings here are the ones the script expects. Skipped when QVL_SFX_OUT is not
// set.
TEST(SfxPeerOutput, WritesAContainerForTheIndependentReader) {
    const char* out = std::getenv("QVL_SFX_OUT");
    if (!out || !*out) GTEST_SKIP() << "QVL_SFX_OUT not set";
    const std::wstring dir = qvltest::host_to_windows(out);
    const std::wstring runner = dir + L"\\runner.exe", rez = dir + L"\\data.rez", output = dir + L"\\setup.exe";
    // The bare main program stands in for the runner: any program will do.
    ASSERT_TRUE(CopyFileW((rez::exe_directory() + L"\\Quarvel.exe").c_str(), runner.c_str(), FALSE));
    std::vector<uint8_t> archive;
    for (int i = 0; i < 70000; ++i) archive.push_back(static_cast<uint8_t>(i * 7));
    write_bytes(rez, archive);

    rezui::SfxConfig c;
    c.title = "测试 \"Demo\"\t😀";
    c.description = "第一行\r\n第二行 \\ 完";
    c.default_path = "D:\\Games\\演示";
    c.image_base64 = "iVBORw0KGgo=";
    c.create_shortcut = false;
    c.shortcut_target = "bin\\demo.exe";
    c.mode = "installer";
    c.intro = "欢迎";
    c.readme = "自述";
    c.run_program = "setup\\go.exe";
    std::wstring error;
    EXPECT_EQ(rezui::build_sfx(runner, rez, output, c, error), 1) << rez::to_utf8(error);
}
