// The side panel's comment tab and the preview tab's table: CSV parsing, column titles
// and widths, which pane each tab shows, the clearing of a stale preview, and the
// subclass that hands the panel's child messages to the main window.
#include "app/browser/preview_pane.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <set>

#include "app/app_state.h"
#include "archive/util.h"
#include "decode/text_decode.h"

namespace rezui {

bool preview_is_image = false;
bool preview_is_table = false;
HBITMAP preview_bitmap = nullptr;

namespace {

constexpr char kTableMarker[] = "CSV data (first rows):";

void show(HWND wnd, bool on) {
    if (wnd) ShowWindow(wnd, on ? SW_SHOW : SW_HIDE);
}

size_t utf16_units(const std::string& utf8) { return rez::from_utf8(utf8).size(); }

}  // namespace

void relayout_main_window() {
    if (app.main_window)
        SendMessageW(app.main_window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(app.client_width, app.client_height));
}

void show_side_panel() {
    if (!app.comment_panel || !app.main_window) return;
    if (app.comment_panel_visible) return;
    app.comment_panel_visible = true;
    ShowWindow(app.comment_panel, SW_SHOW);
    relayout_main_window();
}

std::vector<std::string> parse_csv_line(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == separator) {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(std::move(field));
    return fields;
}

char choose_csv_separator(const std::string& header) {
    const auto tabs = std::count(header.begin(), header.end(), '\t');
    const auto semis = std::count(header.begin(), header.end(), ';');
    const auto commas = std::count(header.begin(), header.end(), ',');
    if (tabs >= 1 && tabs >= semis && tabs > commas) return '\t';
    if (commas < semis) return ';';
    return ',';
}

std::vector<std::string> csv_column_titles(const std::vector<std::string>& fields) {
    std::vector<std::string> titles;
    std::set<std::string> taken;
    for (size_t i = 0; i < fields.size(); ++i) {
        std::string base = rez::trim(fields[i]);
        if (base.empty()) base = "列" + std::to_string(i + 1);
        std::string title = base;
        for (int k = 2; taken.count(title); ++k) title = base + " (" + std::to_string(k) + ")";
        taken.insert(title);
        titles.push_back(title);
    }
    return titles;
}

int preview_column_width(size_t longest_units) {
    const size_t w = std::min<size_t>(longest_units, 1000) * 8 + 24;
    return static_cast<int>(std::clamp<size_t>(w, 80, 360));
}

std::string to_crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 16 + text.size() / 50);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

void reset_preview_table() {
    if (!app.preview_table) return;
    // Table rows carry no record of their own: nothing to free per item.
    while (SendMessageW(app.preview_table, LVM_DELETECOLUMN, 0, 0)) {
    }
    SendMessageW(app.preview_table, LVM_DELETEALLITEMS, 0, 0);
}

void autosize_preview_columns() {
    if (!app.preview_table) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(app.preview_table, LVM_GETHEADER, 0, 0));
    const int n = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    if (n <= 0) return;
    RECT rc{};
    if (!GetClientRect(app.preview_table, &rc)) return;
    int sum = 0;
    for (int c = 0; c < n; ++c) sum += static_cast<int>(SendMessageW(app.preview_table, LVM_GETCOLUMNWIDTH, c, 0));
    const int extra = (rc.right - rc.left) - sum;
    if (extra > 0) {
        int last = static_cast<int>(SendMessageW(app.preview_table, LVM_GETCOLUMNWIDTH, n - 1, 0));
        SendMessageW(app.preview_table, LVM_SETCOLUMNWIDTH, n - 1, MAKELPARAM(last + extra, 0));
    }
}

bool show_table_preview(const std::string& given, bool csv) {
    if (!app.preview_table) return false;
    std::string text = given;
    if (!csv) {
        size_t at = text.find(kTableMarker);
        if (at == std::string::npos) return false;
        text = text.substr(at + sizeof(kTableMarker) - 1);
    }
    std::replace(text.begin(), text.end(), '\r', '\n');
    const std::vector<std::string> lines = split_lines(text);
    reset_preview_table();

    size_t header_at = 0;
    while (header_at < lines.size() && rez::trim(lines[header_at]).empty()) ++header_at;
    if (header_at == lines.size()) return false;
    const char sep = choose_csv_separator(lines[header_at]);
    const std::vector<std::string> fields = parse_csv_line(lines[header_at], sep);
    if (fields.empty()) return false;
    const std::vector<std::string> titles = csv_column_titles(fields);
    const size_t ncol = fields.size();

    std::vector<std::vector<std::string>> rows;
    for (size_t i = header_at + 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) continue;
        if (!csv && line.size() >= 17 && line.find("Preview truncated") != std::string::npos) continue;
        std::vector<std::string> row = parse_csv_line(line, sep);
        row.resize(ncol);
        rows.push_back(std::move(row));
    }

    std::vector<size_t> shown;
    for (size_t c = 0; c < ncol; ++c) {
        bool keep = !rez::trim(fields[c]).empty() || ncol == 1;
        for (size_t r = 0; !keep && r < rows.size(); ++r) keep = !rez::trim(rows[r][c]).empty();
        if (keep) shown.push_back(c);
    }
    if (shown.empty())
        for (size_t c = 0; c < ncol; ++c) shown.push_back(c);

    std::vector<int> widths;
    int total = 0;
    for (size_t c : shown) {
        size_t longest = utf16_units(titles[c]);
        for (const auto& row : rows) longest = std::max(longest, utf16_units(row[c]));
        widths.push_back(preview_column_width(longest));
        total += widths.back();
    }
    RECT rc{};
    if (GetClientRect(app.preview_table, &rc) && rc.right - rc.left > total && !widths.empty())
        widths.back() += (rc.right - rc.left) - total;

    for (size_t k = 0; k < shown.size(); ++k) {
        std::wstring title = rez::from_utf8(titles[shown[k]]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = widths[k];
        col.pszText = const_cast<wchar_t*>(title.c_str());
        SendMessageW(app.preview_table, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&col));
    }
    SendMessageW(app.preview_table, WM_SETREDRAW, FALSE, 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        std::wstring first = rez::from_utf8(rows[r][shown[0]]);
        LVITEMW it{};
        it.mask = LVIF_TEXT;
        it.iItem = static_cast<int>(r);
        it.pszText = const_cast<wchar_t*>(first.c_str());
        int at = static_cast<int>(SendMessageW(app.preview_table, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)));
        if (at < 0) continue;
        for (size_t k = 1; k < shown.size(); ++k) {
            std::wstring value = rez::from_utf8(rows[r][shown[k]]);
            LVITEMW sub{};
            sub.iSubItem = static_cast<int>(k);
            sub.pszText = const_cast<wchar_t*>(value.c_str());
            SendMessageW(app.preview_table, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        }
    }
    SendMessageW(app.preview_table, WM_SETREDRAW, TRUE, 0);

    show_side_panel();
    if (app.preview_tabs) {
        preview_is_table = true;
        preview_is_image = false;
        SendMessageW(app.preview_tabs, TCM_SETCURSEL, 1, 0);
        show(app.comment_box, false);
        show(app.preview_table, true);
        show(app.preview_edit, false);
        show(app.preview_image, false);
    }
    autosize_preview_columns();
    return true;
}

void show_comment_box() {
    if (!app.comment_box) return;
    const std::wstring& comment = app.archive.comment;
    SetWindowTextW(app.comment_box, comment.empty() ? L"(无注释)" : comment.c_str());
    if (!comment.empty()) {
        if (app.comment_panel && !app.comment_panel_visible) {
            app.comment_panel_visible = true;
            ShowWindow(app.comment_panel, SW_SHOW);
            relayout_main_window();
        }
        if (app.preview_tabs) {
            SendMessageW(app.preview_tabs, TCM_SETCURSEL, 0, 0);
            show(app.comment_box, true);
            show(app.preview_table, false);
            show(app.preview_edit, false);
            show(app.preview_image, false);
        }
    } else if (app.comment_panel_visible) {
        app.comment_panel_visible = false;
        if (app.comment_panel) ShowWindow(app.comment_panel, SW_HIDE);
        relayout_main_window();
    }
}

void set_preview_tabs(const std::wstring& title) {
    if (!app.preview_tabs) return;
    const LRESULT selected = SendMessageW(app.preview_tabs, TCM_GETCURSEL, 0, 0);
    SendMessageW(app.preview_tabs, TCM_DELETEITEM, 1, 0);
    std::wstring shown = title.substr(0, 511);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(shown.c_str());
    SendMessageW(app.preview_tabs, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&item));
    if (selected >= 0) SendMessageW(app.preview_tabs, TCM_SETCURSEL, selected, 0);

    HDC dc = GetDC(app.preview_tabs);
    if (!dc) return;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(app.preview_tabs, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
    if (old) SelectObject(dc, old);
    ReleaseDC(app.preview_tabs, dc);
    if (size.cx + 44 > side_panel_width && app.client_width > 0) {
        int width = size.cx + 44;
        if (app.client_width - 240 >= 1) width = std::min(width, app.client_width - 240);
        side_panel_width = std::max(width, 180);
        relayout_main_window();
    }
}

void show_preview_tab() {
    if (!app.preview_tabs) return;
    const LRESULT tab = SendMessageW(app.preview_tabs, TCM_GETCURSEL, 0, 0);
    show(app.comment_box, tab == 0);
    if (tab != 1) {
        show(app.preview_table, false);
        show(app.preview_edit, false);
        show(app.preview_image, false);
        return;
    }
    show(app.preview_table, preview_is_table);
    show(app.preview_edit, !preview_is_table && !preview_is_image);
    show(app.preview_image, preview_is_image && !preview_is_table);
}

void free_preview_bitmap() {
    if (app.preview_image) {
        HBITMAP held = reinterpret_cast<HBITMAP>(
            SendMessageW(app.preview_image, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (held && held != preview_bitmap) DeleteObject(held);
    }
    if (preview_bitmap) DeleteObject(preview_bitmap);
    preview_bitmap = nullptr;
}

void clear_preview() {
    reset_preview_table();
    free_preview_bitmap();
    preview_is_image = false;
    preview_is_table = false;
    if (app.preview_edit) SetWindowTextW(app.preview_edit, L"");
    if (!app.preview_tabs) return;
    SendMessageW(app.preview_tabs, TCM_SETCURSEL, 0, 0);
    set_preview_tabs(L"预览");
    show_preview_tab();
}

void clear_side_panel() {
    clear_preview();
    if (app.comment_box) SetWindowTextW(app.comment_box, L"(无注释)");
    if (!app.comment_panel_visible) return;
    app.comment_panel_visible = false;
    if (app.comment_panel) ShowWindow(app.comment_panel, SW_HIDE);
    relayout_main_window();
}

LRESULT CALLBACK side_panel_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id, DWORD_PTR) {
    switch (message) {
    case WM_NOTIFY:
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
        return SendMessageW(GetParent(window), message, wparam, lparam);
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, side_panel_proc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace rezui
