// Thin wrappers over the windowing system used by the whole program (window text, message
// box, pickers, popup menus, shell launches, modal dialogs), the path bar, the enabled state
// of commands, the view colours and the local-folder path helpers.
//
// Everything that would block on the user goes through rezui::ui_seams: tests replace a
// pointer to script the answer instead of showing UI. Code must call the wrappers below,
// never MessageBoxW / TrackPopupMenu / ShellExecuteW / DialogBoxParamW directly.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

struct UiSeams {
    int (*message_box)(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);
    std::wstring (*pick_open_file)(HWND owner, const wchar_t* filter, const wchar_t* title);
    std::wstring (*pick_save_file)(HWND owner, const wchar_t* filter, const wchar_t* title,
                                   const std::wstring& suggested_name);
    std::wstring (*pick_folder)(HWND owner, const std::wstring& title);
    // TrackPopupMenu with TPM_RETURNCMD added: the chosen command, 0 for none.
    UINT (*track_popup_menu)(HMENU menu, UINT flags, int x, int y, HWND owner);
    // ShellExecuteW: its result (> 32 is success).
    HINSTANCE (*shell_execute)(HWND owner, const wchar_t* verb, const wchar_t* file,
                               const wchar_t* parameters, const wchar_t* directory, int show);
    // DialogBoxParamW on this program's resources.
    INT_PTR (*run_dialog)(int resource_id, HWND owner, DLGPROC proc, LPARAM param);
    // The open dialog with multiple selection: every chosen path, however many; empty on
    // cancel.
    std::vector<std::wstring> (*pick_open_files)(HWND owner, const wchar_t* filter, const wchar_t* title);
};

// The real implementations; tests overwrite single members and restore them with
// default_ui_seams().
extern UiSeams ui_seams;
UiSeams default_ui_seams();

std::wstring get_window_text(HWND window);
void set_window_text(HWND window, const std::wstring& text);
// Adds text at the end of a log box (a multi-line edit) and scrolls it into view.
void append_log_text(HWND box, const std::wstring& text);
int message_box(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);
// Filters are NUL-separated pairs ending in a double NUL; empty result on cancel.
std::wstring pick_open_file(HWND owner, const wchar_t* filter, const wchar_t* title);
std::wstring pick_save_file(HWND owner, const wchar_t* filter, const wchar_t* title,
                            const std::wstring& suggested_name);
std::vector<std::wstring> pick_open_files(HWND owner, const wchar_t* filter, const wchar_t* title);
// The result buffer of a multiple-selection open dialog (one path, or a folder followed by
// the names, each ended by a NUL, the list by a second NUL) as full paths.
std::vector<std::wstring> split_open_files_result(const wchar_t* buffer, size_t size);
std::wstring pick_folder(HWND owner, const std::wstring& title);
UINT track_popup_menu(HMENU menu, UINT flags, int x, int y, HWND owner);
HINSTANCE shell_execute(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                        const wchar_t* directory, int show);
INT_PTR run_dialog(int resource_id, HWND owner, DLGPROC proc, LPARAM param = 0);

// Handles the messages waiting, so the windows stay responsive while the caller's own work goes
// on between them. A WM_QUIT ends it and is put back for the message loop: false then.
bool pump_pending_messages();

// Restores a window and brings it to the foreground and to the top; when it shows a popup
// (a message box or dialog it owns) that popup is the one brought forward.
void raise_window(HWND window);
// Where a top-level window of the wanted size goes in a work area: as large as wanted where
// that fits, else as large as the area, and centred in it.
RECT window_rect_in_work_area(int width, int height, const RECT& work);

// The pieces of text between separators, empty pieces dropped.
std::vector<std::wstring> split_nonempty(const std::wstring& text, wchar_t separator);

void set_status_bar_text(const std::wstring& text);  // part 0
bool can_search();
void update_command_states();
std::wstring current_local_path();
std::wstring parent_local_dir();
void apply_view_colors();

// Path bar: Enter in its edit field posts command 2072.
LRESULT CALLBACK path_edit_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
extern WNDPROC path_edit_previous;
void fill_path_combo();
void on_path_combo_select();
// Frees the heap strings of the path bar's items (before the window goes).
void clear_path_combo();

// The heap path a list-view row of the tool dialogs keeps in its item data; null when the row
// is not there. The dialog owns it and frees it when the row or the window goes.
std::wstring* list_row_path(HWND list, int row);

}  // namespace rezui
