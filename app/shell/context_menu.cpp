#include "app/shell/context_menu.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/shell/elevation.h"
#include "app/shell/elevation_internal.h"
#include "app/shell/file_association.h"
#include "app/shell/registry_ops.h"
#include "archive/util.h"
#include "archive/win_handle.h"

namespace rezui {
namespace {

constexpr const wchar_t* kCascadeVerb = L"0ZVellox.Menu";  // "0Z" sorts it near the top of the menu
constexpr const wchar_t* kSubCommands = L"Vellox.MenuCmds";
constexpr std::array<const wchar_t*, 3> kMenuClasses = {L"*", L"Directory", L"Directory\\Background"};
constexpr std::array<const wchar_t*, 3> kOlderMenuVerbs = {L"*\\shell\\Vellox.Menu", L"Directory\\shell\\Vellox.Menu",
                                                           L"Directory\\Background\\shell\\Vellox.Menu"};
constexpr std::array<const wchar_t*, 6> kOlderTopKeys = {L"Vellox.Open",   L"Vellox.Pack", L"Vellox.Convert",
                                                         L"Vellox.Unpack", L"Vellox.Hdr",  L"VelloxMenu"};

struct PackVerbKey {
    HKEY root;
    const wchar_t* key;
};
const std::array<PackVerbKey, 7> kOldPackVerbs = {{
    {HKEY_CLASSES_ROOT, L"*\\shell\\Vellox.PackFile"},
    {HKEY_CLASSES_ROOT, L"Directory\\shell\\Vellox.PackDir"},
    {HKEY_CLASSES_ROOT, L"Folder\\shell\\Vellox.PackDir"},
    {HKEY_CLASSES_ROOT, L"Directory\\Background\\shell\\Vellox.PackDir"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\Directory\\shell\\Vellox.PackDir"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\Folder\\shell\\Vellox.PackDir"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\Directory\\Background\\shell\\Vellox.PackDir"},
}};

struct SubCommand {
    const wchar_t* word;
    const wchar_t* label;
    const wchar_t* argument;  // nullptr: the command opens the item
    int order;
};
constexpr std::array<SubCommand, 5> kSubCommandTable = {{
    {L"Open", L"打开数据包", nullptr, 10},
    {L"Convert", L"转换数据包格式", L"--convert", 20},
    {L"Unpack", L"解压到当前目录", L"--extract-here", 30},
    {L"Hdr", L"编辑数据包文件头", L"--edit-header", 40},
    {L"Pack", L"将目标添加到数据包", L"--pack", 50},
}};

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring subcommand_key(const SubCommand& row) {
    wchar_t name[64] = {};
    swprintf(name, 64, L"Vellox.%03d.%ls", row.order, row.word);
    return std::wstring(kSubCommands) + L"\\shell\\" + name;
}

std::wstring cascade_key(const std::wstring& class_key) { return class_key + L"\\shell\\" + kCascadeVerb; }

// An empty REZ archive: the fixed header and a root directory of size 0 at the end of the file.
std::vector<uint8_t> empty_rez_template() {
    std::vector<uint8_t> bytes(168, 0);
    auto put_text = [&](size_t at, const char* text, size_t field) {
        std::memset(bytes.data() + at, ' ', field);
        std::memcpy(bytes.data() + at, text, std::strlen(text));
    };
    bytes[0] = 0x0D;
    bytes[1] = 0x0A;
    put_text(2, "RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.", 60);
    bytes[62] = 0x0D;
    bytes[63] = 0x0A;
    put_text(64, "LithTech Resource File", 60);
    bytes[124] = 0x0D;
    bytes[125] = 0x0A;
    bytes[126] = 0x1A;
    rez::store_u32le(bytes.data() + 127, 1);
    rez::store_u32le(bytes.data() + 131, 168);
    rez::store_u32le(bytes.data() + 135, 0);
    rez::store_u32le(bytes.data() + 139, 0);
    rez::store_u32le(bytes.data() + 143, 168);
    return bytes;
}

void delete_old_pack_verbs() {
    for (const auto& entry : kOldPackVerbs) reg_delete_tree(entry.root, entry.key);
    notify_shell_assoc_changed();
}

}  // namespace

bool install_menu_subcommands() {
    std::wstring exe = program_path();
    remove_menu_subcommands();
    auto rows = kSubCommandTable;
    std::stable_sort(rows.begin(), rows.end(), [](const SubCommand& a, const SubCommand& b) { return a.order < b.order; });
    for (const auto& row : rows) {
        std::wstring key = subcommand_key(row);
        if (!reg_write_string(HKEY_CLASSES_ROOT, key, L"", row.label)) return false;
        reg_write_string(HKEY_CLASSES_ROOT, key, L"Icon", quoted(exe) + L",0");
        std::wstring command = quoted(exe);
        if (row.argument) command += std::wstring(L" ") + row.argument;
        command += L" \"%V\"";
        if (!reg_write_string(HKEY_CLASSES_ROOT, key + L"\\command", L"", command)) return false;
    }
    return true;
}

void remove_menu_subcommands() { reg_delete_tree(HKEY_CLASSES_ROOT, kSubCommands); }

bool install_cascade_menu(const std::wstring& class_key) {
    std::wstring key = cascade_key(class_key);
    if (!reg_write_string(HKEY_CLASSES_ROOT, key, L"MUIVerb", L"Quarvel")) return false;
    reg_write_string(HKEY_CLASSES_ROOT, key, L"Icon", quoted(program_path()) + L",0");
    if (!reg_write_string(HKEY_CLASSES_ROOT, key, L"ExtendedSubCommandsKey", kSubCommands)) return false;
    reg_write_string(HKEY_CLASSES_ROOT, key, L"MultiSelectModel", L"Document");
    return true;
}

void remove_cascade_menu(const std::wstring& class_key) { reg_delete_tree(HKEY_CLASSES_ROOT, cascade_key(class_key)); }

bool install_context_menus() {
    for (const wchar_t* cls : kMenuClasses) remove_cascade_menu(cls);
    for (const wchar_t* key : kOlderMenuVerbs) reg_delete_tree(HKEY_CLASSES_ROOT, key);
    remove_menu_subcommands();
    for (const wchar_t* key : kOlderTopKeys) reg_delete_tree(HKEY_CLASSES_ROOT, key);
    uninstall_pack_verbs();
    if (!install_menu_subcommands()) return false;
    for (const wchar_t* cls : kMenuClasses)
        if (!install_cascade_menu(cls)) return false;
    notify_shell_assoc_changed();
    return true;
}

bool uninstall_context_menus() {
    for (const wchar_t* cls : kMenuClasses) remove_cascade_menu(cls);
    for (const wchar_t* key : kOlderMenuVerbs) reg_delete_tree(HKEY_CLASSES_ROOT, key);
    remove_menu_subcommands();
    notify_shell_assoc_changed();
    return true;
}

bool uninstall_pack_verbs() {
    if (should_rerun_elevated()) return run_elevated(L"--elevate-uninstall-pack");
    delete_old_pack_verbs();
    return true;
}

std::wstring module_directory() {
    std::wstring exe = program_path();
    size_t slash = exe.rfind(L'\\');
    if (slash == std::wstring::npos) return {};
    return exe.substr(0, slash);
}

bool write_shellnew_template(std::wstring& path_out) {
    std::wstring dir = module_directory();
    if (dir.empty()) return false;
    DeleteFileW((dir + L"\\template.rez").c_str());  // the template of earlier versions
    std::wstring path = dir + L"\\template.tao";
    std::vector<uint8_t> bytes = empty_rez_template();
    DWORD written = 0;
    {
        rez::unique_file file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) written = 0;
    }
    if (written < bytes.size()) {
        DeleteFileW(path.c_str());
        return false;
    }
    path_out = path;
    return true;
}

bool install_shellnew() {
    std::wstring path;
    if (!write_shellnew_template(path)) return false;
    // Not checked: the template is the part that must exist; a refused write shows in the
    // presence test the settings dialog makes afterwards.
    reg_write_string(HKEY_CLASSES_ROOT, L".rez\\ShellNew", L"FileName", path);
    reg_write_string(HKEY_CLASSES_ROOT, L".rez\\ShellNew", L"ItemName", L"新建 REZ 数据包");
    notify_shell_assoc_changed();
    return true;
}

bool uninstall_shellnew() {
    reg_delete_tree(HKEY_CLASSES_ROOT, L".rez\\ShellNew");
    notify_shell_assoc_changed();
    return true;
}

bool is_context_menu_installed() { return reg_key_exists(HKEY_CLASSES_ROOT, cascade_key(L"*")); }

bool is_shellnew_installed() { return reg_key_exists(HKEY_CLASSES_ROOT, L".rez\\ShellNew"); }

}  // namespace rezui
