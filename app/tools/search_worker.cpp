#include "app/tools/search_worker.h"

#include <thread>

#include "archive/util.h"

namespace rezui {

std::atomic<uint32_t> search_run_id{0};

namespace {

bool current(const SearchRequest& r) { return search_run_id.load() == r.run_id; }

std::wstring file_name_of(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// At most one progress item of a run is on its way, and a new one goes at most every
// 150 ms: a folder of many small archives would otherwise fill the window's queue faster than
// it draws, and its clicks would wait behind the backlog.
struct ProgressGate {
    std::shared_ptr<std::atomic<int>> in_flight = std::make_shared<std::atomic<int>>(0);
    DWORD last = 0;
    bool any = false;
    bool open() {
        const DWORD now = GetTickCount();
        if (in_flight->load() > 0 || (any && now - last < 150)) return false;
        last = now;
        any = true;
        return true;
    }
};

void post_progress(const SearchRequest& r, size_t i, size_t n, ProgressGate& gate) {
    if (!gate.open()) return;
    auto* item = new SearchProgress;
    gate.in_flight->fetch_add(1);
    item->in_flight = gate.in_flight;
    item->mode = r.mode;
    item->run_id = r.run_id;
    item->percent = r.mode == 2 ? static_cast<double>(i) * 67.0 / static_cast<double>(n) + 33.0 : -1.0;
    item->text = L"正在搜索 (" + std::to_wstring(i + 1) + L"/" + std::to_wstring(n) + L")：" +
                 file_name_of(r.archives[i]) + L"...";
    if (!IsWindow(r.dialog) || !current(r) ||
        !PostMessageW(r.dialog, WM_SEARCH_ITEM, 0, reinterpret_cast<LPARAM>(item)))
        delete item;
}

}  // namespace

void search_worker(SearchRequest* raw) {
    std::unique_ptr<SearchRequest> request(raw);
    const SearchRequest& r = *request;
    auto* results = new std::vector<SearchResult>;
    std::wstring err;
    if (r.archives.empty()) {
        if (r.snapshot) {
            r.snapshot->load_all_directories(err);
            if (current(r)) collect_search_matches(r.snapshot->root, L"", r.query, L"", *results);
        }
    } else {
        const size_t n = r.archives.size();
        ProgressGate gate;
        for (size_t i = 0; i < n && current(r); ++i) {
            post_progress(r, i, n, gate);
            rez::RezFile archive;
            if (!rez::RezFile::open(r.archives[i], archive, err)) continue;
            archive.load_all_directories(err);
            collect_search_matches(archive.root, L"", r.query, r.archives[i], *results);
        }
    }
    const WPARAM wparam = (static_cast<WPARAM>(r.mode) << 16) | (r.run_id & 0xFFFF);
    if (!current(r) || !IsWindow(r.dialog) ||
        !PostMessageW(r.dialog, WM_SEARCH_DONE, wparam, reinterpret_cast<LPARAM>(results)))
        delete results;
}

void start_search_worker(SearchRequest* request) {
    try {
        std::thread(search_worker, request).detach();
    } catch (...) {
        delete request;
    }
}

}  // namespace rezui
