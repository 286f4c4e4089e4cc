// The wizard's pages: which controls each page shows, the source list, the checks behind
// Next and the path rules the pages apply.
#include "app/tools/wizard.h"

#include <commctrl.h>

#include <algorithm>

#include "app/common/window_helpers.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {

namespace {

const int kStepOne[] = {IDC_WIZ_PACK, IDC_WIZ_EXTRACT, IDC_WIZ_NOTE};
const int kPackSource[] = {IDC_WIZ_SOURCES, IDC_WIZ_ADD_FILES, IDC_WIZ_ADD_FOLDER, IDC_WIZ_REMOVE,
                           IDC_WIZ_CLEAR};
const int kExtractSource[] = {IDC_WIZ_ARCHIVE, IDC_WIZ_BROWSE_ARCHIVE};
const int kPackTarget[] = {IDC_WIZ_OUTPUT,        IDC_WIZ_BROWSE_OUTPUT,   IDC_WIZ_DESCRIPTION_LABEL,
                           IDC_WIZ_DESCRIPTION,   IDC_WIZ_COPYRIGHT_LABEL, IDC_WIZ_COPYRIGHT,
                           IDC_WIZ_COMMENT_LABEL, IDC_WIZ_COMMENT,         IDC_WIZ_FORMAT_LABEL,
                           IDC_WIZ_FORMAT};
// ZIP and 7z archives have no header texts.
const int kRezHeader[] = {IDC_WIZ_DESCRIPTION_LABEL, IDC_WIZ_DESCRIPTION, IDC_WIZ_COPYRIGHT_LABEL,
                          IDC_WIZ_COPYRIGHT};
const int kExtractTarget[] = {IDC_WIZ_DESTINATION, IDC_WIZ_BROWSE_DESTINATION};
const int kRun[] = {IDC_WIZ_NAME,      IDC_WIZ_CURRENT,  IDC_WIZ_COUNT, IDC_WIZ_REMAINING, IDC_WIZ_RATE,
                    IDC_WIZ_TIME_LEFT, IDC_WIZ_PROGRESS, IDC_WIZ_LOG,   IDC_WIZ_SPACER};

template <size_t N>
void show_group(HWND dialog, const int (&ids)[N], bool on) {
    for (int id : ids) ShowWindow(GetDlgItem(dialog, id), on ? SW_SHOW : SW_HIDE);
}

void show_one(HWND dialog, int id, bool on) { ShowWindow(GetDlgItem(dialog, id), on ? SW_SHOW : SW_HIDE); }

void set_step_label(HWND dialog, int step, bool pack) {
    HWND label = GetDlgItem(dialog, IDC_WIZ_STEP_LABEL);
    if (step != 2 && step != 3) {
        ShowWindow(label, SW_HIDE);
        return;
    }
    const wchar_t* text = step == 2 ? (pack ? L"源列表（打包）：" : L"REZ/ZIP/7Z 文件（解压）：")
                                    : (pack ? L"输出路径：" : L"解压到目录：");
    SetWindowTextW(label, text);
    // Hidden and shown again so the new text is drawn over a clean background at once.
    ShowWindow(label, SW_HIDE);
    ShowWindow(label, SW_SHOW);
    UpdateWindow(label);
}

void set_step_headers(HWND dialog, int step) {
    const wchar_t* headers[] = {L"1. 选择操作", L"2. 选择源", L"3. 选择目标", L"4. 执行"};
    for (int i = 0; i < 4; ++i) {
        std::wstring text = headers[i];
        if (i + 1 == step) text = L"▶ " + text;
        set_dlg_text(dialog, IDC_WIZ_STEP1 + i, text);
    }
}

std::wstring lower_extension(const std::wstring& path) {
    return rez::from_utf8(rez::to_lower_ascii(rez::extension_of(rez::to_utf8(path))));
}

const wchar_t* format_extension(int format) { return format == 1 ? L"zip" : format == 2 ? L"7z" : L"rez"; }

bool is_archive_extension(const std::wstring& ext) { return ext == L"rez" || ext == L"zip" || ext == L"7z"; }

// The text before the last "\" or "/", empty when there is none.
std::wstring parent_of(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash);
}

bool is_folder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring check_sources(const WizardState& state) {
    if (state.sources.empty()) return L"请至少添加一个文件或文件夹";
    for (const std::wstring& source : state.sources) {
        if (!exists(source)) return L"以下路径不存在或已被删除：\n" + source;
    }
    return L"";
}

std::wstring check_output(HWND dialog, WizardState& state) {
    std::wstring path = get_dlg_text(dialog, IDC_WIZ_OUTPUT);
    if (path.empty()) return L"请填写输出路径";
    const std::wstring parent = parent_of(path);
    if (!parent.empty() && !is_folder(parent))
        return L"输出目录不存在：\n" + parent + L"\n请先创建该目录或选择其他路径";
    if (is_folder(path)) return L"输出路径不能指向一个已有的文件夹，请指定文件名";
    const std::wstring fitted = output_for_format(path, state.format);
    if (fitted != path) set_dlg_text(dialog, IDC_WIZ_OUTPUT, fitted);
    state.output = fitted;
    return L"";
}

}  // namespace

bool is_archive_path(const std::wstring& path) { return is_archive_extension(lower_extension(path)); }

std::wstring default_extract_dir(const std::wstring& archive) {
    const size_t slash = archive.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : archive.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? archive : archive.substr(slash + 1);
    std::wstring stem = name;
    if (name != L"." && name != L"..") {
        const size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos && dot > 0) stem = name.substr(0, dot);
    }
    if (stem.empty()) stem = L"extracted";
    const bool bare_drive = folder.size() == 2 && folder[1] == L':';
    const bool joined = folder.empty() || folder.back() == L'\\' || folder.back() == L'/' || bare_drive;
    return folder + (joined ? L"" : L"\\") + stem + L"\\";
}

std::wstring output_for_format(const std::wstring& path, int format) {
    const std::wstring wanted = format_extension(format);
    const std::wstring ext = lower_extension(path);
    if (ext == wanted) return path;
    if (is_archive_extension(ext)) return path.substr(0, path.size() - ext.size()) + wanted;
    return path + L"." + wanted;
}

std::wstring swap_archive_extension(const std::wstring& path, int format) {
    const std::wstring ext = lower_extension(path);
    if (!is_archive_extension(ext)) return path;
    return path.substr(0, path.size() - ext.size()) + format_extension(format);
}

std::wstring get_dlg_text(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? get_window_text(control) : L"";
}

void set_dlg_text(HWND dialog, int id, const std::wstring& text) {
    if (HWND control = GetDlgItem(dialog, id)) SetWindowTextW(control, text.c_str());
}

void set_wizard_mode_labels(HWND dialog, int step, bool pack) {
    show_group(dialog, kStepOne, step == 1);
    show_group(dialog, kPackSource, step == 2 && pack);
    show_group(dialog, kExtractSource, step == 2 && !pack);
    show_group(dialog, kPackTarget, step == 3 && pack);
    if (step == 3 && pack && wizard_state && wizard_state->format != 0) show_group(dialog, kRezHeader, false);
    show_group(dialog, kExtractTarget, step == 3 && !pack);
    show_group(dialog, kRun, step == 4);
    show_one(dialog, IDC_WIZ_BACK, step > 1);
    show_one(dialog, IDC_WIZ_NEXT, step < 4);
    show_one(dialog, IDC_WIZ_START, step == 4);
    set_step_label(dialog, step, pack);
    set_step_headers(dialog, step);
    // Repainted after the headers: the first arrow overlaps the first header's box, and a
    // header repainted on its own would cover the arrow's tip.
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The list's one column of whole paths: as wide as the list, or as the longest path (the
// list then scrolls sideways).
static void fit_source_column(HWND list, const std::wstring& path) {
    RECT rc{};
    GetClientRect(list, &rc);
    const int text = static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(path.c_str())));
    const int current = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    const int width = std::max({text + 24, current, static_cast<int>(rc.right)});
    if (width != current) SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, width);
}

void wizard_add_source(HWND dialog, const std::wstring& path) {
    HWND list = GetDlgItem(dialog, IDC_WIZ_SOURCES);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(path.c_str());
    item.lParam = reinterpret_cast<LPARAM>(new std::wstring(path));
    if (SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
        delete reinterpret_cast<std::wstring*>(item.lParam);
        return;
    }
    fit_source_column(list, path);
    if (wizard_state) wizard_state->sources.push_back(path);
}

void clear_wizard_source_list(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_WIZ_SOURCES);
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) delete list_row_path(list, row);
    ListView_DeleteAllItems(list);
}

std::wstring check_wizard_page(HWND dialog, WizardState& state) {
    switch (state.step) {
        case 1:
            if (IsDlgButtonChecked(dialog, IDC_WIZ_PACK) != BST_CHECKED &&
                IsDlgButtonChecked(dialog, IDC_WIZ_EXTRACT) != BST_CHECKED)
                return L"请选择操作模式（压缩或解压）";
            return L"";
        case 2:
            if (state.pack) return check_sources(state);
            state.archive = get_dlg_text(dialog, IDC_WIZ_ARCHIVE);
            if (state.archive.empty()) return L"请选择要解压的 REZ/ZIP/7Z 文件";
            if (!rez::file_exists(state.archive)) return L"文件不存在，请重新选择：\n" + state.archive;
            return L"";
        case 3:
            if (state.pack) return check_output(dialog, state);
            state.destination = get_dlg_text(dialog, IDC_WIZ_DESTINATION);
            if (state.destination.empty()) return L"请选择解压目录";
            if (exists(state.destination) && !is_folder(state.destination))
                return L"解压路径不是文件夹，请重新选择";
            return L"";
        default:
            return L"";
    }
}

}  // namespace rezui
