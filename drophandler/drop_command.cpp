#include "drophandler/drop_command.h"

#include <memory>
#include <new>

#include "drophandler/module.h"

namespace rezui {
namespace {

std::wstring file_name_of(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring left_out_text(const std::wstring& target, const DropCommand& command) {
    return L"有 " + std::to_wstring(command.left_out) + L" 个拖放的文件没有加入 " + file_name_of(target) +
           L"：文件太多或路径太长，超出了命令行的长度限制。\r\n已交给 Quarvel 添加的有 " +
           std::to_wstring(command.passed) + L" 个，其余的请分批拖放。";
}

struct Report {
    std::wstring text;
};

void show_report(void* param) {
    std::unique_ptr<Report> report(static_cast<Report*>(param));
    MessageBoxW(nullptr, report->text.c_str(), L"添加到资源包", MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

// Runs on its own thread so that Drop returns at once; the thread holds the library (a module
// reference and a live-object count) until the box is closed.
DWORD WINAPI report_thread(void* param) {
    show_report(param);
    module_release_object();
    FreeLibraryAndExitThread(lumbrel_module(), 0);
}

}  // namespace

std::wstring quote_path(const std::wstring& path) {
    size_t trailing = 0;
    while (trailing < path.size() && path[path.size() - 1 - trailing] == L'\\') ++trailing;
    return L"\"" + path + std::wstring(trailing, L'\\') + L"\"";
}

DropCommand build_drop_command(const std::wstring& target, HDROP drop) {
    DropCommand command;
    command.parameters = L" --add-to-rez " + quote_path(target);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        if (length >= kMaxDroppedName) {
            ++command.left_out;
            continue;
        }
        std::wstring name(length + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), length + 1));
        const std::wstring item = L" " + quote_path(name);
        if (command.parameters.size() + item.size() > kMaxDropParameters) {
            command.left_out += count - i;
            break;
        }
        command.parameters += item;
        ++command.passed;
    }
    return command;
}

void start_main_program(const std::wstring& parameters) {
    const std::wstring program = module_directory() + L"Quarvel.exe";
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

void report_left_out(const std::wstring& target, const DropCommand& command) {
    if (command.left_out == 0) return;
    Report* report = new (std::nothrow) Report{left_out_text(target, command)};
    if (!report) return;
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&report_thread),
                            &self)) {
        delete report;
        return;
    }
    module_add_object();
    HANDLE thread = CreateThread(nullptr, 0, report_thread, report, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
        return;
    }
    module_release_object();
    FreeLibrary(self);
    delete report;
}

}  // namespace rezui
