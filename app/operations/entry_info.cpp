#include "app/operations/entry_info.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/browser/browser.h"
#include "app/common/window_helpers.h"
#include "app/main_window/task_ui.h"
#include "archive/util.h"

namespace rezui {
namespace {

std::wstring hex(uint64_t value) {
    wchar_t buf[24];
    swprintf(buf, 24, L"%llX", static_cast<unsigned long long>(value));
    return buf;
}

std::wstring type_text(const rez::Entry& entry) {
    if (entry.is_dir) return L"目录";
    if (entry.ext.empty()) return L"资源";
    return L"资源 (." + rez::from_utf8(rez::to_lower_ascii(entry.ext)) + L")";
}

std::wstring size_text(const rez::Entry& entry) {
    if (entry.is_dir) return std::to_wstring(entry.children.size()) + L" 项";
    return std::to_wstring(entry.size) + L" 字节";
}

}  // namespace

std::wstring entry_details_text(const rez::Entry& entry, const std::wstring& key) {
    std::wstring text;
    text += L"名称：" + rez::from_utf8(entry.name_with_ext()) + L"\n";
    text += L"类型：" + type_text(entry) + L"\n";
    text += L"ID：" + (entry.is_dir ? std::wstring(L"-") : std::to_wstring(entry.id)) + L"\n";
    text += L"大小：" + size_text(entry) + L"\n";
    text += L"数据偏移：0x" + hex(entry.pos) + L"\n";
    text += L"虚拟路径：" + key + L"\n";
    return text;
}

std::wstring archive_info_text(const rez::RezFile& archive, const rez::Stats& stats) {
    std::wstring text;
    text += L"文件: " + archive.path + L"\n";
    text += L"版权: " + rez::from_utf8(archive.signature_text) + L"\n";
    text += L"描述: " + rez::from_utf8(archive.user_title) + L"\n";
    text += L"注释: " + archive.comment + L"\n";
    text += L"目录数: " + std::to_wstring(stats.dirs) + L"\n";
    text += L"文件数: " + std::to_wstring(stats.files) + L"\n";
    text += L"总大小: " + format_size(stats.bytes);
    return text;
}

void show_entry_details() {
    // Only rows of the open archive are entries; a local folder's rows are disk paths.
    if (!app.archive_loaded || app.fs_mode) return;
    const std::wstring key = first_selected_path();
    if (key.empty()) return;
    const std::string path = rez::to_utf8(key);
    const rez::Entry* entry = app.archive.find_entry(path);
    if (!entry) return;
    message_box(app.main_window, entry_details_text(*entry, key), L"条目详情", MB_ICONINFORMATION);
}

void show_archive_info() {
    if (!app.archive_loaded) return;
    const rez::Stats s = app.archive.stats();
    append_log(L"文件信息：" + app.archive.path + L"（目录 " + std::to_wstring(s.dirs) + L" 个，文件 " +
               std::to_wstring(s.files) + L" 个，总大小 " + format_size(s.bytes) + L"）");
    message_box(app.main_window, archive_info_text(app.archive, s), L"文件信息", MB_ICONINFORMATION);
}

}  // namespace rezui
