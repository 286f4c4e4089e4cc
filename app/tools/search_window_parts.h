// What the search window's source files share: its per-window state, the controls of each
// tab and the actions on the result lists.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/tools/search_match.h"

namespace rezui {

struct SearchWindowState {
    HWND dialog = nullptr;
    std::vector<SearchResult>* results[3] = {};  // a tab's results, null until its first search ends
    uint32_t running[3] = {};                    // run id of the tab's unfinished search, 0 for none
    // A hit in another archive waits here while the main window opens that archive.
    std::wstring locate_source;
    std::wstring locate_path;
};

extern SearchWindowState* search_state;

// The controls of one tab.
struct SearchTab {
    int keyword, find, status, results, archives;
    int checks[5];  // case, whole word, name, type, id
};
const SearchTab& search_tab(int tab);
// The tab whose result list has this id, or -1.
int tab_of_results(int list_id);

// Result list actions.
void on_results_double_click(HWND dialog, int tab);
void on_results_right_click(HWND dialog, int tab);
void unpack_search_results(HWND dialog, const std::vector<SearchResult>& results);
// WM_TIMER of the locate that waits for an open.
void on_locate_timer(HWND dialog);
constexpr UINT_PTR kLocateTimer = 1;

// Tab 1's imported list and tab 2's folder scan.
void add_imported_archives(HWND dialog);
void remove_selected_archives(HWND dialog);
void clear_imported_archives(HWND dialog);
void free_imported_paths(HWND dialog);
std::vector<std::wstring> imported_archive_paths(HWND dialog);
void browse_search_folder(HWND dialog);

}  // namespace rezui
