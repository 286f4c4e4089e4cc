#include "app/shell/elevation.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <utility>

#include "app/shell/context_menu.h"
#include "app/shell/elevation_internal.h"
#include "app/shell/file_association.h"
#include "app/shell/registry_ops.h"
#include "archive/win_handle.h"

namespace rezui {
namespace {

ElevationProbe g_probe = nullptr;
ElevatedRunner g_runner = nullptr;
// Set while this process handles an "--elevate-" verb, i.e. while it is the copy that was
// started through "runas".
bool g_in_verb_run = false;

bool token_is_elevated() {
    rez::unique_kernel token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return false;
    return elevation.TokenIsElevated != 0;
}

bool runas_and_wait(const std::wstring& arguments) {
    std::wstring exe = program_path();
    if (exe.empty()) return false;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"runas";
    info.lpFile = exe.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) return false;  // also when the user declines the prompt
    if (!info.hProcess) return true;
    rez::unique_kernel process(info.hProcess);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 1;
    if (!GetExitCodeProcess(process.get(), &code)) return false;
    return code == 0;
}

// The context-menu work is the same for every extension; the extension only names the verb.
std::wstring ctx_verb(const wchar_t* action, const std::wstring& ext) {
    const wchar_t* suffix = ext == L".rez" ? L"rez" : ext == L".zip" ? L"zip" : L"7z";
    return std::wstring(L"--elevate-") + action + L"-ctx-" + suffix;
}

bool associations_work(bool install) {
    bool zip = install ? install_file_association(L".zip") : uninstall_file_association(L".zip");
    bool sevenz = install ? install_file_association(L".7z") : uninstall_file_association(L".7z");
    notify_shell_assoc_changed();
    return zip && sevenz;
}

bool shellnew_elevated(bool install) {
    if (should_rerun_elevated())
        return run_elevated(install ? L"--elevate-install-shellnew" : L"--elevate-uninstall-shellnew");
    return install ? install_shellnew() : uninstall_shellnew();
}

bool single_association(bool install, int argc, wchar_t** argv) {
    std::wstring ext = L".rez";
    if (argc >= 3 && argv[2] && argv[2][0] == L'.') ext = argv[2];
    bool ok = install ? install_file_association(ext) : uninstall_file_association(ext);
    if (ok) notify_shell_assoc_changed();
    return ok;
}

bool apply_all(int argc, wchar_t** argv) {
    int mask = argc >= 3 && argv[2] ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 0;
    // An optional second number names the items to touch; without it all five are.
    int touch = argc >= 4 && argv[3] ? static_cast<int>(std::wcstol(argv[3], nullptr, 10)) & kIntegrateAll
                                     : kIntegrateAll;
    return apply_integration_mask(mask, touch);
}

bool ctx_all(bool install) {
    bool ok = true;
    for (const wchar_t* ext : {L".rez", L".zip", L".7z"})
        ok = (install ? install_context_menu_elevated(ext) : uninstall_context_menu_elevated(ext)) && ok;
    return ok;
}

// Runs the verb's work; -1 when the text is no verb.
int run_verb(const std::wstring& verb, int argc, wchar_t** argv) {
    bool ok;
    if (verb == L"--elevate-apply-all") ok = apply_all(argc, argv);
    else if (verb == L"--elevate-install-pack") ok = true;
    else if (verb == L"--elevate-uninstall-pack") ok = uninstall_pack_verbs();
    else if (verb == L"--elevate-install-ctx-rez") ok = install_context_menu_elevated(L".rez");
    else if (verb == L"--elevate-uninstall-ctx-rez") ok = uninstall_context_menu_elevated(L".rez");
    else if (verb == L"--elevate-install-ctx-zip") ok = install_context_menu_elevated(L".zip");
    else if (verb == L"--elevate-uninstall-ctx-zip") ok = uninstall_context_menu_elevated(L".zip");
    else if (verb == L"--elevate-install-ctx-7z") ok = install_context_menu_elevated(L".7z");
    else if (verb == L"--elevate-uninstall-ctx-7z") ok = uninstall_context_menu_elevated(L".7z");
    else if (verb == L"--elevate-install-ctx-all") ok = ctx_all(true);
    else if (verb == L"--elevate-uninstall-ctx-all") ok = ctx_all(false);
    else if (verb == L"--elevate-install-shellnew") ok = shellnew_elevated(true);
    else if (verb == L"--elevate-uninstall-shellnew") ok = shellnew_elevated(false);
    else if (verb == L"--elevate-install-assoc-all") ok = install_associations_elevated();
    else if (verb == L"--elevate-uninstall-assoc-all") ok = uninstall_associations_elevated();
    else if (verb == L"--elevate-install-assoc") ok = single_association(true, argc, argv);
    else if (verb == L"--elevate-uninstall-assoc") ok = single_association(false, argc, argv);
    else return -1;
    return ok ? 0 : 1;
}

}  // namespace

void set_elevation_hooks_for_tests(ElevationProbe probe, ElevatedRunner runner) {
    g_probe = probe;
    g_runner = runner;
}

bool is_elevated() { return g_probe ? g_probe() : token_is_elevated(); }

bool run_elevated(const std::wstring& arguments) { return g_runner ? g_runner(arguments) : runas_and_wait(arguments); }

// A copy that was started elevated but is not (the platform or the user's policy gave it
// no admin token) would only start another copy with the same rights, and that one the
// next: it does the work itself with the rights it has, and its exit code says how it went.
bool should_rerun_elevated() { return !g_in_verb_run && !is_elevated(); }

bool apply_integration_mask(int mask, int touch) {
    mask &= 0xFF;
    bool ok = true;
    if (touch & kIntegrateContextMenu)
        ok = ((mask & kIntegrateContextMenu) ? install_context_menus() : uninstall_context_menus()) && ok;
    if (touch & kIntegrateShellNew) ok = ((mask & kIntegrateShellNew) ? install_shellnew() : uninstall_shellnew()) && ok;
    const struct {
        int bit;
        const wchar_t* ext;
    } associations[] = {{kIntegrateRez, L".rez"}, {kIntegrateZip, L".zip"}, {kIntegrate7z, L".7z"}};
    for (const auto& a : associations)
        if (touch & a.bit)
            ok = ((mask & a.bit) ? install_file_association(a.ext) : uninstall_file_association(a.ext)) && ok;
    notify_shell_assoc_changed();
    return ok;
}

bool install_associations_elevated() {
    if (should_rerun_elevated()) return run_elevated(L"--elevate-install-assoc-all");
    return associations_work(true);
}

bool uninstall_associations_elevated() {
    if (should_rerun_elevated()) return run_elevated(L"--elevate-uninstall-assoc-all");
    return associations_work(false);
}

bool install_context_menu_elevated(const std::wstring& ext) {
    if (should_rerun_elevated()) return run_elevated(ctx_verb(L"install", ext));
    return install_context_menus();
}

bool uninstall_context_menu_elevated(const std::wstring& ext) {
    if (should_rerun_elevated()) return run_elevated(ctx_verb(L"uninstall", ext));
    return uninstall_context_menus();
}

int handle_elevate_command(int argc, wchar_t** argv) {
    if (argc < 2 || !argv || !argv[1]) return -1;
    bool outer = std::exchange(g_in_verb_run, true);
    int code = run_verb(argv[1], argc, argv);
    g_in_verb_run = outer;
    return code;
}

}  // namespace rezui
