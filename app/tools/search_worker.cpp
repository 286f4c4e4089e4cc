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

void post_progress(const SearchRequest& r, size_t i, size_t n) {
    auto* item = new SearchProgress;
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
        for (size_t i = 0; i < n && current(r); ++i) {
            post_progress(r, i, n);
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
