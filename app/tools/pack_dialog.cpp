#include "app/tools/pack_dialog.h"

#include "app/common/unavailable.h"

namespace rezui {

void run_pack_dialog(HWND, const std::vector<std::wstring>& sources) {
    if (sources.empty()) return;
    report_unavailable(L"打包");
}

void run_extract_dialog(HWND, const std::wstring& archive, const std::wstring&) {
    if (archive.empty()) return;
    report_unavailable(L"解压到此处");
}

}  // namespace rezui
