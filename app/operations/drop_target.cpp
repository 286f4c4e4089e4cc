#include "app/operations/drop_target.h"

#include <exdisp.h>
#include <shlguid.h>
#include <shlwapi.h>

#include <cwchar>
#include <string>

#include "app/main_window/task_ui.h"
#include "archive/util.h"

namespace rezui {

DragOutState drag_state;

namespace {

// IShellWindows::FindWindowSW: the desktop class, and the class the desktop window is
// sometimes registered under on older shells.
constexpr int kShellWindowClassDesktop = 8;
constexpr int kShellWindowClassOther = 3;
// shcore's MDT_EFFECTIVE_DPI.
constexpr int kEffectiveDpi = 0;

std::wstring hex(unsigned long long value) {
    wchar_t buf[32];
    swprintf(buf, 32, L"%llX", value);
    return buf;
}

std::wstring hex(HWND window) { return hex(reinterpret_cast<uintptr_t>(window)); }

std::wstring class_of(HWND window) {
    wchar_t name[65] = {};
    GetClassNameW(window, name, 65);
    return name;
}

bool is_directory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring join_path(const std::wstring& base, const std::wstring& name) {
    if (base.empty()) return name;
    if (base.back() == L'\\' || base.back() == L'/') return base + name;
    return base + L"\\" + name;
}

// The same window, or one inside the other: an Explorer frame and the shell window that
// reports its handle need not be the same window.
bool same_or_nested(HWND a, HWND b) {
    if (!a || !b) return false;
    return a == b || IsChild(a, b) || IsChild(b, a);
}

int hex_digit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// The byte of "%XY" at text[i], or -1.
int escaped_byte(const std::wstring& text, size_t i) {
    if (i + 2 >= text.size() || text[i] != L'%') return -1;
    const int high = hex_digit(text[i + 1]);
    const int low = hex_digit(text[i + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Length of the UTF-8 sequence that lead starts, 0 when it starts none.
size_t utf8_length(int lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

struct ComApartment {
    HRESULT hr;
    ComApartment() : hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

rez::com_ptr<IShellWindows> shell_windows() {
    rez::com_ptr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows, windows.put_void())))
        windows.reset();
    return windows;
}

// One entry of the shell's window list with its browser interface and window handle.
struct ShellWindow {
    rez::com_ptr<IDispatch> dispatch;
    rez::com_ptr<IWebBrowser2> browser;
    HWND window = nullptr;
};

bool shell_window_at(IShellWindows* windows, long index, ShellWindow& out) {
    VARIANT at;
    VariantInit(&at);
    at.vt = VT_I4;
    at.lVal = index;
    if (FAILED(windows->Item(at, out.dispatch.put())) || !out.dispatch) return false;
    if (FAILED(out.dispatch->QueryInterface(IID_IWebBrowser2, out.browser.put_void())) || !out.browser) return false;
    SHANDLE_PTR handle = 0;
    if (FAILED(out.browser->get_HWND(&handle))) return false;
    out.window = reinterpret_cast<HWND>(handle);
    return true;
}

bool view_through(IUnknown* object, rez::com_ptr<IShellView>& view) {
    if (!object) return false;
    rez::com_ptr<IServiceProvider> services;
    if (FAILED(object->QueryInterface(IID_IServiceProvider, services.put_void())) || !services) return false;
    rez::com_ptr<IShellBrowser> browser;
    if (FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) || !browser)
        return false;
    rez::com_ptr<IShellView> active;
    if (FAILED(browser->QueryActiveShellView(active.put())) || !active) return false;
    view = std::move(active);
    return true;
}

std::wstring location_path(IWebBrowser2* browser) {
    BSTR url = nullptr;
    std::wstring path;
    if (SUCCEEDED(browser->get_LocationURL(&url)) && url) {
        std::wstring text(url, SysStringLen(url));
        if (text.rfind(L"file:", 0) == 0) path = file_url_to_path(text);
    }
    SysFreeString(url);
    return path;
}

// The file-system folder a browser's view shows; empty for a virtual folder.
std::wstring view_folder_path(IWebBrowser2* browser) {
    rez::com_ptr<IShellView> view;
    if (!view_through(browser, view)) return L"";
    rez::com_ptr<IFolderView> folder_view;
    if (FAILED(view->QueryInterface(IID_IFolderView, folder_view.put_void())) || !folder_view) return L"";
    rez::com_ptr<IPersistFolder2> folder;
    if (FAILED(folder_view->GetFolder(IID_IPersistFolder2, folder.put_void())) || !folder) return L"";
    PIDLIST_ABSOLUTE items = nullptr;
    if (FAILED(folder->GetCurFolder(&items)) || !items) return L"";
    wchar_t buf[MAX_PATH] = {};
    std::wstring path = SHGetPathFromIDListW(items, buf) ? buf : L"";
    CoTaskMemFree(items);
    return path;
}

// The desktop's icon list: the shell window's view, or the view a "WorkerW" window holds
// once the wallpaper host has moved it there.
HWND desktop_icon_list() {
    HWND shell = GetShellWindow();
    if (!shell) shell = FindWindowW(L"Progman", nullptr);
    HWND view = shell ? FindWindowExW(shell, nullptr, L"SHELLDLL_DefView", nullptr) : nullptr;
    for (HWND worker = nullptr; !view;) {
        worker = FindWindowExW(nullptr, worker, L"WorkerW", nullptr);
        if (!worker) break;
        view = FindWindowExW(worker, nullptr, L"SHELLDLL_DefView", nullptr);
    }
    return view ? FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
}

double display_scale(HWND window, UINT& dpi) {
    dpi = 96;
    HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    rez::unique_module shcore(LoadLibraryW(L"shcore.dll"));
    if (shcore && monitor) {
        using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
        auto get_dpi = reinterpret_cast<GetDpiForMonitorFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(shcore.get(), "GetDpiForMonitor")));
        UINT x = 0, y = 0;
        if (get_dpi && SUCCEEDED(get_dpi(monitor, kEffectiveDpi, &x, &y)) && x > 0) dpi = x;
    }
    return dpi / 96.0;
}

// The shell view that shows the icon list: asked of the desktop first, then looked up
// among the shell's windows by the list's top-level window.
bool find_icon_view(IShellWindows* windows, HWND list_view, rez::com_ptr<IShellView>& view) {
    for (int window_class : {kShellWindowClassDesktop, kShellWindowClassDesktop, kShellWindowClassOther}) {
        VARIANT location, root;
        VariantInit(&location);
        VariantInit(&root);
        long handle = 0;
        rez::com_ptr<IDispatch> dispatch;
        const HRESULT hr =
            windows->FindWindowSW(&location, &root, window_class, &handle, SWFO_NEEDDISPATCH, dispatch.put());
        append_log(L"拖出：FindWindowSW(类=0x" + hex(static_cast<unsigned>(window_class)) + L") hr=0x" +
                   hex(static_cast<unsigned long>(hr)) + L" pdisp=" + (dispatch ? L"有" : L"空"));
        if (dispatch && active_shell_view(dispatch.get(), view)) return true;
    }
    HWND root_window = GetAncestor(list_view, GA_ROOT);
    long count = 0;
    if (FAILED(windows->get_Count(&count))) count = 0;
    append_log(L"拖出：IShellWindows 数量=" + std::to_wstring(count));
    for (long i = 0; i < count; ++i) {
        ShellWindow shell;
        if (!shell_window_at(windows, i, shell)) continue;
        const bool match = same_or_nested(shell.window, root_window);
        append_log(L"拖出：  win#" + std::to_wstring(i) + L" hwnd=0x" + hex(shell.window) + L" 匹配=" +
                   (match ? L"是" : L"否"));
        if (match && active_shell_view(shell.dispatch.get(), view)) return true;
    }
    return false;
}

std::wstring display_name(IShellFolder* folder, PCUITEMID_CHILD item) {
    STRRET name{};
    if (FAILED(folder->GetDisplayNameOf(item, SHGDN_NORMAL, &name))) return L"";
    wchar_t buf[MAX_PATH] = {};
    // Frees a returned wide string and reads an offset into the item id.
    if (FAILED(StrRetToBufW(&name, item, buf, MAX_PATH))) return L"";
    return buf;
}

// The folder icon under the client point among the view's items; empty when the point
// hits no icon, or an icon that is not a folder.
std::wstring folder_icon_at(IFolderView* view, IShellFolder* folder, POINT point, double scale,
                            const std::wstring& base, int count) {
    for (int i = 0; i < count; ++i) {
        PITEMID_CHILD item = nullptr;
        if (FAILED(view->Item(i, &item)) || !item) continue;
        POINT position{};
        if (FAILED(view->GetItemPosition(item, &position))) {
            CoTaskMemFree(item);
            continue;
        }
        const RECT box = icon_hit_box(position, scale);
        if (!PtInRect(&box, point)) {
            CoTaskMemFree(item);
            continue;
        }
        const std::wstring name = display_name(folder, item);
        CoTaskMemFree(item);
        const std::wstring path = join_path(base, name);
        const std::wstring where = L"idx=" + std::to_wstring(i) + L" \"" + name + L"\"";
        if (!name.empty() && is_directory(path)) {
            append_log(L"拖出：命中文件夹图标 " + where + L" " + path);
            return path;
        }
        // The first icon hit decides: a file icon means the drop is meant for the base.
        append_log(L"拖出：命中图标 " + where + L" 但非目录: " + path);
        break;
    }
    return L"";
}

}  // namespace

bool note_drop_window(HWND window) {
    drag_state.explorer_window = nullptr;
    drag_state.folder_view = nullptr;
    drag_state.on_desktop = false;
    for (HWND w = window; w; w = GetParent(w)) {
        const std::wstring name = class_of(w);
        if (name == L"SHELLDLL_DefView" && !drag_state.folder_view) {
            drag_state.folder_view = w;
            continue;
        }
        if (name == L"CabinetWClass" || name == L"ExploreWClass") {
            drag_state.explorer_window = w;
            drag_state.target_seen = true;
            return true;
        }
        if (name == L"Progman" || name == L"WorkerW") {
            drag_state.on_desktop = true;
            drag_state.target_seen = true;
            return true;
        }
    }
    return false;
}

std::wstring file_url_to_path(const std::wstring& url) {
    if (url.size() < 7 || url.compare(0, 5, L"file:") != 0 || url[5] != L'/') return L"";
    size_t at = 5;
    int slashes = 0;
    while (at < url.size() && url[at] == L'/' && slashes < 3) {
        ++at;
        ++slashes;
    }
    if (slashes < 3) return L"";
    std::wstring out;
    while (at < url.size()) {
        const int first = escaped_byte(url, at);
        if (first < 0) {
            out += url[at++];
            continue;
        }
        // A run of escapes that spells one UTF-8 character is that character (Explorer
        // escapes the bytes of non-ASCII names); any other escape is the code itself.
        const size_t length = utf8_length(first);
        std::string bytes(1, static_cast<char>(first));
        for (size_t k = 1; k < length; ++k) {
            const int next = escaped_byte(url, at + 3 * k);
            if (next < 0x80 || next > 0xBF) break;
            bytes += static_cast<char>(next);
        }
        std::wstring decoded = length > 0 && bytes.size() == length ? rez::from_utf8(bytes) : L"";
        if (decoded.empty() || decoded.find(L'\xFFFD') != std::wstring::npos) {
            out += static_cast<wchar_t>(first);
            at += 3;
        } else {
            out += decoded;
            at += 3 * length;
        }
    }
    return out;
}

RECT icon_hit_box(POINT item, double scale) {
    const int x = static_cast<int>(item.x / scale);
    const int y = static_cast<int>(item.y / scale);
    return RECT{x - 10, y - 10, x + 90, y + 80};
}

bool active_shell_view(IDispatch* window, rez::com_ptr<IShellView>& view) {
    if (!window) return false;
    rez::com_ptr<IWebBrowser2> browser;
    if (SUCCEEDED(window->QueryInterface(IID_IWebBrowser2, browser.put_void())) && browser &&
        view_through(browser.get(), view))
        return true;
    return view_through(window, view);
}

std::wstring explorer_folder_at() {
    if (!drag_state.explorer_window) return L"";
    rez::com_ptr<IShellWindows> windows = shell_windows();
    if (!windows) {
        append_log(L"拖出：CoCreateInstance(ShellWindows) 失败");
        return L"";
    }
    long count = 0;
    if (FAILED(windows->get_Count(&count))) count = 0;
    for (long i = 0; i < count; ++i) {
        ShellWindow shell;
        if (!shell_window_at(windows.get(), i, shell) || !same_or_nested(shell.window, drag_state.explorer_window))
            continue;
        std::wstring path = location_path(shell.browser.get());
        if (path.empty()) path = view_folder_path(shell.browser.get());
        if (!path.empty()) return path;
    }
    append_log(L"拖出：Explorer 窗口不在 IShellWindows 中或未给出文件夹路径（共 " + std::to_wstring(count) +
               L" 个窗口）");
    return L"";
}

std::wstring find_drop_folder() {
    if (!drag_state.target_seen) return L"";
    std::wstring base;
    if (drag_state.explorer_window) {
        base = explorer_folder_at();
    } else if (drag_state.on_desktop) {
        wchar_t buf[MAX_PATH] = {};
        if (SHGetSpecialFolderPathW(nullptr, buf, CSIDL_DESKTOPDIRECTORY, FALSE))
            base = buf;
        else
            append_log(L"拖出：SHGetSpecialFolderPathW(桌面) 失败");
    }
    if (base.empty()) return L"";
    HWND list = nullptr;
    if (drag_state.folder_view)
        list = FindWindowExW(drag_state.folder_view, nullptr, L"SysListView32", nullptr);
    else if (drag_state.on_desktop)
        list = desktop_icon_list();
    append_log(L"拖出：base=" + base + L" list_view=0x" + hex(list));
    std::wstring hit = probe_desktop_icon(list, drag_state.drop_point, base);
    if (!hit.empty()) {
        append_log(L"拖出：命中子文件夹图标 -> " + hit);
        return hit;
    }
    append_log(L"拖出：未命中子文件夹，落点为 base -> " + base);
    return base;
}

std::wstring probe_desktop_icon(HWND list_view, POINT screen_point, const std::wstring& base) {
    if (!list_view || base.empty()) {
        append_log(L"拖出：无法探测图标，list_view/base 为空");
        return L"";
    }
    POINT point = screen_point;
    if (!ScreenToClient(list_view, &point)) {
        append_log(L"拖出：ScreenToClient(list_view) 失败");
        return L"";
    }
    UINT dpi = 96;
    const double scale = display_scale(list_view, dpi);
    append_log(L"拖出：real_dpi=" + std::to_wstring(dpi) + L" scale=" +
               std::to_wstring(static_cast<int>(scale * 100)) + L"% lvpt=(" + std::to_wstring(point.x) + L"," +
               std::to_wstring(point.y) + L")");
    ComApartment apartment;
    if (FAILED(apartment.hr) && apartment.hr != RPC_E_CHANGED_MODE) {
        append_log(L"拖出：CoInitializeEx 失败 hr=0x" + hex(static_cast<unsigned long>(apartment.hr)));
        return L"";
    }
    rez::com_ptr<IShellWindows> windows = shell_windows();
    if (!windows) {
        append_log(L"拖出：CoCreateInstance(ShellWindows) 失败");
        return L"";
    }
    rez::com_ptr<IShellView> view;
    if (!find_icon_view(windows.get(), list_view, view)) {
        append_log(L"拖出：找不到对应 IShellView");
        return L"";
    }
    rez::com_ptr<IFolderView> folder_view;
    if (FAILED(view->QueryInterface(IID_IFolderView, folder_view.put_void())) || !folder_view) {
        append_log(L"拖出：IShellView->IFolderView 失败");
        return L"";
    }
    rez::com_ptr<IShellFolder> folder;
    if (FAILED(folder_view->GetFolder(IID_IShellFolder, folder.put_void())) || !folder) {
        append_log(L"拖出：取 IShellFolder 失败");
        return L"";
    }
    int count = 0;
    if (FAILED(folder_view->ItemCount(SVGIO_ALLVIEW, &count))) count = 0;
    append_log(L"拖出：COM 图标数量=" + std::to_wstring(count));
    if (count < 1) return L"";
    std::wstring hit = folder_icon_at(folder_view.get(), folder.get(), point, scale, base, count);
    if (hit.empty()) append_log(L"拖出：未命中任何图标（COM 枚举）");
    return hit;
}

}  // namespace rezui
