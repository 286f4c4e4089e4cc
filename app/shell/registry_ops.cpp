#include "app/shell/registry_ops.h"

#include <shlobj.h>

#include "archive/win_handle.h"

namespace rezui {

bool reg_write_string(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& data) {
    rez::unique_hkey key;
    if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes) ==
           ERROR_SUCCESS;
}

bool reg_read_string(HKEY root, const std::wstring& subkey, const std::wstring& name, std::wstring& out) {
    rez::unique_hkey key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
    wchar_t buffer[512] = {};  // 1024 bytes
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    // The stored string may lack its NUL; never read past what was returned.
    size_t chars = size / sizeof(wchar_t);
    while (chars > 0 && buffer[chars - 1] == L'\0') --chars;
    out.assign(buffer, chars);
    return true;
}

void reg_delete_tree(HKEY root, const std::wstring& subkey) {
    // An empty subkey would make the call empty the root itself.
    if (!subkey.empty()) RegDeleteTreeW(root, subkey.c_str());
}

void reg_delete_value(HKEY root, const std::wstring& subkey, const std::wstring& name) {
    rez::unique_hkey key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    RegDeleteValueW(key.get(), name.c_str());
}

bool reg_key_exists(HKEY root, const std::wstring& subkey) {
    rez::unique_hkey key;
    return RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void notify_shell_assoc_changed() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

}  // namespace rezui
