#include "app/operations/integrity_test.h"

#include "app/common/unavailable.h"

namespace rezui {

void do_test() { report_unavailable(L"测试"); }

}  // namespace rezui
