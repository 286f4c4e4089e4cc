#include "app/common/unavailable.h"

#include "app/main_window/task_ui.h"
#include "app/common/window_helpers.h"

namespace rezui {

void report_unavailable(const std::wstring& what) {
    std::wstring text = what + L" 尚未提供";
    append_log(text);
    set_status_bar_text(text);
}

}  // namespace rezui
