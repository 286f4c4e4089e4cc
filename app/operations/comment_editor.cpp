#include "app/operations/comment_editor.h"

#include "app/common/unavailable.h"

namespace rezui {

void show_comment_editor(HWND) { report_unavailable(L"注释编辑"); }

}  // namespace rezui
