#include "app/operations/header_editor.h"

#include "app/common/unavailable.h"

namespace rezui {

void edit_rez_header(HWND, const std::wstring&) { report_unavailable(L"编辑资源包头"); }

}  // namespace rezui
