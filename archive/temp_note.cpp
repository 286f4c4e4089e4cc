#include "archive/temp_note.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwctype>
#include <vector>

#include "archive/util.h"

namespace rez {
namespace {

std::atomic<unsigned> note_counter{0};

std::wstring temp_directory() {
    wchar_t buffer[520] = {};
    const DWORD n = GetTempPathW(520, buffer);
    std::wstring folder = n == 0 || n >= 520 ? L"C:\\Windows\\Temp\\" : buffer;
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

bool all_digits(const std::wstring& s, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i)
        if (!iswdigit(s[i])) return false;
    return true;
}

}  // namespace

std::wstring temp_name_beside(const std::wstring& path) {
    return path + L".tmp_qvl_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetCurrentThreadId());
}

TempFileNote::TempFileNote(const std::wstring& temp_file) {
    const std::wstring base =
        temp_directory() + L"qvl_tmpnote_" + std::to_wstring(GetCurrentProcessId()) + L"_";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring candidate = base + std::to_wstring(note_counter.fetch_add(1)) + L".txt";
        HANDLE h = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return;  // no note: the file is still removed by its owner when the job ends
        }
        DWORD written = 0;
        const DWORD bytes = static_cast<DWORD>(temp_file.size() * sizeof(wchar_t));
        const bool ok = WriteFile(h, temp_file.data(), bytes, &written, nullptr) && written == bytes;
        CloseHandle(h);
        if (ok)
            note_ = candidate;
        else
            DeleteFileW(candidate.c_str());
        return;
    }
}

TempFileNote::~TempFileNote() {
    if (!note_.empty()) DeleteFileW(note_.c_str());
}

bool is_temp_name_of(const std::wstring& file_name, unsigned long pid) {
    const std::wstring mark = L".tmp_qvl_" + std::to_wstring(pid);
    const size_t at = file_name.rfind(mark);
    if (at == std::wstring::npos || at == 0) return false;
    const size_t after = at + mark.size();
    if (after == file_name.size()) return true;
    return file_name[after] == L'_' && all_digits(file_name, after + 1, file_name.size());
}

bool clear_stale_note(const std::wstring& note_path, unsigned long pid) {
    std::vector<uint8_t> bytes;
    if (read_file(note_path, bytes) && bytes.size() % 2 == 0 && !bytes.empty()) {
        std::wstring named(bytes.size() / 2, L'\0');
        std::memcpy(named.data(), bytes.data(), bytes.size());
        const size_t slash = named.find_last_of(L"\\/");
        const std::wstring file_name = slash == std::wstring::npos ? named : named.substr(slash + 1);
        const DWORD attributes = GetFileAttributesW(named.c_str());
        if (is_temp_name_of(file_name, pid) && attributes != INVALID_FILE_ATTRIBUTES &&
            !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            SetFileAttributesW(named.c_str(), FILE_ATTRIBUTE_NORMAL);
            // A file still held open (a share that keeps it) stays, and so does its note.
            if (!DeleteFileW(named.c_str()) && GetFileAttributesW(named.c_str()) != INVALID_FILE_ATTRIBUTES)
                return false;
        }
    }
    return DeleteFileW(note_path.c_str()) != FALSE || GetFileAttributesW(note_path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace rez
