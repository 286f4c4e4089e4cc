#include "runner/runner_layout.h"

#include <commctrl.h>

#include <initializer_list>
#include <string>

#include "archive/util.h"
#include "runner/runner_state.h"

namespace rezui {

namespace {

struct ControlDef {
    int id;
    const wchar_t* cls;
    DWORD style;
    std::wstring text;
    int x, y, w, h;
};

HWND add_control(HWND window, const ControlDef& c) {
    HWND control = CreateWindowExW(0, c.cls, c.text.c_str(), WS_CHILD | c.style, c.x, c.y, c.w, c.h, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), g_runner.instance, nullptr);
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_runner.font_normal.get()), FALSE);
    return control;
}

void set_font(HWND window, int id, HFONT font) {
    SendMessageW(GetDlgItem(window, id), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void show(HWND window, int id, bool visible) {
    if (HWND control = GetDlgItem(window, id)) ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

void enable(HWND window, int id, bool enabled) {
    if (HWND control = GetDlgItem(window, id)) EnableWindow(control, enabled);
}

constexpr DWORD kReadOnlyText = ES_MULTILINE | ES_READONLY;
constexpr DWORD kLogStyle = ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | ES_AUTOVSCROLL;
constexpr DWORD kFolderStyle = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCheckBox = BS_AUTOCHECKBOX | WS_TABSTOP;

std::wstring text_or(const std::string& utf8, const std::wstring& fallback) {
    return utf8.empty() ? fallback : rez::from_utf8(utf8);
}

void create_wizard(HWND window) {
    const std::wstring title = runner_title();
    const SfxConfig& cfg = g_runner.config;
    const std::wstring intro = text_or(cfg.intro, L"安装向导将在计算机上安装 " + title +
                                                      L"。\r\n\r\n单击“下一步”继续，或单击“取消”退出安装向导。");
    const std::wstring license = text_or(cfg.license,
                                         L"本软件按“现状”提供，不含任何明示或默示的担保。\r\n\r\n"
                                         L"单击“下一步”即表示您接受软件的使用条款。");
    const ControlDef controls[] = {
        {kIdSidePanel, L"STATIC", WS_VISIBLE | SS_OWNERDRAW, L"", 0, 0, 130, 402},
        {kIdHeading, L"STATIC", SS_NOPREFIX, L"", 20, 14, 380, 22},
        {kIdIcon, L"STATIC", SS_ICON, L"", 452, 10, 32, 32},
        {kIdWelcome, L"STATIC", SS_NOPREFIX, L"欢迎使用 " + title + L" 安装向导", 150, 34, 330, 24},
        {kIdIntro, L"EDIT", kReadOnlyText, intro, 150, 84, 330, 150},
        {kIdLicense, L"EDIT", kReadOnlyText | WS_BORDER | WS_VSCROLL, license, 20, 60, 460, 250},
        {kIdFolderHint, L"STATIC", 0, L"单击“下一步”安装到默认文件夹，或单击“更改”选择其他位置。", 20, 60, 460, 16},
        {kIdFolderLabel, L"STATIC", 0, title + L" 安装位置:", 20, 110, 300, 14},
        {kIdFolder, L"EDIT", kFolderStyle, rez::from_utf8(cfg.default_path), 20, 130, 460, 22},
        {kIdBrowse, L"BUTTON", kButton, L"更改(C)...", 20, 160, 90, 24},
        {kIdShortcut, L"BUTTON", kCheckBox, L"创建桌面快捷方式", 20, 196, 220, 18},
        {kIdReady, L"STATIC", 0, L"单击“安装”开始安装。单击“上一步”查看或更改任何安装设置。单击“取消”退出向导。", 20, 80,
         460, 32},
        {kIdInstalling, L"STATIC", 0, L"安装向导正在安装 " + title + L"，请稍候：", 20, 80, 460, 16},
        {kIdStatus, L"STATIC", 0, L"准备就绪", 70, 120, 410, 14},
        {kIdProgress, PROGRESS_CLASSW, WS_BORDER, L"", 20, 142, 460, 18},
        {kIdLog, L"EDIT", kLogStyle, L"", 20, 172, 460, 150},
        {kIdFinishedHeading, L"STATIC", SS_NOPREFIX, title + L" 安装向导已完成", 150, 34, 330, 24},
        {kIdFinishedText, L"STATIC", 0, L"单击“完成”按钮退出安装向导。", 150, 84, 330, 16},
        {kIdBack, L"BUTTON", WS_VISIBLE | kButton, L"< 上一步(B)", 196, 334, 88, 26},
        {kIdMain, L"BUTTON", WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, L"下一步(N)", 288, 334, 88, 26},
        {kIdCancel, L"BUTTON", WS_VISIBLE | kButton, L"取消", 380, 334, 88, 26},
    };
    for (const ControlDef& c : controls) add_control(window, c);
    set_font(window, kIdHeading, g_runner.font_heading.get());
    set_font(window, kIdWelcome, g_runner.font_title.get());
    set_font(window, kIdFinishedHeading, g_runner.font_title.get());
    if (g_runner.icon)
        SendMessageW(GetDlgItem(window, kIdIcon), STM_SETICON, reinterpret_cast<WPARAM>(g_runner.icon), 0);
    SendMessageW(GetDlgItem(window, kIdShortcut), BM_SETCHECK, cfg.create_shortcut ? BST_CHECKED : BST_UNCHECKED, 0);
    show_wizard_page(window, 0);
}

void create_one_page(HWND window) {
    const SfxConfig& cfg = g_runner.config;
    const ControlDef controls[] = {
        {kIdSidePanel, L"STATIC", WS_VISIBLE | SS_OWNERDRAW, L"", 0, 0, 100, 470},
        {kIdLog, L"EDIT", WS_VISIBLE | kLogStyle, L"", 115, 22, 450, 300},
        {kIdShortcut, L"BUTTON", kCheckBox, L"创建桌面快捷方式", 115, 386, 200, 18},
        {kIdFolderLabel, L"STATIC", WS_VISIBLE, L"解压到:", 115, 356, 44, 14},
        {kIdFolder, L"EDIT", WS_VISIBLE | kFolderStyle, rez::from_utf8(cfg.default_path), 160, 352, 315, 22},
        {kIdBrowse, L"BUTTON", WS_VISIBLE | kButton, L"浏览目录", 483, 350, 75, 24},
        {kIdProgress, PROGRESS_CLASSW, WS_VISIBLE | WS_BORDER, L"", 115, 416, 450, 16},
        {kIdMain, L"BUTTON", WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, L"解压", 420, 444, 86, 26},
        {kIdCancel, L"BUTTON", WS_VISIBLE | kButton, L"取消", 511, 444, 54, 26},
    };
    for (const ControlDef& c : controls) add_control(window, c);
    SendMessageW(GetDlgItem(window, kIdProgress), PBM_SETRANGE32, 0, 100);
    SendMessageW(GetDlgItem(window, kIdShortcut), BM_SETCHECK, cfg.create_shortcut ? BST_CHECKED : BST_UNCHECKED, 0);
    if (g_runner.shortcut_offered)
        show(window, kIdShortcut, true);
    else
        g_runner.config.create_shortcut = false;
    if (!cfg.readme.empty()) runner_log(rez::from_utf8(cfg.readme));
}

}  // namespace

void create_runner_controls(HWND window) {
    if (g_runner.is_installer)
        create_wizard(window);
    else
        create_one_page(window);
}

void update_wizard_buttons(HWND window) {
    const int page = g_runner.page;
    std::wstring text = L"下一步(N)";
    bool enabled = true;
    if (page == 3) {
        text = L"安装(I)";
    } else if (page == 4) {
        const bool done = !g_runner.running && g_runner.finished;
        text = done ? L"完成(F)" : L"正在安装...";
        enabled = done;
    } else if (page == 5) {
        text = L"完成(F)";
    }
    runner_set_text(kIdMain, text);
    enable(window, kIdMain, enabled);
    enable(window, kIdBack, page >= 1 && page <= 3);
}

void show_wizard_page(HWND window, int page) {
    g_runner.page = page;
    const bool middle = page >= 1 && page <= 4;
    show(window, kIdSidePanel, page == 0 || page == 5);
    for (int id : {kIdHeading, kIdIcon}) show(window, id, middle);
    for (int id : {kIdWelcome, kIdIntro}) show(window, id, page == 0);
    show(window, kIdLicense, page == 1);
    for (int id : {kIdFolderHint, kIdFolderLabel, kIdFolder, kIdBrowse}) show(window, id, page == 2);
    show(window, kIdShortcut, page == 2 && g_runner.shortcut_offered);
    show(window, kIdReady, page == 3);
    for (int id : {kIdInstalling, kIdStatus, kIdProgress, kIdLog}) show(window, id, page == 4);
    for (int id : {kIdFinishedHeading, kIdFinishedText}) show(window, id, page == 5);

    const std::wstring title = runner_title();
    const wchar_t* headings[] = {L"", L"许可协议", L"目标文件夹", L"已准备好安装 ", L"正在安装 ", L""};
    std::wstring heading = page >= 0 && page <= 5 ? headings[page] : L"";
    if (page == 3 || page == 4) heading += title;
    runner_set_text(kIdHeading, heading);
    update_wizard_buttons(window);
    SetFocus(GetDlgItem(window, page == 2 ? kIdFolder : kIdMain));
    InvalidateRect(window, nullptr, TRUE);
}

}  // namespace rezui
