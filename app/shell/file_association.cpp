#include "app/shell/file_association.h"

#include <windows.h>

#include "app/shell/registry_ops.h"
#include "archive/util.h"

namespace rezui {
namespace {

constexpr const wchar_t* kUserClasses = L"Software\\Classes\\";
constexpr const wchar_t* kFileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
constexpr const wchar_t* kApproved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr int kDocumentIconGroup = 103;

std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Explorer prefers the user's own pick over the class default; drop it so ours shows.
void forget_user_choice(const std::wstring& ext) {
    std::wstring base = std::wstring(kFileExts) + ext;
    reg_delete_tree(HKEY_CURRENT_USER, base + L"\\UserChoice");
    reg_delete_tree(HKEY_CURRENT_USER, base + L"\\OpenWithList");
}

struct IconSearch {
    int position = 0;
    int found = -1;
};

BOOL CALLBACK find_icon_group(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto* search = reinterpret_cast<IconSearch*>(param);
    if (IS_INTRESOURCE(name) && reinterpret_cast<ULONG_PTR>(name) == kDocumentIconGroup) {
        search->found = search->position;
        return FALSE;
    }
    ++search->position;
    return TRUE;
}

bool same_ignoring_case(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

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

std::wstring program_path() {
    wchar_t buffer[1040] = {};
    DWORD n = GetModuleFileNameW(nullptr, buffer, 1040);
    if (n == 0 || n >= 1040) return {};  // a full buffer may hold a cut path
    return std::wstring(buffer, n);
}

int document_icon_index() {
    IconSearch search;
    EnumResourceNamesW(nullptr, RT_GROUP_ICON, find_icon_group, reinterpret_cast<LONG_PTR>(&search));
    return search.found < 0 ? 0 : search.found;
}

bool read_default_value(const std::wstring& subkey, const std::wstring& value_name, std::wstring& out) {
    return reg_read_string(HKEY_CLASSES_ROOT, subkey, value_name, out);
}

bool current_progid(bool in_hkcu, const std::wstring& ext, const std::wstring& progid) {
    std::wstring value;
    bool read = in_hkcu ? reg_read_string(HKEY_CURRENT_USER, kUserClasses + ext, L"", value)
                        : read_default_value(ext, L"", value);
    return read && same_ignoring_case(value, progid);
}

bool install_file_association(const std::wstring& ext) {
    std::wstring exe = program_path();
    if (exe.empty()) return false;
    std::wstring progid = progid_for_extension(ext);

    // Remember the program that was the default so that an uninstall can give the extension
    // back to it. When we already are the default this is a repeated install: the program
    // saved by the first one is still the one to restore.
    std::wstring previous;
    bool has_default = read_default_value(ext, L"", previous);
    if (has_default && !same_ignoring_case(previous, progid))
        reg_write_string(HKEY_CLASSES_ROOT, progid + L"\\PreviousDefault", L"", previous);
    else if (!has_default)
        reg_delete_tree(HKEY_CLASSES_ROOT, progid + L"\\PreviousDefault");

    int icon = document_icon_index();
    // Each write stands alone: without admin rights the HKCR ones fail while HKCU still takes.
    reg_write_string(HKEY_CLASSES_ROOT, progid, L"", display_name_for_extension(ext));
    reg_write_string(HKEY_CLASSES_ROOT, progid + L"\\DefaultIcon", L"", quoted(exe) + L"," + std::to_wstring(icon));
    reg_write_string(HKEY_CLASSES_ROOT, progid + L"\\shell\\open\\command", L"", quoted(exe) + L" \"%1\"");
    reg_write_string(HKEY_CLASSES_ROOT, ext, L"", progid);
    reg_write_string(HKEY_CLASSES_ROOT, ext, L"PerceivedType", L"Document");
    reg_write_string(HKEY_CURRENT_USER, kUserClasses + ext, L"", progid);
    forget_user_choice(ext);

    if (ext == L".rez") {
        reg_delete_tree(HKEY_CLASSES_ROOT, progid + L"\\shell\\Quarvel");  // verb of older versions
        register_drop_handler();
    }
    return true;
}

bool uninstall_file_association(const std::wstring& ext) {
    if (same_ignoring_case(ext, L".rez")) unregister_drop_handler();
    std::wstring progid = progid_for_extension(ext);
    bool machine_is_ours = current_progid(false, ext, progid);
    bool user_is_ours = current_progid(true, ext, progid);

    std::wstring previous;
    bool have_previous = reg_read_string(HKEY_CLASSES_ROOT, progid + L"\\PreviousDefault", L"", previous) &&
                         !previous.empty();
    reg_delete_tree(HKEY_CLASSES_ROOT, progid);

    if (machine_is_ours) {
        if (have_previous)
            reg_write_string(HKEY_CLASSES_ROOT, ext, L"", previous);
        else
            reg_delete_value(HKEY_CLASSES_ROOT, ext, L"");
        reg_delete_value(HKEY_CLASSES_ROOT, ext, L"PerceivedType");
    }
    // The user's class key wins over the machine's: left naming the ProgID just deleted, the
    // extension would open with nothing. It gets the earlier program back, or loses the value.
    if (user_is_ours) {
        if (have_previous)
            reg_write_string(HKEY_CURRENT_USER, kUserClasses + ext, L"", previous);
        else
            reg_delete_value(HKEY_CURRENT_USER, kUserClasses + ext, L"");
    }
    if (machine_is_ours || user_is_ours) forget_user_choice(ext);
    return true;
}

bool is_association_installed(const std::wstring& ext) {
    return reg_key_exists(HKEY_CLASSES_ROOT, progid_for_extension(ext) + L"\\shell\\open\\command");
}

void register_drop_handler() {
    std::wstring library = rez::exe_directory() + L"\\Lumbrel.dll";
    DWORD attributes = GetFileAttributesW(library.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;

    std::wstring clsid_key = std::wstring(L"CLSID\\") + kDropHandlerClsid;
    reg_write_string(HKEY_CLASSES_ROOT, clsid_key, L"", kDropHandlerName);
    reg_write_string(HKEY_CLASSES_ROOT, clsid_key + L"\\InprocServer32", L"", library);
    reg_write_string(HKEY_CLASSES_ROOT, clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    // The shell reads a drop handler's class from the DropHandler key's own default value.
    reg_write_string(HKEY_CLASSES_ROOT, L"Vellox.RezFile\\shellex\\DropHandler", L"", kDropHandlerClsid);
    reg_write_string(HKEY_CURRENT_USER, kApproved, kDropHandlerClsid, kDropHandlerName);
}

void unregister_drop_handler() {
    reg_delete_tree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kDropHandlerClsid);
    reg_delete_tree(HKEY_CLASSES_ROOT, L"Vellox.RezFile\\shellex\\DropHandler");
    reg_delete_value(HKEY_CURRENT_USER, kApproved, kDropHandlerClsid);
}

}  // namespace rezui
