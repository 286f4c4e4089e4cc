// Windows that carry the class names of Explorer's and the desktop's windows, so that a
// drag released over them meets the same window chain as over the real ones, and helpers
// that put the mouse pointer on them. Tests that move the pointer have "Pointer" in their
// suite name: they take the pointer in turn (tests/app/gtest_properties.cmake).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace shelltest {

// Top-level windows are hidden unless shown: only a test that holds the pointer may put
// windows on the screen where another test's pointer could meet them.
inline HWND make_window(const wchar_t* class_name, HWND parent, int x, int y, int w, int h, bool shown = false) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, class_name, &wc) && !GetClassInfoW(nullptr, class_name, &wc)) {
        wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = class_name;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        RegisterClassW(&wc);
    }
    const DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_POPUP | (shown ? WS_VISIBLE : 0);
    const DWORD ex_style = parent ? 0 : WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    return CreateWindowExW(ex_style, class_name, L"", style, x, y, w, h, parent, nullptr, instance, nullptr);
}

// A top-level window of one class, optionally holding a folder view with its icon list,
// each child filling its parent.
struct ShellChain {
    HWND top = nullptr;
    HWND view = nullptr;
    HWND list = nullptr;
    // The default place lies outside the 1080 x 820 that the main windows of the window
    // tests cover from the screen's corner, so that no other test's window can come
    // between the pointer and this chain.
    ShellChain(const wchar_t* top_class, bool with_view, bool shown = false, int x = 1090, int y = 830, int w = 180,
               int h = 120) {
        top = make_window(top_class, nullptr, x, y, w, h, shown);
        if (with_view) {
            view = make_window(L"SHELLDLL_DefView", top, 0, 0, w, h);
            list = make_window(WC_LISTVIEWW, view, 0, 0, w, h);
        }
    }
    ~ShellChain() {
        if (top) DestroyWindow(top);
    }
    ShellChain(const ShellChain&) = delete;
    ShellChain& operator=(const ShellChain&) = delete;
    // The innermost window: the one a pointer over the middle of the chain is over.
    HWND inner() const { return list ? list : top; }
};

inline void pump_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Moves the pointer to the middle of window; true once that window is what lies under it.
inline bool point_at(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    const POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    for (int i = 0; i < 100; ++i) {
        SetCursorPos(middle.x, middle.y);
        pump_messages();
        POINT now{};
        GetCursorPos(&now);
        if (now.x == middle.x && now.y == middle.y && WindowFromPoint(middle) == window) return true;
        Sleep(20);
    }
    return false;
}

}  // namespace shelltest
