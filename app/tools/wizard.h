// The pack/extract wizard (resource 202): four pages (operation, source, target, run) in
// one modal dialog; its job runs on a worker (wizard_worker.h) that only posts to it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rezui {

// One wizard run; lives on show_wizard's stack while the dialog runs.
struct WizardState {
    std::wstring input;   // the path show_wizard was given
    std::wstring output;  // pack: the archive to create
    int step = 1;         // the page shown, 1 to 4
    bool pack = true;
    std::vector<std::wstring> sources;  // pack: files and folders, in list order
    std::wstring archive;               // extract: the archive to read
    std::wstring destination;           // extract: the folder to fill
    int format = 0;                     // pack: 0 REZ, 1 ZIP, 2 7z
};

// The state of the wizard that is showing, null while none is.
extern WizardState* wizard_state;

void show_wizard(HWND owner, const std::wstring& path);
INT_PTR CALLBACK wizard_proc_v2(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The path's extension, lower-cased, is "rez", "zip" or "7z".
bool is_archive_path(const std::wstring& path);
// The archive's folder joined with its stem, with a trailing "\": D:\a\data.rez -> D:\a\data\.
std::wstring default_extract_dir(const std::wstring& archive);
// The output path with the extension the format wants: another archive extension is
// replaced, anything else keeps its name and gets the wanted one appended.
std::wstring output_for_format(const std::wstring& path, int format);
// A rez/zip/7z extension swapped for the format's one; any other name is left as it is.
std::wstring swap_archive_extension(const std::wstring& path, int format);

// Page logic (wizard_pages.cpp).
std::wstring get_dlg_text(HWND dialog, int id);
void set_dlg_text(HWND dialog, int id, const std::wstring& text);
void set_wizard_mode_labels(HWND dialog, int step, bool pack);
void wizard_add_source(HWND dialog, const std::wstring& path);
void clear_wizard_source_list(HWND dialog);
// Checks the page before Next; empty when it passes, else the text to show.
std::wstring check_wizard_page(HWND dialog, WizardState& state);

}  // namespace rezui
