// Integrity test of the open archive.
#pragma once

#include <string>

namespace rezui {

// Payload of WM_TEST_DONE; deleted by the main window.
struct TestDoneMsg {
    std::wstring summary;
    bool all_passed = false;
};

void do_test();

}  // namespace rezui
