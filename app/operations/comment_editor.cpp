#include "app/operations/comment_editor.h"

#include <string>

#include "app/app_state.h"
#include "app/browser/preview_pane.h"
#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/main_window/main_window.h"
#include "app/main_window/task_ui.h"
#include "app/operations/autosave.h"
#include "app/operations/open_archive.h"
#include "archive/sevenzip_comment.h"
#include "archive/zip_writer.h"
#include "resources/resource.h"

namespace rezui {
namespace {

// The archive the dialog was opened for: a second start may open another one while the
// dialog is up, and the comment must not land in that one.
std::wstring edited_archive;

void log_comment_change(const std::wstring& comment) {
    append_log(L"已更新文件注释（" + (comment.empty() ? std::wstring(L"已清空") : std::to_wstring(comment.size()) + L" 字符") +
               L"）");
}

// ZIP and 7z comments live in the file itself; the library writes the new file beside
// the old one and moves it over, so a failed write leaves the archive as it was.
void write_comment_into_file(const std::wstring& path, const std::wstring& comment, const std::string& ext) {
    bool ok = ext == "zip" ? rez::zip_set_comment(path, comment) : rez::sevenzip_set_comment(path, comment);
    append_log(ok ? L"已将注释写入归档文件" : L"警告：注释写入归档文件失败");
}

void accept_comment(HWND dialog) {
    if (app.busy) {
        message_box(dialog, kBusyRefusalText, L"提示", MB_ICONINFORMATION);
        return;
    }
    if (!app.archive_loaded || app.archive.path != edited_archive) {
        message_box(dialog, L"资源包已更换，注释未保存。", L"提示", MB_ICONWARNING);
        EndDialog(dialog, 0);
        return;
    }
    HWND edit = GetDlgItem(dialog, IDC_COMMENT_EDIT);
    std::wstring comment = edit ? get_window_text(edit) : std::wstring();
    app.archive.comment = comment;
    log_comment_change(comment);
    show_comment_box();
    const std::wstring& path = app.archive.path;
    const std::string ext = archive_ext_lower(path);
    if (ext == "zip" || ext == "7z")
        write_comment_into_file(path, comment, ext);
    else if (!path.empty())
        start_autosave();
    EndDialog(dialog, 1);
}

}  // namespace

void show_comment_editor(HWND owner) {
    if (!app.archive_loaded) {
        message_box(owner, L"请先打开资源包", L"提示", MB_ICONINFORMATION | MB_OK);
        return;
    }
    run_dialog(IDD_COMMENT, owner, comment_proc, 0);
}

INT_PTR CALLBACK comment_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG:
        edited_archive = app.archive.path;
        apply_dialog_look(dialog);
        SetDlgItemTextW(dialog, IDC_COMMENT_EDIT, app.archive.comment.c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK)
            accept_comment(dialog);
        else if (LOWORD(wparam) == IDCANCEL)
            EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace rezui
