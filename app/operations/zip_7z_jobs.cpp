// ZIP and 7z jobs: the commands ask their questions on the user-interface thread, then one
// detached worker reads the archive file and, for a rewrite, writes the new archive beside
// it before moving it into place. Workers touch only their own copies and the held password.
#include "app/operations/zip_7z_jobs.h"

#include <shobjidl.h>


#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/small_dialogs.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/operations/job_workers.h"
#include "app/operations/member_rewrite.h"
#include "app/operations/open_archive.h"
#include "app/operations/work_folder.h"
#include "archive/password.h"
#include "archive/rez_model.h"
#include "archive/sevenzip_reader.h"
#include "archive/util.h"
#include "archive/zip_reader.h"

namespace rezui {

std::vector<std::wstring> (*files_to_add_picker)(HWND owner) = pick_files_to_add;

namespace {

// Prompts shown before the fifth failure ends the dialogue.
constexpr int kMaxPasswordPrompts = 4;

// The wording of one password dialogue.
struct PasswordTexts {
    const wchar_t* title;
    const wchar_t* first;        // nothing held yet
    const wchar_t* held_wrong;   // first prompt after the held password failed
    const wchar_t* still_wrong;  // every later prompt
    const wchar_t* fail_title;
    const wchar_t* damaged;
    const wchar_t* exhausted;
};

constexpr PasswordTexts kExtractTexts{L"输入密码",
                                      L"该归档已加密，请输入密码以解压：",
                                      L"密码错误，请重新输入密码：",
                                      L"密码仍然错误，请重新输入：",
                                      L"无法解压",
                                      L"\n\n归档数据损坏，无法继续解压。",
                                      L"\n\n多次重试仍无法解密，归档可能损坏。"};

constexpr PasswordTexts kCurrentPasswordTexts{L"当前密码",
                                              L"归档已加密，请输入当前密码以读取：",
                                              L"当前密码错误，请重新输入：",
                                              L"密码仍然错误，请重新输入：",
                                              L"无法设置密码",
                                              L"\n\n归档数据损坏，无法读取旧内容。",
                                              L"\n\n多次重试仍无法解密旧内容，归档可能损坏。"};

enum class PasswordOutcome { ready, declined, failed };

// Verifies the held password and asks until one works (see ask_extract_password).
PasswordOutcome password_dialogue(HWND owner, const std::wstring& path, const PasswordTexts& texts) {
    bool wrong = !rez::get_current_password().empty();
    std::wstring err;
    uint32_t reason = 0;
    if (verify_archive_password(path, err, &reason)) return PasswordOutcome::ready;
    for (int attempt = 1;; ++attempt) {
        if (reason == 2) {
            message_box(owner, err + texts.damaged, texts.fail_title, MB_ICONERROR);
            return PasswordOutcome::failed;
        }
        if (attempt > kMaxPasswordPrompts) {
            message_box(owner, err + texts.exhausted, texts.fail_title, MB_ICONERROR);
            return PasswordOutcome::failed;
        }
        rez::set_current_password(L"");
        const wchar_t* prompt = !wrong ? texts.first : attempt == 1 ? texts.held_wrong : texts.still_wrong;
        std::wstring answer;
        if (!ask_password(owner, texts.title, prompt, answer) || answer.empty()) return PasswordOutcome::declined;
        rez::set_current_password(answer);
        if (verify_archive_password(path, err, &reason)) return PasswordOutcome::ready;
        wrong = true;
    }
}

// The password question before a job; true to go on. A declined question shows its text in
// the status bar and leaves no cancel request behind for the next job.
bool password_ready(const std::wstring& path, const wchar_t* declined_text) {
    if (!ask_extract_password(app.main_window, path)) return false;
    if (app.cancel.exchange(false)) {
        set_status_bar_text(declined_text);
        return false;
    }
    return true;
}

// The password a rewrite writes with: the held one for an encrypted archive, none otherwise
// (the held password may belong to another archive).
std::wstring rewrite_password(const std::wstring& path, const std::string& ext) {
    return archive_is_encrypted(path, ext) ? rez::get_current_password() : std::wstring();
}

// The job frame: busy state, starting text, one tracked worker that runs work(err) and
// posts its outcome as a TaskResult of the given kind.
template <class Work>
void start_job(const std::wstring& text, TaskKind kind, const std::wstring& result_path, Work work) {
    begin_busy();
    set_progress(0, text);
    start_worker([kind, result_path, work] { post_outcome(kind, result_path, work); });
}

bool any_encrypted_below(const rez::Entry& e) {
    if (!e.is_dir) return e.encrypted;
    for (const rez::Entry& c : e.children)
        if (any_encrypted_below(c)) return true;
    return false;
}

bool selection_has_encrypted(const std::vector<std::wstring>& keys) {
    for (const std::wstring& key : keys) {
        const rez::Entry* e = app.archive.find_entry(rez::to_utf8(key));
        if (e && any_encrypted_below(*e)) return true;
    }
    return false;
}

// The current folder inside the archive as a member path prefix ("docs/en/", or empty).
std::string member_prefix() {
    std::string prefix = rez::to_utf8(app.current_folder);
    for (char& c : prefix)
        if (c == '\\') c = '/';
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    return prefix;
}

std::wstring last_component(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// Worker of add files / add folder: every member is kept as stored, and a new item whose
// name is already a member's (as the archive's reader gives it) takes that member's place.
bool add_items(const std::wstring& path, const std::string& ext, std::vector<RewriteItem> items, std::wstring& err) {
    std::vector<ListedName> listing;
    std::wstring comment;
    if (!list_members(path, ext, listing, comment, err)) return false;
    return rewrite_archive_atomic(path, path, ext, std::nullopt, plan_add(listing, std::move(items)),
                                  rewrite_password(path, ext), err);
}

// A new item read from a disk file, with the file's time.
bool read_new_item(const std::wstring& file, const std::string& name, std::vector<RewriteItem>& out,
                   std::wstring& err) {
    RewriteItem item;
    item.name = name;
    if (!rez::read_file(file, item.data)) {
        err = L"读取失败: " + file;
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    if (GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &fa))
        item.mtime = (uint64_t{fa.ftLastWriteTime.dwHighDateTime} << 32) | fa.ftLastWriteTime.dwLowDateTime;
    out.push_back(std::move(item));
    return true;
}

// Whether a delete of the selection takes this listed member (a folder member too).
bool deleted_by(const ListedName& m, const MemberSelection& selection) {
    if (path_selected(m.name, selection)) return true;
    if (!m.is_dir) return false;
    const std::string dir = member_file_name(m.name, false);
    for (const std::string& d : selection.dirs)
        if (!d.empty() && rez::iequals_ascii(dir, d)) return true;
    return false;
}

// The guards every ZIP/7z command starts with; also drops a cancel request that an earlier
// job or question left, so that it cannot stop this one.
bool command_may_start() {
    if (!is_zip_or_7z_open() || app.busy) return false;
    app.cancel.store(false);
    return true;
}

}  // namespace

bool is_zip_or_7z_open() { return !app.fs_mode && app.archive_loaded && is_zip_or_7z_path(app.archive.path); }

bool ask_extract_password(HWND owner, const std::wstring& path) {
    app.cancel.store(false);
    const std::string ext = archive_ext_lower(path);
    if ((ext != "zip" && ext != "7z") || !archive_is_encrypted(path, ext)) return true;
    set_status_bar_text(L"正在验证归档密码: " + path);
    switch (password_dialogue(owner, path, kExtractTexts)) {
    case PasswordOutcome::ready: return true;
    case PasswordOutcome::failed: return false;
    case PasswordOutcome::declined:
        // The caller reads the flag and treats the question as declined.
        app.cancel.store(true);
        return true;
    }
    return false;
}

void collect_selection(const std::vector<std::wstring>& keys, MemberSelection& selection) {
    for (const std::wstring& key : keys) {
        const rez::Entry* e = app.archive.find_entry(rez::to_utf8(key));
        if (!e) continue;
        if (e->is_dir) {
            // A folder made in the model only has no member path; an empty one would match
            // every member.
            if (!e->member_dir.empty()) selection.dirs.push_back(e->member_dir);
        } else if (e->member) {
            selection.files.push_back(e->member->member_name);
        }
    }
}

std::vector<std::wstring> pick_files_to_add(HWND owner) {
    // The shell's dialog returns any number of files; a fixed text buffer would not.
    std::vector<std::wstring> out;
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
        append_log(L"无法打开文件选择对话框");
        return out;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(L"选择要添加的文件");
    const COMDLG_FILTERSPEC filter{L"所有文件 (*.*)", L"*.*"};
    dialog->SetFileTypes(1, &filter);
    IShellItemArray* chosen = nullptr;
    if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResults(&chosen))) {
        DWORD count = 0;
        chosen->GetCount(&count);
        for (DWORD i = 0; i < count; ++i) {
            IShellItem* item = nullptr;
            if (FAILED(chosen->GetItemAt(i, &item))) continue;
            PWSTR name = nullptr;
            if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
                out.push_back(name);
                CoTaskMemFree(name);
            }
            item->Release();
        }
        chosen->Release();
    }
    dialog->Release();
    return out;
}

void extract_zip_7z(const std::vector<std::wstring>& keys) {
    if (!command_may_start()) return;
    const std::wstring path = app.archive.path;
    const std::wstring target = pick_folder(app.main_window, L"选择解压目标文件夹");
    if (target.empty()) return;
    if ((keys.empty() || selection_has_encrypted(keys)) && !password_ready(path, L"已取消解压")) return;
    MemberSelection selection;
    collect_selection(keys, selection);
    if (!archive_unlocked) {
        archive_unlocked = true;
        fill_tree();
        refresh_list();
    }
    const std::string ext = archive_ext_lower(path);
    const bool all = keys.empty();
    start_job(L"正在解压...", TASK_EXTRACTED, target, [=](std::wstring& err) {
        return extraction_job(target, path, ext, selection, all, err);
    });
}

void delete_zip_7z() {
    if (!command_may_start()) return;
    const std::wstring path = app.archive.path;
    const std::vector<std::wstring> keys = selected_item_paths();
    MemberSelection selection;
    collect_selection(keys, selection);
    if (selection.empty()) {
        message_box(app.main_window, L"请先选择要删除的项目", L"提示", MB_ICONINFORMATION);
        return;
    }
    const std::wstring question =
        L"确认从归档中删除选中的 " + std::to_wstring(keys.size()) + L" 个项目？此操作会直接改写归档文件。";
    if (message_box(app.main_window, question, L"确认删除", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    const std::string ext = archive_ext_lower(path);
    // A ZIP carries what stays over as stored; a 7z may have to read it back, and then an
    // encrypted archive needs its password.
    if (ext == "7z" && !password_ready(path, L"已取消删除")) return;
    start_job(L"正在删除并重写归档...", TASK_REWRITTEN, path, [=](std::wstring& err) {
        std::vector<ListedName> listing;
        std::wstring comment;
        if (!list_members(path, ext, listing, comment, err)) return false;
        std::vector<RewriteItem> kept;
        for (size_t i = 0; i < listing.size(); ++i)
            if (!deleted_by(listing[i], selection)) {
                RewriteItem item;
                item.member = i;
                kept.push_back(std::move(item));
            }
        return rewrite_archive_atomic(path, path, ext, std::nullopt, kept, rewrite_password(path, ext), err);
    });
}

void add_files_zip_7z() {
    if (!command_may_start()) return;
    const std::wstring path = app.archive.path;
    const std::string ext = archive_ext_lower(path);
    const std::vector<std::wstring> files = files_to_add_picker(app.main_window);
    if (files.empty()) return;
    // New members take the archive's protection, so an encrypted archive needs its password.
    if (!password_ready(path, L"已取消添加")) return;
    const std::string prefix = member_prefix();
    start_job(ext == "zip" ? L"正在追加文件..." : L"正在添加文件...", TASK_REWRITTEN, path, [=](std::wstring& err) {
        std::vector<RewriteItem> items;
        for (const std::wstring& file : files)
            if (!read_new_item(file, prefix + rez::to_utf8(last_component(file)), items, err)) return false;
        return add_items(path, ext, std::move(items), err);
    });
}

void add_dir_zip_7z() {
    if (!command_may_start()) return;
    const std::wstring path = app.archive.path;
    const std::string ext = archive_ext_lower(path);
    std::wstring folder = pick_folder(app.main_window, L"选择要添加的目录");
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    const std::wstring name = last_component(folder);
    // A drive root ("D:\") has no name to put the files under.
    if (folder.empty() || name.empty() || name.back() == L':') return;
    if (!password_ready(path, L"已取消添加")) return;
    const std::string prefix = member_prefix() + rez::to_utf8(name) + "/";
    start_job(ext == "zip" ? L"正在追加目录..." : L"正在添加目录...", TASK_REWRITTEN, path, [=](std::wstring& err) {
        std::vector<rez::ArchiveItem> found;
        if (!collect_folder_items(folder, prefix, true, found, err)) return false;
        std::vector<RewriteItem> items;
        for (rez::ArchiveItem& f : found) {
            RewriteItem item;
            item.name = std::move(f.name);
            item.data = std::move(f.data);
            // The disk file behind the item, for its time.
            std::wstring disk = folder + L"\\" + rez::from_utf8(item.name.substr(prefix.size()));
            for (wchar_t& c : disk)
                if (c == L'/') c = L'\\';
            WIN32_FILE_ATTRIBUTE_DATA fa{};
            if (GetFileAttributesExW(disk.c_str(), GetFileExInfoStandard, &fa))
                item.mtime = (uint64_t{fa.ftLastWriteTime.dwHighDateTime} << 32) | fa.ftLastWriteTime.dwLowDateTime;
            items.push_back(std::move(item));
        }
        return add_items(path, ext, std::move(items), err);
    });
}

void set_archive_password(const std::wstring& new_password) {
    if (!command_may_start()) return;
    const std::wstring path = app.archive.path;
    const std::string ext = archive_ext_lower(path);
    if (archive_is_encrypted(path, ext)) {
        switch (password_dialogue(app.main_window, path, kCurrentPasswordTexts)) {
        case PasswordOutcome::ready: break;
        case PasswordOutcome::failed: return;
        case PasswordOutcome::declined:
            message_box(app.main_window, L"已取消设置密码", L"提示", MB_ICONINFORMATION);
            return;
        }
    }
    const wchar_t* text = new_password.empty() ? L"正在取消加密并重写归档..." : L"正在以新密码重写归档...";
    start_job(text, TASK_REWRITTEN, path, [=](std::wstring& err) {
        if (!rewrite_with_new_password(path, ext, new_password, err)) return false;
        rez::set_current_password(new_password);
        return true;
    });
}

}  // namespace rezui
