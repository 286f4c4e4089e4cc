#include "app/tools/convert_dialog.h"

#include "app/common/unavailable.h"

namespace rezui {

void show_convert_for_file(HWND, const std::wstring&) { report_unavailable(L"格式转换"); }

void show_convert_for_list(HWND, const std::vector<std::wstring>&) { report_unavailable(L"格式转换"); }

}  // namespace rezui
