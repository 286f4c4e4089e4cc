// Editing the archive tree in memory: folders, files and disk folders added, entries
// removed, renamed, replaced, moved and copied. New content is remembered as a disk path
// that the next save reads.
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <unordered_map>

#include "archive/rez_internal.h"
#include "archive/win_handle.h"

namespace rez {

namespace {

std::string child_path(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "\\" + name;
}

// Same kind, same name and (files) same type, ignoring ASCII case.
bool same_slot(const Entry& a, const Entry& b) {
    return a.is_dir == b.is_dir && iequals_ascii(a.name, b.name) && (a.is_dir || iequals_ascii(a.ext, b.ext));
}

// Key of a child in a folder's name index: kind, name and type, lower-cased.
std::string slot_key(bool is_dir, const std::string& name, const std::string& ext) {
    std::string key(1, is_dir ? 'd' : 'f');
    key += to_lower_ascii(name);
    key += '\x01';
    key += to_lower_ascii(ext);
    return key;
}

// Walks (and creates) a directory chain; the directory reached, and its path as stored.
Entry* ensure_directory(Entry& root, const std::string& path, std::string& out_path) {
    out_path.clear();
    Entry* cur = &root;
    for (const std::string& part : split_archive_path(path)) {
        const std::string n = apply_rez_name_case(part);
        Entry* next = nullptr;
        for (Entry& c : cur->children) {
            if (c.is_dir && iequals_ascii(c.name, n)) {
                next = &c;
                break;
            }
        }
        if (!next) {
            Entry dir;
            dir.is_dir = true;
            dir.name = n;
            cur->children.push_back(std::move(dir));
            next = &cur->children.back();
        }
        out_path = child_path(out_path, next->name);
        cur = next;
    }
    return cur;
}

// The deepest directory of a chain that already exists, without making any; `whole` says
// whether the chain exists to its end.
const Entry& existing_directory_chain(const Entry& root, const std::string& path, bool& whole) {
    const Entry* cur = &root;
    whole = false;
    for (const std::string& part : split_archive_path(path)) {
        const std::string n = apply_rez_name_case(part);
        const auto next = std::find_if(cur->children.begin(), cur->children.end(),
                                       [&n](const Entry& c) { return c.is_dir && iequals_ascii(c.name, n); });
        if (next == cur->children.end()) return *cur;
        cur = &*next;
    }
    whole = true;
    return *cur;
}

std::wstring format_file_time(const FILETIME& ft) {
    FILETIME local{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) return L"";
    wchar_t buf[32];
    swprintf(buf, 32, L"%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
    return buf;
}

// Size and time texts of a disk file into an entry; false when its attributes cannot be read.
bool take_disk_attributes(const std::wstring& disk_file, Entry& e) {
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    if (!GetFileAttributesExW(disk_file.c_str(), GetFileExInfoStandard, &fa)) {
        e.size = 0;
        e.modified_text.clear();
        e.created_text.clear();
        return false;
    }
    const uint64_t len = (static_cast<uint64_t>(fa.nFileSizeHigh) << 32) | fa.nFileSizeLow;
    e.size = len > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(len);
    e.modified_text = format_file_time(fa.ftLastWriteTime);
    e.created_text = format_file_time(fa.ftCreationTime);
    return true;
}

// Reads a whole name as an unsigned decimal id (leading blanks and a sign allowed).
bool parse_id(const std::string& name, uint32_t& id) {
    size_t i = 0;
    while (i < name.size() && std::iswspace(static_cast<unsigned char>(name[i]))) ++i;
    bool negative = false;
    if (i < name.size() && (name[i] == '+' || name[i] == '-')) negative = name[i++] == '-';
    if (i == name.size()) return false;
    uint64_t value = 0;
    for (; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        value = value * 10 + static_cast<uint64_t>(name[i] - '0');
        if (value > 0xFFFFFFFFull) return false;
    }
    id = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value)) : static_cast<uint32_t>(value);
    return true;
}

// Points an entry at new content on disk; the bytes are read at the next save.
void point_at_disk_file(Entry& e, const std::wstring& disk_file) {
    take_disk_attributes(disk_file, e);
    e.source_path = disk_file;
    e.pos = 0;
    e.reserved.reset();
    e.member.reset();
    e.encrypted = false;
}

// Name index of one folder, so that a folder import stays linear in its size.
using SlotIndex = std::unordered_map<std::string, size_t>;

SlotIndex index_children(const Entry& dir) {
    SlotIndex index;
    for (size_t i = 0; i < dir.children.size(); ++i) {
        const Entry& c = dir.children[i];
        index.emplace(slot_key(c.is_dir, c.name, c.ext), i);
    }
    return index;
}

}  // namespace

bool RezFile::create_directory(const std::string& dir_path, std::string& out_path) {
    ensure_directory(root, dir_path, out_path);
    return true;
}

namespace {

// Adds (or, when the folder already holds a file of that name and type, refreshes) one
// disk file in `dir`. `index` may be null; when given it is kept up to date.
std::string add_file_into(RezFile& model, Entry& dir, const std::string& dir_path, const std::wstring& disk_file,
                          SlotIndex* index) {
    const std::string f = file_name_utf8(disk_file);
    std::string stem = f, type_text;
    const size_t dot = f.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        stem = f.substr(0, dot);
        type_text = f.substr(dot + 1);
    }
    Entry e;
    if (type_text.size() > 5) {
        e.name = apply_rez_name_case(f);
    } else {
        e.name = apply_rez_name_case(stem);
        e.ext = apply_rez_name_case(type_text);
    }

    // Two siblings of one name could not be told apart by path: refresh the one there.
    Entry* existing = nullptr;
    const std::string key = slot_key(false, e.name, e.ext);
    if (index) {
        auto it = index->find(key);
        if (it != index->end()) existing = &dir.children[it->second];
    } else {
        for (Entry& c : dir.children) {
            if (same_slot(c, e)) {
                existing = &c;
                break;
            }
        }
    }
    if (existing) {
        ++model.entries_replaced;
        point_at_disk_file(*existing, disk_file);
        return child_path(dir_path, existing->name);
    }

    uint32_t id = 0;
    if (!e.name.empty() && parse_id(e.name, id) && !model.used_ids.count(id))
        model.used_ids.insert(id);
    else
        id = model.next_free_id();
    e.id = id;
    point_at_disk_file(e, disk_file);
    dir.children.push_back(std::move(e));
    if (index) index->emplace(key, dir.children.size() - 1);
    return child_path(dir_path, dir.children.back().name);
}

// Reads a directory's block when it has not been read yet, so that content added to it
// joins what the archive already holds.
bool load_if_needed(RezFile& model, Entry& dir, const std::string& dir_path, std::wstring& err) {
    if (dir.loaded && !dir.children.empty()) return true;
    if (dir.loaded && (dir.pos == 0 || dir.size == 0)) return true;
    FileHandle file = detail::open_for_read(model.path);
    return detail::load_nested(model, file, &dir, detail::ancestors_of(model, dir_path), err);
}

bool add_contents(RezFile& model, Entry& dir, const std::string& dir_path, const std::wstring& folder,
                  std::wstring& err, const FileFn& on_file) {
    std::vector<std::wstring> folders, files;
    {
        WIN32_FIND_DATAW fd;
        unique_find h(FindFirstFileW((folder + L"\\*").c_str(), &fd));
        if (!h) return true;
        do {
            if (fd.cFileName[0] == L'.') continue;
            const std::wstring full = folder + L"\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(full);
            else
                files.push_back(full);
        } while (FindNextFileW(h.get(), &fd));
    }
    std::sort(folders.begin(), folders.end(), name_less_ci);
    std::sort(files.begin(), files.end(), name_less_ci);

    SlotIndex index = index_children(dir);
    for (const std::wstring& sub : folders) {
        const std::string n = apply_rez_name_case(file_name_utf8(sub));
        const std::string key = slot_key(true, n, "");
        size_t at;
        auto it = index.find(key);
        if (it != index.end()) {
            // A folder of that name is there already: merge into it.
            at = it->second;
            if (!load_if_needed(model, dir.children[at], child_path(dir_path, dir.children[at].name), err))
                return false;
        } else {
            Entry d;
            d.is_dir = true;
            d.name = n;
            dir.children.push_back(std::move(d));
            at = dir.children.size() - 1;
            index.emplace(key, at);
        }
        Entry& child = dir.children[at];
        if (!add_contents(model, child, child_path(dir_path, child.name), sub, err, on_file)) return false;
    }
    for (const std::wstring& f : files) {
        if (on_file && !on_file(f)) {
            err = L"操作已取消";
            return false;
        }
        add_file_into(model, dir, dir_path, f, &index);
    }
    return true;
}

bool every_directory_loaded(const Entry& dir) {
    for (const Entry& c : dir.children)
        if (c.is_dir && (!c.loaded || !every_directory_loaded(c))) return false;
    return true;
}

// A new id must be free over the whole archive, not only in the folders read so far: the
// folders not yet read are read first, before any entry is referred to, since reading
// one fills in its children.
bool know_every_id(RezFile& model, std::wstring& err) {
    if (every_directory_loaded(model.root)) return true;
    std::wstring local;
    if (model.load_all_directories(local) && local.empty()) return true;
    err = local.empty() ? L"读取目录失败" : local;
    return false;
}

}  // namespace

bool RezFile::add_file(const std::string& dir_path, const std::wstring& disk_file, std::string& out_entry_path) {
    std::wstring err;
    if (!know_every_id(*this, err)) return false;
    std::string p;
    Entry* dir = ensure_directory(root, dir_path, p);
    out_entry_path = add_file_into(*this, *dir, p, disk_file, nullptr);
    return true;
}

bool RezFile::add_directory_tree(const std::string& dir_path, const std::wstring& disk_folder,
                                 std::string& out_dir_path, std::wstring* err, FileFn on_file) {
    std::wstring load_err;
    if (!know_every_id(*this, load_err)) {
        if (err) *err = load_err;
        return false;
    }
    std::string p;
    Entry* parent = ensure_directory(root, dir_path, p);
    std::string n = apply_rez_name_case(file_name_utf8(disk_folder));
    if (n.empty()) n = "DIR";
    std::wstring local;
    Entry* dir = nullptr;
    for (Entry& c : parent->children) {
        if (c.is_dir && iequals_ascii(c.name, n)) {
            dir = &c;
            break;
        }
    }
    if (dir) {
        if (!load_if_needed(*this, *dir, child_path(p, dir->name), local)) {
            if (err) *err = local;
            return false;
        }
        dir->loaded = true;
    } else {
        Entry d;
        d.is_dir = true;
        d.name = n;
        parent->children.push_back(std::move(d));
        dir = &parent->children.back();
    }
    const std::string d_path = child_path(p, dir->name);
    if (!add_contents(*this, *dir, d_path, disk_folder, local, on_file)) {
        if (err) *err = local;
        return false;
    }
    out_dir_path = d_path;
    return true;
}

bool RezFile::add_directory_contents(const std::string& dir_path, const std::wstring& disk_folder, std::wstring& err,
                                     FileFn on_file) {
    if (!know_every_id(*this, err)) return false;
    Entry* dir = find_entry(dir_path);
    if (!dir || !dir->is_dir) return false;
    return add_contents(*this, *dir, dir_path, disk_folder, err, on_file);
}

bool RezFile::add_directory_contents_to_root(const std::wstring& disk_folder, std::wstring& err) {
    return add_directory_contents("", disk_folder, err, {});
}

// ---- entries named by path ---------------------------------------------------------------------------

namespace {

struct Pick {
    Entry* parent = nullptr;
    std::string component, stem, type_text;
};

bool pick_parent(RezFile& model, const std::string& path, Pick& out) {
    std::vector<std::string> parts = split_archive_path(path);
    if (parts.empty()) return false;
    out.component = parts.back();
    parts.pop_back();
    out.parent = model.find_entry(join_archive_path(parts));
    if (!out.parent) return false;
    detail::split_component(out.component, out.stem, out.type_text);
    return true;
}

// Index of the first child the pick names, or npos.
size_t picked_index(const Pick& p) {
    for (size_t i = 0; i < p.parent->children.size(); ++i) {
        if (entry_matches_component(p.parent->children[i], p.component, p.stem, p.type_text)) return i;
    }
    return std::string::npos;
}

bool has_conflict(const Entry& dir, const Entry& e, const Entry* except = nullptr) {
    for (const Entry& c : dir.children) {
        if (&c != except && same_slot(c, e)) return true;
    }
    return false;
}

bool contains(const Entry& tree, const Entry* target) {
    if (&tree == target) return true;
    for (const Entry& c : tree.children) {
        if (contains(c, target)) return true;
    }
    return false;
}

// Child indices leading from `from` to `target`.
bool index_path(const Entry& from, const Entry* target, std::vector<size_t>& out) {
    if (&from == target) return true;
    for (size_t i = 0; i < from.children.size(); ++i) {
        out.push_back(i);
        if (index_path(from.children[i], target, out)) return true;
        out.pop_back();
    }
    return false;
}

}  // namespace

bool RezFile::remove_entries(const std::string& entry_path) {
    Pick p;
    if (!pick_parent(*this, entry_path, p)) return false;
    auto& kids = p.parent->children;
    const size_t before = kids.size();
    kids.erase(std::remove_if(kids.begin(), kids.end(),
                              [&](const Entry& c) { return entry_matches_component(c, p.component, p.stem, p.type_text); }),
               kids.end());
    if (kids.size() == before) return false;
    build_used_ids();
    return true;
}

bool RezFile::rename_entry(const std::string& entry_path, const std::string& new_name) {
    const std::string n = trim(new_name);
    if (n.empty()) return false;
    Pick p;
    if (!pick_parent(*this, entry_path, p)) return false;
    const size_t i = picked_index(p);
    if (i == std::string::npos) return false;
    Entry& e = p.parent->children[i];
    Entry renamed;
    renamed.is_dir = e.is_dir;
    if (e.is_dir) {
        renamed.name = n;
    } else if (!split_name_ext(n, renamed.name, renamed.ext)) {
        renamed.name = n;
        renamed.ext.clear();
    }
    if (has_conflict(*p.parent, renamed, &e)) return false;
    e.name = renamed.name;
    if (!e.is_dir) e.ext = renamed.ext;
    return true;
}

bool RezFile::replace_entry(const std::string& entry_path, const std::wstring& disk_file) {
    Entry* e = find_entry(entry_path);
    if (!e || e->is_dir) return false;
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    if (!GetFileAttributesExW(disk_file.c_str(), GetFileExInfoStandard, &fa) ||
        (fa.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const uint64_t len = (static_cast<uint64_t>(fa.nFileSizeHigh) << 32) | fa.nFileSizeLow;
    e->size = len > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(len);
    e->source_path = disk_file;
    e->pos = 0;
    e->reserved.reset();
    e->member.reset();
    return true;
}

bool RezFile::move_entries(const std::string& entry_path, const std::string& target_dir) {
    // Every refusal is found before the target is made, so a refused move adds no folders.
    {
        Pick p;
        if (!pick_parent(*this, entry_path, p) || p.parent->children.empty()) return false;
        const size_t i = picked_index(p);
        if (i == std::string::npos) return false;
        bool whole = false;
        const Entry& reached = existing_directory_chain(root, target_dir, whole);
        // Into itself or its own subtree: there is no place left to put it.
        if (contains(p.parent->children[i], &reached)) return false;
        if (whole && has_conflict(reached, p.parent->children[i])) return false;
    }
    // Making the target may add folders and so move entries in memory: pick the source again.
    std::string t_path;
    Entry* target = ensure_directory(root, target_dir, t_path);
    Pick p;
    if (!pick_parent(*this, entry_path, p) || p.parent->children.empty()) return false;
    const size_t i = picked_index(p);
    if (i == std::string::npos) return false;
    if (!target->is_dir || contains(p.parent->children[i], target)) return false;

    // Taking the entry out shifts its later siblings, so the target is found again by
    // its child indices rather than by a pointer or a path that may now mean another entry.
    std::vector<size_t> t_index;
    if (!index_path(root, target, t_index)) return false;
    std::vector<size_t> p_index;
    if (!index_path(root, p.parent, p_index)) return false;
    Entry moved = std::move(p.parent->children[i]);
    p.parent->children.erase(p.parent->children.begin() + static_cast<std::ptrdiff_t>(i));
    const size_t d = p_index.size();
    if (t_index.size() > d && std::equal(p_index.begin(), p_index.end(), t_index.begin()) && t_index[d] > i)
        --t_index[d];
    Entry* t = &root;
    for (size_t k : t_index) t = &t->children[k];

    if (has_conflict(*t, moved)) {
        p.parent->children.insert(p.parent->children.begin() + static_cast<std::ptrdiff_t>(i), std::move(moved));
        return false;
    }
    t->children.push_back(std::move(moved));
    build_used_ids();
    return true;
}

bool RezFile::copy_entries(const std::string& entry_path, const std::string& target_dir) {
    Pick p;
    if (!pick_parent(*this, entry_path, p)) return false;
    const size_t i = picked_index(p);
    if (i == std::string::npos) return false;
    Entry copy = Entry::deep_copy(p.parent->children[i]);
    std::string t_path;
    Entry* t = ensure_directory(root, target_dir, t_path);
    if (!t->is_dir || has_conflict(*t, copy)) return false;
    t->children.push_back(std::move(copy));
    build_used_ids();
    return true;
}

}  // namespace rez
