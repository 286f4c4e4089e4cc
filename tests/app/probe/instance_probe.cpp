// Looks at the running main window from outside, for the single-instance process test:
//   instance_probe wait-window SECONDS        0 once a main window exists
//   instance_probe wait-caption TEXT SECONDS  0 once its caption equals TEXT
//   instance_probe wait-visible SECONDS       0 once it is visible
//   instance_probe hide                       hides it
//   instance_probe close                      posts WM_CLOSE to it
//   instance_probe wait-box-front SECONDS     0 once a box it owns is the foreground window
//   instance_probe close-box                  posts WM_CLOSE to that box
//   instance_probe wait-added ARCHIVE N SECONDS
//                                             0 once its log says N items were dropped into ARCHIVE
//   instance_probe wait-log TEXT SECONDS      0 once its log holds TEXT
//   instance_probe count                      prints how many main windows there are
//   instance_probe box-text CAPTION SECONDS   0 once a message box titled CAPTION is up (of any
//                                             program): prints its text (UTF-8) and closes it
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND main_window() { return FindWindowW(L"MarrowindRezMainWindow", nullptr); }

// The log box's text (WM_GETTEXT is carried across processes).
std::wstring log_text(HWND window) {
    HWND log = GetDlgItem(window, 1003);
    if (!log) return L"";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(log, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(log, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             2000, &got))
        return L"";
    text.resize(got);
    return text;
}

std::wstring caption(HWND window) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

// The popup the window shows (a message box or dialog it owns), or null.
HWND owned_box(HWND window) {
    HWND popup = window ? GetLastActivePopup(window) : nullptr;
    return popup && popup != window && IsWindowVisible(popup) ? popup : nullptr;
}

void print_utf8(const std::wstring& text) {
    std::string bytes(text.size() * 4 + 1, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, nullptr);
    fwrite(bytes.data(), 1, n > 0 ? static_cast<size_t>(n) : 0, stdout);
    fflush(stdout);
}

int count_main_windows() {
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            wchar_t cls[64] = {};
            GetClassNameW(window, cls, 64);
            if (std::wstring(cls) == L"MarrowindRezMainWindow") ++*reinterpret_cast<int*>(data);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

HWND find_box(const std::wstring& caption) {
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", caption.c_str())))
        if (IsWindowVisible(box)) return box;
    return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring verb = argv[1];
    if (verb == L"count") {
        wprintf(L"%d\n", count_main_windows());
        return 0;
    }
    if (verb == L"box-text" && argc > 3) {
        const int seconds = _wtoi(argv[3]);
        for (int i = 0; i < seconds * 10; ++i) {
            if (HWND box = find_box(argv[2])) {
                wchar_t text[4096] = {};
                SendMessageTimeoutW(GetDlgItem(box, 0xFFFF), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text),
                                    SMTO_ABORTIFHUNG, 2000, nullptr);
                print_utf8(std::wstring(text) + L"\n");
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return 0;
            }
            Sleep(100);
        }
        return 1;
    }
    if (verb == L"close") {
        HWND w = main_window();
        return w && PostMessageW(w, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (verb == L"hide") {
        HWND w = main_window();
        if (!w) return 1;
        ShowWindow(w, SW_HIDE);
        return IsWindowVisible(w) ? 1 : 0;
    }
    if (verb == L"close-box") {
        HWND box = owned_box(main_window());
        return box && PostMessageW(box, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    std::wstring expected = verb == L"wait-caption" && argc > 2 ? argv[2] : L"";
    if (verb == L"wait-added" && argc > 3)
        expected = std::wstring(L"拖放加入完成: ") + argv[2] + L"（加入 " + argv[3] + L"，";
    if (verb == L"wait-log" && argc > 2) {
        expected = argv[2];
        verb = L"wait-added";  // the same look at the log
    }
    int seconds = _wtoi(argv[argc - 1]);
    for (int i = 0; i < seconds * 10; ++i) {
        HWND w = main_window();
        if (w && (verb == L"wait-window" || (verb == L"wait-visible" && IsWindowVisible(w)) ||
                  (verb == L"wait-caption" && caption(w) == expected) ||
                  (verb == L"wait-box-front" && owned_box(w) && GetForegroundWindow() == owned_box(w)) ||
                  (verb == L"wait-added" && log_text(w).find(expected) != std::wstring::npos)))
            return 0;
        Sleep(100);
    }
    HWND w = main_window();
    fwprintf(stderr, L"probe: window %p caption [%ls] box %p foreground %p\n", static_cast<void*>(w),
             w ? caption(w).c_str() : L"", static_cast<void*>(owned_box(w)), static_cast<void*>(GetForegroundWindow()));
    if (w && verb == L"wait-added") {
        // UTF-8, so that the log's Chinese text reaches the test's output.
        const std::wstring text = L"probe: log [" + log_text(w) + L"]\n";
        std::string bytes(text.size() * 4 + 1, '\0');
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                                          static_cast<int>(bytes.size()), nullptr, nullptr);
        fwrite(bytes.data(), 1, n > 0 ? static_cast<size_t>(n) : 0, stderr);
    }
    return 1;
}
