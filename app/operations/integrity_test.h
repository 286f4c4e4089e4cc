// Integrity test of the open archive: every file entry is read back once on a worker while
// the window stays usable (Pause and Stop act on the test); the summary comes back as
// WM_TEST_DONE.
#pragma once

#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rezui {

// Payload of WM_TEST_DONE; deleted by the main window. A run that was stopped posts
// WM_TEST_DONE without one, which only ends the busy state.
struct TestDoneMsg {
    std::wstring summary;
    bool all_passed = false;
};

// One file to read: the entry and its path below the root ("\"-joined entry names).
struct TestItem {
    const rez::Entry* entry = nullptr;
    std::string path;
};

// Appends e (a file) or every file below e (a folder, hidden entries included) in stored order.
void collect_test_files(std::vector<TestItem>& out, const rez::Entry& e, const std::string& parent_path);

// Command 2080.
void do_test();

}  // namespace rezui
