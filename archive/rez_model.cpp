// The archive model: entry naming and lookup by archive path, resource ids, statistics.
#include <windows.h>

#include "archive/rez_internal.h"

namespace rez {

std::atomic<bool> uppercase_rez_names{false};

// ---- names ------------------------------------------------------------------------

bool split_name_ext(const std::string& name, std::string& stem, std::string& type_text) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) {
        stem = name;
        type_text.clear();
        return false;
    }
    stem = name.substr(0, dot);
    type_text = name.substr(dot + 1);
    return true;
}

// A component as a lookup sees it: stem and type text, where a leading dot means "no
// stem" (".cfg" names a nameless file of type cfg).
void detail::split_component(const std::string& component, std::string& stem, std::string& type_text) {
    split_name_ext(component, stem, type_text);
    if (!component.empty() && component[0] == '.') {
        stem.clear();
        type_text = component.substr(1);
    }
}

bool entry_matches_component(const Entry& entry, const std::string& component, const std::string& stem,
                             const std::string& type_text) {
    if (iequals_ascii(entry.name, component)) return true;
    if (type_text.empty()) return false;
    return !entry.is_dir && iequals_ascii(entry.name, stem) && iequals_ascii(entry.ext, type_text);
}

std::string Entry::name_with_ext() const {
    if (is_dir || ext.empty()) return name;
    return name + "." + to_lower_ascii(ext);
}

const Entry* Entry::find_child(const std::string& component) const {
    std::string stem, type_text;
    detail::split_component(component, stem, type_text);
    for (const Entry& child : children) {
        if (iequals_ascii(child.name, component)) return &child;
        if (iequals_ascii(child.name, stem) &&
            (type_text.empty() || (!child.is_dir && iequals_ascii(child.ext, type_text))))
            return &child;
    }
    return nullptr;
}

Entry* Entry::find_child(const std::string& component) {
    return const_cast<Entry*>(static_cast<const Entry*>(this)->find_child(component));
}

Entry Entry::deep_copy(const Entry& source) {
    return source;  // children are held by value, so a copy is already deep
}

bool name_less_ci(const std::wstring& a, const std::wstring& b) {
    return to_lower_ascii(to_utf8(a)) < to_lower_ascii(to_utf8(b));
}

std::string apply_rez_name_case(const std::string& name) {
    return uppercase_rez_names.load() ? to_upper_ascii(name) : name;
}

std::string file_name_utf8(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return to_utf8(cut == std::wstring::npos ? path : path.substr(cut + 1));
}

bool create_directories(const std::wstring& path) {
    std::wstring p = path;
    while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    if (p.empty()) return true;
    auto is_folder = [](const std::wstring& q) {
        const DWORD attr = GetFileAttributesW(q.c_str());
        return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (is_folder(p)) return true;
    for (size_t i = 1; i < p.size(); ++i) {
        if (p[i] == L'\\' || p[i] == L'/') CreateDirectoryW(p.substr(0, i).c_str(), nullptr);
    }
    CreateDirectoryW(p.c_str(), nullptr);
    return is_folder(p);
}

// ---- RezFile: construction, lookup, ids, statistics -----------------------------------------

RezFile::RezFile(const std::wstring& p) : path(p) {
    std::string name = to_utf8(p);
    const size_t cut = name.find_last_of("\\/");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    engine_layout = iequals_ascii(name, "engine.rez");
}

const Entry* RezFile::find_entry_const(const std::string& p) const {
    const Entry* cur = &root;
    for (const std::string& part : split_archive_path(p)) {
        cur = cur->find_child(part);
        if (!cur) return nullptr;
    }
    return cur;
}

Entry* RezFile::find_entry(const std::string& p) {
    return const_cast<Entry*>(find_entry_const(p));
}

uint32_t RezFile::next_free_id() {
    uint32_t id = next_id;
    // Bounded: at most one full turn of the 32-bit space.
    for (uint64_t tries = 0; used_ids.count(id) && tries < 0x100000000ull; ++tries) ++id;
    next_id = id + 1;
    used_ids.insert(id);
    return id;
}

namespace {

void collect_ids(const Entry& e, std::set<uint32_t>& ids) {
    for (const Entry& c : e.children) {
        if (c.is_dir)
            collect_ids(c, ids);
        else
            ids.insert(c.id);
    }
}

void add_stats(const Entry& e, Stats& s) {
    if (e.is_dir) {
        ++s.dirs;
        for (const Entry& c : e.children) add_stats(c, s);
    } else {
        ++s.files;
        s.bytes += e.size;
    }
}

}  // namespace

void RezFile::build_used_ids() {
    used_ids.clear();
    collect_ids(root, used_ids);
}

Stats RezFile::stats() const {
    Stats s;
    add_stats(root, s);
    return s;
}

}  // namespace rez
