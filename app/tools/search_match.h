// What the search window looks for and how an archive entry is tested against it. Pure
// functions over the archive model, shared by the search worker and its tests.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rezui {

struct SearchQuery {
    std::wstring keyword;  // trailing blanks already removed
    bool case_sensitive = false;
    bool whole_word = false;
    bool search_name = true;
    bool search_type = true;
    bool search_id = true;
};

struct SearchResult {
    std::wstring name;          // name with extension
    std::wstring type;          // type text as stored
    std::wstring id_text;
    std::wstring size_text;
    std::wstring virtual_path;  // "\"-joined, the entry's own stem last
    std::wstring source;        // archive the hit came from; empty for the open archive
};

bool text_matches(const std::wstring& field, const std::wstring& keyword, bool case_sensitive, bool whole_word);
bool entry_matches(const rez::Entry& entry, const SearchQuery& query);
// Appends the hits below dir, depth first in stored order; hidden entries are skipped.
void collect_search_matches(const rez::Entry& dir, const std::wstring& prefix, const SearchQuery& query,
                            const std::wstring& source, std::vector<SearchResult>& out);
std::wstring search_size_text(uint32_t size);
// The keyword with trailing spaces and tabs removed.
std::wstring trim_trailing_blanks(const std::wstring& text);

// The file a search hit is unpacked to inside folder: its name sanitised by the archive
// library's rules, and a " (2)", " (3)" ... before the extension when an earlier hit of the
// same unpack already took the name (used holds the lower-cased names taken so far). Empty
// when the name would leave the folder.
std::wstring search_unpack_target(const std::wstring& folder, const std::wstring& name,
                                  std::set<std::string>& used);

}  // namespace rezui
