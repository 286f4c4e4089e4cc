// What the search finds: the matcher over a small model (a table of queries), the size
// text, the unpack target names, and the worker over real REZ files.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "app/tools/search_match.h"
#include "app/tools/search_worker.h"
#include "archive/rez_model.h"
#include "archive/util.h"
#include "search_test_support.h"
#include "test_support.h"

namespace {

rez::Entry file(const std::string& name, const std::string& ext, uint32_t id, bool hidden = false) {
    rez::Entry e;
    e.name = name;
    e.ext = ext;
    e.id = id;
    e.size = 10;
    e.hidden = hidden;
    return e;
}

rez::Entry folder(const std::string& name, std::vector<rez::Entry> children) {
    rez::Entry e;
    e.is_dir = true;
    e.name = name;
    e.children = std::move(children);
    return e;
}

rez::Entry sample_root() {
    rez::Entry root;
    root.is_dir = true;
    root.children = {folder("Maps", {file("tree", "DAT", 12), file("treehide", "DAT", 13, true)}),
                     file("X", "LTB", 120), file("abc", "TXT", 312), file("\xE4\xB8\xAD\xE6\x96\x87\xE5\x90\x8D", "TXT", 7),
                     folder("treedir", {})};
    return root;
}

struct MatchCase {
    const wchar_t* keyword;
    bool case_sensitive, whole_word, name, type, id;
    std::vector<std::wstring> hits;  // names with extension, in result order
};

TEST(SearchMatch, QueriesFindTheEntriesOfTheMatchingTable) {
    const std::wstring chinese = rez::from_utf8("\xE4\xB8\xAD\xE6\x96\x87\xE5\x90\x8D.txt");
    const MatchCase cases[] = {
        {L"ABC", false, false, true, true, true, {L"abc.txt"}},
        {L"ABC", true, false, true, true, true, {}},
        {L"X.LTB", true, false, true, false, false, {}},  // the shown extension is lower case
        {L"X.ltb", true, false, true, false, false, {L"X.ltb"}},
        {L"LTB", true, false, false, true, false, {L"X.ltb"}},
        {L"tree", false, true, true, true, true, {L"tree.dat"}},
        {L"tree.dat", false, true, true, true, true, {L"tree.dat"}},
        {L"tre", false, true, true, true, true, {}},
        {L"tre", false, false, true, true, true, {L"tree.dat"}},  // never the hidden one nor the folder
        {L"12", false, false, false, false, true, {L"tree.dat", L"X.ltb", L"abc.txt"}},
        {L"12", false, true, false, false, true, {L"tree.dat"}},
        {L"0012", false, false, false, false, true, {L"tree.dat"}},
        {L"+12", false, false, false, false, true, {L"tree.dat"}},
        {L"12", false, false, true, true, false, {}},  // ids are not names
        {L"\x4E2D\x6587", false, false, true, true, true, {chinese}},
        {L"txt", false, false, false, true, false, {L"abc.txt", chinese}},
        {L"treehide", false, false, true, true, true, {}},
        {L"Maps", false, false, true, true, true, {}},
    };
    const rez::Entry root = sample_root();
    for (const MatchCase& c : cases) {
        rezui::SearchQuery q{c.keyword, c.case_sensitive, c.whole_word, c.name, c.type, c.id};
        std::vector<rezui::SearchResult> out;
        rezui::collect_search_matches(root, L"", q, L"", out);
        std::vector<std::wstring> names;
        for (const rezui::SearchResult& r : out) names.push_back(r.name);
        EXPECT_EQ(names, c.hits) << rez::to_utf8(c.keyword) << " case=" << c.case_sensitive
                                 << " whole=" << c.whole_word << " name/type/id=" << c.name << c.type << c.id;
    }
}

TEST(SearchMatch, AHitCarriesItsColumnsAndPathInsideTheArchive) {
    std::vector<rezui::SearchResult> out;
    rezui::collect_search_matches(sample_root(), L"", rezui::SearchQuery{L"tree", false, true}, L"C:\\a.rez", out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, L"tree.dat");
    EXPECT_EQ(out[0].type, L"DAT");
    EXPECT_EQ(out[0].id_text, L"12");
    EXPECT_EQ(out[0].size_text, L"10 B");
    EXPECT_EQ(out[0].virtual_path, L"Maps\\tree");
    EXPECT_EQ(out[0].source, L"C:\\a.rez");
}

TEST(SearchMatch, SizeTextAndKeywordTrimming) {
    const std::pair<uint32_t, const wchar_t*> sizes[] = {{0, L"0 B"},           {1023, L"1023 B"},
                                                         {1024, L"1.0 KB"},     {1536, L"1.5 KB"},
                                                         {1048576, L"1.00 MB"}, {1073741824u, L"1.00 GB"}};
    for (const auto& s : sizes) EXPECT_EQ(rezui::search_size_text(s.first), s.second) << s.first;
    EXPECT_EQ(rezui::trim_trailing_blanks(L"  abc  \t"), L"  abc");
    EXPECT_EQ(rezui::trim_trailing_blanks(L" \t "), L"");
}

TEST(SearchMatch, UnpackTargetsStayInTheFolderAndNeverShareAName) {
    std::set<std::string> used;
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"a.txt", L"D:\\out\\a.txt"},
        {L"A.TXT", L"D:\\out\\A (2).TXT"},  // Windows names ignore case
        {L"a.txt", L"D:\\out\\a (3).txt"},
        {L"..", L""},
        {L"x.\\..\\..\\evil.txt", L""},
        {L"..\\evil.txt", L""},
        {L"sub\\x.txt", L"D:\\out\\sub_x.txt"},
        {L"noext", L"D:\\out\\noext"},
        {L"noext", L"D:\\out\\noext (2)"},
    };
    for (const auto& c : cases) EXPECT_EQ(rezui::search_unpack_target(L"D:\\out", c.first, used), c.second) << rez::to_utf8(c.first);
}

// ---- the worker -------------------------------------------------------------------------


// A message-only window that keeps what the worker posts.
struct Inbox {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::vector<rezui::SearchProgress> items;
    std::vector<rezui::SearchResult> results;
    int done = 0;
    WPARAM done_wparam = 0;
    ~Inbox() { DestroyWindow(window); }
    void drain() {
        MSG msg;
        while (PeekMessageW(&msg, window, rezui::WM_SEARCH_ITEM, rezui::WM_SEARCH_DONE, PM_REMOVE)) {
            if (msg.message == rezui::WM_SEARCH_ITEM) {
                std::unique_ptr<rezui::SearchProgress> p(reinterpret_cast<rezui::SearchProgress*>(msg.lParam));
                items.push_back(*p);
            } else {
                std::unique_ptr<std::vector<rezui::SearchResult>> r(
                    reinterpret_cast<std::vector<rezui::SearchResult>*>(msg.lParam));
                results = *r;
                ++done;
                done_wparam = msg.wParam;
            }
        }
    }
};

rezui::SearchRequest* request_for(int mode, HWND window, const std::wstring& keyword,
                                  std::vector<std::wstring> archives) {
    auto* r = new rezui::SearchRequest;
    r->mode = mode;
    r->run_id = rezui::search_run_id.fetch_add(1) + 1;
    r->dialog = window;
    r->query.keyword = keyword;
    r->archives = std::move(archives);
    return r;
}

TEST(SearchWorker, FolderSearchKeepsOneReportWaitingSkipsBrokenArchivesAndPostsOneResult) {
    qvltest::ScratchDir dir(L"sworker");
    std::vector<std::wstring> archives;
    for (int i = 0; i < 5; ++i) {
        archives.push_back(dir / (L"a" + std::to_wstring(i) + L".rez"));
        if (i == 2) {
            ASSERT_TRUE(rez::write_file(archives.back(), reinterpret_cast<const uint8_t*>("junk"), 4));
            continue;
        }
        stest::make_rez(archives.back(), {{"Sub", L"hit" + std::to_wstring(i) + L".txt", "x"}, {"", L"other.dat", "y"}});
    }
    Inbox inbox;
    rezui::SearchRequest* r = request_for(2, inbox.window, L"hit", archives);
    const uint32_t run = r->run_id;
    rezui::search_worker(r);
    inbox.drain();
    // Nothing drew the first report meanwhile: it is the only one sent.
    ASSERT_EQ(inbox.items.size(), 1u);
    EXPECT_EQ(static_cast<int>(inbox.items[0].percent), 33);
    EXPECT_EQ(inbox.items[0].text, L"正在搜索 (1/5)：a0.rez...");
    ASSERT_EQ(inbox.done, 1);
    EXPECT_EQ(inbox.done_wparam, (2u << 16) | (run & 0xFFFF));
    ASSERT_EQ(inbox.results.size(), 4u);
    EXPECT_EQ(inbox.results[0].source, archives[0]);
    EXPECT_EQ(inbox.results[3].source, archives[4]);
    EXPECT_EQ(rez::to_lower_ascii(rez::to_utf8(inbox.results[3].virtual_path)), "sub\\hit4");
}

TEST(SearchWorker, AStaleRunPostsNothing) {
    qvltest::ScratchDir dir(L"sstale");
    stest::make_rez(dir / L"a.rez", {{"", L"hit.txt", "x"}});
    Inbox inbox;
    rezui::SearchRequest* r = request_for(1, inbox.window, L"hit", {dir / L"a.rez"});
    rezui::search_run_id.fetch_add(1);  // a newer search started, or the window closed
    rezui::search_worker(r);
    inbox.drain();
    EXPECT_TRUE(inbox.items.empty());
    EXPECT_EQ(inbox.done, 0);
}

TEST(SearchWorker, OpenArchiveSearchReadsItsSnapshotAndLoadsItsFolders) {
    qvltest::ScratchDir dir(L"ssnap");
    stest::make_rez(dir / L"a.rez", {{"Deep", L"hit.txt", "x"}});
    Inbox inbox;
    rezui::SearchRequest* r = request_for(0, inbox.window, L"hit", {});
    r->snapshot = std::make_shared<rez::RezFile>();
    std::wstring err;
    ASSERT_TRUE(rez::RezFile::open(dir / L"a.rez", *r->snapshot, err));
    rezui::search_worker(r);
    inbox.drain();
    ASSERT_EQ(inbox.done, 1);
    ASSERT_EQ(inbox.results.size(), 1u);
    EXPECT_EQ(inbox.results[0].source, L"");
    EXPECT_TRUE(inbox.items.empty());
}

}  // namespace
