// What the runner tests share: small archives and self-extractors made by code, the user's
// desktop, and a user's clicks and keys sent to the runner window's controls, whether that
// window lives in this process or in a started self-extractor.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/tools/sfx_container.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "test_support.h"

namespace rtest {

// ---- archives and self-extractors ----------------------------------------------------

// A REZ at path holding (archive path with "\" separators, content) files; the sources are
// written beside it in path + ".files".
inline void make_rez(const std::wstring& path, const std::vector<std::pair<std::string, std::string>>& files) {
    rez::RezFile model;
    const std::wstring staging = path + L".files";
    CreateDirectoryW(staging.c_str(), nullptr);
    int n = 0;
    for (const auto& [archive_path, content] : files) {
        const std::string name = rez::file_name_of(archive_path);
        const std::string folder = archive_path.size() > name.size() ? archive_path.substr(0, archive_path.size() - name.size() - 1) : "";
        const std::wstring source_dir = staging + L"\\" + std::to_wstring(n++);
        CreateDirectoryW(source_dir.c_str(), nullptr);
        const std::wstring disk = source_dir + L"\\" + rez::from_utf8(name);
        ASSERT_TRUE(rez::write_file(disk, reinterpret_cast<const uint8_t*>(content.data()), content.size()));
        std::string made;
        for (const std::string& part : rez::split_archive_path(folder)) {
            const std::string next = made.empty() ? part : made + "\\" + part;
            std::string out;
            if (!model.find_entry(next)) {
                ASSERT_TRUE(model.create_directory(next, out));
            }
            made = next;
        }
        std::string out;
        ASSERT_TRUE(model.add_file(made, disk, out));
    }
    std::wstring err;
    ASSERT_TRUE(model.save(path, err)) << rez::to_utf8(err);
}

// A host program of a few bytes: build_sfx copies any host, and the in-process runner reads
// the container wherever it sits.
inline std::wstring make_host(const qvltest::ScratchDir& dir) {
    const std::wstring host = dir / L"host.bin";
    EXPECT_TRUE(qvltest::write_text(host, "MZ host"));
    return host;
}

inline void make_sfx(const std::wstring& host, const std::wstring& rez_path, const std::wstring& output,
                     const rezui::SfxConfig& config) {
    std::wstring error;
    ASSERT_EQ(rezui::build_sfx(host, rez_path, output, config, error), 1) << rez::to_utf8(error);
}

// The runner program built beside the tests.
inline std::wstring hobbleton_exe() { return rez::exe_directory() + L"\\Hobbleton.exe"; }
// A program that writes the folder it was started in to "started.txt" in that folder.
inline std::wstring cwd_probe_exe() { return rez::exe_directory() + L"\\qvl_cwd_probe.exe"; }

inline std::string probe_bytes() { return qvltest::read_text(cwd_probe_exe()); }

// ---- the desktop -----------------------------------------------------------------------

inline std::wstring desktop_folder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path))) return L"";
    return path;
}

// Shortcuts are only made where the desktop is a folder of the test prefix itself: a fresh
// prefix links it into the host's home (Wine shows the link as a reparse point).
inline bool desktop_is_private_folder() {
    const std::wstring desktop = desktop_folder();
    const DWORD attributes = desktop.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(desktop.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The target and working folder a shortcut file points at; empty when it cannot be read.
inline std::pair<std::wstring, std::wstring> shortcut_target(const std::wstring& link_path) {
    std::pair<std::wstring, std::wstring> out;
    struct Com {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ~Com() {
            if (SUCCEEDED(hr)) CoUninitialize();
        }
    } com;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return out;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(link_path.c_str(), STGM_READ))) {
            wchar_t buffer[MAX_PATH] = {};
            if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0))) out.first = buffer;
            buffer[0] = 0;
            if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) out.second = buffer;
        }
        file->Release();
    }
    link->Release();
    return out;
}

// Removes the named shortcuts from the desktop when the test ends.
struct DesktopCleanup {
    std::vector<std::wstring> names;
    ~DesktopCleanup() {
        for (const std::wstring& n : names) DeleteFileW((desktop_folder() + L"\\" + n).c_str());
    }
};

// ---- controls, from this process or another ----------------------------------------------

inline std::wstring text_of(HWND control) {
    if (!control) return L"<no control>";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return L"<hung>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &got))
        return L"<hung>";
    text.resize(got);
    return text;
}

inline bool usable(HWND control) { return control && IsWindowVisible(control) && IsWindowEnabled(control); }

// A click on a button, never on a hidden or disabled one, which a user could not click
// either. BM_CLICK has the button take its press and its release in one go: posted as two
// mouse messages, the window's thread was free in between, and a change of the mouse
// capture there (another test's window on the shared display) turned the release into no
// click.
inline bool click(HWND control) {
    if (!usable(control)) return false;
    return PostMessageW(control, BM_CLICK, 0, 0) != FALSE;
}

// One key pressed and released on a control.
inline bool press_key(HWND control, UINT key) {
    if (!usable(control)) return false;
    return PostMessageW(control, WM_KEYDOWN, key, 1) && PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

// Replaces an edit's text by typing: select all, delete, then one character at a time.
inline bool type_into(HWND edit, const std::wstring& text) {
    if (!usable(edit)) return false;
    PostMessageW(edit, EM_SETSEL, 0, -1);
    PostMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (wchar_t c : text) PostMessageW(edit, WM_CHAR, c, 1);
    return true;
}

// The control with the keyboard focus in the thread that owns window.
inline HWND focus_of(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

}  // namespace rtest
