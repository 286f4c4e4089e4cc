// The archive comment editor (resource 205).
#pragma once

#include <windows.h>

namespace rezui {

void show_comment_editor(HWND owner);

}  // namespace rezui
