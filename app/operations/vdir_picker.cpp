#include "app/operations/vdir_picker.h"

#include "app/common/unavailable.h"

namespace rezui {

bool pick_virtual_dir(HWND, std::wstring&) {
    report_unavailable(L"选择目标目录");
    return false;
}

}  // namespace rezui
