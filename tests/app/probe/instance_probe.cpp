// Looks at the running main window from outside, for the single-instance process test:
//   instance_probe wait-window SECONDS        0 once a main window exists
//   instance_probe wait-caption TEXT SECONDS  0 once its caption equals TEXT
//   instance_probe wait-visible SECONDS       0 once it is visible
//   instance_probe hide                       hides it
//   instance_probe close                      posts WM_CLOSE to it
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND main_window() { return FindWindowW(L"MarrowindRezMainWindow", nullptr); }

std::wstring caption(HWND window) {
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring verb = argv[1];
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
    std::wstring expected = verb == L"wait-caption" && argc > 2 ? argv[2] : L"";
    int seconds = _wtoi(argv[argc - 1]);
    for (int i = 0; i < seconds * 10; ++i) {
        HWND w = main_window();
        if (w && (verb == L"wait-window" || (verb == L"wait-visible" && IsWindowVisible(w)) ||
                  (verb == L"wait-caption" && caption(w) == expected)))
            return 0;
        Sleep(100);
    }
    HWND w = main_window();
    fwprintf(stderr, L"probe: window %p caption [%ls]\n", static_cast<void*>(w), w ? caption(w).c_str() : L"");
    return 1;
}
