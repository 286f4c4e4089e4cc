#include "runner/runner_window.h"

#include <shlobj.h>

#include "runner/runner_extract.h"
#include "runner/runner_layout.h"
#include "runner/runner_state.h"

namespace rezui {

namespace {

constexpr COLORREF kPanelColour = RGB(136, 22, 22);
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

void pick_folder(HWND window) {
    BROWSEINFOW info{};
    info.hwndOwner = window;
    info.lpszTitle = L"选择解压位置";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    if (!list) return;
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(list, path) && path[0]) SetDlgItemTextW(window, kIdFolder, path);
    CoTaskMemFree(list);
}

void on_main_button(HWND window) {
    if (g_runner.running) return;
    if (!g_runner.is_installer) {
        start_extraction(window);
        return;
    }
    switch (g_runner.page) {
    case 0:
    case 1:
    case 2: show_wizard_page(window, g_runner.page + 1); break;
    case 3: start_extraction(window); break;
    case 4:
        if (g_runner.finished) show_wizard_page(window, 5);
        break;
    case 5: DestroyWindow(window); break;
    default: break;
    }
}

void on_back_button(HWND window) {
    if (g_runner.is_installer && g_runner.page >= 1 && g_runner.page <= 3) show_wizard_page(window, g_runner.page - 1);
}

LRESULT on_command(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (LOWORD(wparam)) {
    case kIdBrowse: pick_folder(window); return 0;
    case kIdMain: on_main_button(window); return 0;
    case kIdBack: on_back_button(window); return 0;
    case kIdCancel: DestroyWindow(window); return 0;
    default: return DefWindowProcW(window, message, wparam, lparam);
    }
}

LRESULT on_erase_background(HWND window, HDC dc) {
    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, g_runner.brush_background.get());
    return 1;
}

LRESULT on_draw_item(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
    if (!item || item->CtlID != kIdSidePanel) return DefWindowProcW(window, message, wparam, lparam);
    const RECT& r = item->rcItem;
    rez::unique_hbrush panel(CreateSolidBrush(kPanelColour));
    FillRect(item->hDC, &r, panel.get());
    if (g_runner.banner) {
        HDC memory = CreateCompatibleDC(item->hDC);
        HGDIOBJ old = SelectObject(memory, g_runner.banner.get());
        const int old_mode = SetStretchBltMode(item->hDC, COLORONCOLOR);
        StretchBlt(item->hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, g_runner.banner_width,
                   g_runner.banner_height, SRCCOPY);
        SetStretchBltMode(item->hDC, old_mode);
        SelectObject(memory, old);
        DeleteDC(memory);
    } else if (g_runner.icon) {
        DrawIconEx(item->hDC, r.left + 33, r.top + 40, g_runner.icon, 64, 64, 0, nullptr, DI_NORMAL);
    }
    return TRUE;
}

LRESULT on_ctlcolor_static(HDC dc, HWND control) {
    if (GetDlgCtrlID(control) == kIdSidePanel) return reinterpret_cast<LRESULT>(g_runner.brush_panel.get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(g_runner.brush_background.get());
}

}  // namespace

LRESULT CALLBACK runner_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND: return on_command(window, message, wparam, lparam);
    case WM_CLOSE: request_close(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_ERASEBKGND: return on_erase_background(window, reinterpret_cast<HDC>(wparam));
    case WM_DRAWITEM: return on_draw_item(window, message, wparam, lparam);
    case WM_CTLCOLORSTATIC: return on_ctlcolor_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_RUNNER_PROGRESS: on_extraction_progress(); return 0;
    case WM_RUNNER_DONE: on_extraction_done(window); return 0;
    default: return DefWindowProcW(window, message, wparam, lparam);
    }
}

HWND create_runner_window(int show_command) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = runner_wnd_proc;
    wc.hInstance = g_runner.instance;
    wc.hIcon = g_runner.icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kRunnerClass;
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    RECT r{0, 0, g_runner.is_installer ? kWizardWidth : kOnePageWidth,
           g_runner.is_installer ? kWizardHeight : kOnePageHeight};
    AdjustWindowRect(&r, kWindowStyle, FALSE);
    std::wstring caption = runner_title();
    if (g_runner.is_installer) caption += L" 安装程序";
    HWND window = CreateWindowExW(0, kRunnerClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  r.right - r.left, r.bottom - r.top, nullptr, nullptr, g_runner.instance, nullptr);
    if (!window) return nullptr;
    g_runner.main_window = window;
    create_runner_controls(window);
    ShowWindow(window, show_command == 0 ? SW_SHOW : show_command);
    UpdateWindow(window);
    SetFocus(GetDlgItem(window, kIdMain));
    return window;
}

}  // namespace rezui
