#include "app/settings/settings_dialog.h"

#include "app/common/unavailable.h"

namespace rezui {

void show_settings(HWND) { report_unavailable(L"程序设置"); }

}  // namespace rezui
