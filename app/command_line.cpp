#include "app/command_line.h"

#include "app/main_window/messages.h"
#include "app/common/window_helpers.h"

namespace rezui {
namespace {

bool is_option(const std::wstring& arg) { return !arg.empty() && arg[0] == L'-'; }

std::vector<std::wstring>* verb_list(CommandLine& cl, const std::wstring& arg) {
    if (arg == L"--pack") return &cl.pack_list;
    if (arg == L"--convert") return &cl.convert_list;
    if (arg == L"--extract-here") return &cl.extract_here_list;
    if (arg == L"--edit-header") return &cl.edit_header_list;
    return nullptr;
}

void absolute_all(std::vector<std::wstring>& list) {
    for (auto& p : list) p = absolute_path(p);
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::wstring>& args) {
    CommandLine cl;
    size_t i = 0;
    while (i < args.size()) {
        const std::wstring& arg = args[i];
        if (auto* list = verb_list(cl, arg)) {
            ++i;
            while (i < args.size() && !is_option(args[i])) list->push_back(args[i++]);
            continue;  // the argument that ended the list is examined as a verb itself
        }
        if (arg == L"--add-to-rez") {
            ++i;
            if (i < args.size()) cl.add_to_rez_target = args[i++];
            while (i < args.size() && !is_option(args[i])) cl.add_to_rez_files.push_back(args[i++]);
            continue;
        }
        if (arg == L"--selftest") {
            i += 2;
            continue;
        }
        if (!is_option(arg)) cl.files.push_back(arg);
        ++i;
    }
    for (size_t j = 0; j + 1 < args.size(); ++j) {
        if (args[j] == L"--selftest") {
            cl.selftest = true;
            cl.selftest_path = args[j + 1];
        }
    }
    return cl;
}

std::wstring absolute_path(const std::wstring& path) {
    if (path.empty()) return path;
    DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    std::wstring out(need, L'\0');
    DWORD got = GetFullPathNameW(path.c_str(), need, out.data(), nullptr);
    if (got == 0 || got >= need) return path;
    out.resize(got);
    return out;
}

void make_paths_absolute(CommandLine& cl) {
    absolute_all(cl.files);
    absolute_all(cl.pack_list);
    absolute_all(cl.convert_list);
    absolute_all(cl.extract_here_list);
    absolute_all(cl.edit_header_list);
    absolute_all(cl.add_to_rez_files);
    cl.add_to_rez_target = absolute_path(cl.add_to_rez_target);
    cl.selftest_path = absolute_path(cl.selftest_path);
}

bool has_work(const CommandLine& cl) {
    return !cl.files.empty() || !cl.pack_list.empty() || !cl.convert_list.empty() || !cl.extract_here_list.empty() ||
           !cl.edit_header_list.empty() || !cl.add_to_rez_files.empty();
}

bool is_headless_run(const CommandLine& cl) {
    return cl.files.empty() && (!cl.pack_list.empty() || !cl.convert_list.empty() || !cl.extract_here_list.empty() ||
                                !cl.edit_header_list.empty());
}

std::vector<HandOver> build_hand_over(const CommandLine& cl) {
    std::vector<HandOver> out;
    for (const auto& p : cl.files) out.push_back({COPYDATA_OPEN, p});
    for (const auto& p : cl.pack_list) out.push_back({COPYDATA_PACK, p});
    for (const auto& p : cl.convert_list) out.push_back({COPYDATA_CONVERT, p});
    for (const auto& p : cl.extract_here_list) out.push_back({COPYDATA_EXTRACT_HERE, p});
    for (const auto& p : cl.edit_header_list) out.push_back({COPYDATA_EDIT_HEADER, p});
    if (!cl.add_to_rez_target.empty()) {
        std::wstring text = cl.add_to_rez_target;
        for (const auto& f : cl.add_to_rez_files) text += L"\n" + f;
        out.push_back({COPYDATA_ADD_TO_REZ, text});
    }
    return out;
}

std::vector<wchar_t> copydata_payload(const std::wstring& text) {
    std::vector<wchar_t> out(text.begin(), text.end());
    out.push_back(L'\0');
    return out;
}

bool copydata_text(const COPYDATASTRUCT* cds, std::wstring& text) {
    text.clear();
    if (!cds || !cds->lpData || cds->cbData < 2) return false;
    const auto* data = static_cast<const wchar_t*>(cds->lpData);
    text.assign(data, cds->cbData / 2 - 1);
    return true;
}

bool forward_to_running_instance(const CommandLine& cl) {
    HWND window = FindWindowW(kMainWindowClass, nullptr);
    if (!window) {
        bool tool_verbs = !cl.pack_list.empty() || !cl.convert_list.empty() || !cl.extract_here_list.empty() ||
                          !cl.edit_header_list.empty();
        if (!tool_verbs) return false;
        for (int attempt = 0; attempt < 8 && !window; ++attempt) {
            Sleep(200);
            window = FindWindowW(kMainWindowClass, nullptr);
        }
        if (!window) return false;
    }
    std::vector<HandOver> items = build_hand_over(cl);
    // The running instance may bring its own windows forward (a box it shows for the
    // handed-over file) once this process has passed its foreground right on.
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner) AllowSetForegroundWindow(owner);
    // Raised before the hand-over, never after it: a box the running instance shows for
    // the file must not end up behind its own disabled window.
    if (!cl.files.empty() || items.empty()) raise_window(window);
    for (const HandOver& item : items) {
        std::vector<wchar_t> payload = copydata_payload(item.text);
        COPYDATASTRUCT cds = {};
        cds.dwData = item.code;
        cds.cbData = static_cast<DWORD>(payload.size() * sizeof(wchar_t));
        cds.lpData = payload.data();
        SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
    // A plain second start (nothing to hand over) means "show me the program": the running
    // instance raises itself on an empty hand-over.
    if (items.empty()) {
        COPYDATASTRUCT cds = {};
        cds.dwData = COPYDATA_OPEN;
        SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
    return true;
}

}  // namespace rezui
