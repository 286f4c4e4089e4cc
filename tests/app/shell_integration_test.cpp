// Explorer integration: what the association, context-menu and New-menu installs leave in
// the registry and beside the program, and how the elevated verbs dispatch. Every case
// runs in the test's own Wine prefix and takes its keys away again (ShellRegistryGuard).
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "archive/rez_model.h"
#include "shell_registry_support.h"
#include "test_support.h"

using qvltest::reg_has_key;
using qvltest::reg_set_text;
using qvltest::reg_text;

namespace {

const HKEY kCR = HKEY_CLASSES_ROOT;
const HKEY kCU = HKEY_CURRENT_USER;
const std::wstring kFileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

std::wstring quoted_program() { return L"\"" + rezui::program_path() + L"\""; }

// Runs one verb as the elevated copy would see its command line.
int run_verb(std::vector<std::wstring> args) {
    args.insert(args.begin(), L"Quarvel.exe");
    std::vector<wchar_t*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return rezui::handle_elevate_command(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(ShellRegistry, ProgIdsByExactExtension) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L".rez", L"Vellox.RezFile"}, {L".zip", L"Vellox.ZipFile"}, {L".7z", L"Vellox.SevenZipFile"},
        {L".REZ", L"Vellox.File"},    {L".rar", L"Vellox.File"},    {L"", L"Vellox.File"}};
    for (auto [ext, progid] : cases) EXPECT_EQ(rezui::progid_for_extension(ext), progid) << ext;
}

TEST(ShellRegistry, InstallWritesTheClassAndUninstallRestoresTheEarlierDefault) {
    qvltest::ShellRegistryGuard guard;
    reg_set_text(kCR, L".zip", L"", L"OtherTool.Zip");
    reg_set_text(kCU, kFileExts + L".zip\\UserChoice", L"ProgId", L"OtherTool.Zip");
    reg_set_text(kCU, kFileExts + L".zip\\OpenWithList", L"a", L"other.exe");

    ASSERT_TRUE(rezui::install_file_association(L".zip"));
    EXPECT_EQ(reg_text(kCR, L"Vellox.ZipFile"), L"ZIP压缩包");
    // The document icon is the third icon group (101 and 102 are the window's icons).
    EXPECT_EQ(reg_text(kCR, L"Vellox.ZipFile\\DefaultIcon"), quoted_program() + L",2");
    EXPECT_EQ(reg_text(kCR, L"Vellox.ZipFile\\shell\\open\\command"), quoted_program() + L" \"%1\"");
    EXPECT_EQ(reg_text(kCR, L"Vellox.ZipFile\\PreviousDefault"), L"OtherTool.Zip");
    EXPECT_EQ(reg_text(kCR, L".zip"), L"Vellox.ZipFile");
    EXPECT_EQ(reg_text(kCR, L".zip", L"PerceivedType"), L"Document");
    EXPECT_EQ(reg_text(kCU, L"Software\\Classes\\.zip"), L"Vellox.ZipFile");
    EXPECT_FALSE(reg_has_key(kCU, kFileExts + L".zip\\UserChoice"));
    EXPECT_FALSE(reg_has_key(kCU, kFileExts + L".zip\\OpenWithList"));
    EXPECT_TRUE(rezui::is_association_installed(L".zip"));
    EXPECT_FALSE(rezui::is_association_installed(L".7z"));

    ASSERT_TRUE(rezui::uninstall_file_association(L".zip"));
    EXPECT_EQ(reg_text(kCR, L".zip"), L"OtherTool.Zip");
    // The per-user value wins over the machine's: it must not name the class just deleted.
    EXPECT_EQ(reg_text(kCU, L"Software\\Classes\\.zip"), L"OtherTool.Zip");
    EXPECT_EQ(reg_text(kCR, L".zip", L"PerceivedType"), L"<missing>");
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.ZipFile"));
    EXPECT_FALSE(rezui::is_association_installed(L".zip"));
}

// Re-applying the settings installs the association again while it is already ours; the
// program that was the default before the first install must still come back afterwards.
TEST(ShellRegistry, SecondInstallKeepsTheEarlierDefault) {
    qvltest::ShellRegistryGuard guard;
    reg_set_text(kCR, L".7z", L"", L"OtherTool.SevenZip");
    ASSERT_TRUE(rezui::install_file_association(L".7z"));
    ASSERT_TRUE(rezui::install_file_association(L".7z"));
    EXPECT_EQ(reg_text(kCR, L"Vellox.SevenZipFile\\PreviousDefault"), L"OtherTool.SevenZip");

    ASSERT_TRUE(rezui::uninstall_file_association(L".7z"));
    EXPECT_EQ(reg_text(kCR, L".7z"), L"OtherTool.SevenZip");
    EXPECT_EQ(reg_text(kCU, L"Software\\Classes\\.7z"), L"OtherTool.SevenZip");
}

TEST(ShellRegistry, WithoutAnEarlierDefaultUninstallClearsTheExtension) {
    qvltest::ShellRegistryGuard guard;
    ASSERT_TRUE(rezui::install_file_association(L".7z"));
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.SevenZipFile\\PreviousDefault"));
    ASSERT_TRUE(rezui::uninstall_file_association(L".7z"));
    EXPECT_EQ(reg_text(kCR, L".7z"), L"<missing>");
    EXPECT_EQ(reg_text(kCU, L"Software\\Classes\\.7z"), L"<missing>");
}

TEST(ShellRegistry, UninstallLeavesAnotherProgramsDefaultAlone) {
    qvltest::ShellRegistryGuard guard;
    ASSERT_TRUE(rezui::install_file_association(L".zip"));
    // Another program took the extension over since.
    reg_set_text(kCR, L".zip", L"", L"OtherTool.Zip");
    reg_set_text(kCU, L"Software\\Classes\\.zip", L"", L"OtherTool.Zip");
    reg_set_text(kCU, kFileExts + L".zip\\UserChoice", L"ProgId", L"OtherTool.Zip");

    ASSERT_TRUE(rezui::uninstall_file_association(L".zip"));
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.ZipFile"));
    EXPECT_EQ(reg_text(kCR, L".zip"), L"OtherTool.Zip");
    EXPECT_EQ(reg_text(kCR, L".zip", L"PerceivedType"), L"Document");
    EXPECT_EQ(reg_text(kCU, L"Software\\Classes\\.zip"), L"OtherTool.Zip");
    EXPECT_EQ(reg_text(kCU, kFileExts + L".zip\\UserChoice", L"ProgId"), L"OtherTool.Zip");
}

TEST(ShellRegistry, UpperCaseRezIsAnUnknownExtensionOnInstall) {
    qvltest::ShellRegistryGuard guard;
    ASSERT_TRUE(rezui::install_file_association(L".REZ"));
    EXPECT_TRUE(reg_has_key(kCR, L"Vellox.File\\shell\\open\\command"));
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.RezFile"));
}

TEST(ShellRegistry, ContextMenuInstallWritesCascadeAndFiveCommands) {
    qvltest::ShellRegistryGuard guard;
    // Leftovers of earlier versions and of an earlier install, all to be gone afterwards.
    reg_set_text(kCR, L"Vellox.MenuCmds\\shell\\Vellox.060.Stale", L"", L"stale");
    reg_set_text(kCR, L"Directory\\shell\\Vellox.Menu", L"", L"old");
    reg_set_text(kCR, L"VelloxMenu", L"", L"old");
    reg_set_text(kCR, L"Folder\\shell\\Vellox.PackDir", L"", L"old");
    reg_set_text(kCU, L"Software\\Classes\\Directory\\shell\\Vellox.PackDir", L"", L"old");

    ASSERT_TRUE(rezui::install_context_menus());
    const std::wstring program = quoted_program();
    for (const wchar_t* cls : {L"*", L"Directory", L"Directory\\Background"}) {
        std::wstring key = std::wstring(cls) + L"\\shell\\0ZVellox.Menu";
        EXPECT_EQ(reg_text(kCR, key, L"MUIVerb"), L"Quarvel") << cls;
        EXPECT_EQ(reg_text(kCR, key, L"Icon"), program + L",0") << cls;
        EXPECT_EQ(reg_text(kCR, key, L"ExtendedSubCommandsKey"), L"Vellox.MenuCmds") << cls;
        EXPECT_EQ(reg_text(kCR, key, L"MultiSelectModel"), L"Document") << cls;
    }
    struct Row {
        const wchar_t* key;
        const wchar_t* label;
        std::wstring command;
    };
    const Row rows[] = {
        {L"Vellox.010.Open", L"打开数据包", program + L" \"%V\""},
        {L"Vellox.020.Convert", L"转换数据包格式", program + L" --convert \"%V\""},
        {L"Vellox.030.Unpack", L"解压到当前目录", program + L" --extract-here \"%V\""},
        {L"Vellox.040.Hdr", L"编辑数据包文件头", program + L" --edit-header \"%V\""},
        {L"Vellox.050.Pack", L"将目标添加到数据包", program + L" --pack \"%V\""},
    };
    for (const Row& row : rows) {
        std::wstring key = std::wstring(L"Vellox.MenuCmds\\shell\\") + row.key;
        EXPECT_EQ(reg_text(kCR, key), row.label) << row.key;
        EXPECT_EQ(reg_text(kCR, key, L"Icon"), program + L",0") << row.key;
        EXPECT_EQ(reg_text(kCR, key + L"\\command"), row.command) << row.key;
    }
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.MenuCmds\\shell\\Vellox.060.Stale"));
    EXPECT_FALSE(reg_has_key(kCR, L"Directory\\shell\\Vellox.Menu"));
    EXPECT_FALSE(reg_has_key(kCR, L"VelloxMenu"));
    EXPECT_FALSE(reg_has_key(kCR, L"Folder\\shell\\Vellox.PackDir"));
    EXPECT_FALSE(reg_has_key(kCU, L"Software\\Classes\\Directory\\shell\\Vellox.PackDir"));
    EXPECT_TRUE(rezui::is_context_menu_installed());

    // Only the "*" class counts for the installed state.
    rezui::remove_cascade_menu(L"*");
    EXPECT_FALSE(rezui::is_context_menu_installed());

    EXPECT_TRUE(rezui::uninstall_context_menus());
    EXPECT_FALSE(reg_has_key(kCR, L"Directory\\shell\\0ZVellox.Menu"));
    EXPECT_FALSE(reg_has_key(kCR, L"Directory\\Background\\shell\\0ZVellox.Menu"));
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.MenuCmds"));
}

TEST(ShellRegistry, ShellNewWritesAnEmptyArchiveTemplate) {
    qvltest::ShellRegistryGuard guard;
    const std::wstring dir = rezui::module_directory();
    ASSERT_FALSE(dir.empty());
    ASSERT_TRUE(qvltest::write_text(dir + L"\\template.rez", "older template"));

    ASSERT_TRUE(rezui::install_shellnew());
    const std::wstring path = dir + L"\\template.tao";
    EXPECT_EQ(reg_text(kCR, L".rez\\ShellNew", L"FileName"), path);
    EXPECT_EQ(reg_text(kCR, L".rez\\ShellNew", L"ItemName"), L"新建 REZ 数据包");
    EXPECT_TRUE(rezui::is_shellnew_installed());
    EXPECT_FALSE(qvltest::path_exists(dir + L"\\template.rez"));

    std::vector<uint8_t> bytes = qvltest::bytes_of(path);
    ASSERT_EQ(bytes.size(), 168u);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.substr(0, 2), "\r\n");
    EXPECT_EQ(text.substr(2, 60), "RezMgr Version 1 Copyright (C) 1995 MONOLITH INC." + std::string(11, ' '));
    EXPECT_EQ(text.substr(62, 2), "\r\n");
    EXPECT_EQ(text.substr(64, 60), "LithTech Resource File" + std::string(38, ' '));
    EXPECT_EQ(text.substr(124, 3), "\r\n\x1a");
    const uint32_t words[] = {1, 168, 0, 0, 168};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rez::load_u32le(bytes.data() + 127 + 4 * i), words[i]) << i;
    EXPECT_EQ(text.substr(147), std::string(21, '\0'));

    rez::RezFile archive;
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(path, archive, err)) << rez::to_utf8(err);
    EXPECT_TRUE(archive.root.children.empty());

    EXPECT_TRUE(rezui::uninstall_shellnew());
    EXPECT_FALSE(rezui::is_shellnew_installed());
    EXPECT_TRUE(qvltest::path_exists(path));
}

TEST(ShellRegistry, ApplyAllTakesTheLowEightBitsOfItsMask) {
    qvltest::ShellRegistryGuard guard;
    ASSERT_EQ(run_verb({L"--elevate-apply-all", L"31"}), 0);
    EXPECT_TRUE(rezui::is_context_menu_installed());
    EXPECT_TRUE(rezui::is_shellnew_installed());
    for (const wchar_t* ext : {L".rez", L".zip", L".7z"}) EXPECT_TRUE(rezui::is_association_installed(ext)) << ext;

    // 259 is 3 in its low byte: context menu and New menu stay, the associations go.
    ASSERT_EQ(run_verb({L"--elevate-apply-all", L"259"}), 0);
    EXPECT_TRUE(rezui::is_context_menu_installed());
    EXPECT_TRUE(rezui::is_shellnew_installed());
    for (const wchar_t* ext : {L".rez", L".zip", L".7z"}) EXPECT_FALSE(rezui::is_association_installed(ext)) << ext;

    // Without a number every item is removed.
    ASSERT_EQ(run_verb({L"--elevate-apply-all"}), 0);
    EXPECT_FALSE(rezui::is_context_menu_installed());
    EXPECT_FALSE(rezui::is_shellnew_installed());
}

TEST(ShellRegistry, VerbsAreMatchedExactlyOnTheFirstArgument) {
    qvltest::ShellRegistryGuard guard;
    EXPECT_EQ(run_verb({}), -1);
    EXPECT_EQ(run_verb({L"--Elevate-Apply-All", L"31"}), -1);
    EXPECT_EQ(run_verb({L"C:\\data\\a.rez", L"--elevate-apply-all", L"31"}), -1);
    EXPECT_EQ(run_verb({L"--elevate-install-pack"}), 0);
    EXPECT_FALSE(rezui::is_context_menu_installed());
    EXPECT_FALSE(rezui::is_association_installed(L".rez"));

    // The single-association verbs take an extension only when it starts with a dot.
    EXPECT_EQ(run_verb({L"--elevate-install-assoc", L"zip"}), 0);
    EXPECT_TRUE(rezui::is_association_installed(L".rez"));
    EXPECT_FALSE(rezui::is_association_installed(L".zip"));
    EXPECT_EQ(run_verb({L"--elevate-install-assoc", L".7z"}), 0);
    EXPECT_TRUE(rezui::is_association_installed(L".7z"));
    EXPECT_EQ(run_verb({L"--elevate-uninstall-assoc"}), 0);
    EXPECT_FALSE(rezui::is_association_installed(L".rez"));

    EXPECT_EQ(run_verb({L"--elevate-install-assoc-all"}), 0);
    EXPECT_TRUE(rezui::is_association_installed(L".zip"));
    EXPECT_FALSE(rezui::is_association_installed(L".rez"));
    EXPECT_EQ(run_verb({L"--elevate-install-ctx-all"}), 0);
    EXPECT_TRUE(rezui::is_context_menu_installed());
    EXPECT_EQ(run_verb({L"--elevate-uninstall-ctx-zip"}), 0);
    EXPECT_FALSE(rezui::is_context_menu_installed());
    EXPECT_EQ(run_verb({L"--elevate-install-shellnew"}), 0);
    EXPECT_TRUE(rezui::is_shellnew_installed());
}

// ---- elevation ---------------------------------------------------------------------

namespace {

// Stands in for a platform on which the process, and every copy started through
// "runas", runs without elevation: the "copy" runs in this process, its verb handled as
// its start-up would. A chain of copies is cut at a depth no real case reaches.
std::vector<std::wstring> g_started;
int g_depth = 0;
bool never_elevated() { return false; }
bool start_copy_unelevated(const std::wstring& arguments) {
    g_started.push_back(arguments);
    if (g_depth >= 4) return false;
    int argc = 0;
    wchar_t** parts = CommandLineToArgvW((L"Quarvel.exe " + arguments).c_str(), &argc);
    ++g_depth;
    int code = rezui::handle_elevate_command(argc, parts);
    --g_depth;
    LocalFree(parts);
    return code == 0;
}
bool decline_prompt(const std::wstring& arguments) {
    g_started.push_back(arguments);
    return false;
}

struct NotElevated {
    explicit NotElevated(rezui::ElevatedRunner runner) {
        g_started.clear();
        g_depth = 0;
        rezui::set_elevation_hooks_for_tests(never_elevated, runner);
    }
    ~NotElevated() { rezui::set_elevation_hooks_for_tests(nullptr, nullptr); }
};

}  // namespace

TEST(ShellElevation, WineProcessesRunElevated) { EXPECT_TRUE(rezui::is_elevated()); }

TEST(ShellElevation, NotElevatedWrappersHandTheirVerbToAnElevatedCopy) {
    qvltest::ShellRegistryGuard guard;
    NotElevated hooks(decline_prompt);
    const std::pair<bool (*)(), const wchar_t*> plain[] = {
        {rezui::install_associations_elevated, L"--elevate-install-assoc-all"},
        {rezui::uninstall_associations_elevated, L"--elevate-uninstall-assoc-all"},
        {rezui::uninstall_pack_verbs, L"--elevate-uninstall-pack"},
    };
    for (auto [fn, verb] : plain) {
        g_started.clear();
        EXPECT_FALSE(fn()) << verb;  // the prompt was declined
        EXPECT_EQ(g_started, std::vector<std::wstring>{verb});
    }
    const std::pair<const wchar_t*, const wchar_t*> by_ext[] = {
        {L".rez", L"rez"}, {L".zip", L"zip"}, {L".7z", L"7z"}, {L".rar", L"7z"}};
    for (auto [ext, suffix] : by_ext) {
        g_started.clear();
        EXPECT_FALSE(rezui::install_context_menu_elevated(ext));
        EXPECT_FALSE(rezui::uninstall_context_menu_elevated(ext));
        EXPECT_EQ(g_started, (std::vector<std::wstring>{std::wstring(L"--elevate-install-ctx-") + suffix,
                                                         std::wstring(L"--elevate-uninstall-ctx-") + suffix}))
            << ext;
    }
    EXPECT_FALSE(rezui::is_association_installed(L".zip"));
    EXPECT_FALSE(rezui::is_context_menu_installed());
}

// When the platform starts the "runas" copy without elevation after all, that copy does
// the work with the rights it has and reports the outcome; it never starts another copy.
TEST(ShellElevation, AnElevatedVerbNeverStartsAnotherCopy) {
    qvltest::ShellRegistryGuard guard;
    const std::vector<std::wstring> verbs[] = {
        {L"--elevate-install-shellnew"},  {L"--elevate-uninstall-shellnew"}, {L"--elevate-uninstall-pack"},
        {L"--elevate-install-ctx-rez"},   {L"--elevate-uninstall-ctx-zip"},  {L"--elevate-install-ctx-all"},
        {L"--elevate-install-assoc-all"}, {L"--elevate-apply-all", L"3"},
    };
    for (const auto& verb : verbs) {
        NotElevated hooks(start_copy_unelevated);
        EXPECT_EQ(run_verb(verb), 0) << verb[0];
        EXPECT_TRUE(g_started.empty()) << verb[0] << " started " << rez::to_utf8(g_started.front());
    }
    // The last verb, mask 3, did its work in this unelevated process.
    EXPECT_TRUE(rezui::is_context_menu_installed());
    EXPECT_TRUE(rezui::is_shellnew_installed());
    EXPECT_FALSE(rezui::is_association_installed(L".zip"));
}

// The settings dialog's path when it is not elevated: one copy, which does the work.
TEST(ShellElevation, OneUnelevatedCopyDoesTheWork) {
    qvltest::ShellRegistryGuard guard;
    NotElevated hooks(start_copy_unelevated);
    EXPECT_TRUE(rezui::run_elevated(L"--elevate-apply-all 5"));
    EXPECT_EQ(g_started, std::vector<std::wstring>{L"--elevate-apply-all 5"});
    EXPECT_TRUE(rezui::is_context_menu_installed());
    EXPECT_FALSE(rezui::is_shellnew_installed());
    EXPECT_TRUE(rezui::is_association_installed(L".rez"));

    g_started.clear();
    EXPECT_TRUE(rezui::install_context_menu_elevated(L".zip"));
    EXPECT_EQ(g_started, std::vector<std::wstring>{L"--elevate-install-ctx-zip"});
}

TEST(ShellRegistry, RezAssociationRegistersTheDropHandlerBesideTheProgram) {
    qvltest::ShellRegistryGuard guard;
    // The handler library is only registered when it is there; a stand-in will do, as
    // nothing loads it here.
    const std::wstring library = rez::exe_directory() + L"\\Lumbrel.dll";
    const bool stand_in = !qvltest::path_exists(library);
    if (stand_in) {
        ASSERT_TRUE(qvltest::write_text(library, "stand-in"));
    }
    struct RemoveStandIn {
        bool active;
        std::wstring path;
        ~RemoveStandIn() {
            if (active) DeleteFileW(path.c_str());
        }
    } remove_stand_in{stand_in, library};

    const std::wstring clsid = rezui::kDropHandlerClsid;
    const std::wstring approved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
    reg_set_text(kCR, L"Vellox.RezFile\\shell\\Quarvel\\command", L"", L"older verb");
    ASSERT_TRUE(rezui::install_file_association(L".rez"));
    EXPECT_EQ(reg_text(kCR, L"CLSID\\" + clsid), L"Quarvel Drop Target");
    EXPECT_EQ(reg_text(kCR, L"CLSID\\" + clsid + L"\\InprocServer32"), library);
    EXPECT_EQ(reg_text(kCR, L"CLSID\\" + clsid + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(reg_text(kCR, L"Vellox.RezFile\\shellex\\DropHandler"), clsid);
    EXPECT_EQ(reg_text(kCU, approved, clsid), L"Quarvel Drop Target");
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.RezFile\\shell\\Quarvel"));
    EXPECT_EQ(reg_text(kCR, L"Vellox.RezFile"), L"Rez数据包");

    // Removal compares ".rez" ignoring case, unlike install.
    ASSERT_TRUE(rezui::uninstall_file_association(L".REZ"));
    EXPECT_FALSE(reg_has_key(kCR, L"CLSID\\" + clsid));
    EXPECT_FALSE(reg_has_key(kCR, L"Vellox.RezFile\\shellex\\DropHandler"));
    EXPECT_EQ(reg_text(kCU, approved, clsid), L"<missing>");
    EXPECT_TRUE(rezui::is_association_installed(L".rez"));
}

// The real "runas" start: this test program plays the elevated copy, running one of the
// two disabled cases below, so the exit code it ends with is known. The case that succeeds
// leaves a file late, which shows that the caller waited for the copy to end.
TEST(ShellElevation, RunElevatedWaitsForTheCopyAndTakesItsExitCode) {
    qvltest::ScratchDir dir(L"runas");
    const std::wstring mark = dir / L"copy-ran";
    SetEnvironmentVariableW(L"QVL_RUNAS_MARK", mark.c_str());
    const std::wstring run_case = L"--gtest_also_run_disabled_tests --gtest_filter=ShellElevatedCopy.DISABLED_";
    EXPECT_TRUE(rezui::run_elevated(run_case + L"EndsWithZero"));
    EXPECT_TRUE(qvltest::path_exists(mark));
    EXPECT_FALSE(rezui::run_elevated(run_case + L"EndsWithFailure"));
    SetEnvironmentVariableW(L"QVL_RUNAS_MARK", nullptr);
}

TEST(ShellElevatedCopy, DISABLED_EndsWithZero) {
    wchar_t mark[1040] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"QVL_RUNAS_MARK", mark, 1040), 0u);
    Sleep(500);
    ASSERT_TRUE(qvltest::write_text(mark, "ran"));
}

TEST(ShellElevatedCopy, DISABLED_EndsWithFailure) { FAIL() << "the copy reports a failure"; }
