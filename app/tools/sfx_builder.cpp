#include "app/tools/sfx_builder.h"

#include "app/common/unavailable.h"

namespace rezui {

void show_sfx_builder(HWND) { report_unavailable(L"自解压包"); }

}  // namespace rezui
