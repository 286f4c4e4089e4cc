// What a self-extractor does after its archive is out: the desktop shortcut and the paths
// the header names inside the extraction folder. Shared by the main program's self-extract
// window and the runner (library sfx_container).
#pragma once

#include <string>

#include "app/tools/sfx_container.h"

namespace rezui {

// A shortcut on the desktop under name + ".lnk", or "name (n).lnk" with the first free n
// when that file exists. The calling thread must have COM initialised. True when saved.
bool create_desktop_shortcut(const std::wstring& target, const std::wstring& work_dir, const std::wstring& name,
                             const std::wstring& description);

// The shortcut's name for a title: control characters and \ / : * ? " < > | become "_",
// trailing spaces go; "解压目录" when nothing is left.
std::wstring sfx_shortcut_name(const std::string& title);

// dest + "\" + relative when the header's relative path (UTF-8) stays inside dest: no
// drive, no root, no component that names a folder's parent or the folder itself. Empty
// otherwise.
std::wstring sfx_path_inside(const std::wstring& dest, const std::string& relative);

// The shortcut's target and working folder: the file shortcut_target names inside dest
// when it is a safe relative path to an existing file, else dest itself.
void sfx_shortcut_target(const std::wstring& dest, const SfxConfig& config, std::wstring& target,
                         std::wstring& work_dir);

}  // namespace rezui
