// The archive comment editor (resource 205): a REZ comment is changed in the model and
// saved by the autosave job; a ZIP or 7z comment is written into the file at once.
#pragma once

#include <windows.h>

namespace rezui {

// "请先打开资源包" without an open archive, else the modal editor.
void show_comment_editor(HWND owner);
INT_PTR CALLBACK comment_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace rezui
