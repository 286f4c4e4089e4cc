#include "app/operations/entry_edits.h"

#include <vector>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/small_dialogs.h"
#include "app/common/window_helpers.h"
#include "app/main_window/main_window.h"
#include "app/main_window/task_ui.h"
#include "app/operations/autosave.h"
#include "app/operations/open_archive.h"
#include "app/operations/vdir_picker.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/rez_model.h"
#include "archive/util.h"

namespace rezui {
namespace {

constexpr wchar_t kAllFiles[] = L"所有文件 (*.*)\0*.*\0\0";

HWND owner() { return app.main_window; }

bool archive_shown() { return app.archive_loaded && !app.fs_mode; }

// A path with no component names the root: handed to the library it would mean the
// whole archive, which no row of the list stands for.
bool names_entry(const std::wstring& path) { return !rez::split_archive_path(rez::to_utf8(path)).empty(); }

std::vector<std::wstring> selected_entries() {
    std::vector<std::wstring> out;
    if (!archive_shown()) return out;
    for (const std::wstring& p : selected_item_paths())
        if (names_entry(p)) out.push_back(p);
    return out;
}

std::wstring selected_entry() {
    if (!archive_shown()) return L"";
    std::wstring p = first_selected_path();
    return names_entry(p) ? p : L"";
}

std::wstring last_component(const std::wstring& path) {
    size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring trimmed(const std::wstring& text) { return rez::from_utf8(rez::trim(rez::to_utf8(text))); }

void error_box(const std::wstring& text) { message_box(owner(), text, L"错误", MB_ICONERROR); }

void counts_box(int ok, int failed, const wchar_t* title) {
    message_box(owner(), L"成功 " + std::to_wstring(ok) + L" 个，失败 " + std::to_wstring(failed) + L" 个。", title,
                MB_ICONWARNING);
}

void rebuild() {
    fill_tree();
    refresh_list();
}

bool is_regular_file(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The content is read only when the archive is saved: a file that cannot be read now (held
// shut by another program, no permission) would make every later save fail.
bool is_readable_file(const std::wstring& path) {
    if (!is_regular_file(path)) return false;
    rez::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

// "添加失败" (with the file's path when several were picked), and why when the file could
// not be read.
std::wstring add_failure_text(const std::wstring& file, bool name_it) {
    std::wstring text = name_it ? L"添加失败: " + file : std::wstring(L"添加失败");
    if (is_regular_file(file) && !is_readable_file(file)) text += L"\n无法读取文件（可能正被其他程序占用）: " + file;
    return text;
}

// Folders made in a ZIP/7z model have no path inside the archive yet; an empty one would
// stand for the archive's root to the ZIP/7z jobs.
void complete_member_dirs(rez::Entry& dir) {
    for (rez::Entry& c : dir.children) {
        if (!c.is_dir) continue;
        if (c.member_dir.empty()) c.member_dir = dir.member_dir.empty() ? c.name : dir.member_dir + "/" + c.name;
        complete_member_dirs(c);
    }
}

void after_model_edit() {
    if (is_zip_or_7z_path(app.archive.path)) complete_member_dirs(app.archive.root);
}

// The file name an entry is written under, or empty when even its sanitised form would
// reach the target folder itself or its parent.
std::wstring extraction_name(const std::wstring& path) {
    const rez::Entry* e = app.archive.find_entry_const(rez::to_utf8(path));
    const std::string name = rez::sanitize_file_name(e ? e->name_with_ext() : rez::to_utf8(last_component(path)));
    if (name.find_first_not_of(". ") == std::string::npos) return L"";
    return rez::from_utf8(name);
}

void extract_rez_selection(const std::vector<std::wstring>& paths) {
    const std::wstring target = pick_folder(owner(), L"选择解压目标目录");
    if (target.empty()) return;
    int ok = 0, failed = 0;
    for (const std::wstring& p : paths) {
        const std::wstring name = extraction_name(p);
        if (name.empty()) {
            append_log(L"解压出错：条目名称会离开目标目录，已跳过: " + p);
            ++failed;
            continue;
        }
        const std::wstring dest = target + L"\\" + name;
        append_log(L"解压选中：" + p + L" → " + dest);
        std::wstring err;
        if (app.archive.extract_entries(rez::to_utf8(p), dest, err)) {
            ++ok;
        } else {
            append_log(L"解压出错：" + err);
            ++failed;
        }
    }
    std::wstring done = L"解包完成：成功 " + std::to_wstring(ok) + L" 个";
    if (failed) done += L"，失败 " + std::to_wstring(failed);
    append_log(done + L"。");
    if (failed) counts_box(ok, failed, L"解包完成");
    set_status_bar_text(L"已解压: " + target);
}

// Adds the picked files in order; the first that cannot be added ends the run. What was
// added before it stays, is shown and is saved.
void add_picked_files(const std::string& destination, const std::vector<std::wstring>& files) {
    int added = 0;
    bool failed = false;
    for (const std::wstring& f : files) {
        std::string entry_path;
        // The library takes a vanished file as an empty one: check it is still there.
        if (!is_readable_file(f) || !app.archive.add_file(destination, f, entry_path)) {
            error_box(add_failure_text(f, files.size() != 1));
            failed = true;
            break;
        }
        append_log(L"已添加：" + rez::from_utf8(entry_path) + L" ← " + f);
        ++added;
    }
    after_model_edit();
    rebuild();
    if (!failed) set_status_bar_text(L"已添加文件");
    if (added) start_autosave();
}

}  // namespace

bool refused_while_busy() {
    if (!app.busy) return false;
    refuse_while_busy();
    return true;
}

bool is_plain_entry_name(const std::wstring& name) {
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) return false;
    return name.find_first_not_of(L". ") != std::wstring::npos;
}

std::wstring create_model_folder(const std::wstring& path) {
    std::string made;
    app.archive.create_directory(rez::to_utf8(path), made);
    after_model_edit();
    mark_model_edited();
    return rez::from_utf8(made);
}

void extract_selected() {
    if (refused_while_busy()) return;
    const std::vector<std::wstring> paths = selected_entries();
    if (paths.empty()) {
        message_box(owner(), L"请先选择一个条目", L"提示", MB_ICONINFORMATION);
        return;
    }
    if (is_zip_or_7z_open())
        extract_zip_7z(paths);
    else
        extract_rez_selection(paths);
}

void add_files() {
    if (refused_while_busy()) return;
    if (is_zip_or_7z_open()) {
        add_files_zip_7z();
        return;
    }
    if (!archive_shown()) return;
    std::wstring destination;
    if (!pick_virtual_dir(owner(), destination)) return;
    const std::vector<std::wstring> files = pick_open_files(owner(), kAllFiles, L"添加文件");
    if (files.empty()) return;
    add_picked_files(rez::to_utf8(destination), files);
}

void add_folder() {
    if (refused_while_busy()) return;
    if (is_zip_or_7z_open()) {
        add_dir_zip_7z();
        return;
    }
    if (!archive_shown()) return;
    std::wstring destination;
    if (!pick_virtual_dir(owner(), destination)) return;
    const std::wstring folder = pick_folder(owner(), L"选择要添加的文件夹");
    if (folder.empty()) return;
    std::string dir_path;
    std::wstring err;
    const bool ok = app.archive.add_directory_tree(rez::to_utf8(destination), folder, dir_path, &err);
    after_model_edit();
    rebuild();
    if (!ok) {
        if (!err.empty()) append_log(L"添加失败: " + err);
        error_box(L"添加失败");
        return;
    }
    append_log(L"已添加目录：" + rez::from_utf8(dir_path) + L" ← " + folder);
    set_status_bar_text(L"已添加目录");
    start_autosave();
}

void remove_selected() {
    if (refused_while_busy()) return;
    if (is_zip_or_7z_open()) {
        delete_zip_7z();
        return;
    }
    const std::vector<std::wstring> paths = selected_entries();
    if (paths.empty()) return;
    const std::wstring question = paths.size() == 1
                                      ? L"确认移除条目 " + paths[0] + L"？"
                                      : L"确认移除选中的 " + std::to_wstring(paths.size()) + L" 个条目？";
    if (message_box(owner(), question, L"确认删除", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    int ok = 0, failed = 0;
    for (const std::wstring& p : paths) {
        if (app.archive.remove_entries(rez::to_utf8(p))) {
            append_log(L"已移除：" + p);
            ++ok;
        } else {
            append_log(L"移除失败：找不到 " + p);
            ++failed;
        }
    }
    rebuild();
    if (failed) counts_box(ok, failed, L"删除完成");
    start_autosave();
}

void rename_entry() {
    if (refused_while_busy()) return;
    const std::wstring path = selected_entry();
    if (path.empty()) return;
    std::wstring name = last_component(path);
    if (!ask_text(owner(), L"重命名", L"新名称（目录不含扩展名；文件可带扩展名）", name)) return;
    name = trimmed(name);
    // A ZIP/7z model is saved through files on disk, where a device name (CON, nul.txt) or a
    // character Windows refuses cannot be a file name: the entry takes the name it will be
    // saved under, and the user is told.
    const std::wstring asked = name;
    if (is_plain_entry_name(name) && is_zip_or_7z_open())
        name = rez::from_utf8(rez::sanitize_file_name(rez::to_utf8(name)));
    if (!is_plain_entry_name(name) || !app.archive.rename_entry(rez::to_utf8(path), rez::to_utf8(name))) {
        error_box(L"重命名失败（名称重复或无效）");
        return;
    }
    if (name != asked) {
        append_log(L"名称“" + asked + L"”不能用作 Windows 文件名，已改用“" + name + L"”");
        message_box(owner(), L"名称“" + asked + L"”不能用作 Windows 文件名（设备名或含有不允许的字符），已改用“" + name + L"”。",
                    L"重命名", MB_ICONINFORMATION);
    }
    append_log(L"已重命名：" + path + L" → " + name);
    rebuild();
    start_autosave();
}

void replace_entry() {
    if (refused_while_busy()) return;
    const std::wstring path = selected_entry();
    if (path.empty()) return;
    const std::wstring file = pick_open_file(owner(), kAllFiles, L"选择替换内容");
    if (file.empty()) return;
    if (!is_readable_file(file) || !app.archive.replace_entry(rez::to_utf8(path), file)) {
        error_box(L"替换失败");
        return;
    }
    append_log(L"已替换：" + path + L" ← " + file);
    refresh_list();
    set_status_bar_text(L"已替换: " + path);
    start_autosave();
}

void add_or_replace_files() {
    if (refused_while_busy()) return;
    if (!archive_shown()) return;
    const std::wstring file = pick_open_file(owner(), kAllFiles, L"选择要替换的文件");
    if (file.empty()) return;
    std::wstring destination;
    if (!pick_virtual_dir(owner(), destination)) return;
    const std::wstring name = last_component(file);
    const std::wstring target = destination.empty() ? name : destination + L"\\" + name;
    const rez::Entry* existing = app.archive.find_entry_const(rez::to_utf8(target));
    if (existing && existing->is_dir) {
        error_box(L"目标位置是一个目录，请改名后再试");
        return;
    }
    if (existing) {
        if (!is_readable_file(file) || !app.archive.replace_entry(rez::to_utf8(target), file)) {
            error_box(L"替换失败");
            return;
        }
        append_log(L"已替换：" + target + L" ← " + file);
        set_status_bar_text(L"已替换文件: " + target);
    } else {
        std::string entry_path;
        if (!is_readable_file(file) || !app.archive.add_file(rez::to_utf8(destination), file, entry_path)) {
            error_box(add_failure_text(file, false));
            return;
        }
        append_log(L"已添加：" + rez::from_utf8(entry_path) + L" ← " + file);
        set_status_bar_text(L"已添加文件: " + rez::from_utf8(entry_path));
    }
    after_model_edit();
    refresh_list();
    fill_tree();
    start_autosave();
}

void new_folder() {
    if (refused_while_busy()) return;
    if (!archive_shown()) return;
    std::wstring name = L"新建文件夹";
    if (!ask_text(owner(), L"新建文件夹", L"文件夹名称", name)) return;
    name = trimmed(name);
    if (name.empty()) return;
    if (!is_plain_entry_name(name)) {
        error_box(L"文件夹名称无效：" + name);
        return;
    }
    const std::wstring made =
        create_model_folder(app.current_folder.empty() ? name : app.current_folder + L"\\" + name);
    append_log(L"已新建文件夹：" + made);
    rebuild();
    start_autosave();
}

void move_or_copy_selected(bool move) {
    if (refused_while_busy()) return;
    if (selected_entries().empty()) return;
    std::wstring destination;
    if (!pick_virtual_dir(owner(), destination)) return;
    // The picker pumps messages: take the selection as it is now.
    const std::vector<std::wstring> paths = selected_entries();
    if (paths.empty()) return;
    int ok = 0, failed = 0;
    const std::string dest8 = rez::to_utf8(destination);
    for (const auto& p : paths) {
        const std::string p8 = rez::to_utf8(p);
        const bool done = move ? app.archive.move_entries(p8, dest8) : app.archive.copy_entries(p8, dest8);
        if (done) {
            append_log(std::wstring(move ? L"已移动：" : L"已复制：") + p + L" → " +
                       (destination.empty() ? L"(根)" : destination));
            ++ok;
        } else {
            append_log(std::wstring(move ? L"移动失败：" : L"复制失败：") + p);
            ++failed;
        }
    }
    after_model_edit();
    rebuild();
    if (failed > 0)
        counts_box(ok, failed, move ? L"移动完成" : L"复制完成");
    else if (ok > 0)
        append_log(std::wstring(move ? L"移动完成：成功 " : L"复制完成：成功 ") + std::to_wstring(ok) + L" 个");
    // The picker may have made a folder even when nothing moved.
    if (ok > 0 || app.unsaved_changes) start_autosave();
}

}  // namespace rezui
