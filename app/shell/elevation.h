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
constexpr int kIntegrateAll = 31;

bool is_elevated();
// Runs this program through "runas" with the arguments and waits; true when it exited with 0.
bool run_elevated(const std::wstring& arguments);
// Handles every item of `touch` (bits as above) whatever an earlier one returned; the AND of
// their results. Installing an item again drops the user's own choice of program for its
// extensions, so a caller that changes a few items names only those.
bool apply_integration_mask(int mask, int touch = kIntegrateAll);

bool install_associations_elevated();    // .zip and .7z
bool uninstall_associations_elevated();  // .zip and .7z
bool install_context_menu_elevated(const std::wstring& ext);
bool uninstall_context_menu_elevated(const std::wstring& ext);

// -1 when argv[1] is none of the verbs; else 0 on success, 1 on failure.
int handle_elevate_command(int argc, wchar_t** argv);

}  // namespace rezui
