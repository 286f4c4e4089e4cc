#include "app/unavailable.h"

#include "app/task_ui.h"
#include "app/window_helpers.h"

namespace rezui {

void report_unavailable(const std::wstring& what) {
    std::wstring text = what + L" 尚未提供";
    append_log(text);
    set_status_bar_text(text);
}

}  // namespace rezui
