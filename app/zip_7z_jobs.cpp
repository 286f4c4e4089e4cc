// ZIP and 7z jobs. The rewrites and the extraction of ZIP/7z members are not built yet;
// until they are, each command says so in the log and changes nothing.
#include "app/zip_7z_jobs.h"

#include "app/app_state.h"
#include "app/open_archive.h"
#include "app/unavailable.h"

namespace rezui {

bool is_zip_or_7z_open() {
    if (app.fs_mode || !app.archive_loaded) return false;
    const std::string ext = archive_ext_lower(app.archive.path);
    return ext == "zip" || ext == "7z";
}

void extract_zip_7z(const std::vector<std::wstring>&) { report_unavailable(L"解压 ZIP/7z 条目"); }
void delete_zip_7z() { report_unavailable(L"从 ZIP/7z 删除条目"); }
void add_files_zip_7z() { report_unavailable(L"向 ZIP/7z 添加文件"); }
void add_dir_zip_7z() { report_unavailable(L"向 ZIP/7z 添加文件夹"); }
void set_archive_password(const std::wstring&) { report_unavailable(L"设置归档密码"); }

}  // namespace rezui
