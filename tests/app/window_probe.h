// Shared by the window tests: reading the controls held in rezui::app back (list rows,
// selection, status-bar parts) and putting the browser state back between tests.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/app_state.h"

namespace appprobe {

inline int item_count() {
    return static_cast<int>(SendMessageW(rezui::app.list_view, LVM_GETITEMCOUNT, 0, 0));
}

// The text of one cell of a list view (the browser's list when none is given).
inline std::wstring item_text(int item, int column = 0, HWND list = nullptr) {
    wchar_t buf[1024] = {};
    LVITEMW it{};
    it.iSubItem = column;
    it.pszText = buf;
    it.cchTextMax = 1024;
    SendMessageW(list ? list : rezui::app.list_view, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&it));
    return buf;
}

inline void set_item_state(int item, UINT state, UINT mask) {
    LVITEMW it{};
    it.stateMask = mask;
    it.state = state;
    SendMessageW(rezui::app.list_view, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&it));
}

inline void select_none() { set_item_state(-1, 0, LVIS_SELECTED | LVIS_FOCUSED); }

inline std::wstring status_part(int part) {
    wchar_t buf[1024] = {};
    SendMessageW(rezui::app.status_bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(buf));
    return buf;
}

// No archive, the list on no folder, nothing busy, the side panel hidden.
inline void reset_browser_state() {
    rezui::AppState& a = rezui::app;
    a.archive = rez::RezFile();
    a.archive_loaded = false;
    a.current_folder.clear();
    a.fs_mode = true;
    a.local_root.clear();
    a.local_subdir.clear();
    a.busy = false;
    a.comment_panel_visible = false;
    rezui::archive_unlocked = false;
}

}  // namespace appprobe
