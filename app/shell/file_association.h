// Default-program associations for .rez/.zip/.7z and the drop handler's COM registration.
// These write the registry directly, show nothing and never ask for elevation: they do
// what the process's rights allow, and callers read the state back to learn the outcome.
#pragma once

#include <string>

namespace rezui {

// "Vellox.RezFile", "Vellox.ZipFile", "Vellox.SevenZipFile", else "Vellox.File" (exact match).
std::wstring progid_for_extension(const std::wstring& ext);
// Display name of the extension's ProgID ("Rez数据包", "ZIP压缩包", "7Z压缩包", "压缩包").
std::wstring display_name_for_extension(const std::wstring& ext);

// Full path of the running program; empty when it cannot be had.
std::wstring program_path();
// Zero-based position of icon group 103 among the program's icon groups; 0 without it.
int document_icon_index();

// Reads a REG_SZ value of HKCR\subkey; false when missing or of another type.
bool read_default_value(const std::wstring& subkey, const std::wstring& value_name, std::wstring& out);
// True when the extension's default (HKCU Software\Classes when in_hkcu, else HKCR) is progid.
bool current_progid(bool in_hkcu, const std::wstring& ext, const std::wstring& progid);

bool install_file_association(const std::wstring& ext);
bool uninstall_file_association(const std::wstring& ext);  // always true
bool is_association_installed(const std::wstring& ext);

// The drop handler library (Lumbrel.dll beside the program) and its class.
inline constexpr const wchar_t* kDropHandlerClsid = L"{8B4A5C33-6E2D-4E08-9F1A-2C7B0D9E5A41}";
inline constexpr const wchar_t* kDropHandlerName = L"Quarvel Drop Target";
void register_drop_handler();
void unregister_drop_handler();

}  // namespace rezui
