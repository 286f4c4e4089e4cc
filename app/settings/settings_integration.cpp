// Page 0 of the settings dialog: the integration check boxes, their state labels and the apply.
#include "app/settings/settings_dialog.h"

#include "app/shell/context_menu.h"
#include "app/shell/elevation.h"
#include "app/shell/file_association.h"
#include "resources/resource.h"

namespace rezui {
namespace {

struct IntegrationItem {
    int check;
    int label;
    int bit;
    bool (*installed)();
};

bool rez_installed() { return is_association_installed(L".rez"); }
bool zip_installed() { return is_association_installed(L".zip"); }
bool sevenzip_installed() { return is_association_installed(L".7z"); }

const IntegrationItem kItems[] = {
    {IDC_SET_CONTEXT_MENU, IDC_SET_CONTEXT_STATE, kIntegrateContextMenu, is_context_menu_installed},
    {IDC_SET_SHELLNEW, IDC_SET_SHELLNEW_STATE, kIntegrateShellNew, is_shellnew_installed},
    {IDC_SET_ASSOC_REZ, IDC_SET_ASSOC_REZ_STATE, kIntegrateRez, rez_installed},
    {IDC_SET_ASSOC_ZIP, IDC_SET_ASSOC_ZIP_STATE, kIntegrateZip, zip_installed},
    {IDC_SET_ASSOC_7Z, IDC_SET_ASSOC_7Z_STATE, kIntegrate7z, sevenzip_installed},
};

const wchar_t* state_text(bool installed) { return installed ? L"✓ 已安装" : L"✗ 未安装"; }

}  // namespace

bool (*integration_apply)(int mask, int touch) = apply_integration_as_needed;

bool apply_integration_as_needed(int mask, int touch) {
    if (is_elevated()) return apply_integration_mask(mask, touch);
    std::wstring arguments = L"--elevate-apply-all " + std::to_wstring(mask);
    if (touch != kIntegrateAll) arguments += L" " + std::to_wstring(touch);
    return run_elevated(arguments);
}

void set_label_text(HWND dialog, int control_id, const wchar_t* text) {
    HWND label = GetDlgItem(dialog, control_id);
    if (!label) return;
    RECT rc{};
    GetWindowRect(label, &rc);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
    InvalidateRect(dialog, &rc, TRUE);
    SetWindowTextW(label, text);
}

// The check boxes show what the registry holds, not what the user last asked for.
void refresh_integration_state(HWND dialog) {
    bool installed[5];
    for (int i = 0; i < 5; ++i) installed[i] = kItems[i].installed();
    for (int i = 0; i < 5; ++i) set_label_text(dialog, kItems[i].label, state_text(installed[i]));
    for (int i = 0; i < 5; ++i)
        CheckDlgButton(dialog, kItems[i].check, installed[i] ? BST_CHECKED : BST_UNCHECKED);
}

bool apply_shell_integration(HWND dialog) {
    int mask = 0;
    for (const IntegrationItem& item : kItems)
        if (IsDlgButtonChecked(dialog, item.check) == BST_CHECKED) mask |= item.bit;
    const bool ok = integration_apply(mask, kIntegrateAll);
    refresh_integration_state(dialog);
    return ok;
}

// Installing an item again would drop the program the user picked for its extensions, and
// every apply may ask for elevation: only the boxes that differ from the registry are applied.
bool apply_changed_integration(HWND dialog) {
    int mask = 0, changed = 0;
    for (const IntegrationItem& item : kItems) {
        const bool wanted = IsDlgButtonChecked(dialog, item.check) == BST_CHECKED;
        if (wanted) mask |= item.bit;
        if (wanted != item.installed()) changed |= item.bit;
    }
    if (changed == 0) return true;
    const bool ok = integration_apply(mask, changed);
    refresh_integration_state(dialog);
    return ok;
}

}  // namespace rezui
