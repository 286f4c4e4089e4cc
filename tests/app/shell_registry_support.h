// Reading the registry back in the Explorer-integration tests, and leaving the test's Wine
// prefix as it was found: the program creates parent keys (HKCR\Directory\shell...) that a
// clean prefix does not have, so removing only its own values is not enough.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "app/shell/context_menu.h"
#include "app/shell/elevation.h"
#include "app/shell/elevation_internal.h"
#include "app/shell/file_association.h"
#include "archive/win_handle.h"

namespace qvltest {

inline bool reg_has_key(HKEY root, const std::wstring& key) {
    rez::unique_hkey h;
    return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, h.put()) == ERROR_SUCCESS;
}

// A REG_SZ value, or "<missing>" (also for another type) so an absent value never equals "".
inline std::wstring reg_text(HKEY root, const std::wstring& key, const std::wstring& name = L"") {
    rez::unique_hkey h;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, h.put()) != ERROR_SUCCESS) return L"<missing>";
    wchar_t buffer[1024] = {};
    DWORD type = 0, size = sizeof(buffer) - sizeof(wchar_t);
    if (RegQueryValueExW(h.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return L"<missing>";
    return buffer;
}

inline void reg_set_text(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& data) {
    rez::unique_hkey h;
    RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, h.put(), nullptr);
    RegSetValueExW(h.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

// Takes away everything the integration can write, and every key on its way that the
// prefix did not have at the start. Keys are listed parents first.
class ShellRegistryGuard {
public:
    ShellRegistryGuard() {
        for (auto& [root, key] : candidates()) existed_.push_back(reg_has_key(root, key));
        rezui::set_elevation_hooks_for_tests(nullptr, nullptr);
    }
    ~ShellRegistryGuard() {
        rezui::set_elevation_hooks_for_tests(nullptr, nullptr);
        rezui::apply_integration_mask(0);
        rezui::uninstall_file_association(L".REZ");  // the "Vellox.File" class of unknown extensions
        auto list = candidates();
        for (size_t i = 0; i < list.size(); ++i)
            if (!existed_[i]) RegDeleteTreeW(list[i].first, list[i].second.c_str());
        std::wstring dir = rezui::module_directory();
        DeleteFileW((dir + L"\\template.tao").c_str());
        DeleteFileW((dir + L"\\template.rez").c_str());
    }
    ShellRegistryGuard(const ShellRegistryGuard&) = delete;
    ShellRegistryGuard& operator=(const ShellRegistryGuard&) = delete;

private:
    static std::vector<std::pair<HKEY, std::wstring>> candidates() {
        const HKEY cr = HKEY_CLASSES_ROOT, cu = HKEY_CURRENT_USER;
        const std::wstring classes = L"Software\\Classes";
        const std::wstring explorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
        const std::wstring extensions = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions";
        std::vector<std::pair<HKEY, std::wstring>> out = {
            {cr, L"*\\shell"}, {cr, L"Directory"}, {cr, L"Directory\\shell"}, {cr, L"Directory\\Background"},
            {cr, L"Directory\\Background\\shell"}, {cr, L"Folder\\shell"}, {cr, L"Vellox.MenuCmds"},
            {cr, L"Vellox.RezFile"}, {cr, L"Vellox.ZipFile"}, {cr, L"Vellox.SevenZipFile"}, {cr, L"Vellox.File"},
            {cr, std::wstring(L"CLSID\\") + rezui::kDropHandlerClsid}, {cu, classes}, {cu, classes + L"\\Directory"},
            {cu, classes + L"\\Folder"}, {cu, explorer}, {cu, extensions}, {cu, extensions + L"\\Approved"}};
        for (const wchar_t* ext : {L".rez", L".zip", L".7z"}) {
            out.push_back({cr, ext});
            out.push_back({cu, classes + L"\\" + ext});
            out.push_back({cu, explorer + L"\\" + ext});
        }
        return out;
    }
    std::vector<bool> existed_;
};

}  // namespace qvltest
