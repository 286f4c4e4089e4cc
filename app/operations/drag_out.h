// Dragging the list's selected rows out into Explorer or onto the desktop.
// A real folder's rows travel as a file list that Explorer copies itself. Archive entries
// travel as empty placeholders; the drop is cancelled at release and the program extracts
// the entries into the folder under the cursor (app/operations/drop_target.h).
// Everything runs on the user-interface thread and pumps messages between steps.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rezui {

// The list view's previous window procedure, kept when it is subclassed.
extern WNDPROC list_drag_previous;
LRESULT CALLBACK list_drag_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Drags the selected rows and carries the drop through to its end.
void begin_drag_out();

// ---- the drag's data ----------------------------------------------------------------

// A DROPFILES block (wide paths, each NUL-terminated, then one more NUL); null on failure.
HGLOBAL build_drop_block(const std::vector<std::wstring>& paths);
// The drag's block: the real paths in file-system mode; in archive mode one placeholder
// per entry, made in folder. Null when it cannot be built.
HGLOBAL make_hdrop(const std::vector<std::wstring>& paths, bool fs_mode, const std::wstring& folder);
// The file name an entry of the open archive is dropped under, made safe for the file
// system; empty when the name would leave the target folder (the entry is then skipped).
std::wstring entry_file_name(const std::wstring& key);
// "<temp>\qvl_dragout_<pid>".
std::wstring dragout_folder_path();

// Created with one reference each; Release deletes at zero.
IDropSource* new_drop_source(bool fs_mode);
// Takes ownership of block.
IDataObject* new_drag_data_object(HGLOBAL block);

// ---- doing the drop ourselves ---------------------------------------------------------

struct CopyOutcome {
    int copied = 0;
    int skipped = 0;  // left alone: the user kept an existing target, or source and target are one
    int failed = 0;
};
// Copies real paths into folder when Explorer dropped nothing. A folder is never copied
// into itself; an existing target is replaced only when the user agrees; each failure is
// logged.
CopyOutcome copy_to_drop_folder(const std::vector<std::wstring>& paths, const std::wstring& folder);

struct DragOutCounters {
    rez::ExtractTotals totals;
    std::wstring current_name;
    int last_value = -1;
    DWORD last_tick = 0;
};
// Extracts the entries of the open archive into folder; true when every entry that could
// be written was written and is found there afterwards (unsafe names are skipped and
// reported).
bool extract_keys_to_dir(const std::vector<std::wstring>& keys, const std::wstring& folder);
void dragout_progress_text(const DragOutCounters& counters, int percent);
// The extraction's progress callback: waits while paused; false once cancel is asked.
bool dragout_pump_progress(DragOutCounters& counters, int value);
void remove_dragout_folder(const std::wstring& folder);

}  // namespace rezui
