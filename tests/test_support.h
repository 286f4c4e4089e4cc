// Small helpers shared by the test programs: fixture folder and scratch folders.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

namespace qvltest {

// A host path (/work/...) as Wine sees it (Z:\work\...).
inline std::wstring host_to_windows(const std::string& host) {
    std::wstring out = L"Z:";
    for (char c : host) out += (c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

// The folder the fixture scripts fill (QVL_FIXTURES, set by ctest), without a trailing "\".
inline std::wstring fixture_dir() {
    const char* dir = std::getenv("QVL_FIXTURES");
    if (!dir || !*dir) return L"";
    std::string s = dir;
    if (s.size() > 1 && s[0] == '/') return host_to_windows(s);
    return std::wstring(s.begin(), s.end());
}

inline std::wstring fixture(const std::wstring& name) { return fixture_dir() + L"\\" + name; }

// A fresh empty folder under the temporary directory, removed when the object dies.
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& tag) {
        wchar_t tmp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, tmp);
        path_ = std::wstring(tmp) + L"qvltest_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount64());
        remove_tree(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchDir() { remove_tree(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

    static void remove_tree(const std::wstring& dir) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring n = fd.cFileName;
                if (n == L"." || n == L"..") continue;
                std::wstring p = dir + L"\\" + n;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    remove_tree(p);
                else {
                    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(p.c_str());
                }
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }

private:
    std::wstring path_;
};

}  // namespace qvltest
