// The program's command line: verb lists, the self-test request, and the hand-over of a
// second start to the running instance (WM_COPYDATA, one message per item).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

struct CommandLine {
    std::vector<std::wstring> files;
    std::vector<std::wstring> pack_list;
    std::vector<std::wstring> convert_list;
    std::vector<std::wstring> extract_here_list;
    std::vector<std::wstring> edit_header_list;
    std::wstring add_to_rez_target;
    std::vector<std::wstring> add_to_rez_files;
    bool selftest = false;
    std::wstring selftest_path;
};

// args are argv[1] .. argv[argc-1]; paths are kept as given.
CommandLine parse_command_line(const std::vector<std::wstring>& args);
// A path made absolute against the current directory (unchanged when that fails).
std::wstring absolute_path(const std::wstring& path);
// Every path of the command line made absolute, so that the running instance (whose
// current directory differs) and this process see the same files.
void make_paths_absolute(CommandLine& cl);
// files, pack, convert, extract-here or edit-header items, or add-to-rez files.
bool has_work(const CommandLine& cl);
// The window is created hidden to carry out a verb: no files, and some tool verb.
bool is_headless_run(const CommandLine& cl);

struct HandOver {
    ULONG_PTR code;
    std::wstring text;
};
// The WM_COPYDATA messages of a second start, in sending order.
std::vector<HandOver> build_hand_over(const CommandLine& cl);
// The text of one message followed by its terminating NUL (cbData = size * 2).
std::vector<wchar_t> copydata_payload(const std::wstring& text);
// Receiver side: the text of a COPYDATASTRUCT, or nothing usable (false).
bool copydata_text(const COPYDATASTRUCT* cds, std::wstring& text);

// Hands the command line to the running main window; true when this process is to exit
// with 0. With nothing to hand over the running window is raised.
bool forward_to_running_instance(const CommandLine& cl);

}  // namespace rezui
