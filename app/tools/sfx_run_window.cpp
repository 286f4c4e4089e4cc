#include "app/tools/sfx_run_window.h"

#include "app/common/unavailable.h"

namespace rezui {

SfxPayload* g_sfx_payload = nullptr;
UINT_PTR g_sfx_run_id = 0;

INT_PTR CALLBACK sfx_run_proc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        report_unavailable(L"自解压");
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace rezui
