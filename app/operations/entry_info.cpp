#include "app/operations/entry_info.h"

#include "app/common/unavailable.h"

namespace rezui {

void show_archive_info() { report_unavailable(L"文件信息"); }
void show_entry_details() { report_unavailable(L"查看条目详情"); }

}  // namespace rezui
