#include "app/operations/entry_edits.h"

#include "app/common/unavailable.h"

namespace rezui {

void extract_selected() { report_unavailable(L"解压选中"); }
void add_files() { report_unavailable(L"添加文件"); }
void add_folder() { report_unavailable(L"添加目录"); }
void replace_entry() { report_unavailable(L"替换内容"); }
void add_or_replace_files() { report_unavailable(L"替换文件"); }
void remove_selected() { report_unavailable(L"删除"); }
void rename_entry() { report_unavailable(L"重命名"); }
void new_folder() { report_unavailable(L"新建文件夹"); }

}  // namespace rezui
