#include "app/tools/search_window.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/tools/search_window_parts.h"
#include "app/tools/search_worker.h"
#include "resources/resource.h"

namespace rezui {

SearchWindowState* search_state = nullptr;

namespace {

const SearchTab kTabs[3] = {
    {IDC_S0_KEYWORD, IDC_S0_FIND, IDC_S0_STATUS, IDC_S0_RESULTS, 0,
     {IDC_S0_CASE, IDC_S0_WHOLE, IDC_S0_NAME, IDC_S0_TYPE, IDC_S0_ID}},
    {IDC_S1_KEYWORD, IDC_S1_FIND, IDC_S1_STATUS, IDC_S1_RESULTS, IDC_S1_ARCHIVES,
     {IDC_S1_CASE, IDC_S1_WHOLE, IDC_S1_NAME, IDC_S1_TYPE, IDC_S1_ID}},
    {IDC_S2_KEYWORD, IDC_S2_FIND, IDC_S2_STATUS, IDC_S2_RESULTS, IDC_S2_ARCHIVES,
     {IDC_S2_CASE, IDC_S2_WHOLE, IDC_S2_NAME, IDC_S2_TYPE, IDC_S2_ID}},
};

// Every control that belongs to one tab (shown and hidden with it).
const std::vector<int>& tab_controls(int tab) {
    static const std::vector<int> lists[3] = {
        {IDC_S0_LABEL, IDC_S0_KEYWORD, IDC_S0_FIND, IDC_S0_CASE, IDC_S0_WHOLE, IDC_S0_NAME, IDC_S0_TYPE, IDC_S0_ID,
         IDC_S0_STATUS, IDC_S0_RESULTS},
        {IDC_S1_LABEL, IDC_S1_KEYWORD, IDC_S1_FIND, IDC_S1_LIST_LABEL, IDC_S1_ARCHIVES, IDC_S1_ADD, IDC_S1_REMOVE,
         IDC_S1_CLEAR, IDC_S1_CASE, IDC_S1_WHOLE, IDC_S1_NAME, IDC_S1_TYPE, IDC_S1_ID, IDC_S1_STATUS,
         IDC_S1_RESULTS},
        {IDC_S2_FOLDER_LABEL, IDC_S2_FOLDER, IDC_S2_BROWSE, IDC_S2_LIST_LABEL, IDC_S2_ARCHIVES, IDC_S2_LABEL,
         IDC_S2_KEYWORD, IDC_S2_FIND, IDC_S2_CASE, IDC_S2_WHOLE, IDC_S2_NAME, IDC_S2_TYPE, IDC_S2_ID, IDC_S2_STATUS,
         IDC_S2_PROGRESS, IDC_S2_RESULTS},
    };
    return lists[tab];
}

void set_item(HWND dialog, int id, const std::wstring& text) { set_window_text(GetDlgItem(dialog, id), text); }

void add_columns(HWND list, const std::vector<std::pair<const wchar_t*, int>>& columns) {
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = const_cast<wchar_t*>(columns[i].first);
        col.cx = columns[i].second;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
}

std::wstring file_name_of(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

void centre_on_owner(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner) return;
    RECT o{}, w{};
    GetWindowRect(owner, &o);
    GetWindowRect(dialog, &w);
    int x = o.left + ((o.right - o.left) - (w.right - w.left)) / 2;
    int y = o.top + ((o.bottom - o.top) - (w.bottom - w.top)) / 2;
    // A window taller than its owner would put its caption above the screen, where it
    // can no longer be dragged: keep it inside the work area.
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &mi)) {
        const int width = w.right - w.left, height = w.bottom - w.top;
        x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - width));
        y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - height));
    }
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void show_tab(HWND dialog, int tab) {
    for (int t = 0; t < 3; ++t)
        for (int id : tab_controls(t)) ShowWindow(GetDlgItem(dialog, id), t == tab ? SW_SHOW : SW_HIDE);
    SendMessageW(dialog, DM_SETDEFID, kTabs[tab].find, 0);
}

BOOL on_init(HWND dialog) {
    for (const SearchTab& t : kTabs)
        for (int id : t.checks) switch_off_visual_style(GetDlgItem(dialog, id));
    HWND tabs = GetDlgItem(dialog, IDC_SEARCH_TABS);
    const wchar_t* captions[3] = {L"在已打开的文件查找", L"在导入的rez文件中查找", L"在文件夹查找"};
    for (int i = 0; i < 3; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(captions[i]);
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    for (const SearchTab& t : kTabs)
        for (int k = 2; k < 5; ++k) SendDlgItemMessageW(dialog, t.checks[k], BM_SETCHECK, BST_CHECKED, 0);
    add_columns(GetDlgItem(dialog, IDC_S0_RESULTS), {{L"名称", 200}, {L"类型", 70}, {L"ID", 70}, {L"大小", 90},
                                                      {L"虚拟路径", 300}});
    for (int id : {IDC_S1_RESULTS, IDC_S2_RESULTS})
        add_columns(GetDlgItem(dialog, id), {{L"名称", 180}, {L"类型", 70}, {L"ID", 70}, {L"大小", 90},
                                             {L"虚拟路径", 250}, {L"来源文件", 200}});
    for (int t = 1; t < 3; ++t)
        for (int id : tab_controls(t)) ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    delete search_state;
    search_state = new SearchWindowState;
    search_state->dialog = dialog;
    const bool open = app.archive_loaded;
    set_item(dialog, IDC_S0_STATUS, open ? L"当前文件：" + file_name_of(app.archive.path)
                                         : L"当前未打开任何rez文件，请先在主窗口中打开文件。");
    EnableWindow(GetDlgItem(dialog, IDC_S0_KEYWORD), open);
    EnableWindow(GetDlgItem(dialog, IDC_S0_FIND), open);
    set_item(dialog, IDC_S1_STATUS, L"请添加rez文件后输入关键字查找");
    set_item(dialog, IDC_S2_STATUS, L"请选择文件夹后输入关键字查找");
    centre_on_owner(dialog);
    SendMessageW(dialog, DM_SETDEFID, IDC_S0_FIND, 0);
    SetWindowLongPtrW(dialog, GWL_STYLE, GetWindowLongPtrW(dialog, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CLIPCHILDREN));
    apply_dialog_look(dialog);
    return TRUE;
}

bool checked(HWND dialog, int id) { return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The tab's keyword and options; false (after telling the user) when they do not make a search.
bool validate_search_input(HWND dialog, const SearchTab& t, SearchQuery& q) {
    q.keyword = trim_trailing_blanks(get_window_text(GetDlgItem(dialog, t.keyword)));
    if (q.keyword.empty()) {
        message_box(dialog, L"请输入搜索关键字。", L"提示", MB_ICONINFORMATION);
        return false;
    }
    q.case_sensitive = checked(dialog, t.checks[0]);
    q.whole_word = checked(dialog, t.checks[1]);
    q.search_name = checked(dialog, t.checks[2]);
    q.search_type = checked(dialog, t.checks[3]);
    q.search_id = checked(dialog, t.checks[4]);
    if (!q.search_name && !q.search_type && !q.search_id) {
        message_box(dialog, L"请至少选择一个搜索范围（名称/类型/ID）。", L"提示", MB_ICONINFORMATION);
        return false;
    }
    return true;
}

std::vector<std::wstring> scanned_archives(HWND dialog) {
    std::vector<std::wstring> paths;
    HWND box = GetDlgItem(dialog, IDC_S2_ARCHIVES);
    const int n = static_cast<int>(SendMessageW(box, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        const LRESULT len = SendMessageW(box, LB_GETTEXTLEN, i, 0);
        if (len <= 0) continue;
        std::wstring text(static_cast<size_t>(len) + 1, L'\0');
        SendMessageW(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(wcslen(text.c_str()));
        if (!text.empty()) paths.push_back(text);
    }
    return paths;
}

// A search that a newer one makes stale never reports back: its tab gets its button back.
void release_superseded(HWND dialog, int starting_tab) {
    for (int t = 0; t < 3; ++t) {
        if (t == starting_tab || !search_state->running[t]) continue;
        search_state->running[t] = 0;
        EnableWindow(GetDlgItem(dialog, kTabs[t].find), TRUE);
        set_item(dialog, kTabs[t].status, L"搜索已中止");
        if (t == 2) ShowWindow(GetDlgItem(dialog, IDC_S2_PROGRESS), SW_HIDE);
    }
}

void start_search(HWND dialog, int tab) {
    const SearchTab& t = kTabs[tab];
    if (tab == 0 && !app.archive_loaded) {
        message_box(dialog, L"请先在主窗口中打开一个rez文件。", L"提示", MB_ICONINFORMATION);
        return;
    }
    SearchQuery query;
    if (!validate_search_input(dialog, t, query)) return;
    auto request = std::make_unique<SearchRequest>();
    request->mode = tab;
    request->dialog = dialog;
    request->query = query;
    if (tab == 0) {
        request->snapshot = std::make_shared<rez::RezFile>(app.archive);
    } else {
        request->archives = tab == 1 ? imported_archive_paths(dialog) : scanned_archives(dialog);
        const bool none = tab == 1 ? SendDlgItemMessageW(dialog, IDC_S1_ARCHIVES, LVM_GETITEMCOUNT, 0, 0) == 0
                                   : SendDlgItemMessageW(dialog, IDC_S2_ARCHIVES, LB_GETCOUNT, 0, 0) <= 0;
        if (none) {
            message_box(dialog, tab == 1 ? L"请先添加至少一个rez文件。" : L"请先选择文件夹并扫描rez文件。", L"提示",
                        MB_ICONINFORMATION);
            return;
        }
    }
    request->run_id = search_run_id.fetch_add(1) + 1;
    release_superseded(dialog, tab);
    search_state->running[tab] = request->run_id;
    EnableWindow(GetDlgItem(dialog, t.find), FALSE);
    set_item(dialog, t.status, L"正在搜索...");
    if (tab == 2) {
        HWND bar = GetDlgItem(dialog, IDC_S2_PROGRESS);
        SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        SendMessageW(bar, PBM_SETPOS, 33, 0);
        ShowWindow(bar, SW_SHOW);
    }
    start_search_worker(request.release());
}

void on_progress(HWND dialog, LPARAM lparam) {
    std::unique_ptr<SearchProgress> item(reinterpret_cast<SearchProgress*>(lparam));
    if (!item || item->run_id != search_run_id.load() || !search_state || search_state->dialog != dialog) return;
    if (item->mode < 0 || item->mode > 2) return;
    set_item(dialog, kTabs[item->mode].status, item->text);
    if (item->mode == 2 && item->percent >= 0)
        SendDlgItemMessageW(dialog, IDC_S2_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(item->percent), 0);
}

void fill_results(HWND list, const std::vector<SearchResult>& results, bool with_source) {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < results.size(); ++i) {
        const SearchResult& r = results[i];
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(r.name.c_str());
        const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        const std::wstring* columns[5] = {&r.type, &r.id_text, &r.size_text, &r.virtual_path, &r.source};
        for (int c = 0; c < (with_source ? 5 : 4); ++c) {
            LVITEMW sub{};
            sub.iSubItem = c + 1;
            sub.pszText = const_cast<wchar_t*>(columns[c]->c_str());
            SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
        }
    }
}

void on_done(HWND dialog, WPARAM wparam, LPARAM lparam) {
    std::unique_ptr<std::vector<SearchResult>> results(reinterpret_cast<std::vector<SearchResult>*>(lparam));
    const int tab = static_cast<int>(wparam >> 16);
    if ((wparam & 0xFFFF) != (search_run_id.load() & 0xFFFF) || !search_state || search_state->dialog != dialog ||
        tab < 0 || tab > 2 || !results)
        return;
    const SearchTab& t = kTabs[tab];
    fill_results(GetDlgItem(dialog, t.results), *results, tab != 0);
    const size_t n = results->size();
    delete search_state->results[tab];
    search_state->results[tab] = results.release();
    search_state->running[tab] = 0;
    if (tab == 0) {
        set_item(dialog, t.status, L"搜索完成，找到 " + std::to_wstring(n) + L" 个结果");
    } else {
        const LRESULT m = tab == 1 ? SendDlgItemMessageW(dialog, IDC_S1_ARCHIVES, LVM_GETITEMCOUNT, 0, 0)
                                   : SendDlgItemMessageW(dialog, IDC_S2_ARCHIVES, LB_GETCOUNT, 0, 0);
        set_item(dialog, t.status, L"搜索完成，在 " + std::to_wstring(m) + L" 个文件中找到 " + std::to_wstring(n) +
                                       L" 个结果");
    }
    if (tab == 2) {
        SendDlgItemMessageW(dialog, IDC_S2_PROGRESS, PBM_SETPOS, 100, 0);
        ShowWindow(GetDlgItem(dialog, IDC_S2_PROGRESS), SW_HIDE);
    }
    EnableWindow(GetDlgItem(dialog, t.find), TRUE);
}

void on_command(HWND dialog, WPARAM wparam) {
    switch (LOWORD(wparam)) {
    case IDC_S0_FIND: start_search(dialog, 0); break;
    case IDC_S1_FIND: start_search(dialog, 1); break;
    case IDC_S2_FIND: start_search(dialog, 2); break;
    case IDC_S1_ADD: add_imported_archives(dialog); break;
    case IDC_S1_REMOVE: remove_selected_archives(dialog); break;
    case IDC_S1_CLEAR: clear_imported_archives(dialog); break;
    case IDC_S2_BROWSE: browse_search_folder(dialog); break;
    case IDCANCEL: DestroyWindow(dialog); break;
    default: break;
    }
}

INT_PTR on_notify(HWND dialog, LPARAM lparam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
    if (header->idFrom == IDC_SEARCH_TABS && header->code == TCN_SELCHANGE) {
        const int tab = static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0));
        if (tab >= 0 && tab < 3) show_tab(dialog, tab);
        return TRUE;
    }
    const int tab = tab_of_results(static_cast<int>(header->idFrom));
    if (tab < 0) return FALSE;
    if (header->code == NM_DBLCLK) on_results_double_click(dialog, tab);
    if (header->code == NM_RCLICK) on_results_right_click(dialog, tab);
    return TRUE;
}

void on_destroy(HWND dialog) {
    search_run_id.fetch_add(1);
    KillTimer(dialog, kLocateTimer);
    free_imported_paths(dialog);
    if (search_state && search_state->dialog == dialog) {
        for (auto*& r : search_state->results) delete r;
        delete search_state;
        search_state = nullptr;
    }
    if (current_modeless_dialog == dialog) current_modeless_dialog = nullptr;
}

// Labels and check boxes lie on the tab control's page: they take the page's colour, so
// that a status line repaints its old text away and a check box shows no grey patch.
bool transparent_colours(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) {
    if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLORBTN) return false;
    HDC dc = reinterpret_cast<HDC>(wparam);
    if (tab_page_ctlcolor(GetDlgItem(dialog, IDC_SEARCH_TABS), dc, reinterpret_cast<HWND>(lparam), &result))
        return true;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    result = reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    return true;
}

}  // namespace

const SearchTab& search_tab(int tab) { return kTabs[tab]; }

int tab_of_results(int list_id) {
    for (int t = 0; t < 3; ++t)
        if (kTabs[t].results == list_id) return t;
    return -1;
}

INT_PTR CALLBACK search_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (transparent_colours(dialog, message, wparam, lparam, result)) return result;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG: return on_init(dialog);
    case WM_COMMAND: on_command(dialog, wparam); return TRUE;
    case WM_NOTIFY: return on_notify(dialog, lparam);
    case WM_SEARCH_ITEM: on_progress(dialog, lparam); return TRUE;
    case WM_SEARCH_DONE: on_done(dialog, wparam, lparam); return TRUE;
    case WM_TIMER: on_locate_timer(dialog); return TRUE;
    case WM_CLOSE: DestroyWindow(dialog); return TRUE;
    case WM_DESTROY: on_destroy(dialog); return TRUE;
    default: return FALSE;
    }
}

void show_search_window(HWND owner) {
    if (current_modeless_dialog && IsWindow(current_modeless_dialog)) {
        ShowWindow(current_modeless_dialog, SW_SHOW);
        SetForegroundWindow(current_modeless_dialog);
        return;
    }
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SEARCH), owner, search_proc, 0);
    if (!dialog) return;
    current_modeless_dialog = dialog;
    ShowWindow(dialog, SW_SHOW);
}

}  // namespace rezui
