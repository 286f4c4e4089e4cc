// Rewrites of 7z archives made by 7z itself. SevenZipRewritePeer.RunPlan carries out the
// edits that sevenzip_rewrite_check.sh lists (one per line) and the script checks the results
// with 7z; the other cases read the results back with our own reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "archive/password.h"
#include "archive/sevenzip_comment.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_rewrite.h"
#include "archive/util.h"
#include "test_support.h"

namespace {

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> parts;
    std::stringstream in(line);
    std::string part;
    while (std::getline(in, part, '\t')) parts.push_back(part);
    if (!line.empty() && line.back() == '\t') parts.push_back("");  // getline drops a last empty field
    return parts;
}

// Every record kept, in stored order.
std::vector<rez::SevenZipRewriteItem> keep_all(size_t count) {
    std::vector<rez::SevenZipRewriteItem> items(count);
    for (size_t i = 0; i < count; i++) items[i].index = i;
    return items;
}

std::string trimmed(std::string name) {
    while (!name.empty() && name.back() == '/') name.pop_back();
    return name;
}

// One plan line: in, out, op, a, b, password. Ops: del a; add a (content b; a name ending
// in '/' adds a folder); ren a to b; cmt a; pw a (a new password for everything).
void run_line(const std::vector<std::string>& p) {
    ASSERT_GE(p.size(), 6u);
    const std::wstring in = qvltest::host_to_windows(p[0]), out = qvltest::host_to_windows(p[1]);
    const std::string& op = p[2];
    rez::set_current_password(rez::from_utf8(p[5]));
    std::vector<rez::SevenZipEntry> entries;
    std::wstring comment, err;
    ASSERT_TRUE(rez::sevenzip_list_entries(in, entries, comment, err)) << rez::to_utf8(err);
    std::vector<rez::SevenZipRewriteItem> items = keep_all(entries.size());
    auto find = [&](const std::string& name) {
        for (size_t i = 0; i < entries.size(); i++)
            if (entries[i].name == trimmed(name)) return i;
        ADD_FAILURE() << "no member " << name << " in " << p[0];
        return size_t{0};
    };
    rez::SevenZipRewriteOptions options;
    if (op == "del") {
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(find(p[3])));
    } else if (op == "add") {
        rez::SevenZipRewriteItem item;
        item.name = p[3];
        item.data.assign(p[4].begin(), p[4].end());
        items.push_back(std::move(item));
    } else if (op == "ren") {
        items[find(p[3])].name = p[4];
    } else if (op == "cmt") {
        comment = rez::from_utf8(p[3]);
    } else if (op == "pw") {
        options.replace_password = true;
        options.new_password = rez::from_utf8(p[3]);
    } else {
        FAIL() << "unknown op " << op;
    }
    ASSERT_TRUE(rez::sevenzip_rewrite(in, out, items, comment, rez::from_utf8(p[5]), err, options))
        << p[1] << ": " << rez::to_utf8(err);
}

}  // namespace

TEST(SevenZipRewritePeer, RunPlan) {
    const char* plan = std::getenv("QVL_SEVENZIP_REWRITE_PLAN");
    if (!plan || !*plan) GTEST_SKIP() << "run by sevenzip_rewrite_check.sh";
    std::ifstream in(plan);
    ASSERT_TRUE(in.good()) << plan;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        SCOPED_TRACE(line);
        run_line(split_tabs(line));
    }
    rez::set_current_password(L"");
}
