#include "app/shell/file_association.h"

namespace rezui {

std::wstring progid_for_extension(const std::wstring& ext) {
    if (ext == L".rez") return L"Vellox.RezFile";
    if (ext == L".zip") return L"Vellox.ZipFile";
    if (ext == L".7z") return L"Vellox.SevenZipFile";
    return L"Vellox.File";
}

std::wstring display_name_for_extension(const std::wstring& ext) {
    if (ext == L".rez") return L"Rez数据包";
    if (ext == L".zip") return L"ZIP压缩包";
    if (ext == L".7z") return L"7Z压缩包";
    return L"压缩包";
}

std::wstring program_path() { return {}; }
int document_icon_index() { return 0; }
bool read_default_value(const std::wstring&, const std::wstring&, std::wstring&) { return false; }
bool current_progid(bool, const std::wstring&, const std::wstring&) { return false; }
bool install_file_association(const std::wstring&) { return false; }
bool uninstall_file_association(const std::wstring&) { return true; }
bool is_association_installed(const std::wstring&) { return false; }
void register_drop_handler() {}
void unregister_drop_handler() {}

}  // namespace rezui
