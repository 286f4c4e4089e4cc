#include "app/tools/search_match.h"

#include <cwchar>
#include <cwctype>

#include "archive/util.h"

namespace rezui {

namespace {

std::wstring lowered(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) c = static_cast<wchar_t>(towlower(c));
    return out;
}

// The keyword read completely as an unsigned decimal number of at most 32 bits.
bool keyword_number(const std::wstring& keyword, unsigned long long& value) {
    if (keyword.empty()) return false;
    const wchar_t* start = keyword.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    value = wcstoull(start, &end, 10);
    if (end == start || *end != L'\0' || errno == ERANGE) return false;
    return value <= 0xFFFFFFFFull;
}

}  // namespace

std::wstring trim_trailing_blanks(const std::wstring& text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == L' ' || text[end - 1] == L'\t')) --end;
    return text.substr(0, end);
}

bool text_matches(const std::wstring& field, const std::wstring& keyword, bool case_sensitive, bool whole_word) {
    if (field.empty() || keyword.empty()) return false;
    const std::wstring f = case_sensitive ? field : lowered(field);
    const std::wstring k = case_sensitive ? keyword : lowered(keyword);
    return whole_word ? f == k : f.find(k) != std::wstring::npos;
}

bool entry_matches(const rez::Entry& entry, const SearchQuery& q) {
    if (entry.is_dir || entry.hidden) return false;
    auto test = [&q](const std::wstring& field) {
        return text_matches(field, q.keyword, q.case_sensitive, q.whole_word);
    };
    if (q.search_name && (test(rez::from_utf8(entry.name)) || test(rez::from_utf8(entry.name_with_ext()))))
        return true;
    if (q.search_type && !entry.ext.empty() && test(rez::from_utf8(entry.ext))) return true;
    if (!q.search_id) return false;
    unsigned long long number = 0;
    // A number finds its own id even when typed with leading zeros or a sign (0012, +12);
    // otherwise the id's digits are searched like any text.
    if (keyword_number(q.keyword, number) && number == entry.id) return true;
    return test(std::to_wstring(entry.id));
}

std::wstring search_size_text(uint32_t s) {
    wchar_t buf[64] = {};
    if (s < 1024) return std::to_wstring(s) + L" B";
    if (s < 1048576u)
        swprintf(buf, 64, L"%.1f KB", s / 1024.0);
    else if (s < 1073741824u)
        swprintf(buf, 64, L"%.2f MB", s / 1048576.0);
    else
        swprintf(buf, 64, L"%.2f GB", s / 1073741824.0);
    return buf;
}

void collect_search_matches(const rez::Entry& dir, const std::wstring& prefix, const SearchQuery& query,
                            const std::wstring& source, std::vector<SearchResult>& out) {
    for (const rez::Entry& child : dir.children) {
        if (child.hidden) continue;
        const std::wstring own = rez::from_utf8(child.name);
        const std::wstring path = prefix.empty() ? own : prefix + L"\\" + own;
        if (child.is_dir) {
            collect_search_matches(child, path, query, source, out);
            continue;
        }
        if (!entry_matches(child, query)) continue;
        out.push_back({rez::from_utf8(child.name_with_ext()), rez::from_utf8(child.ext), std::to_wstring(child.id),
                       search_size_text(child.size), path, source});
    }
}

std::wstring search_unpack_target(const std::wstring& folder, const std::wstring& name,
                                  std::set<std::string>& used) {
    std::string clean;
    if (!rez::sanitize_relative_path(rez::to_utf8(name), clean)) return L"";
    // Hits land flat in the folder: separators the name still holds become part of it.
    for (char& c : clean)
        if (c == '\\' || c == '/') c = '_';
    const size_t dot = clean.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? clean : clean.substr(0, dot);
    const std::string ext = stem.size() == clean.size() ? "" : clean.substr(dot);
    std::string candidate = clean;
    for (int n = 2; !used.insert(rez::to_lower_ascii(candidate)).second; ++n)
        candidate = stem + " (" + std::to_string(n) + ")" + ext;
    return folder + L"\\" + rez::from_utf8(candidate);
}

}  // namespace rezui
