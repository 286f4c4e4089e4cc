// The archive browser: the list view with its paged rows, the folder tree, navigation
// inside the open archive and on disk, and the selection queries every command uses.
// Everything here runs on the user-interface thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rezui {

// One list row; the heap record lives in the list item's lParam once the row is shown.
struct ListRow {
    std::wstring key;  // archive display path / local file name / parent target / empty
    std::wstring text;
    std::wstring type_text;
    std::wstring id_text;
    std::wstring size_text;
    std::wstring modified_text;
    std::wstring created_text;
    bool is_local = false;
    std::wstring local_path;
    bool local_is_dir = false;
    uint64_t file_size = 0;
    uint64_t size = 0;
    bool is_parent_row = false;
    bool is_dir = false;
    bool is_load_more = false;
    std::string name_utf8;
    std::wstring icon_source;
    bool is_texture = false;
};

// Rows are shown this many at a time; the load-more row fetches the next page.
constexpr size_t kListPageSize = 500;

// All rows of the current listing in display order ("[..]" and load-more rows excluded).
// Rows from list_next_row on are not shown yet and are owned by this vector.
extern std::vector<ListRow*> list_rows;
extern size_t list_next_row;
// Guards fill_tree against the tree notifications it raises itself.
extern bool tree_filling;

std::wstring format_size(uint64_t bytes);
std::wstring entry_display_path(const rez::Entry& entry, const std::wstring& folder);
// True when the extension of a UTF-8 file name is png, dtx or tga (any case).
bool is_texture_name(const std::string& name_utf8);

void refresh_list();
void fill_local_list();
int append_list_page();
void load_more_rows();
void autosize_list_columns();
int row_icon_index(const ListRow* row);
bool compare_archive_rows(const rez::Entry& a, const rez::Entry& b);
bool compare_local_rows(const ListRow* a, const ListRow* b);

// Frees every row record (shown or not) and empties the list view; the main window
// calls it when it is destroyed.
void clear_list_rows();
// The row record of a list item, or null.
ListRow* row_of_item(int item);

void fill_tree();
void navigate_vdir(const std::wstring& folder);
void navigate_local(const std::wstring& sub_path);
void open_local_folder(const std::wstring& path);
void reveal_archive_path(const std::wstring& path);
void update_status_summary();

std::wstring first_selected_path();
std::vector<std::wstring> selected_item_paths();
bool first_selected_is_dir();
bool first_selected_is_load_more();
bool first_selected_is_parent_row();

}  // namespace rezui
