#include "app/operations/autosave.h"

#include "app/common/unavailable.h"

namespace rezui {

void start_autosave() { report_unavailable(L"自动保存"); }

}  // namespace rezui
