// ZIP and 7z jobs. The rewrites and the extraction of ZIP/7z members are not built yet;
// until they are, each command says so in the log and changes nothing.
#include "app/operations/zip_7z_jobs.h"

#include "app/app_state.h"
#include "app/operations/open_archive.h"
#include "app/common/small_dialogs.h"
#include "app/common/unavailable.h"
#include "app/common/window_helpers.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/zip_reader.h"

namespace rezui {

namespace {

// Prompts shown before the fifth failure ends the dialogue.
constexpr int kMaxPasswordPrompts = 4;

bool archive_needs_password(const std::wstring& path, const std::string& ext) {
    return ext == "zip" ? rez::zip_needs_password(path) : rez::sevenzip_needs_password(path);
}

}  // namespace

bool is_zip_or_7z_open() { return !app.fs_mode && app.archive_loaded && is_zip_or_7z_path(app.archive.path); }

bool ask_extract_password(HWND owner, const std::wstring& path) {
    const std::string ext = archive_ext_lower(path);
    if ((ext != "zip" && ext != "7z") || !archive_needs_password(path, ext)) return true;
    set_status_bar_text(L"正在验证归档密码: " + path);
    app.cancel.store(false);
    bool wrong = !rez::get_current_password().empty();
    std::wstring err;
    uint32_t reason = 0;
    if (verify_archive_password(path, err, &reason)) return true;
    for (int attempt = 1;; ++attempt) {
        if (reason == 2) {
            message_box(owner, err + L"\n\n归档数据损坏，无法继续解压。", L"无法解压", MB_ICONERROR);
            return false;
        }
        if (attempt > kMaxPasswordPrompts) {
            message_box(owner, err + L"\n\n多次重试仍无法解密，归档可能损坏。", L"无法解压", MB_ICONERROR);
            return false;
        }
        rez::set_current_password(L"");
        const wchar_t* prompt = !wrong         ? L"该归档已加密，请输入密码以解压："
                                : attempt == 1 ? L"密码错误，请重新输入密码："
                                               : L"密码仍然错误，请重新输入：";
        std::wstring answer;
        if (!ask_password(owner, L"输入密码", prompt, answer) || answer.empty()) {
            // The caller reads the flag and treats the question as declined.
            app.cancel.store(true);
            return true;
        }
        rez::set_current_password(answer);
        if (verify_archive_password(path, err, &reason)) return true;
        wrong = true;
    }
}

void extract_zip_7z(const std::vector<std::wstring>&) { report_unavailable(L"解压 ZIP/7z 条目"); }
void delete_zip_7z() { report_unavailable(L"从 ZIP/7z 删除条目"); }
void add_files_zip_7z() { report_unavailable(L"向 ZIP/7z 添加文件"); }
void add_dir_zip_7z() { report_unavailable(L"向 ZIP/7z 添加文件夹"); }
void set_archive_password(const std::wstring&) { report_unavailable(L"设置归档密码"); }

}  // namespace rezui
