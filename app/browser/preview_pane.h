// The side panel: the comment tab and the preview tab with its text, table and
// picture panes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rezui {

extern bool preview_is_image;
extern bool preview_is_table;
extern HBITMAP preview_bitmap;

std::vector<std::string> parse_csv_line(const std::string& line, char separator);
// Separator of a header line: tab, semicolon or comma.
char choose_csv_separator(const std::string& header_line);
// Column titles from header fields: trimmed, blanks numbered, repeats suffixed.
std::vector<std::string> csv_column_titles(const std::vector<std::string>& fields);
// Width in pixels of a table column whose longest text has this many UTF-16 units.
int preview_column_width(size_t longest_units);
// True when width x height x 4 bytes fit in a buffer of buffer_size (overflow-safe).
bool picture_fits_buffer(uint32_t width, uint32_t height, size_t buffer_size);
// Line ends made CR LF, each "\r\n", "\r" or "\n" counting once.
std::string to_crlf(const std::string& text);

void reset_preview_table();
void autosize_preview_columns();
bool show_table_preview(const std::string& text, bool csv);
void show_comment_box();
void set_preview_tabs(const std::wstring& title);
void show_preview_tab();
void preview_entry(const std::string& archive_path);
// Frees the picture shown by the preview (main window destruction).
void free_preview_bitmap();
// Shows the side panel when it is hidden and lays the main window out again.
void show_side_panel();
void relayout_main_window();
// Forgets the entry preview (text, table, picture and the tab's title) and turns to the
// comment tab: what it showed belongs to an archive that is no longer shown.
void clear_preview();
// The local-folder view has no archive: no preview, no comment, no panel.
void clear_side_panel();

// Subclass procedure of the side panel (id 3): a STATIC keeps its children's messages to
// itself, so the tab switch, the edits' commands and their colour questions are handed on
// to the main window.
LRESULT CALLBACK side_panel_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id, DWORD_PTR ref);

}  // namespace rezui
