#include "app/tools/sfx_builder.h"

#include <shellapi.h>

#include <vector>

#include "app/app_state.h"
#include "app/common/dialog_look.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/tools/sfx_container.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {

std::wstring sfx_background_path;
std::wstring* sfx_pick_result = nullptr;

namespace {

const wchar_t kMissing[] = L"缺少必填项";

std::wstring item_text(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item ? get_window_text(item) : std::wstring();
}

std::string item_utf8(HWND dialog, int id) { return rez::to_utf8(item_text(dialog, id)); }

void set_item_text(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

void enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

bool is_file(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void sync_shortcut_fields(HWND dialog) {
    const bool on = checked(dialog, IDC_SFX_SHORTCUT);
    enable(dialog, IDC_SFX_TARGET, on);
    enable(dialog, IDC_SFX_TARGET_PICK, on);
}

void sync_mode_fields(HWND dialog) {
    const bool wizard = checked(dialog, IDC_SFX_MODE_INSTALLER);
    enable(dialog, IDC_SFX_INTRO, wizard);
    enable(dialog, IDC_SFX_LICENSE, wizard);
}

void init_builder(HWND dialog) {
    sfx_background_path.clear();
    const SfxConfig defaults;
    set_item_text(dialog, IDC_SFX_TITLE, rez::from_utf8(defaults.title));
    set_item_text(dialog, IDC_SFX_DESCRIPTION, rez::from_utf8(defaults.description));
    CheckDlgButton(dialog, IDC_SFX_SHORTCUT, BST_CHECKED);
    CheckDlgButton(dialog, IDC_SFX_MODE_SFX, BST_CHECKED);
    CheckDlgButton(dialog, IDC_SFX_MODE_INSTALLER, BST_UNCHECKED);
    enable(dialog, IDC_SFX_INTRO, false);
    enable(dialog, IDC_SFX_LICENSE, false);
    enable(dialog, IDC_SFX_README, true);
    enable(dialog, IDC_SFX_README_LOAD, true);
    set_item_text(dialog, IDC_SFX_HOST, rez::exe_directory() + L"\\Hobbleton.exe");
    set_item_text(dialog, IDC_SFX_REZ, app.archive_loaded ? app.archive.path : std::wstring());
    apply_dialog_look(dialog);
}

void pick_into(HWND dialog, int field, const wchar_t* filter, const wchar_t* title) {
    const std::wstring path = pick_open_file(dialog, filter, title);
    if (!path.empty()) set_item_text(dialog, field, path);
}

void choose_output(HWND dialog) {
    const std::wstring path = pick_save_file(dialog, L"程序 (*.exe)\0*.exe\0\0", L"输出自解压程序", L"sfx.exe");
    if (!path.empty()) set_item_text(dialog, IDC_SFX_OUTPUT, path);
}

void choose_default_path(HWND dialog) {
    const std::wstring folder = pick_folder(dialog, L"选择默认解压路径");
    if (!folder.empty()) set_item_text(dialog, IDC_SFX_DEFAULT_PATH, folder);
}

void choose_background(HWND dialog) {
    const std::wstring path = pick_open_file(
        dialog, L"图片文件 (*.png;*.jpg;*.jpeg;*.bmp;*.gif)\0*.png;*.jpg;*.jpeg;*.bmp;*.gif\0所有文件 (*.*)\0*.*\0\0",
        L"选择背景图片");
    if (path.empty()) return;
    sfx_background_path = path;
    set_item_text(dialog, IDC_SFX_IMAGE, path);
}

void load_readme(HWND dialog) {
    const std::wstring path =
        pick_open_file(dialog, L"文本文件 (*.txt)\0*.txt\0所有文件 (*.*)\0*.*\0\0", L"加载自述文件");
    if (path.empty()) return;
    std::vector<uint8_t> bytes;
    rez::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !rez::read_all(file, bytes)) {
        message_box(dialog, L"读取自述文件失败", L"错误", MB_ICONERROR);
        return;
    }
    const std::string raw = rez::vector_to_string(bytes);
    std::wstring text = rez::from_utf8(raw);
    // Not UTF-8 throughout: the file is taken as GBK, the usual encoding of such texts here.
    if (text.find(L'\xFFFD') != std::wstring::npos || (text.empty() && !raw.empty()))
        text = rez::from_utf8(rez::codepage_to_utf8(bytes.data(), bytes.size(), 936));
    set_item_text(dialog, IDC_SFX_README, text);
}

void pick_entry_into(HWND dialog, int field) {
    if (!app.archive_loaded) {
        message_box(dialog, L"当前没有已打开的 REZ 文件，无法浏览内部文件", L"提示", MB_ICONINFORMATION);
        return;
    }
    std::wstring choice;
    sfx_pick_result = &choice;
    const INT_PTR picked = run_dialog(IDD_ENTRY_PICKER, dialog, sfx_pick_entry_proc);
    sfx_pick_result = nullptr;
    if (picked > 0 && !choice.empty()) set_item_text(dialog, field, choice);
}

SfxConfig config_from_fields(HWND dialog) {
    SfxConfig c;
    c.title = item_utf8(dialog, IDC_SFX_TITLE);
    c.description = item_utf8(dialog, IDC_SFX_DESCRIPTION);
    c.default_path = item_utf8(dialog, IDC_SFX_DEFAULT_PATH);
    c.create_shortcut = checked(dialog, IDC_SFX_SHORTCUT);
    c.shortcut_target = item_utf8(dialog, IDC_SFX_TARGET);
    c.mode = checked(dialog, IDC_SFX_MODE_INSTALLER) ? "installer" : "sfx";
    c.intro = item_utf8(dialog, IDC_SFX_INTRO);
    c.license = item_utf8(dialog, IDC_SFX_LICENSE);
    c.readme = item_utf8(dialog, IDC_SFX_README);
    c.run_program = item_utf8(dialog, IDC_SFX_RUN_PROGRAM);
    if (!sfx_background_path.empty()) {
        std::vector<uint8_t> image;
        if (rez::read_file(sfx_background_path, image)) c.image_base64 = base64_encode(image.data(), image.size());
    }
    return c;
}

void build(HWND dialog) {
    const std::wstring host = item_text(dialog, IDC_SFX_HOST);
    const std::wstring rez = item_text(dialog, IDC_SFX_REZ);
    if (rez.empty()) {
        message_box(dialog, L"请先选择 REZ 资源包。", kMissing, MB_ICONWARNING);
        return;
    }
    if (!is_file(rez)) {
        message_box(dialog, L"REZ 资源包不存在：\n" + rez, kMissing, MB_ICONWARNING);
        return;
    }
    if (host.empty() || !is_file(host)) {
        message_box(dialog, L"请选择有效的宿主程序（默认为 Hobbleton.exe）。", kMissing, MB_ICONWARNING);
        return;
    }
    const std::wstring output = sfx_output_path(item_text(dialog, IDC_SFX_OUTPUT), host);
    const SfxConfig config = config_from_fields(dialog);
    std::wstring error;
    if (!build_sfx(host, rez, output, config, error)) {
        message_box(dialog, error, L"创建失败", MB_ICONERROR);
        return;
    }
    append_log(L"自解压包生成完成：" + output);
    const std::wstring select = L"/select,\"" + output + L"\"";
    shell_execute(dialog, L"open", L"explorer.exe", select.c_str(), nullptr, SW_SHOWNORMAL);
    EndDialog(dialog, 1);
}

bool on_builder_command(HWND dialog, WORD id) {
    switch (id) {
    case IDC_SFX_HOST_BROWSE:
        pick_into(dialog, IDC_SFX_HOST, L"程序 (*.exe)\0*.exe\0所有文件 (*.*)\0*.*\0\0", L"选择宿主程序");
        return true;
    case IDC_SFX_REZ_BROWSE: pick_into(dialog, IDC_SFX_REZ, L"REZ 资源包 (*.rez)\0*.rez\0\0", L"选择 REZ"); return true;
    case IDC_SFX_OUTPUT_BROWSE: choose_output(dialog); return true;
    case IDC_SFX_PATH_BROWSE: choose_default_path(dialog); return true;
    case IDC_SFX_IMAGE_BROWSE: choose_background(dialog); return true;
    case IDC_SFX_SHORTCUT: sync_shortcut_fields(dialog); return true;
    case IDC_SFX_MODE_SFX:
    case IDC_SFX_MODE_INSTALLER: sync_mode_fields(dialog); return true;
    case IDC_SFX_README_LOAD: load_readme(dialog); return true;
    case IDC_SFX_TARGET_PICK: pick_entry_into(dialog, IDC_SFX_TARGET); return true;
    case IDC_SFX_RUN_PICK: pick_entry_into(dialog, IDC_SFX_RUN_PROGRAM); return true;
    case IDC_SFX_BUILD: build(dialog); return true;
    case IDCANCEL: EndDialog(dialog, 0); return true;
    default: return false;
    }
}

// ---- picker ---------------------------------------------------------------------------

// Files below entry, depth first in stored order; only folders already loaded have children.
void list_files(HWND list, const rez::Entry& entry, const std::wstring& prefix) {
    for (const rez::Entry& child : entry.children) {
        const std::wstring path = prefix + rez::from_utf8(child.name_with_ext());
        if (child.is_dir) {
            list_files(list, child, path + L"\\");
            continue;
        }
        if (child.hidden) continue;
        const LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
        if (index >= 0) SendMessageW(list, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(new std::wstring(path)));
    }
}

void free_items(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SFX_PICK_LIST);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        delete reinterpret_cast<std::wstring*>(SendMessageW(list, LB_GETITEMDATA, i, 0));
        SendMessageW(list, LB_SETITEMDATA, i, 0);
    }
}

void accept_pick(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SFX_PICK_LIST);
    const LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (index >= 0 && sfx_pick_result) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
        if (length >= 0) {
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<size_t>(length));
            *sfx_pick_result = text;
        }
    }
    free_items(dialog);
    EndDialog(dialog, 1);
}

bool on_picker_command(HWND dialog, WPARAM wparam) {
    switch (LOWORD(wparam)) {
    case IDOK: accept_pick(dialog); return true;
    case IDC_SFX_PICK_LIST:
        if (HIWORD(wparam) != LBN_DBLCLK) return false;
        accept_pick(dialog);
        return true;
    case IDCANCEL:
        free_items(dialog);
        EndDialog(dialog, 0);
        return true;
    default: return false;
    }
}

}  // namespace

std::string base64_encode(const uint8_t* data, size_t size) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (size - i == 1) {
        const uint32_t v = uint32_t(data[i]) << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (size - i == 2) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::wstring sfx_output_path(const std::wstring& output_field, const std::wstring& host) {
    std::wstring output = output_field;
    if (output.empty()) {
        const size_t dot = host.rfind(L'.');
        output = (dot == std::wstring::npos ? host : host.substr(0, dot)) + L"_sfx.exe";
    }
    if (output.size() < 4 || _wcsicmp(output.c_str() + output.size() - 4, L".exe") != 0) output += L".exe";
    return output;
}

INT_PTR show_sfx_builder(HWND owner) { return run_dialog(IDD_SFX_BUILDER, owner, sfx_builder_proc); }

INT_PTR CALLBACK sfx_builder_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG: init_builder(dialog); return TRUE;
    case WM_COMMAND: return on_builder_command(dialog, LOWORD(wparam)) ? TRUE : FALSE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK sfx_pick_entry_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    INT_PTR result = 0;
    if (dialog_ctlcolor(message, wparam, lparam, &result)) return result;
    switch (message) {
    case WM_INITDIALOG:
        list_files(GetDlgItem(dialog, IDC_SFX_PICK_LIST), app.archive.root, L"");
        apply_dialog_look(dialog);
        return TRUE;
    case WM_COMMAND: return on_picker_command(dialog, wparam) ? TRUE : FALSE;
    // Closing by other means (the window going with its owner) still frees the copies.
    case WM_DESTROY: free_items(dialog); return FALSE;
    default: return FALSE;
    }
}

}  // namespace rezui
