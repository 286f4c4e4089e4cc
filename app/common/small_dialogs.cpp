#include "app/common/small_dialogs.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/main_window/messages.h"
#include "app/common/window_helpers.h"
#include "resources/resource.h"

namespace rezui {

const std::wstring* input_prompt = nullptr;
std::wstring* input_text = nullptr;
const std::wstring* input_title = nullptr;
std::wstring new_password_result;
const std::wstring* pwd_prompt_text = nullptr;
const std::wstring* pwd_prompt_title = nullptr;
std::wstring* pwd_prompt_result = nullptr;
HFONT about_title_font = nullptr;
HFONT about_body_font = nullptr;

namespace {

constexpr wchar_t kDownloadPage[] = L"https://quarvel.example.org/download";

// Shows or hides the characters of a password edit without losing its text or caret.
void toggle_password_style(HWND dialog, int edit_id, bool show) {
    HWND edit = GetDlgItem(dialog, edit_id);
    if (!edit) return;
    LONG_PTR style = GetWindowLongPtrW(edit, GWL_STYLE);
    style = show ? (style & ~static_cast<LONG_PTR>(ES_PASSWORD)) : (style | ES_PASSWORD);
    SetWindowLongPtrW(edit, GWL_STYLE, style);
    SendMessageW(edit, EM_SETPASSWORDCHAR, show ? 0 : L'\x25CF', 0);
    SetWindowPos(edit, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    std::wstring text = get_window_text(edit);
    SetWindowTextW(edit, text.c_str());
    int end = static_cast<int>(text.size());
    SendMessageW(edit, EM_SETSEL, end, end);
    InvalidateRect(edit, nullptr, TRUE);
}

void delete_about_fonts() {
    if (about_title_font) DeleteObject(about_title_font);
    if (about_body_font) DeleteObject(about_body_font);
    about_title_font = nullptr;
    about_body_font = nullptr;
}

}  // namespace

INT_PTR CALLBACK input_text_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG:
        if (input_title) SetWindowTextW(dialog, input_title->c_str());
        if (input_prompt) SetDlgItemTextW(dialog, IDC_INPUT_PROMPT, input_prompt->c_str());
        if (input_text) SetDlgItemTextW(dialog, IDC_INPUT_TEXT, input_text->c_str());
        apply_dialog_look(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            if (input_text) *input_text = get_window_text(GetDlgItem(dialog, IDC_INPUT_TEXT));
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK new_password_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextW(dialog, IDC_PWD_EDIT, L"");
        SetDlgItemTextW(dialog, IDC_PWD_CONFIRM, L"");
        CheckDlgButton(dialog, IDC_PWD_SHOW, BST_UNCHECKED);
        apply_dialog_look(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_PWD_SHOW: {
            bool show = IsDlgButtonChecked(dialog, IDC_PWD_SHOW) == BST_CHECKED;
            toggle_password_style(dialog, IDC_PWD_EDIT, show);
            toggle_password_style(dialog, IDC_PWD_CONFIRM, show);
            return TRUE;
        }
        case IDOK: {
            std::wstring a = get_window_text(GetDlgItem(dialog, IDC_PWD_EDIT));
            std::wstring b = get_window_text(GetDlgItem(dialog, IDC_PWD_CONFIRM));
            if (a == b) {
                new_password_result = a;
                EndDialog(dialog, 1);
            } else {
                message_box(dialog, L"两次输入的密码不一致", L"提示", MB_ICONWARNING);
            }
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK password_prompt_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG:
        if (pwd_prompt_text) SetDlgItemTextW(dialog, IDC_PWD_PROMPT, pwd_prompt_text->c_str());
        if (pwd_prompt_title) SetWindowTextW(dialog, pwd_prompt_title->c_str());
        SetDlgItemTextW(dialog, IDC_PWD_EDIT, L"");
        CheckDlgButton(dialog, IDC_PWD_SHOW, BST_UNCHECKED);
        apply_dialog_look(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_PWD_SHOW:
            if (HIWORD(wparam) == 0)
                toggle_password_style(dialog, IDC_PWD_EDIT, IsDlgButtonChecked(dialog, IDC_PWD_SHOW) == BST_CHECKED);
            return TRUE;
        case IDOK:
            if (pwd_prompt_result) *pwd_prompt_result = get_window_text(GetDlgItem(dialog, IDC_PWD_EDIT));
            EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG: {
        int dpi = 96;
        if (HDC dc = GetDC(dialog)) {
            dpi = GetDeviceCaps(dc, LOGPIXELSY);
            ReleaseDC(dialog, dc);
        }
        delete_about_fonts();
        about_title_font = CreateFontW(-MulDiv(14, dpi, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                       L"Microsoft YaHei UI");
        about_body_font = CreateFontW(-MulDiv(12, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                      L"Microsoft YaHei UI");
        SetDlgItemTextW(dialog, IDC_ABOUT_PRODUCT, kProductName);
        SetDlgItemTextW(dialog, IDC_ABOUT_DATE, build_date_text().c_str());
        PostMessageW(dialog, WM_ABOUT_FONTS, 0, 0);
        apply_dialog_look(dialog);
        return TRUE;
    }
    case WM_ABOUT_FONTS: {
        const struct {
            int id;
            HFONT font;
        } fonts[] = {{IDC_ABOUT_PRODUCT, about_title_font},
                     {IDC_ABOUT_TITLE, about_body_font},
                     {IDC_ABOUT_DATE, about_body_font}};
        for (const auto& f : fonts) {
            HWND control = GetDlgItem(dialog, f.id);
            if (!control || !f.font) continue;
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(f.font), TRUE);
            InvalidateRect(control, nullptr, TRUE);
        }
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, 1);
            return TRUE;
        case IDC_ABOUT_UPDATE:
            shell_execute(dialog, L"open", kDownloadPage, nullptr, nullptr, SW_SHOWNORMAL);
            return TRUE;
        default:
            break;
        }
        break;
    case WM_DESTROY:
        delete_about_fonts();
        break;
    default:
        break;
    }
    return FALSE;
}

bool ask_text(HWND owner, const std::wstring& title, const std::wstring& prompt, std::wstring& text) {
    std::wstring value = text;
    input_title = title.empty() ? nullptr : &title;
    input_prompt = &prompt;
    input_text = &value;
    INT_PTR r = run_dialog(IDD_INPUT_TEXT, owner, input_text_proc, 0);
    input_title = nullptr;
    input_prompt = nullptr;
    input_text = nullptr;
    if (r != 1) return false;
    text = value;
    return true;
}

bool ask_new_password(HWND owner, std::wstring& out) {
    new_password_result.clear();
    if (run_dialog(IDD_NEW_PASSWORD, owner, new_password_proc, 0) != 1) return false;
    out = new_password_result;
    return true;
}

bool ask_password(HWND owner, const std::wstring& title, const std::wstring& prompt, std::wstring& out) {
    std::wstring value;
    pwd_prompt_text = &prompt;
    pwd_prompt_title = &title;
    pwd_prompt_result = &value;
    INT_PTR r = run_dialog(IDD_PASSWORD_PROMPT, owner, password_prompt_proc, 0);
    pwd_prompt_text = nullptr;
    pwd_prompt_title = nullptr;
    pwd_prompt_result = nullptr;
    if (r != 1) return false;
    out = value;
    return true;
}

void show_about(HWND owner) { run_dialog(IDD_ABOUT, owner, about_proc, 0); }

std::wstring build_date_text_from(const char* date, const char* time) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char month_name[4] = {};
    int day = 0, year = 0;
    if (std::sscanf(date, "%3s %d %d", month_name, &day, &year) < 3) {
        day = 0;
        year = 0;
    }
    int month = 1;
    for (int i = 0; i < 12; ++i)
        if (std::strncmp(month_name, months[i], 3) == 0) {
            month = i + 1;
            break;
        }
    std::wstring wide_time;
    for (const char* p = time; *p; ++p) wide_time += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    wchar_t buffer[64];
    swprintf(buffer, 64, L"编译日期：%d-%02d-%02d %ls", year, month, day, wide_time.c_str());
    return buffer;
}

std::wstring build_date_text() { return build_date_text_from(__DATE__, __TIME__); }

}  // namespace rezui
