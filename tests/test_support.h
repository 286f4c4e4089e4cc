// Small helpers shared by the test programs: fixture folder, scratch folders, the names in a
// folder, a private temporary folder and whole files as bytes or text.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/util.h"

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

// The names in a folder (without "." and ".."), sorted.
inline std::vector<std::wstring> folder_names(const std::wstring& folder) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        const std::wstring n = fd.cFileName;
        if (n != L"." && n != L"..") out.push_back(n);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

// Points the temporary folder at a folder of this test, so that what the program leaves there
// can be seen and parallel test processes do not meet (nor share one log).
struct PrivateTemp {
    ScratchDir dir;
    std::wstring saved;
    explicit PrivateTemp(const std::wstring& tag) : dir(tag) {
        wchar_t buf[1040] = {};
        GetEnvironmentVariableW(L"TMP", buf, 1040);
        saved = buf;
        SetEnvironmentVariableW(L"TMP", (dir.path() + L"\\").c_str());
    }
    ~PrivateTemp() { SetEnvironmentVariableW(L"TMP", saved.empty() ? nullptr : saved.c_str()); }
    PrivateTemp(const PrivateTemp&) = delete;
    PrivateTemp& operator=(const PrivateTemp&) = delete;

    // What the program left in it (its own items are named "qvl_..."), sorted.
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> out;
        for (const std::wstring& n : folder_names(dir.path()))
            if (n.rfind(L"qvl_", 0) == 0) out.push_back(n);
        return out;
    }
};

// A whole file's bytes; empty when it cannot be read.
// A file or folder is there.
inline bool path_exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::vector<uint8_t> bytes_of(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    rez::read_file(path, bytes);
    return bytes;
}

// A whole file as text; "<missing>" when it cannot be read, so a missing file never passes
// for an empty one.
inline std::string read_text(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    if (!rez::read_file(path, bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

// Writes text as the file's whole content; false when it could not be written.
[[nodiscard]] inline bool write_text(const std::wstring& path, const std::string& text) {
    return rez::write_file(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The visible dialog (a message box included) of the calling thread, or null.
inline HWND visible_dialog_of_this_thread() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(window, cls, 16);
            if (std::wstring(cls) != L"#32770" || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Moves the real mouse to the middle of a control and clicks there (move, press, release),
// when that point shows the control: test windows of other processes on the same display
// may lie over it for a moment, and a disabled window is never what the point shows.
inline bool mouse_click(HWND control) {
    RECT r{};
    if (!control || !GetWindowRect(control, &r)) return false;
    const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    if (WindowFromPoint(middle) != control) return false;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    for (INPUT& i : input) {
        i.type = INPUT_MOUSE;
        i.mi.dx = middle.x * 65535 / (w - 1);
        i.mi.dy = middle.y * 65535 / (h - 1);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    return SendInput(3, input, sizeof(INPUT)) == 3;
}

}  // namespace qvltest
