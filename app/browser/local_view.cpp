// The small file manager over the folder the list shows, and going up one level in
// both browsing modes.
#include "app/browser/local_view.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/browser/preview_pane.h"
#include "app/common/small_dialogs.h"
#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"
#include "archive/util.h"

namespace rezui {

namespace {

std::wstring after_last_backslash(const std::wstring& path) {
    size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// Text before the last "\" (empty when there is none).
std::wstring before_last_backslash(const std::wstring& path) {
    size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

bool is_directory(const std::wstring& path) {
    DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// A double-NUL-terminated list for SHFileOperationW.
std::vector<wchar_t> nul_list(const std::vector<std::wstring>& paths) {
    std::vector<wchar_t> out;
    for (const std::wstring& p : paths) {
        out.insert(out.end(), p.begin(), p.end());
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    if (paths.empty()) out.push_back(L'\0');
    return out;
}

// A name typed for rename or new folder must stay one name inside the shown folder:
// separators, a drive colon or "." / ".." would put the item somewhere else.
bool is_plain_name(const std::wstring& name) {
    if (name == L"." || name == L"..") return false;
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

}  // namespace

void copy_folder_into(HWND owner, const std::wstring& source, const std::wstring& dest) {
    std::vector<wchar_t> from = nul_list({source});
    std::vector<wchar_t> to = nul_list({dest});
    SHFILEOPSTRUCTW op{};
    op.hwnd = owner;
    op.wFunc = FO_COPY;
    op.pFrom = from.data();
    op.pTo = to.data();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_ALLOWUNDO;
    SHFileOperationW(&op);
}

void go_up() {
    if (app.busy) return;
    if (app.fs_mode) {
        if (app.local_subdir.empty()) {
            std::wstring parent = parent_local_dir();
            if (!parent.empty()) open_local_folder(parent);
        } else {
            navigate_local(before_last_backslash(app.local_subdir));
        }
        return;
    }
    if (!app.archive_loaded) return;
    if (app.current_folder.empty()) {
        const std::wstring& path = app.archive.path;
        size_t cut = path.rfind(L'\\');
        if (path.empty() || cut == std::wstring::npos) return;
        open_local_folder(path.substr(0, cut));
    } else {
        navigate_vdir(before_last_backslash(app.current_folder));
    }
}

void view_with_default_program() {
    std::wstring path = first_selected_path();
    if (path.empty()) {
        message_box(app.main_window, L"请先在列表中选中一个条目。", L"查看", MB_ICONINFORMATION);
        return;
    }
    if (!app.fs_mode) {
        if (app.archive_loaded) preview_entry(rez::to_utf8(path));
        return;
    }
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        message_box(app.main_window, L"找不到文件: " + path, L"查看", MB_ICONERROR);
        return;
    }
    shell_execute(app.main_window, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    append_log(L"查看（系统默认程序）: " + path);
}

void delete_local_items(HWND owner) {
    std::vector<std::wstring> paths = selected_item_paths();
    if (paths.empty()) return;
    if (message_box(owner, L"确定要删除选中的 " + std::to_wstring(paths.size()) + L" 个项目吗？", L"确认删除",
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    std::vector<wchar_t> from = nul_list(paths);
    SHFILEOPSTRUCTW op{};
    op.hwnd = owner;
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION;
    if (SHFileOperationW(&op) != 0) message_box(owner, L"删除失败", L"错误", MB_ICONERROR);
    refresh_list();
}

void rename_local_item(HWND owner) {
    std::wstring path = first_selected_path();
    if (path.empty()) return;
    std::wstring text = after_last_backslash(path);
    if (!ask_text(owner, L"重命名", L"新名称", text) || text.empty()) return;
    size_t cut = path.rfind(L'\\');
    std::wstring target = (cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1)) + text;
    if (!is_plain_name(text) || !MoveFileW(path.c_str(), target.c_str()))
        message_box(owner, L"重命名失败", L"错误", MB_ICONERROR);
    refresh_list();
    fill_tree();
}

void new_local_folder(HWND owner) {
    std::wstring text = L"新建文件夹";
    if (!ask_text(owner, L"新建文件夹", L"文件夹名称", text) || text.empty()) return;
    std::wstring folder = app.local_subdir.empty() ? app.local_root : app.local_root + L"\\" + app.local_subdir;
    if (!is_plain_name(text) ||
        (!CreateDirectoryW((folder + L"\\" + text).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS))
        message_box(owner, L"创建失败", L"错误", MB_ICONERROR);
    refresh_list();
}

void copy_to_clipboard(HWND owner) {
    std::vector<std::wstring> paths = selected_item_paths();
    if (paths.empty() || !OpenClipboard(owner)) return;
    EmptyClipboard();
    size_t bytes = sizeof(DROPFILES) + 2;
    for (const std::wstring& p : paths) bytes += (p.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (block) {
        auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
        if (!drop) {
            GlobalFree(block);
        } else {
            drop->pFiles = sizeof(DROPFILES);
            drop->fWide = TRUE;
            auto* out = reinterpret_cast<wchar_t*>(reinterpret_cast<uint8_t*>(drop) + sizeof(DROPFILES));
            for (const std::wstring& p : paths) {
                std::copy(p.begin(), p.end(), out);
                out += p.size();
                *out++ = L'\0';
            }
            *out = L'\0';
            GlobalUnlock(block);
            if (!SetClipboardData(CF_HDROP, block)) GlobalFree(block);
        }
    }
    CloseClipboard();
    append_log(L"已复制 " + std::to_wstring(paths.size()) + L" 个项目到剪贴板");
}

void paste_from_clipboard(HWND owner) {
    if (!IsClipboardFormatAvailable(CF_HDROP)) return;
    const std::wstring dest = current_local_path();
    if (!OpenClipboard(owner)) return;
    HANDLE data = GetClipboardData(CF_HDROP);
    auto* drop = data ? static_cast<DROPFILES*>(GlobalLock(data)) : nullptr;
    if (drop) {
        const size_t total = GlobalSize(data);
        // Walk the list without running past the block, whatever another program put there.
        if (drop->fWide && drop->pFiles >= sizeof(DROPFILES) && drop->pFiles < total) {
            const wchar_t* p = reinterpret_cast<const wchar_t*>(reinterpret_cast<const uint8_t*>(drop) + drop->pFiles);
            const wchar_t* end = reinterpret_cast<const wchar_t*>(reinterpret_cast<const uint8_t*>(drop) + total);
            while (p < end && *p) {
                const wchar_t* q = p;
                while (q < end && *q) ++q;
                std::wstring source(p, q);
                p = q + 1;
                std::wstring name = after_last_backslash(source);
                DWORD attrs = GetFileAttributesW(source.c_str());
                if (attrs == INVALID_FILE_ATTRIBUTES) continue;
                if (attrs & FILE_ATTRIBUTE_DIRECTORY) copy_folder_into(owner, source, dest);
                else CopyFileW(source.c_str(), (dest + L"\\" + name).c_str(), TRUE);
            }
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    refresh_list();
}

void send_to_folder(HWND owner, UINT command) {
    std::wstring path = first_selected_path();
    if (path.empty()) return;
    std::wstring dest;
    if (command == 2063 || command == 2064) {
        wchar_t buf[MAX_PATH] = {};
        int csidl = command == 2063 ? CSIDL_DESKTOPDIRECTORY : CSIDL_PERSONAL;
        if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return;
        dest = buf;
    } else {
        dest = pick_folder(owner, L"选择目标位置");
        if (dest.empty()) return;
    }
    std::wstring name = after_last_backslash(path);
    if (is_directory(path)) copy_folder_into(owner, path, dest);
    else CopyFileW(path.c_str(), (dest + L"\\" + name).c_str(), TRUE);
}

void show_in_explorer(HWND owner) {
    std::wstring path = first_selected_path();
    if (path.empty()) return;
    std::wstring folder = is_directory(path) ? path : before_last_backslash(path);
    if (!folder.empty()) shell_execute(owner, L"open", L"explorer.exe", folder.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace rezui
