// Stopping a running job as a user does: a real mouse click on its Stop or Cancel button,
// sent from a thread of its own once the job is under way (the user-interface thread is the
// one under test: it must take the click at once, however busy the job keeps it), and a
// record of the moment the program had handled it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace stopclick {

// Files (not folders) directly in folder.
inline size_t file_count(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return 0;
    size_t n = 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return n;
}

// Moves the real mouse to the middle of control and clicks there, when that point shows the
// control (another test's window may lie over it for a moment; a disabled window never does).
inline bool mouse_click(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
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

// When the command id had been handled by window (hooked on the calling thread), and how
// many files folder held at that moment: the job must not write another after it.
struct Answer {
    static inline HWND window = nullptr;
    static inline int id = 0;
    static inline std::wstring folder;
    static inline std::atomic<ULONGLONG> at{0};
    static inline std::atomic<long long> files{-1};
    static inline HHOOK hook = nullptr;

    static LRESULT CALLBACK on_return(int code, WPARAM wparam, LPARAM lparam) {
        const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
        if (code == HC_ACTION && m->message == WM_COMMAND && LOWORD(m->wParam) == id &&
            (m->hwnd == window || GetParent(m->hwnd) == window || m->hwnd == GetAncestor(window, GA_ROOT)) &&
            at.load() == 0) {
            at.store(GetTickCount64());
            if (!folder.empty()) files.store(static_cast<long long>(file_count(folder)));
        }
        return CallNextHookEx(hook, code, wparam, lparam);
    }
    Answer(HWND w, int command, const std::wstring& watched) {
        window = w;
        id = command;
        folder = watched;
        at.store(0);
        files.store(-1);
        hook = SetWindowsHookExW(WH_CALLWNDPROCRET, on_return, nullptr, GetCurrentThreadId());
    }
    ~Answer() { UnhookWindowsHookEx(hook); }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;
};

// A thread that waits (up to five minutes) until ready() holds, then clicks control with the real
// mouse, trying again while its point shows something else. clicked_at is 0 when no click went in.
class ClickWhen {
public:
    ClickWhen(std::function<bool()> ready, std::function<HWND()> control)
        : thread_([this, ready = std::move(ready), control = std::move(control)] {
              const ULONGLONG start = GetTickCount64();
              while (!ready()) {
                  if (GetTickCount64() - start > 300000) return;
                  Sleep(10);
              }
              for (const ULONGLONG tried = GetTickCount64(); GetTickCount64() - tried < 10000; Sleep(20)) {
                  HWND target = control();
                  if (target && mouse_click(target)) {
                      clicked_at.store(GetTickCount64());
                      return;
                  }
              }
          }) {}
    ~ClickWhen() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    std::atomic<ULONGLONG> clicked_at{0};

private:
    std::thread thread_;
};

}  // namespace stopclick
