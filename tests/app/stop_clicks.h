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

#include "test_support.h"

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
                  if (target && qvltest::mouse_click(target)) {
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
