#include "app/tools/search_window.h"

#include "app/common/unavailable.h"

namespace rezui {

void show_search_window(HWND) { report_unavailable(L"查找"); }

}  // namespace rezui
