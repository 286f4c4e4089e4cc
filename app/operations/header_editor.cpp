#include "app/operations/header_editor.h"

#include <memory>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/main_window/main_window.h"
#include "app/main_window/task_ui.h"
#include "app/operations/open_archive.h"
#include "archive/rez_header.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {
namespace {

constexpr wchar_t kDefaultSignature[] = L"RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.";
constexpr wchar_t kDefaultTitle[] = L"LithTech Resource File";

const std::wstring* path_of(HWND dialog) {
    return reinterpret_cast<const std::wstring*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// The counters are transparent labels: the dialog behind them is repainted with the new
// text, or the old digits would show through.
void set_label_text(HWND label, const std::wstring& text) {
    if (!label) return;
    SetWindowTextW(label, text.c_str());
    HWND parent = GetParent(label);
    RECT rc;
    GetWindowRect(label, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    InvalidateRect(parent, &rc, TRUE);
    UpdateWindow(parent);
}

void update_counter(HWND dialog, int edit_id, int counter_id) {
    HWND edit = GetDlgItem(dialog, edit_id);
    size_t length = edit ? static_cast<size_t>(GetWindowTextLengthW(edit)) : 0;
    set_label_text(GetDlgItem(dialog, counter_id), header_counter_text(length));
}

void update_counters(HWND dialog) {
    update_counter(dialog, IDC_HEADER_SIGNATURE, IDC_HEADER_SIGNATURE_COUNT);
    update_counter(dialog, IDC_HEADER_TITLE, IDC_HEADER_TITLE_COUNT);
}

void set_texts(HWND dialog, const std::wstring& signature, const std::wstring& title) {
    SetDlgItemTextW(dialog, IDC_HEADER_SIGNATURE, signature.c_str());
    SetDlgItemTextW(dialog, IDC_HEADER_TITLE, title.c_str());
    update_counters(dialog);
}

std::wstring file_name_part(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

void init_dialog(HWND dialog, LPARAM param) {
    const wchar_t* chars = reinterpret_cast<const wchar_t*>(param);
    auto* path = new std::wstring(chars ? chars : L"");
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(path));
    SetWindowTextW(dialog, (L"编辑文件头 - " + file_name_part(*path)).c_str());
    std::string signature, title;
    std::wstring err;
    if (rez::read_rez_header_texts(*path, signature, title, err))
        set_texts(dialog, rez::from_utf8(signature), rez::from_utf8(title));
    else
        set_texts(dialog, kDefaultSignature, kDefaultTitle);
    SetWindowLongPtrW(dialog, GWL_STYLE, GetWindowLongPtrW(dialog, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CLIPCHILDREN));
    apply_dialog_look(dialog);
}

// The archive open in the main window keeps its header texts in its model and writes them
// with its next save: it takes the new texts, as the file now holds them.
void adopt_into_open_archive(const std::wstring& path) {
    if (!app.archive_loaded || app.archive.path.empty() || !same_file(path, app.archive.path)) return;
    std::string signature, title;
    std::wstring err;
    if (!rez::read_rez_header_texts(path, signature, title, err)) return;
    app.archive.signature_text = signature;
    app.archive.user_title = title;
}

void save_header(HWND dialog) {
    const std::wstring* path = path_of(dialog);
    if (!path) {
        EndDialog(dialog, 1);
        return;
    }
    // A running job may be saving the open archive over this very file, from a model that
    // must not change under it: try again once it has finished.
    if (app.busy) {
        message_box(dialog, kBusyRefusalText, L"提示", MB_ICONINFORMATION);
        return;
    }
    std::string signature = rez::to_utf8(get_window_text(GetDlgItem(dialog, IDC_HEADER_SIGNATURE)));
    std::string title = rez::to_utf8(get_window_text(GetDlgItem(dialog, IDC_HEADER_TITLE)));
    std::wstring err;
    if (rez::write_rez_header_texts(*path, signature, title, err)) {
        adopt_into_open_archive(*path);
        message_box(dialog, L"文件头已保存。", L"完成", MB_ICONINFORMATION);
    } else {
        message_box(dialog, L"保存失败：" + err, L"错误", MB_ICONERROR);
    }
    EndDialog(dialog, 1);
}

void on_command(HWND dialog, WPARAM wparam) {
    const int id = LOWORD(wparam);
    const int code = HIWORD(wparam);
    if (code == EN_CHANGE && id == IDC_HEADER_SIGNATURE)
        update_counter(dialog, IDC_HEADER_SIGNATURE, IDC_HEADER_SIGNATURE_COUNT);
    else if (code == EN_CHANGE && id == IDC_HEADER_TITLE)
        update_counter(dialog, IDC_HEADER_TITLE, IDC_HEADER_TITLE_COUNT);
    else if (id == IDC_HEADER_DEFAULTS)
        set_texts(dialog, kDefaultSignature, kDefaultTitle);
    else if (id == IDOK)
        save_header(dialog);
    else if (id == IDCANCEL)
        EndDialog(dialog, 0);
}

INT_PTR transparent_label(WPARAM wparam) {
    HDC dc = reinterpret_cast<HDC>(wparam);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
}

bool erase_background(HWND dialog, WPARAM wparam) {
    RECT rc;
    GetClientRect(dialog, &rc);
    FillRect(reinterpret_cast<HDC>(wparam), &rc, GetSysColorBrush(COLOR_BTNFACE));
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
    return true;
}

void forget_path(HWND dialog) {
    delete path_of(dialog);
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}

}  // namespace

std::wstring header_counter_text(size_t length) { return L"长度：" + std::to_wstring(length) + L" / 60"; }

bool same_file(const std::wstring& a, const std::wstring& b) {
    auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        rez::FileHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (identity(a, ia) && identity(b, ib))
        return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
               ia.nFileIndexLow == ib.nFileIndexLow;
    auto full = [](const std::wstring& path) {
        wchar_t buf[MAX_PATH * 4];
        DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, buf, nullptr);
        return n > 0 && n < MAX_PATH * 4 ? std::wstring(buf, n) : path;
    };
    const std::wstring fa = full(a), fb = full(b);
    return CompareStringOrdinal(fa.c_str(), static_cast<int>(fa.size()), fb.c_str(), static_cast<int>(fb.size()),
                                TRUE) == CSTR_EQUAL;
}

void edit_rez_header(HWND owner, const std::wstring& path) {
    if (archive_ext_lower(path) != "rez") {
        message_box(owner, L"编辑文件头 只允许编辑 .REZ 文件。", L"格式不支持", MB_ICONWARNING | MB_OK);
        return;
    }
    run_dialog(IDD_HEADER_EDITOR, owner, header_editor_proc, reinterpret_cast<LPARAM>(path.c_str()));
}

INT_PTR CALLBACK header_editor_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: return transparent_label(wparam);
    case WM_ERASEBKGND: return erase_background(dialog, wparam);
    default: break;
    }
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG: init_dialog(dialog, lparam); return TRUE;
    case WM_COMMAND: on_command(dialog, wparam); return TRUE;
    case WM_DESTROY: forget_path(dialog); return FALSE;
    default: return FALSE;
    }
}

}  // namespace rezui
