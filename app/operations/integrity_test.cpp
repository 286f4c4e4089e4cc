#include "app/operations/job_workers.h"
#include "app/operations/integrity_test.h"

#include <windows.h>


#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/window_helpers.h"
#include "app/main_window/messages.h"
#include "app/main_window/task_ui.h"
#include "app/operations/zip_7z_jobs.h"
#include "archive/util.h"

namespace rezui {

namespace {

struct Counters {
    uint64_t passed = 0;
    uint64_t failed = 0;
    uint64_t bytes = 0;
    std::wstring first_error;
};

void post_test_done(TestDoneMsg* msg) {
    HWND window = app.main_window;
    const WPARAM all_passed = msg && msg->all_passed ? 1 : 0;
    if (!window || !PostMessageW(window, WM_TEST_DONE, all_passed, reinterpret_cast<LPARAM>(msg))) delete msg;
}

void check_item(const TestItem& item, Counters& c) {
    std::vector<uint8_t> data;
    std::wstring error;
    if (app.archive.read_entry_data(*item.entry, data, error) && data.size() == item.entry->size) {
        ++c.passed;
        c.bytes += item.entry->size;
        return;
    }
    ++c.failed;
    if (c.first_error.empty()) {
        c.first_error = L"读取失败: " + rez::from_utf8(item.path);
        if (!error.empty()) c.first_error += L"  (" + error + L")";
    }
}

std::wstring summary_of(const Counters& c) {
    std::wstring s = L"文件: " + app.archive.path + L"\n通过: " + std::to_wstring(c.passed) + L" 项\n失败: " +
                     std::to_wstring(c.failed) + L" 项\n总字节: " + format_size(c.bytes) + L"\n";
    if (c.failed == 0) return s + L"\n✓ 所有资源均能正常读取。";
    return s + L"\n✗ 部分资源读取失败，详见日志。\n首条错误: " + c.first_error;
}

// Runs on its own thread and reads the open archive while the busy state keeps every
// command that could change it away. Log lines reach the log box through the user-interface
// thread's message loop.
void test_body() {
    std::wstring load_error;
    app.archive.load_all_directories(load_error);
    if (!load_error.empty()) append_log(L"警告: 部分目录加载失败: " + load_error);
    if (!post_progress(0, L"正在收集文件列表…")) {
        post_test_done(nullptr);
        return;
    }
    std::vector<TestItem> items;
    collect_test_files(items, app.archive.root, "");
    const size_t total = items.size();
    Counters c;
    for (size_t i = 0; i < total; ++i) {
        const std::wstring text = L"正在测试 (" + std::to_wstring(i + 1) + L"/" + std::to_wstring(total) + L")…";
        if (!post_progress(static_cast<int>(i * 100 / total), text)) {
            append_log(L"测试已取消: " + std::to_wstring(c.passed) + L" 通过, " + std::to_wstring(c.failed) + L" 失败");
            post_test_done(nullptr);
            return;
        }
        check_item(items[i], c);
    }
    post_progress(100, L"测试完成");
    if (c.failed == 0)
        append_log(L"测试完成：全部通过 (" + std::to_wstring(c.passed) + L" 项, " + format_size(c.bytes) + L")");
    else
        append_log(L"测试完成：通过 " + std::to_wstring(c.passed) + L" / 失败 " + std::to_wstring(c.failed) +
                   L"  首条错误: " + c.first_error);
    post_test_done(new TestDoneMsg{summary_of(c), c.failed == 0});
}

}  // namespace

void collect_test_files(std::vector<TestItem>& out, const rez::Entry& e, const std::string& parent_path) {
    const std::string path = parent_path.empty() ? e.name : parent_path + "\\" + e.name;
    if (!e.is_dir) {
        out.push_back({&e, path});
        return;
    }
    for (const rez::Entry& child : e.children) collect_test_files(out, child, path);
}

void do_test() {
    if (!app.archive_loaded) {
        message_box(app.main_window, L"请先打开一个 REZ 资源包。", L"测试", MB_ICONINFORMATION);
        return;
    }
    if (app.busy) return;
    // Encrypted ZIP/7z members are read with the held password: ask for it first.
    if (is_zip_or_7z_open()) {
        if (!ask_extract_password(app.main_window, app.archive.path)) return;
        if (app.cancel.exchange(false)) {
            set_status_bar_text(L"已取消测试");
            return;
        }
    }
    append_log(L"=== 开始测试 REZ 完整性: " + app.archive.path + L" ===");
    set_status_bar_text(L"正在测试 REZ 完整性…");
    begin_busy();
    set_progress_marquee(true);
    // A worker rather than a pumped wait with the window disabled: Pause and Stop must
    // still take clicks while the test runs.
    start_worker(test_body);
}

}  // namespace rezui
