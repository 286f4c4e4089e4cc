// Whole REZ archives as the program opens them: header, comment section, the root block,
// every directory block loaded, and the data of the files read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/rez_model.h"
#include "fuzz/harness/check.h"
#include "fuzz/harness/scratch_file.h"

namespace {

void read_files(const rez::RezFile& model, const rez::Entry& dir, size_t& budget) {
    for (const rez::Entry& e : dir.children) {
        if (budget == 0) return;
        --budget;
        if (e.is_dir) {
            read_files(model, e, budget);
            continue;
        }
        std::vector<uint8_t> out;
        std::wstring err;
        if (model.read_entry_data(e, out, err)) {
            QVL_FUZZ_CHECK(out.size() == e.size);
        } else {
            QVL_FUZZ_CHECK(!err.empty());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring path = qvl_fuzz::write_scratch_file(L"rez", data, size);
    rez::RezFile model;
    std::wstring err;
    if (!rez::RezFile::open(path, model, err)) {
        QVL_FUZZ_CHECK(!err.empty());
        return 0;
    }
    err.clear();
    (void)model.load_all_directories(err);
    rez::ExtractTotals totals;
    std::wstring count_err;
    (void)model.count_extract_totals("", totals, count_err);
    size_t budget = 256;
    read_files(model, model.root, budget);
    return 0;
}
