// The one main window: its frame (class, children, menu, toolbar, accelerators, tray icon,
// layout and splitter) and its window procedure, a thin router to the operations.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace rezui {

// ---- frame ----------------------------------------------------------------------
bool register_main_window_class(HINSTANCE instance);
// Loads the settings, creates the window, shows it (hidden for a headless verb run), adds
// the tray icon, builds the accelerators and runs the first command-line verb.
bool create_main_window(HINSTANCE instance, int show_command, const CommandLine& cl);
HMENU build_main_menu();
// The toolbar with its image list and buttons, sized to its content (app.toolbar).
void create_toolbar(HWND window);
HWND create_button(HWND parent, int id, const wchar_t* text, int x, int y, int width);
HICON load_toolbar_icon(HMODULE module, int resource_id);
HACCEL build_accelerators();
bool add_tray_icon(HWND window);
void hide_to_tray(HWND window);
// Shows or hides the log box and its Clear-log button by the setting, then lays out again.
void apply_log_box_setting();
// WM_CREATE: builds the children in their fixed order.
void create_main_children(HWND window);
// WM_DESTROY: frees what the window owns and posts quit.
void destroy_main_window_resources(HWND window);

// A path named on the command line or handed over by a second start: a folder is shown in
// the local-folder view (it is no archive), anything else is opened as an archive.
void open_named_path(const std::wstring& path);

// ---- layout -------------------------------------------------------------------------
struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Box&) const = default;
};

struct MainLayout {
    int toolbar_height = 0;  // after the navigation row is added
    Box toolbar;
    Box up, desktop, refresh, path;  // only when has_nav
    Box browser;                     // tree and list (overlapping)
    Box panel, panel_child, splitter;
    bool splitter_visible = false;
    int panel_width = 0;  // side panel width after clamping (0 when hidden)
    Box log;
    bool log_visible = false;
    Box progress_bar, progress_text, host;
    Box pause, resume, stop, clear_log;  // inside the host
    int status_parts[3] = {0, 0, -1};
    Box status;
};

// The side panel width kept within 180..600 and at most client width - 240 (0 when that is
// negative).
int clamp_side_panel_width(int width, int client_width);
MainLayout compute_main_layout(int w, int h, int toolbar_window_height, bool has_toolbar, bool has_nav, bool log_on,
                               bool panel_visible, int side_width);
void layout_main_window(HWND window, int w, int h);
// Widens status-bar part 0 to its text where the middle part keeps room; after its text changes.
void fit_status_parts();
// The smallest client area at which the list keeps a usable height (with the log box
// shown) and the status bar's parts do not run into each other.
SIZE min_main_client_size(int toolbar_window_height, bool has_toolbar, bool has_nav);
// The same with the window's frame and menu bar added (WM_GETMINMAXINFO).
POINT main_window_min_track_size(HWND window);
bool splitter_hit_test(int x, int y);

// ---- procedure --------------------------------------------------------------------
LRESULT CALLBACK main_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void on_command(HWND window, WPARAM wparam, LPARAM lparam);
LRESULT on_notify(HWND window, const NMHDR* header, bool& handled);
// The list's context menu for what it shows and what is selected (null when none applies)
// and the carrying out of its choice.
HMENU build_list_context_menu();
void show_list_context_menu(HWND window);
void run_list_menu_choice(HWND window, UINT choice);
void on_task_result(HWND window, LPARAM lparam);
void on_test_done(HWND window, LPARAM lparam);
// Frees the payloads of worker messages still queued for the window when it goes: once
// it is destroyed nobody would receive them.
void free_queued_payloads(HWND window);
// Frees the payload of one worker message (progress, result, test summary); false when the
// message is none of them.
bool free_worker_payload(const MSG& msg);
// Every way out of the program (window close, File > Exit, the tray's exit) comes here: a
// running job is stopped and its worker waited for before the window goes.
void exit_program(HWND window);
void on_password_request(HWND window);
void on_copy_data(HWND window, const COPYDATASTRUCT* cds);
void on_tray_notify(HWND window, LPARAM lparam);
void on_batch_timer(HWND window);
// Commands that read or change the open archive are refused while a job runs.
bool command_allowed_while_busy(UINT id);
// What a refused command tells the user, and the telling itself: the text in the status
// bar and a warning sound.
extern const wchar_t kBusyRefusalText[];
void refuse_while_busy();

// The add-to-archive hand-over text split at line feeds, empty pieces dropped.
std::vector<std::wstring> split_hand_over_lines(const std::wstring& text);
// The kind-6 result text "archive|added|skipped|replaced" split into its four parts (a
// missing count reads "0").
void split_drop_added(const std::wstring& text, std::wstring& archive, std::wstring& added, std::wstring& skipped,
                      std::wstring& replaced);

}  // namespace rezui
