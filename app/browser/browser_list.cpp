// The entry list: rows for a folder of the open archive or of the disk, shown a page at
// a time, with the column widths and status summaries that follow every fill.
#include "app/browser/browser.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "app/app_state.h"
#include "app/browser/list_icons.h"
#include "app/browser/folder_tree.h"
#include "app/common/window_helpers.h"
#include "archive/rez_model.h"
#include "archive/util.h"

namespace rezui {

std::vector<ListRow*> list_rows;
size_t list_next_row = 0;
bool tree_filling = false;

namespace {

constexpr wchar_t kParentRowText[] = L"[..] (上级目录)";

std::wstring ascii_to_wide(const char* s) {
    std::wstring out;
    for (; *s; ++s) out += static_cast<wchar_t>(static_cast<unsigned char>(*s));
    return out;
}

// The extension of a UTF-8 name from its last "." (dot included), or empty.
std::string dotted_ext(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size()) return {};
    return name.substr(dot);
}

void set_redraw(HWND wnd, bool on) { SendMessageW(wnd, WM_SETREDRAW, on ? TRUE : FALSE, 0); }

void redraw_now(HWND wnd) {
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

int item_count() { return static_cast<int>(SendMessageW(app.list_view, LVM_GETITEMCOUNT, 0, 0)); }

void set_subitem(int item, int column, const std::wstring& text) {
    LVITEMW it{};
    it.iSubItem = column;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(app.list_view, LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&it));
}

int insert_row(int at, ListRow* row) {
    LVITEMW it{};
    it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    it.iItem = at;
    it.pszText = const_cast<wchar_t*>(row->text.c_str());
    it.iImage = row_icon_index(row);
    it.lParam = reinterpret_cast<LPARAM>(row);
    return static_cast<int>(SendMessageW(app.list_view, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)));
}

std::wstring local_time_text(const FILETIME& ft) {
    FILETIME local{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) return L"";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return ascii_to_wide(buf);
}

// Reads the blocks of not-yet-loaded child folders so their rows can show a count.
void preload_child_counts(std::vector<rez::Entry*>& children, rez::FileHandle& file) {
    if (!file) return;
    for (rez::Entry* dir : children) {
        if (!dir->is_dir || dir->loaded || dir->size == 0 || dir->pos == 0) continue;
        std::wstring err;
        // Damaged blocks stay unloaded and show no count.
        app.archive.load_directory_block(file, dir, err);
    }
}

}  // namespace

std::wstring format_size(uint64_t bytes) { return rez::format_byte_size(bytes); }

std::wstring entry_display_path(const rez::Entry& entry, const std::wstring& folder) {
    std::wstring name = rez::from_utf8(entry.name);
    std::wstring path = folder.empty() ? name : folder + L"\\" + name;
    if (!entry.is_dir && !entry.ext.empty()) path += L"." + rez::from_utf8(rez::to_lower_ascii(entry.ext));
    return path;
}

bool is_texture_name(const std::string& name_utf8) {
    std::string ext = dotted_ext(name_utf8);
    if (ext.empty()) return false;
    ext = rez::to_lower_ascii(ext.substr(1));
    return ext == "png" || ext == "dtx" || ext == "tga";
}

ListRow* row_of_item(int item) {
    if (!app.list_view || item < 0) return nullptr;
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    if (!SendMessageW(app.list_view, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
    return reinterpret_cast<ListRow*>(it.lParam);
}

void clear_list_rows() {
    if (app.list_view) {
        // Notifications raised while the items go may still read their rows: free them
        // only once the list no longer holds them.
        std::vector<ListRow*> shown;
        const int n = item_count();
        for (int i = 0; i < n; ++i) shown.push_back(row_of_item(i));
        SendMessageW(app.list_view, LVM_DELETEALLITEMS, 0, 0);
        for (ListRow* row : shown) delete row;
    }
    for (size_t i = list_next_row; i < list_rows.size(); ++i) delete list_rows[i];
    list_rows.clear();
    list_next_row = 0;
}

bool compare_archive_rows(const rez::Entry& a, const rez::Entry& b) {
    if (a.is_dir != b.is_dir) return a.is_dir;
    return rez::to_lower_ascii(a.name) < rez::to_lower_ascii(b.name);
}

bool compare_local_rows(const ListRow* a, const ListRow* b) {
    if (a->is_dir != b->is_dir) return a->is_dir;
    return rez::to_lower_ascii(rez::to_utf8(a->text)) < rez::to_lower_ascii(rez::to_utf8(b->text));
}

void refresh_list() {
    if (!app.list_view || app.busy) return;
    HWND lv = app.list_view;
    set_redraw(lv, false);
    clear_list_rows();
    if (app.list_style == 0) SendMessageW(lv, LVM_SETICONSPACING, 0, MAKELPARAM(100, 120));

    if (app.fs_mode) {
        fill_local_list();
        set_redraw(lv, true);
        redraw_now(lv);
        return;
    }
    rez::Entry* dir = app.archive_loaded ? app.archive.find_entry(rez::to_utf8(app.current_folder)) : nullptr;
    if (!dir || !dir->is_dir) {
        set_redraw(lv, true);
        redraw_now(lv);
        return;
    }

    auto* parent = new ListRow;
    parent->is_parent_row = true;
    parent->text = kParentRowText;
    parent->type_text = L"目录";
    if (!app.current_folder.empty()) {
        size_t cut = app.current_folder.rfind(L'\\');
        parent->key = cut == std::wstring::npos ? std::wstring() : app.current_folder.substr(0, cut);
    } else {
        size_t cut = app.archive.path.rfind(L'\\');
        if (cut != std::wstring::npos) {
            parent->is_local = true;
            parent->local_path = app.archive.path.substr(0, cut);
        }
    }
    if (insert_row(0, parent) < 0) delete parent;
    else set_subitem(0, 1, L"目录");

    std::vector<rez::Entry*> children;
    children.reserve(dir->children.size());
    for (auto& c : dir->children) children.push_back(&c);
    std::stable_sort(children.begin(), children.end(),
                     [](const rez::Entry* a, const rez::Entry* b) { return compare_archive_rows(*a, *b); });

    rez::FileHandle file(CreateFileW(app.archive.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    preload_child_counts(children, file);

    for (const rez::Entry* e : children) {
        auto* row = new ListRow;
        row->key = entry_display_path(*e, app.current_folder);
        row->name_utf8 = e->name_with_ext();
        row->text = rez::from_utf8(row->name_utf8);
        if (e->encrypted && !archive_unlocked) row->text += L" (*已加密)";
        row->is_dir = e->is_dir;
        row->size = e->size;
        if (e->is_dir) {
            row->type_text = L"目录";
            if (e->loaded) row->size_text = std::to_wstring(e->children.size()) + L" 项";
        } else {
            row->type_text = rez::from_utf8(e->ext);
            row->id_text = std::to_wstring(e->id);
            row->size_text = format_size(e->size);
            row->modified_text = e->modified_text;
            row->created_text = e->created_text;
            row->icon_source = L"file" + rez::from_utf8(dotted_ext(row->name_utf8));
            row->is_texture = is_texture_name(row->name_utf8);
        }
        list_rows.push_back(row);
    }
    append_list_page();
    update_command_states();
    update_status_summary();
    autosize_list_columns();
    set_redraw(lv, true);
    redraw_now(lv);
}

void fill_local_list() {
    const std::wstring here = current_local_path();
    WIN32_FIND_DATAW fd{};
    HANDLE find = FindFirstFileW((here + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;

    std::wstring parent_key, parent_path;
    bool has_parent = false;
    if (!app.local_subdir.empty()) {
        size_t cut = app.local_subdir.rfind(L'\\');
        parent_key = cut == std::wstring::npos ? std::wstring() : app.local_subdir.substr(0, cut);
        parent_path = parent_key.empty() ? app.local_root : app.local_root + L"\\" + parent_key;
        has_parent = true;
    } else {
        std::wstring up = parent_local_dir();
        if (!up.empty()) {
            parent_key = parent_path = up;
            has_parent = true;
        }
    }
    if (has_parent) {
        auto* parent = new ListRow;
        parent->is_parent_row = true;
        parent->is_local = true;
        parent->key = parent_key;
        parent->local_path = parent_path;
        parent->text = kParentRowText;
        parent->type_text = L"文件夹";
        if (insert_row(0, parent) < 0) delete parent;
        else set_subitem(0, 1, parent->type_text);
    }

    std::vector<ListRow*> rows;
    do {
        std::wstring name = fd.cFileName;
        if (name.empty() || name[0] == L'.') continue;
        auto* row = new ListRow;
        row->is_local = true;
        row->local_path = here + L"\\" + name;
        row->local_is_dir = row->is_dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        row->text = row->key = name;
        row->name_utf8 = rez::to_utf8(name);
        row->icon_source = row->local_path;
        if (row->is_dir) {
            row->type_text = L"文件夹";
        } else {
            std::string ext = dotted_ext(row->name_utf8);
            row->type_text = ext.empty() ? L"文件" : rez::from_utf8(rez::to_upper_ascii(ext.substr(1)));
            row->is_texture = is_texture_name(row->name_utf8);
            row->file_size = row->size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            row->size_text = format_size(row->size);
        }
        row->modified_text = local_time_text(fd.ftLastWriteTime);
        row->created_text = local_time_text(fd.ftCreationTime);
        rows.push_back(row);
    } while (FindNextFileW(find, &fd));
    FindClose(find);

    std::stable_sort(rows.begin(), rows.end(), compare_local_rows);
    list_rows = std::move(rows);
    list_next_row = 0;
    append_list_page();
    update_command_states();
    update_status_summary();
    autosize_list_columns();
}

int append_list_page() {
    if (!app.list_view) return 0;
    HWND lv = app.list_view;
    int n = item_count();
    if (n > 0) {
        ListRow* last = row_of_item(n - 1);
        if (last && last->is_load_more) {
            SendMessageW(lv, LVM_DELETEITEM, n - 1, 0);
            delete last;
            --n;
        }
    }
    set_redraw(lv, false);
    int appended = 0;
    while (list_next_row < list_rows.size() && appended < static_cast<int>(kListPageSize)) {
        ListRow* row = list_rows[list_next_row];
        int at = insert_row(item_count(), row);
        ++list_next_row;
        if (at < 0) {  // the list refused it: the row was never shown
            delete row;
            list_rows[list_next_row - 1] = nullptr;
            continue;
        }
        ++appended;
        if (row->is_local) {
            set_subitem(at, 1, row->type_text);
            set_subitem(at, 3, row->size_text);
            set_subitem(at, 4, row->modified_text);
            set_subitem(at, 5, row->created_text);
        } else if (row->is_dir) {
            set_subitem(at, 1, row->type_text);
            set_subitem(at, 3, row->size_text);
        } else {
            set_subitem(at, 1, row->type_text);
            set_subitem(at, 2, row->id_text);
            set_subitem(at, 3, row->size_text);
            set_subitem(at, 4, row->modified_text);
            set_subitem(at, 5, row->created_text);
        }
    }
    if (list_next_row < list_rows.size()) {
        auto* more = new ListRow;
        more->is_load_more = true;
        wchar_t buf[128];
        swprintf(buf, 128, L"▼ 单击加载更多…（已显示 %d / %d 项）", static_cast<int>(list_next_row),
                 static_cast<int>(list_rows.size()));
        more->text = buf;
        if (insert_row(item_count(), more) < 0) delete more;
    }
    set_redraw(lv, true);
    InvalidateRect(lv, nullptr, TRUE);
    return appended;
}

void load_more_rows() {
    // Rows of an archive read it (icons, thumbnails): not while a job owns it.
    if (!app.list_view || (app.busy && !app.fs_mode)) return;
    if (list_next_row < list_rows.size()) {
        int n = item_count();
        if (append_list_page() > 0 && n >= 1) SendMessageW(app.list_view, LVM_ENSUREVISIBLE, n - 1, FALSE);
    }
    update_command_states();
    update_status_summary();
}

int row_icon_index(const ListRow* row) {
    if (!row) return 1;
    if (row->is_load_more) return icon_index(L"file", false, true);
    if (row->is_parent_row || row->is_dir) return icon_index(row->icon_source, true, true);
    if (row->is_texture) {
        int thumb = -1;
        if (row->is_local) {
            thumb = texture_thumbnail_icon(row->local_path, row->name_utf8, row->local_path, nullptr);
        } else if (app.archive_loaded) {
            const rez::Entry* e = app.archive.find_entry(rez::to_utf8(row->key));
            if (e) thumb = texture_thumbnail_icon(row->key, row->name_utf8, L"", e);
        }
        if (thumb >= 0) return thumb;
    }
    return icon_index(row->icon_source, false, !row->is_local);
}

namespace {

constexpr int kCellPadding = 16;  // the list's margins on both sides of a cell's text
constexpr int kIconRoom = 24;     // the small icon before the first column's text

int string_width(const std::wstring& text) {
    return static_cast<int>(SendMessageW(app.list_view, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

}  // namespace

void autosize_list_columns() {
    if (!app.list_view) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(app.list_view, LVM_GETHEADER, 0, 0));
    const int n = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    if (n <= 0) return;
    static const int defaults[] = {240, 70, 80, 90, 130, 130};
    std::vector<bool> empty(n, false);
    std::vector<int> text_width(n, 0);  // of the first text seen in a column
    const int items = item_count();
    if (items > 0) {
        std::vector<bool> seen(n, false);
        int unseen = n - 1;
        for (int i = 0; i < items && unseen > 0; ++i) {
            for (int c = 1; c < n; ++c) {
                if (seen[c]) continue;
                wchar_t buf[256] = {};
                LVITEMW it{};
                it.iSubItem = c;
                it.pszText = buf;
                it.cchTextMax = 256;
                SendMessageW(app.list_view, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&it));
                if (buf[0]) {
                    seen[c] = true;
                    --unseen;
                    text_width[c] = string_width(buf);
                }
            }
        }
        for (int c = 1; c < n; ++c) empty[c] = !seen[c];
    }
    if (app.fs_mode) {
        if (n > 2) empty[2] = true;
    } else {
        if (n > 4) empty[4] = true;
        if (n > 5) empty[5] = true;
    }
    std::vector<int> width(n);
    int last_positive = -1;
    for (int c = 0; c < n; ++c) {
        int def = c < 6 ? defaults[c] : 100;
        width[c] = (c > 0 && empty[c]) ? 0 : def;
        if (width[c] > 0) last_positive = c;
    }
    if (!app.fs_mode && n > 3) width[3] = 160;
    // Dates are as wide as the font makes them; the load-more row carries the totals at
    // the end of its text, which a narrow name column would cut off.
    for (int c = 4; c < n && c < 6; ++c)
        if (width[c] > 0) width[c] = std::max(width[c], text_width[c] + kCellPadding);
    if (items > 0) {
        const ListRow* last = row_of_item(items - 1);
        if (last && last->is_load_more)
            width[0] = std::max(width[0], string_width(last->text) + kCellPadding + kIconRoom);
    }
    if (app.comment_panel_visible && last_positive >= 1) {
        RECT rc{};
        GetClientRect(app.list_view, &rc);
        int sum = 0;
        for (int w : width) sum += w;
        int extra = (rc.right - rc.left) - sum;
        if (extra > 0) width[last_positive] += extra;
    }
    for (int c = 0; c < n; ++c) SendMessageW(app.list_view, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(width[c], 0));
}

}  // namespace rezui
