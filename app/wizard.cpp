#include "app/wizard.h"

#include "app/unavailable.h"

namespace rezui {

void show_wizard(HWND, const std::wstring&) { report_unavailable(L"压缩/解压向导"); }

}  // namespace rezui
