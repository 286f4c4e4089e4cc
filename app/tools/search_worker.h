// The search window's worker thread and the messages it posts back to the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/tools/search_match.h"
#include "archive/rez_model.h"

namespace rezui {

// wParam 0, lParam new SearchProgress; the window always deletes it.
constexpr UINT WM_SEARCH_ITEM = WM_APP + 30;  // 0x801E
// wParam (mode << 16) | (run_id & 0xFFFF), lParam new std::vector<SearchResult>; the
// window keeps or deletes it.
constexpr UINT WM_SEARCH_DONE = WM_APP + 31;  // 0x801F

struct SearchProgress {
    SearchProgress() = default;
    // A copy is a plain record: only the posted item counts for its run.
    SearchProgress(const SearchProgress& o) : mode(o.mode), run_id(o.run_id), percent(o.percent), text(o.text) {}
    SearchProgress& operator=(const SearchProgress&) = delete;
    // The window deletes the item when it has shown it: the run may then send the next one.
    ~SearchProgress() {
        if (in_flight) in_flight->fetch_sub(1);
    }
    int32_t mode = 0;
    uint32_t run_id = 0;
    double percent = -1;
    std::wstring text;
    std::shared_ptr<std::atomic<int>> in_flight;  // the run's items not yet handled
};

struct SearchRequest {
    int32_t mode = 0;  // the tab that started it
    uint32_t run_id = 0;
    HWND dialog = nullptr;
    SearchQuery query;
    std::vector<std::wstring> archives;  // modes 1 and 2
    // Mode 0: a copy of the open archive's model taken on the UI thread when the search
    // started, so the worker never reads the model the main window edits and replaces.
    std::shared_ptr<rez::RezFile> snapshot;
};

// Bumped by every search start and by closing the window; work of an older run is stale.
extern std::atomic<uint32_t> search_run_id;

// Thread body; owns the request.
void search_worker(SearchRequest* request);
// Starts search_worker on a detached thread.
void start_search_worker(SearchRequest* request);

}  // namespace rezui
