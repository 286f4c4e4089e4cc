// The search window's lists: tab 1's imported archives, tab 2's folder scan, and what the
// result lists do (locate a hit in the main window, unpack hits to a folder).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/window_helpers.h"
#include "app/operations/open_archive.h"
#include "app/tools/search_window_parts.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {

namespace {

HWND imported_list(HWND dialog) { return GetDlgItem(dialog, IDC_S1_ARCHIVES); }

int row_count(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::vector<int> selected_rows(HWND list) {
    std::vector<int> rows;
    for (int i = -1; (i = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0;)
        rows.push_back(i);
    return rows;
}

std::wstring file_name_of(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

const std::vector<SearchResult>* tab_results(int tab) {
    return search_state ? search_state->results[tab] : nullptr;
}

// The path the main window's browser finds the hit under: its folder and its shown name.
std::wstring locate_path_of(const SearchResult& hit) {
    const size_t cut = hit.virtual_path.rfind(L'\\');
    return cut == std::wstring::npos ? hit.name : hit.virtual_path.substr(0, cut + 1) + hit.name;
}

bool same_path(const std::wstring& a, const std::wstring& b) {
    return rez::to_lower_ascii(rez::to_utf8(a)) == rez::to_lower_ascii(rez::to_utf8(b));
}

void locate_hit(HWND dialog, const SearchResult& hit) {
    if (hit.source.empty() || (app.archive_loaded && same_path(app.archive.path, hit.source))) {
        reveal_archive_path(locate_path_of(hit));
        return;
    }
    // The open runs in the background: the hit is located once it has finished.
    open_file(hit.source);
    if (!search_state) return;
    search_state->locate_source = hit.source;
    search_state->locate_path = locate_path_of(hit);
    SetTimer(dialog, kLocateTimer, 50, nullptr);
}

bool unpack_one(const SearchResult& hit, const std::wstring& target) {
    std::wstring err;
    if (hit.source.empty()) {
        // A running job owns the open archive; its hits wait for the next unpack.
        if (!app.archive_loaded || app.busy) return false;
        app.archive.load_all_directories(err);
        return app.archive.extract_entries(rez::to_utf8(hit.virtual_path), target, err);
    }
    rez::RezFile archive;
    if (!rez::RezFile::open(hit.source, archive, err)) return false;
    // Hits below the root live in folders that a fresh open has not read yet.
    archive.load_all_directories(err);
    return archive.extract_entries(rez::to_utf8(hit.virtual_path), target, err);
}

}  // namespace

void on_locate_timer(HWND dialog) {
    if (!search_state || app.busy || task_running.load()) return;
    KillTimer(dialog, kLocateTimer);
    const std::wstring source = search_state->locate_source, path = search_state->locate_path;
    search_state->locate_source.clear();
    search_state->locate_path.clear();
    if (!source.empty() && app.archive_loaded && same_path(app.archive.path, source)) reveal_archive_path(path);
}

void on_results_double_click(HWND dialog, int tab) {
    const std::vector<SearchResult>* results = tab_results(tab);
    const int row = static_cast<int>(
        SendDlgItemMessageW(dialog, search_tab(tab).results, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (!results || row < 0 || static_cast<size_t>(row) >= results->size()) return;
    locate_hit(dialog, (*results)[static_cast<size_t>(row)]);
}

void on_results_right_click(HWND dialog, int tab) {
    HWND list = GetDlgItem(dialog, search_tab(tab).results);
    const std::vector<int> rows = selected_rows(list);
    const std::vector<SearchResult>* results = tab_results(tab);
    HMENU menu = CreatePopupMenu();
    if (rows.size() == 1) {
        AppendMenuW(menu, MF_STRING, IDM_SEARCH_LOCATE, L"定位文件");
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    }
    AppendMenuW(menu, MF_STRING | (rows.empty() ? MF_GRAYED : 0), IDM_SEARCH_UNPACK_SELECTED, L"解包选中");
    AppendMenuW(menu, MF_STRING | (!results || results->empty() ? MF_GRAYED : 0), IDM_SEARCH_UNPACK_ALL, L"解包全部");
    POINT at{};
    GetCursorPos(&at);
    const UINT command = track_popup_menu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, dialog);
    DestroyMenu(menu);
    if (command == IDM_SEARCH_LOCATE) {
        on_results_double_click(dialog, tab);
    } else if (command == IDM_SEARCH_UNPACK_SELECTED) {
        std::vector<SearchResult> chosen;
        for (int r : rows)
            if (results && static_cast<size_t>(r) < results->size()) chosen.push_back((*results)[static_cast<size_t>(r)]);
        unpack_search_results(dialog, chosen);
    } else if (command == IDM_SEARCH_UNPACK_ALL && results) {
        const std::vector<SearchResult> all = *results;
        unpack_search_results(dialog, all);
    }
}

void unpack_search_results(HWND dialog, const std::vector<SearchResult>& results) {
    if (results.empty()) {
        message_box(dialog, L"请先选择要解包的文件。", L"提示", MB_ICONINFORMATION);
        return;
    }
    const std::wstring folder = pick_folder(dialog, L"选择解包目标文件夹");
    if (folder.empty()) return;
    std::set<std::string> used;
    size_t failed = 0;
    for (const SearchResult& hit : results) {
        // A name that would leave the folder is refused; a repeated name gets its own file.
        const std::wstring target = search_unpack_target(folder, hit.name, used);
        if (target.empty() || !unpack_one(hit, target)) ++failed;
    }
    std::wstring text = L"解包完成！\n\n共 " + std::to_wstring(results.size()) + L" 个文件已解包到：\n" + folder;
    if (failed) text += L"\n\n失败 " + std::to_wstring(failed) + L" 个";
    text += L"\n\n是否打开目标文件夹？";
    if (message_box(dialog, text, L"解包完成", MB_YESNO | MB_ICONINFORMATION) == IDYES)
        shell_execute(dialog, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// ---- tab 1: imported archives ---------------------------------------------------------

std::vector<std::wstring> imported_archive_paths(HWND dialog) {
    std::vector<std::wstring> paths;
    HWND list = imported_list(dialog);
    for (int i = 0, n = row_count(list); i < n; ++i)
        if (const std::wstring* p = list_row_path(list, i)) paths.push_back(*p);
    return paths;
}

void add_imported_archives(HWND dialog) {
    const std::vector<std::wstring> chosen =
        pick_open_files(dialog, L"REZ 资源包(*.rez)\0*.rez\0所有文件(*.*)\0*.*\0\0", nullptr);
    if (chosen.empty()) return;
    HWND list = imported_list(dialog);
    std::set<std::string> present;
    for (const std::wstring& p : imported_archive_paths(dialog)) present.insert(rez::to_lower_ascii(rez::to_utf8(p)));
    for (const std::wstring& path : chosen) {
        if (!present.insert(rez::to_lower_ascii(rez::to_utf8(path))).second) continue;
        const std::wstring name = file_name_of(path);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row_count(list);
        item.pszText = const_cast<wchar_t*>(name.c_str());
        item.lParam = reinterpret_cast<LPARAM>(new std::wstring(path));
        if (SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0)
            delete reinterpret_cast<std::wstring*>(item.lParam);
    }
    set_window_text(GetDlgItem(dialog, IDC_S1_STATUS), L"已导入 " + std::to_wstring(row_count(list)) + L" 个rez文件");
}

void remove_selected_archives(HWND dialog) {
    HWND list = imported_list(dialog);
    std::vector<int> rows = selected_rows(list);
    std::sort(rows.rbegin(), rows.rend());
    for (int r : rows) {
        delete list_row_path(list, r);
        SendMessageW(list, LVM_DELETEITEM, r, 0);
    }
    set_window_text(GetDlgItem(dialog, IDC_S1_STATUS), L"已移除 " + std::to_wstring(rows.size()) + L" 个文件，剩余 " +
                                                           std::to_wstring(row_count(list)) + L" 个");
}

void free_imported_paths(HWND dialog) {
    HWND list = imported_list(dialog);
    for (int i = 0, n = row_count(list); i < n; ++i) {
        delete list_row_path(list, i);
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        item.lParam = 0;
        SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}

void clear_imported_archives(HWND dialog) {
    free_imported_paths(dialog);
    SendMessageW(imported_list(dialog), LVM_DELETEALLITEMS, 0, 0);
    if (search_state) {
        delete search_state->results[1];
        search_state->results[1] = nullptr;
    }
    SendDlgItemMessageW(dialog, IDC_S1_RESULTS, LVM_DELETEALLITEMS, 0, 0);
    set_window_text(GetDlgItem(dialog, IDC_S1_STATUS), L"已清空列表");
}

// ---- tab 2: folder scan -----------------------------------------------------------------

void browse_search_folder(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择要搜索的文件夹");
    if (folder.empty()) return;
    set_window_text(GetDlgItem(dialog, IDC_S2_FOLDER), folder);
    HWND box = GetDlgItem(dialog, IDC_S2_ARCHIVES);
    SendMessageW(box, LB_RESETCONTENT, 0, 0);
    std::vector<std::wstring> found;
    std::error_code ec;
    namespace fs = std::filesystem;
    for (fs::recursive_directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        if (!it->is_regular_file(type_ec) || type_ec) continue;
        std::string ext = rez::to_utf8(it->path().extension().wstring());
        if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
        if (rez::to_lower_ascii(ext) == "rez") found.push_back(it->path().wstring());
    }
    for (const std::wstring& p : found) SendMessageW(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p.c_str()));
    set_window_text(GetDlgItem(dialog, IDC_S2_STATUS), L"扫描到 " + std::to_wstring(found.size()) + L" 个rez文件");
}

}  // namespace rezui
