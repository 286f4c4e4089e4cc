#include "app/operations/dropped_files.h"

#include "app/app_state.h"
#include "app/main_window/messages.h"
#include "app/common/unavailable.h"

namespace rezui {

void on_drop_files(HWND, HDROP drop) {
    if (drop) DragFinish(drop);
    report_unavailable(L"拖放文件");
}

void queue_archive_for_batch(HWND window, const std::wstring& path) {
    if (path.empty()) return;
    app.pending_convert.push_back(path);
    if (app.batch_timer) KillTimer(window, app.batch_timer);
    app.batch_timer = SetTimer(window, ID_TIMER_BATCH, 250, nullptr);
}

void extract_here(HWND, const std::wstring&) { report_unavailable(L"解压到此处"); }

void start_add_dropped(HWND, const std::wstring&, const std::vector<std::wstring>&) {
    report_unavailable(L"添加到资源包");
}

}  // namespace rezui
