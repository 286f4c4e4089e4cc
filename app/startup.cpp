#include "app/startup.h"

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>

#include <cwctype>
#include <vector>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/shell/elevation.h"
#include "app/main_window/main_window.h"
#include "app/main_window/messages.h"
#include "app/operations/job_workers.h"
#include "app/selftest.h"
#include "app/tools/sfx_container.h"
#include "app/tools/sfx_run_window.h"
#include "app/common/window_helpers.h"
#include "archive/temp_note.h"
#include "archive/util.h"
#include "resources/resource.h"

namespace rezui {
namespace {

constexpr wchar_t kSfxPrefix[] = L"rez_sfx_";

std::wstring private_font_path() { return rez::exe_directory() + L"\\msyh.ttc"; }

bool starts_with(const std::wstring& s, const wchar_t* prefix) { return s.rfind(prefix, 0) == 0; }

// The process id written right after the prefix; 0 when there is none.
DWORD embedded_pid(const std::wstring& name, size_t start) {
    DWORD pid = 0;
    size_t i = start;
    for (; i < name.size() && iswdigit(name[i]) && i - start < 10; ++i) pid = pid * 10 + (name[i] - L'0');
    return i == start ? 0 : pid;
}

// A junction or symbolic link inside a leftover is removed itself, never followed: what it
// points to belongs to someone else. Its attributes are not touched either, since setting
// them through the link would change its target.
bool remove_entry(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != FALSE;
        return DeleteFileW(path.c_str()) != FALSE;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(path.c_str()) != FALSE;
    }
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        bool ok = true;
        do {
            std::wstring n = fd.cFileName;
            if (n == L"." || n == L"..") continue;
            if (!remove_entry(path + L"\\" + n, fd.dwFileAttributes)) ok = false;
        } while (ok && FindNextFileW(find, &fd));
        FindClose(find);
        if (!ok) return false;
    }
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

bool remove_tree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return remove_entry(path, attributes);
}

bool is_text_field(HWND window) {
    if (!window) return false;
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    return _wcsicmp(cls, L"Edit") == 0 || _wcsnicmp(cls, L"RichEdit", 8) == 0;
}

std::vector<std::wstring> command_line_args() {
    std::vector<std::wstring> out;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return out;
    for (int i = 1; i < argc; ++i) out.push_back(argv[i]);
    LocalFree(argv);
    return out;
}

// Elevated verbs come before anything else; -1 when the command line holds none.
int run_elevated_verb() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return -1;
    int code = argc > 1 ? handle_elevate_command(argc, argv) : -1;
    LocalFree(argv);
    return code;
}

// Shows the self-extract window when the program's own file carries a container; true
// when it did.
bool run_own_self_extractor(HINSTANCE instance) {
    std::vector<wchar_t> own(1040, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size()));
    if (n == 0 || n >= own.size()) return false;
    SfxPayload payload;
    if (!read_sfx(own.data(), payload)) {
        // A container that could not be unpacked (a full temporary folder) says why.
        if (!payload.error.empty()) MessageBoxW(nullptr, payload.error.c_str(), kProductName, MB_ICONERROR);
        return !payload.error.empty();
    }
    std::wstring unusable;
    if (!sfx_config_showable(payload.config, unusable)) {
        MessageBoxW(nullptr, unusable.c_str(), kProductName, MB_ICONERROR);
        DeleteFileW(payload.temp_archive.c_str());
        return true;
    }
    g_sfx_payload = &payload;
    // A window that cannot be made would leave a process with nothing to close.
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SFX_RUN), nullptr, sfx_run_proc, 0) == -1)
        MessageBoxW(nullptr, L"无法创建自解压窗口。", kProductName, MB_ICONERROR);
    g_sfx_payload = nullptr;
    g_sfx_run_id = nullptr;
    if (!payload.temp_archive.empty()) DeleteFileW(payload.temp_archive.c_str());
    return true;
}

// How long a second start waits for the instance that holds the mutex to show its window
// (it may still be starting) or to end (it may be closing).
constexpr DWORD kInstanceWaitMs = 60000;

}  // namespace

HANDLE take_single_instance(const CommandLine& cl, bool& handed_over) {
    handed_over = false;
    // Created owned in one step: of two starts at the same moment exactly one owns it.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kSingleInstanceMutex);
    if (!mutex) {
        handed_over = forward_to_running_instance(cl);
        return nullptr;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return mutex;
    // Another start owns it. Its window may not be there yet (it is starting) or no longer
    // (it is closing): hand over as soon as the window is there, or take over once that
    // process has let the mutex go.
    for (const DWORD start = GetTickCount(); GetTickCount() - start < kInstanceWaitMs;) {
        if (forward_to_running_instance(cl)) {
            CloseHandle(mutex);
            handed_over = true;
            return nullptr;
        }
        const DWORD waited = WaitForSingleObject(mutex, 200);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
    }
    // The owner neither shows a window nor ends: go on alone rather than never start.
    CloseHandle(mutex);
    return nullptr;
}

void load_ui_font() {
    std::wstring path = private_font_path();
    bool private_font = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
                        AddFontResourceExW(path.c_str(), FR_PRIVATE, nullptr) > 0;
    if (private_font)
        app.ui_font = CreateFontW(18, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei UI");
    else
        app.ui_font = CreateFontW(18, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"");
}

void unload_ui_font() {
    if (app.ui_font) DeleteObject(app.ui_font);
    app.ui_font = nullptr;
    std::wstring path = private_font_path();
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
}

std::wstring temp_folder() {
    wchar_t buffer[520] = {};
    DWORD n = GetTempPathW(520, buffer);
    if (n == 0 || n >= 520) return L"C:\\Windows\\Temp\\";
    return buffer;
}

bool process_is_running(DWORD pid) {
    if (pid == 0) return false;
    if (pid == GetCurrentProcessId()) return true;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // exists, but not ours to open
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

namespace {

bool digits_only(const std::wstring& s, size_t from, size_t to) {
    if (from >= to || to - from > 10) return false;
    for (size_t i = from; i < to; ++i)
        if (!iswdigit(s[i])) return false;
    return true;
}

// The process id of one of our work items: "qvl_<tag>_<pid>" or "qvl_<tag>_<pid>_<n>"
// (<tag> small letters: drag-out, pack-drop, conversion, wizard and autosave folders) or
// "rez_sfx_<pid>.rez"; 0 for any other name.
DWORD work_item_pid(const std::wstring& name) {
    if (starts_with(name, kSfxPrefix)) {
        if (name.size() <= 12 || name.compare(name.size() - 4, 4, L".rez") != 0) return 0;
        return digits_only(name, 8, name.size() - 4) ? embedded_pid(name, 8) : 0;
    }
    if (!starts_with(name, L"qvl_")) return 0;
    size_t at = 4;
    while (at < name.size() && name[at] >= L'a' && name[at] <= L'z') ++at;
    if (at == 4 || at >= name.size() || name[at] != L'_') return 0;
    const size_t pid_start = at + 1;
    size_t pid_end = pid_start;
    while (pid_end < name.size() && iswdigit(name[pid_end])) ++pid_end;
    if (!digits_only(name, pid_start, pid_end)) return 0;
    if (pid_end != name.size() && !(name[pid_end] == L'_' && digits_only(name, pid_end + 1, name.size()))) return 0;
    return embedded_pid(name, pid_start);
}

// "qvl_tmpnote_<pid>_<n>.txt": a note naming a temporary file written beside a user's file.
DWORD note_pid(const std::wstring& name) {
    constexpr wchar_t kNotePrefix[] = L"qvl_tmpnote_";
    if (!starts_with(name, kNotePrefix) || name.size() < 17 || name.compare(name.size() - 4, 4, L".txt") != 0)
        return 0;
    const size_t pid_start = 12;
    const size_t cut = name.find(L'_', pid_start);
    if (cut == std::wstring::npos || !digits_only(name, pid_start, cut) || !digits_only(name, cut + 1, name.size() - 4))
        return 0;
    return embedded_pid(name, pid_start);
}

}  // namespace

bool is_stale_temp_name(const std::wstring& name) {
    const DWORD pid = work_item_pid(name);
    // Another instance or a running self-extractor still uses its own items.
    return pid != 0 && !process_is_running(pid);
}

void cleanup_stale_temp(const std::wstring& folder_in) {
    std::wstring folder = folder_in.empty() ? temp_folder() : folder_in;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> stale;
    std::vector<std::pair<std::wstring, DWORD>> notes;
    do {
        std::wstring name = fd.cFileName;
        if (is_stale_temp_name(name)) {
            stale.push_back(name);
        } else if (DWORD pid = note_pid(name); pid && !process_is_running(pid)) {
            notes.emplace_back(name, pid);
        }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    // A killed save or conversion left its temporary file beside the user's file: the note
    // names it, and only a file carrying that process's temporary name is removed.
    for (const auto& [name, pid] : notes) rez::clear_stale_note(folder + name, pid);
    for (const auto& name : stale)
        if (!remove_tree(folder + name)) return;
}

bool accelerator_allowed(HWND target, UINT message, WPARAM key, bool ctrl_down) {
    if (message != WM_KEYDOWN && message != WM_SYSKEYDOWN) return true;
    HWND dialog = current_modeless_dialog;
    if (dialog && target && (target == dialog || IsChild(dialog, target))) return false;
    if (!is_text_field(target)) return true;
    if (!ctrl_down) return key != VK_BACK && key != VK_DELETE && key != VK_F2;
    return key != 'A' && key != 'C' && key != 'V' && key != 'X' && key != 'Z';
}

bool pre_translate_message(MSG& msg) {
    if (app.accelerators && app.main_window &&
        accelerator_allowed(msg.hwnd, msg.message, msg.wParam, GetKeyState(VK_CONTROL) < 0) &&
        TranslateAcceleratorW(app.main_window, app.accelerators, &msg))
        return true;
    if (current_modeless_dialog && IsDialogMessageW(current_modeless_dialog, &msg)) return true;
    return false;
}

void run_message_loop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (pre_translate_message(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int run_quarvel(HINSTANCE instance, int show_command) {
    bool ole = SUCCEEDED(OleInitialize(nullptr));
    if (!ole) OutputDebugStringW(L"Warning: OleInitialize failed; OLE drag-drop disabled.\n");
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);
    load_ui_font();
    cleanup_stale_temp();

    auto finish = [&](int code) {
        unload_ui_font();
        if (ole) OleUninitialize();
        return code;
    };

    std::vector<std::wstring> args = command_line_args();
    CommandLine cl = parse_command_line(args);
    int elevated = run_elevated_verb();
    if (elevated >= 0) return finish(elevated);
    make_paths_absolute(cl);

    // A self-extractor built on this program runs as itself, whatever else is running: it
    // looks at its own file before any hand-over.
    bool work = has_work(cl);
    if (run_own_self_extractor(instance) && !work) return finish(0);

    bool handed_over = false;
    HANDLE mutex = take_single_instance(cl, handed_over);
    if (handed_over) return finish(0);
    auto close_mutex = [&] {
        if (!mutex) return;
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    };

    if (!create_main_window(instance, show_command, cl)) {
        MessageBoxW(nullptr, L"无法创建主窗口", kProductName, MB_ICONERROR);
        close_mutex();
        return finish(1);
    }

    int code = 0;
    if (cl.selftest) {
        code = run_selftest(cl.selftest_path) ? 0 : 1;
        if (app.main_window) DestroyWindow(app.main_window);
    } else {
        run_message_loop();
    }
    // A quit that came without the window going (a headless run) still waits for the job.
    stop_workers(app.main_window, false);
    close_mutex();
    return finish(code);
}

}  // namespace rezui
