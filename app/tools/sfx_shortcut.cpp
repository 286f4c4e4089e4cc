#include "app/tools/sfx_shortcut.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "archive/util.h"
#include "archive/win_handle.h"

namespace rezui {
namespace {

bool is_file(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring full_path(const std::wstring& path) {
    wchar_t buffer[1040];
    const DWORD n = GetFullPathNameW(path.c_str(), 1040, buffer, nullptr);
    return (n == 0 || n >= 1040) ? std::wstring() : std::wstring(buffer, n);
}

}  // namespace

bool create_desktop_shortcut(const std::wstring& target, const std::wstring& work_dir, const std::wstring& name,
                             const std::wstring& description) {
    wchar_t desktop[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop))) return false;
    const std::wstring base = std::wstring(desktop) + L"\\" + name;
    std::wstring path = base + L".lnk";
    for (int n = 1; is_file(path); ++n) path = base + L" (" + std::to_wstring(n) + L").lnk";

    rez::com_ptr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.put()))))
        return false;
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(work_dir.c_str());
    link->SetDescription(description.c_str());
    rez::com_ptr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))) return false;
    return SUCCEEDED(file->Save(path.c_str(), TRUE));
}

std::wstring sfx_shortcut_name(const std::string& title) {
    std::wstring name = rez::from_utf8(title);
    for (wchar_t& c : name)
        if (c < 0x20 || wcschr(L"\"*/:<>?\\|", c)) c = L'_';
    while (!name.empty() && name.back() == L' ') name.pop_back();
    return name.empty() ? L"解压目录" : name;
}

std::wstring sfx_path_inside(const std::wstring& dest, const std::string& relative) {
    if (!rez::is_safe_relative_path(relative)) return {};
    for (const std::string& part : rez::split_archive_path(relative))
        if (rez::is_dots_only_name(part)) return {};
    std::wstring rel = rez::from_utf8(relative);
    if (rel.empty()) return {};
    for (wchar_t& c : rel)
        if (c == L'/') c = L'\\';
    const std::wstring path = dest + L"\\" + rel;
    // Whatever the spelling, the full path must still lie below the folder.
    std::wstring root = full_path(dest);
    const std::wstring full = full_path(path);
    if (root.empty() || full.empty()) return {};
    if (root.back() != L'\\') root += L'\\';
    if (full.size() <= root.size() ||
        CompareStringOrdinal(full.c_str(), static_cast<int>(root.size()), root.c_str(), static_cast<int>(root.size()),
                             TRUE) != CSTR_EQUAL)
        return {};
    return path;
}

void sfx_shortcut_target(const std::wstring& dest, const SfxConfig& config, std::wstring& target,
                         std::wstring& work_dir) {
    target = dest;
    work_dir = dest;
    if (config.shortcut_target.empty()) return;
    const std::wstring inside = sfx_path_inside(dest, config.shortcut_target);
    if (inside.empty() || !is_file(inside)) return;
    target = inside;
    work_dir = inside.substr(0, inside.rfind(L'\\'));
}

}  // namespace rezui
