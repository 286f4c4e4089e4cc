#include "app/operations/member_model_save.h"

#include <vector>

#include "app/app_state.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "app/operations/member_rewrite.h"
#include "app/operations/open_archive.h"
#include "app/operations/work_folder.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/password.h"

namespace rezui {

bool member_model_save_may_start(const std::wstring& archive_path) {
    if (!ask_extract_password(app.main_window, archive_path)) return false;
    if (app.cancel.exchange(false)) {
        set_status_bar_text(L"已取消保存");
        return false;
    }
    return true;
}

bool save_member_model(rez::RezFile& model, const std::wstring& target, std::wstring& err) {
    const std::string ext = archive_ext_lower(target);
    if (ext != "zip" && ext != "7z") {
        err = L"不支持的归档格式";
        return false;
    }
    // An encrypted archive stays encrypted: without the password it is not written at all.
    std::wstring password;
    if (archive_is_encrypted(model.path, archive_ext_lower(model.path))) {
        password = rez::get_current_password();
        if (password.empty()) {
            err = L"归档已加密，需要密码才能保存";
            return false;
        }
    }
    // The model of this very archive (or one of its format, saved under another name) keeps
    // its members as stored; only added or replaced entries are read from disk.
    const std::string source_ext = archive_ext_lower(model.path);
    if (source_ext == ext && rez::file_exists(model.path)) {
        std::vector<ListedName> listing;
        std::wstring comment;
        if (!list_members(model.path, ext, listing, comment, err)) return false;
        std::vector<RewriteItem> plan;
        bool applicable = false;
        if (!plan_from_model(model, model.path, listing, plan, applicable, err)) return false;
        if (applicable) {
            std::optional<std::wstring> new_comment;
            if (model.comment != comment) new_comment = model.comment;
            return rewrite_archive_atomic(model.path, target, ext, new_comment, plan, password, err);
        }
    }
    WorkFolder work(L"autosave");
    if (!work.ok()) {
        err = L"无法创建临时工作目录";
        return false;
    }
    if (!model.extract_to_directory(work.path(), err, post_progress)) return false;
    std::vector<rez::ArchiveItem> items;
    if (!collect_folder_items(work.path(), "", true, items, err)) return false;
    return write_archive_atomic(target, ext, model.comment, items, err, password);
}

}  // namespace rezui
