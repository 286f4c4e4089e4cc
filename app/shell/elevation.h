// Elevation test, the elevated re-run of this program, and the "--elevate-..." verbs
// such a re-run carries.
#pragma once

#include <string>

namespace rezui {

// Bits of the integration mask: a set bit installs the item, a clear bit removes it.
enum IntegrationBits : int {
    kIntegrateContextMenu = 1,
    kIntegrateShellNew = 2,
    kIntegrateRez = 4,
    kIntegrateZip = 8,
    kIntegrate7z = 16,
};

bool is_elevated();
// Runs this program through "runas" with the arguments and waits; true when it exited with 0.
bool run_elevated(const std::wstring& arguments);
// Handles all five items whatever an earlier one returned; the AND of their results.
bool apply_integration_mask(int mask);

bool install_associations_elevated();    // .zip and .7z
bool uninstall_associations_elevated();  // .zip and .7z
bool install_context_menu_elevated(const std::wstring& ext);
bool uninstall_context_menu_elevated(const std::wstring& ext);

// -1 when argv[1] is none of the verbs; else 0 on success, 1 on failure.
int handle_elevate_command(int argc, wchar_t** argv);

}  // namespace rezui
