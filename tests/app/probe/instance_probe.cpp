// Looks at the running main window from outside, for the single-instance process test:
//   instance_probe wait-window SECONDS        0 once a main window exists
//   instance_probe wait-caption TEXT SECONDS  0 once its caption equals TEXT
//   instance_probe wait-visible SECONDS       0 once it is visible
//   instance_probe hide                       hides it
//   instance_probe close                      posts WM_CLOSE to it
//   instance_probe wait-box-front SECONDS     0 once a box it owns is the foreground window
//   instance_probe close-box                  posts WM_CLOSE to that box
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

// The popup the window shows (a message box or dialog it owns), or null.
HWND owned_box(HWND window) {
    HWND popup = window ? GetLastActivePopup(window) : nullptr;
    return popup && popup != window && IsWindowVisible(popup) ? popup : nullptr;
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
    if (verb == L"close-box") {
        HWND box = owned_box(main_window());
        return box && PostMessageW(box, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    std::wstring expected = verb == L"wait-caption" && argc > 2 ? argv[2] : L"";
    int seconds = _wtoi(argv[argc - 1]);
    for (int i = 0; i < seconds * 10; ++i) {
        HWND w = main_window();
        if (w && (verb == L"wait-window" || (verb == L"wait-visible" && IsWindowVisible(w)) ||
                  (verb == L"wait-caption" && caption(w) == expected) ||
                  (verb == L"wait-box-front" && owned_box(w) && GetForegroundWindow() == owned_box(w))))
            return 0;
        Sleep(100);
    }
    HWND w = main_window();
    fwprintf(stderr, L"probe: window %p caption [%ls] box %p foreground %p\n", static_cast<void*>(w),
             w ? caption(w).c_str() : L"", static_cast<void*>(owned_box(w)), static_cast<void*>(GetForegroundWindow()));
    return 1;
}
