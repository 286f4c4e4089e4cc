// The main window's state: one plain record, rezui::app, read and written directly by the
// whole program, and the few process-wide values that live beside it.
// Every field belongs to the user-interface thread, except: paused and cancel (atomic, read
// by workers), archive (read by a worker while busy is set, when nothing else touches it)
// and main_window (workers post to it). The worker threads themselves are listed in
// workers until they have ended (app/operations/job_workers.h), so that exit can wait for them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "archive/rez_model.h"
#include "archive/win_handle.h"

namespace rezui {

struct OpenPwdRequest;  // app/operations/open_archive.h

struct AppState {
    HWND main_window = nullptr;
    HWND tree_view = nullptr;      // 1001
    HWND list_view = nullptr;      // 1002
    HWND log_view = nullptr;       // same handle as log_box
    HWND path_combo = nullptr;     // 1004
    HWND status_bar = nullptr;     // 1005: part 0 general text, part 1 last log line
    HWND toolbar = nullptr;        // 4101
    HWND comment_panel = nullptr;  // 4202, side panel holding the comment and preview tabs
    HWND preview_tabs = nullptr;   // 4203
    HWND comment_box = nullptr;    // 4204
    HWND preview_table = nullptr;  // 4205
    HWND preview_edit = nullptr;   // 4207
    HWND preview_image = nullptr;  // 4208
    HWND splitter = nullptr;       // 4210
    HWND progress_bar = nullptr;   // 4206, range 0-100
    HWND log_box = nullptr;        // 1003
    HWND pause_button = nullptr;   // 2067
    HWND resume_button = nullptr;  // 2068
    HWND cancel_button = nullptr;  // 2069
    HWND clear_log_button = nullptr;  // 2070
    HIMAGELIST small_images = nullptr;
    HIMAGELIST large_images = nullptr;
    HACCEL accelerators = nullptr;

    rez::RezFile archive;          // replaced only on the UI thread when an open succeeds
    bool archive_loaded = false;
    std::wstring current_folder;   // inside the archive, "\"-joined; empty = root
    bool fs_mode = true;           // the list shows a real folder
    std::wstring local_root;
    std::wstring local_subdir;

    // Settings in force (copied from the settings file when the window is created).
    std::wstring copyright;
    std::wstring description;
    std::wstring theme;
    std::wstring last_drag_out_folder;
    bool uppercase_rez = true;
    bool uppercase_zip = false;
    bool uppercase_7z = false;
    bool close_to_tray = false;
    bool show_log_box = false;

    bool busy = false;             // a task owns the archive
    bool unsaved_changes = false;  // the model holds edits its file does not have yet
    int view_mode = 1;             // 0 tree, 1 list
    int list_style = 1;            // 0 large icons, 1 details
    bool comment_panel_visible = false;
    HICON tray_icon = nullptr;
    bool tray_icon_added = false;
    std::atomic<bool> paused{false};
    std::atomic<bool> cancel{false};
    std::vector<rez::unique_kernel> workers;  // threads of jobs, kept until they have ended
    HBRUSH background_brush = nullptr;
    COLORREF text_colour = 0x141414;
    COLORREF background_colour = 0xFCFCFC;
    HFONT ui_font = nullptr;
    int client_width = 1080;
    int client_height = 720;

    // Frame bookkeeping beside the fields above.
    HMENU tools_menu = nullptr;        // the "工具(&T)" popup that holds Find
    bool layout_done = false;          // the layout has run once
    UINT_PTR batch_timer = 0;          // running ID_TIMER_BATCH, 0 when none
    std::vector<std::wstring> pending_convert;  // handed-over conversion sources
};

extern AppState app;

extern int side_panel_width;                // 300; kept in 180..600 by the layout
extern bool splitter_dragging;
extern std::atomic<bool> task_running;      // an open job runs
extern bool archive_unlocked;               // a password for the open ZIP/7z is in force
extern bool headless;                       // window created hidden for a command-line verb
extern std::atomic<std::shared_ptr<OpenPwdRequest>> pending_password_request;
extern HWND current_modeless_dialog;        // offered every message by the message loop

}  // namespace rezui
