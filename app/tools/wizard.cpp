#include "app/tools/wizard.h"

#include "app/common/unavailable.h"

namespace rezui {

void show_wizard(HWND, const std::wstring&) { report_unavailable(L"压缩/解压向导"); }

}  // namespace rezui
