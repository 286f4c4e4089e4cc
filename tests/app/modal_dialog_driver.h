// Runs the program's real modal dialogs in the window tests: the dialog seam opens the real
// template with DialogBoxParamW, and a thread timer hands the dialog, once it is up, to a
// script that types into it and clicks its buttons as a user would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/common/window_helpers.h"
#include "test_support.h"

namespace dlgtest {

using Script = std::function<void(HWND dialog)>;

inline std::vector<Script> scripts;  // one per dialog, in the order they open
inline std::vector<int> opened;      // resource ids of the dialogs run

inline void CALLBACK run_script(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = qvltest::visible_dialog_of_this_thread();
    if (!dialog) return;
    KillTimer(nullptr, timer);
    if (scripts.empty()) {
        EndDialog(dialog, IDCANCEL);
        return;
    }
    Script script = std::move(scripts.front());
    scripts.erase(scripts.begin());
    script(dialog);
}

// A script that never closes its dialog must not hang the test.
inline void CALLBACK give_up(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (HWND dialog = qvltest::visible_dialog_of_this_thread()) EndDialog(dialog, -1);
}

inline INT_PTR run_real_dialog(int id, HWND owner, DLGPROC proc, LPARAM param) {
    opened.push_back(id);
    UINT_PTR timer = SetTimer(nullptr, 0, 30, run_script);
    UINT_PTR limit = SetTimer(nullptr, 0, 15000, give_up);
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), owner, proc, param);
    KillTimer(nullptr, timer);
    KillTimer(nullptr, limit);
    return result;
}

// Every modal dialog of the program now opens for real and meets the next script.
inline void drive(std::vector<Script> next) {
    scripts = std::move(next);
    opened.clear();
    rezui::ui_seams.run_dialog = run_real_dialog;
}

inline void click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Replaces an edit's text by typing: select all, then one WM_CHAR per character.
inline void type_into(HWND dialog, int id, const std::wstring& text) {
    HWND edit = GetDlgItem(dialog, id);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, VK_BACK, 0);
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

inline std::wstring text_of(HWND dialog, int id) { return rezui::get_window_text(GetDlgItem(dialog, id)); }

}  // namespace dlgtest
