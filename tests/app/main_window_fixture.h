// The real main window created in-process for the window tests, with every blocking UI
// (message boxes, pickers, popup menus, shell launches, modal dialogs) scripted through
// rezui::ui_seams, and helpers to pump and read the window back.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window/main_window.h"
#include "app/command_line.h"
#include "app/common/window_helpers.h"
#include "app/operations/open_archive.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "resources/resource.h"
#include "test_support.h"
#include "window_probe.h"

namespace h4test {

struct Box {
    std::wstring text, caption;
    UINT flags;
};

inline std::vector<Box> boxes;
inline int box_answer = IDOK;
inline std::vector<std::wstring> folder_answers;  // popped front first
inline std::wstring open_answer, save_answer;
inline std::vector<std::wstring> open_many_answer;  // the multiple-selection open dialog
inline UINT menu_answer = 0;
inline HMENU last_menu_items_owner = nullptr;
inline std::vector<std::pair<UINT, std::wstring>> last_menu;  // (id or 0 for separator, text + state)
inline std::vector<std::wstring> shell_launches;
// Called for each modal dialog: (resource id, procedure) -> result; default cancels.
inline std::function<INT_PTR(int, DLGPROC)> dialog_script;

inline int scripted_box(HWND, const std::wstring& text, const std::wstring& caption, UINT flags) {
    boxes.push_back({text, caption, flags});
    return box_answer;
}
inline std::wstring scripted_folder(HWND, const std::wstring&) {
    if (folder_answers.empty()) return L"";
    std::wstring a = folder_answers.front();
    folder_answers.erase(folder_answers.begin());
    return a;
}
inline std::wstring scripted_open(HWND, const wchar_t*, const wchar_t*) { return open_answer; }
inline std::vector<std::wstring> scripted_open_many(HWND, const wchar_t*, const wchar_t*) { return open_many_answer; }
inline std::wstring scripted_save(HWND, const wchar_t*, const wchar_t*, const std::wstring&) { return save_answer; }

inline void record_menu(HMENU menu, const std::wstring& prefix) {
    int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW mi = {};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE;
        mi.dwTypeData = text;
        mi.cch = 255;
        GetMenuItemInfoW(menu, i, TRUE, &mi);
        std::wstring entry = prefix + text;
        if (mi.fState & MFS_GRAYED) entry += L" [grey]";
        if (mi.fState & MFS_CHECKED) entry += L" [check]";
        if (mi.fType & MFT_SEPARATOR) entry = prefix + L"-";
        last_menu.push_back({mi.wID, entry});
        if (mi.hSubMenu) record_menu(mi.hSubMenu, prefix + L"  ");
    }
}
inline UINT scripted_menu(HMENU menu, UINT, int, int, HWND) {
    last_menu.clear();
    record_menu(menu, L"");
    return menu_answer;
}
inline HINSTANCE scripted_shell(HWND, const wchar_t* verb, const wchar_t* file, const wchar_t* params, const wchar_t*,
                                int) {
    shell_launches.push_back(std::wstring(verb ? verb : L"") + L"|" + (file ? file : L"") + L"|" +
                             (params ? params : L""));
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}
inline INT_PTR scripted_dialog(int id, HWND, DLGPROC proc, LPARAM) {
    return dialog_script ? dialog_script(id, proc) : 0;
}

inline void script_all_ui() {
    boxes.clear();
    box_answer = IDOK;
    folder_answers.clear();
    open_answer.clear();
    save_answer.clear();
    open_many_answer.clear();
    menu_answer = 0;
    last_menu.clear();
    shell_launches.clear();
    dialog_script = nullptr;
    rezui::ui_seams.message_box = scripted_box;
    rezui::ui_seams.pick_folder = scripted_folder;
    rezui::ui_seams.pick_open_file = scripted_open;
    rezui::ui_seams.pick_save_file = scripted_save;
    rezui::ui_seams.pick_open_files = scripted_open_many;
    rezui::ui_seams.track_popup_menu = scripted_menu;
    rezui::ui_seams.shell_execute = scripted_shell;
    rezui::ui_seams.run_dialog = scripted_dialog;
}

inline void reset_app_state() {
    appprobe::reset_browser_state();
    rezui::AppState& a = rezui::app;
    a.paused = false;
    a.cancel = false;
    a.unsaved_changes = false;
    a.view_mode = 1;
    a.list_style = 1;
    a.close_to_tray = false;
    a.show_log_box = true;
    a.theme.clear();
    rezui::side_panel_width = 300;
    rezui::headless = false;
}

inline void pump(DWORD ms = 0) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ms) Sleep(5);
    } while (GetTickCount() - start < ms);
}

// Pumps until pred() holds or the time is up.
inline bool pump_until(const std::function<bool()>& pred, DWORD timeout_ms = 20000) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeout_ms) return false;
        pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

inline std::wstring log_text() { return rezui::app.log_box ? rezui::get_window_text(rezui::app.log_box) : L""; }

inline bool log_has(const std::wstring& text) { return log_text().find(text) != std::wstring::npos; }

// Until no job runs: a job's result may start the next one (a rewrite's the reopen) in the
// same message, so idle means all of them are over.
inline bool wait_idle() {
    return pump_until([] { return !rezui::app.busy && !rezui::task_running.load(); });
}

// Clicks the toolbar button of a command where the user would.
inline void click_toolbar(UINT command) {
    HWND tb = rezui::app.toolbar;
    const LRESULT index = SendMessageW(tb, TB_COMMANDTOINDEX, command, 0);
    ASSERT_GE(index, 0);
    RECT rc{};
    SendMessageW(tb, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
    const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageW(tb, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tb, WM_LBUTTONUP, 0, at);
    pump();
}

// Opens a file as the user would and waits until the archive is loaded.
inline bool open_and_wait(const std::wstring& path) {
    rezui::open_file(path);
    return wait_idle() && rezui::app.archive_loaded;
}

// A small REZ archive in dir: Textures\wall.dtx ("texture") and readme.txt ("hello") at the
// root, with the comment given.
inline std::wstring make_small_rez(const qvltest::ScratchDir& dir, const std::wstring& name,
                                   const std::wstring& comment = L"") {
    const std::wstring readme = dir / L"readme.txt", wall = dir / L"wall.dtx", path = dir / name;
    rez::write_file(readme, reinterpret_cast<const uint8_t*>("hello"), 5);
    rez::write_file(wall, reinterpret_cast<const uint8_t*>("texture"), 7);
    rez::RezFile archive(path);
    std::string out;
    EXPECT_TRUE(archive.create_directory("Textures", out));
    EXPECT_TRUE(archive.add_file("Textures", wall, out));
    EXPECT_TRUE(archive.add_file("", readme, out));
    archive.comment = comment;
    std::wstring err;
    EXPECT_TRUE(archive.save(path, err)) << rez::to_utf8(err);
    return path;
}

// What a second start of the program sends the running window.
inline void send_copydata(HWND window, ULONG_PTR code, const std::wstring& text) {
    auto payload = rezui::copydata_payload(text);
    COPYDATASTRUCT cds{};
    cds.dwData = code;
    cds.cbData = static_cast<DWORD>(payload.size() * 2);
    cds.lpData = payload.data();
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

using appprobe::status_part;

// Creates the main window (hidden, no settings file, no command-line work) and destroys it.
class MainWindow {
public:
    MainWindow() {
        INITCOMMONCONTROLSEX icc{sizeof icc, 0xFF};
        InitCommonControlsEx(&icc);
        script_all_ui();
        reset_app_state();
        HINSTANCE instance = GetModuleHandleW(nullptr);
        rezui::register_main_window_class(instance);
        window_ = CreateWindowExW(0, L"MarrowindRezMainWindow", L"test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                  1080, 820, nullptr, nullptr, instance, nullptr);
        rezui::app.accelerators = rezui::build_accelerators();
        RECT rc{};
        GetClientRect(window_, &rc);
        SendMessageW(window_, WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
        pump();
    }
    ~MainWindow() {
        if (IsWindow(window_)) DestroyWindow(window_);
        // Drop the quit that WM_DESTROY posts so the next test starts clean.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) DispatchMessageW(&msg);
        }
        reset_app_state();
        rezui::ui_seams = rezui::default_ui_seams();
    }
    HWND hwnd() const { return window_; }
    void command(UINT id) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // A notification from the list view (NM_RCLICK, NM_DBLCLK, ...).
    void notify_list(UINT code) {
        NMHDR header{rezui::app.list_view, IDC_LIST, code};
        SendMessageW(window_, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&header));
    }

private:
    HWND window_ = nullptr;
};

using appprobe::select_none;

// Selects the first list row whose name column starts with prefix; false when none does.
inline bool select_first_row_named(const std::wstring& prefix) {
    select_none();
    const int n = appprobe::item_count();
    for (int i = 0; i < n; ++i) {
        if (appprobe::item_text(i).rfind(prefix, 0) == 0) {
            appprobe::set_item_state(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            return true;
        }
    }
    return false;
}

// A REZ large enough that a job on it (save, extraction, test) is still under way when the
// test acts: 600 entries of 64 KiB.
constexpr int kBigRezEntries = 600;
constexpr size_t kBigRezEntrySize = 64 * 1024;
inline std::wstring make_big_rez(const qvltest::ScratchDir& dir) {
    const std::wstring src = dir / L"src";
    CreateDirectoryW(src.c_str(), nullptr);
    rez::RezFile model;
    std::vector<uint8_t> data(kBigRezEntrySize);
    for (int i = 0; i < kBigRezEntries; ++i) {
        for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(i * 31 + k * 7);
        const std::wstring file = src + L"\\f" + std::to_wstring(1000 + i) + L".bin";
        EXPECT_TRUE(rez::write_file(file, data.data(), data.size()));
        std::string added;
        EXPECT_TRUE(model.add_file("", file, added));
    }
    std::wstring err;
    EXPECT_TRUE(model.save(dir / L"big.rez", err)) << rez::to_utf8(err);
    return dir / L"big.rez";
}

}  // namespace h4test
