#include "app/operations/member_rewrite.h"

#include <windows.h>

#include <map>
#include <set>

#include "app/main_window/task_ui.h"
#include "app/operations/zip_7z_rewrite.h"
#include "archive/password.h"
#include "archive/sevenzip_reader.h"
#include "archive/sevenzip_rewrite.h"
#include "archive/sevenzip_writer.h"
#include "archive/util.h"
#include "archive/zip_reader.h"
#include "archive/zip_rewrite.h"

namespace rezui {

namespace {

constexpr const wchar_t* kChangedOutside = L"归档已在程序外被修改，请重新打开后再试";

std::wstring beside(const std::wstring& path, const wchar_t* tag) {
    return path + tag + std::to_wstring(GetCurrentProcessId());
}

bool cancelled(size_t k, size_t n, const wchar_t* what, std::wstring& err) {
    const int percent = n ? static_cast<int>((static_cast<uint64_t>(k) * 100 + 100) / n) : 100;
    if (post_progress(percent, std::wstring(what) + L" (" + std::to_wstring(k + 1) + L"/" + std::to_wstring(n) + L")"))
        return false;
    err = L"已取消";
    return true;
}

// Progress of a 7z write; false when the user stopped the job.
bool write_progress(uint64_t done, uint64_t total) {
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    return post_progress(percent, L"正在写入归档");
}

// The listing indices of the file members, in the order a member walk visits them.
std::vector<size_t> file_indices(const std::vector<ListedName>& listing) {
    std::vector<size_t> out;
    for (size_t i = 0; i < listing.size(); ++i)
        if (!listing[i].is_dir) out.push_back(i);
    return out;
}

// The decoded content of the listed file members the plan needs anew, by listing index.
bool read_members(const std::wstring& path, const std::string& ext, const std::vector<ListedName>& listing,
                  const std::set<size_t>& wanted, std::map<size_t, std::vector<uint8_t>>& out, std::wstring& err) {
    if (wanted.empty()) return true;
    const std::vector<size_t> files = file_indices(listing);
    std::wstring comment;
    return walk_file_members(
        path, ext, comment, nullptr,
        [&](size_t k, size_t n, const std::string&, std::vector<uint8_t>& data, std::wstring& e) {
            if (k >= files.size()) {
                e = kChangedOutside;
                return false;
            }
            if (wanted.count(files[k])) out[files[k]] = std::move(data);
            return !cancelled(k, n, L"正在读取归档", e);
        },
        err);
}

// Moves the finished temporary file over target, keeping the old target aside until then.
bool put_in_place(const std::wstring& tmp, const std::wstring& target, std::wstring& err) {
    if (!rez::file_exists(target)) {
        if (MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        DeleteFileW(tmp.c_str());
        err = L"无法写回归档";
        return false;
    }
    const std::wstring bak = beside(target, L".bak_qvl_");
    if (!MoveFileExW(target.c_str(), bak.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        err = L"无法备份原归档";
        DeleteFileW(tmp.c_str());
        return false;
    }
    if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        MoveFileExW(bak.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        DeleteFileW(tmp.c_str());
        err = L"无法写回归档";
        return false;
    }
    DeleteFileW(bak.c_str());
    return true;
}

// The ZIP rewrite into the bytes of the new archive; the source is read (mapped) only here.
bool build_zip(const std::wstring& source, const std::optional<std::wstring>& comment,
               const std::vector<RewriteItem>& items, const std::optional<rez::ZipProtection>& protection,
               const std::wstring& password, std::vector<uint8_t>& out, std::wstring& err) {
    rez::MappedFile mapped;
    std::vector<uint8_t> copy;
    std::span<const uint8_t> file;
    if (!rez::map_or_read(source, mapped, copy, file)) {
        err = L"无法读取 ZIP 文件";
        return false;
    }
    std::vector<rez::ZipEntry> entries;
    std::wstring old_comment;
    if (!rez::zip_list_entries_in(file, entries, old_comment, err)) return false;
    std::vector<rez::ZipRewriteItem> plan;
    plan.reserve(items.size());
    for (const RewriteItem& item : items) {
        rez::ZipRewriteItem z;
        if (item.member != RewriteItem::kNew) {
            if (item.member >= entries.size()) {
                err = kChangedOutside;
                return false;
            }
            z.member = &entries[item.member];
            z.copy = item.keep_stored;
        }
        z.name = item.name;
        z.data = item.data;
        z.mtime = item.mtime;
        plan.push_back(std::move(z));
    }
    return rez::zip_rewrite(file, plan, comment, protection.value_or(rez::zip_protection_of(entries)), password, out,
                            err);
}

// A 7z rewrite carries kept folders over packed (see rez::sevenzip_rewrite); only a folder that
// loses a file and the new content are stored anew.
bool build_7z(const std::wstring& source, const std::wstring& tmp, const std::optional<std::wstring>& comment,
              const std::vector<RewriteItem>& items, const std::wstring& password, std::wstring& err) {
    std::vector<ListedName> listing;
    std::wstring old_comment;
    if (!list_members(source, "7z", listing, old_comment, err)) return false;
    // A member named twice (an entry copied in the model) is carried over once; the other
    // uses are its content written anew.
    std::set<size_t> seen, again;
    for (const RewriteItem& item : items) {
        if (item.member == RewriteItem::kNew) continue;
        if (item.member >= listing.size()) {
            err = kChangedOutside;
            return false;
        }
        if (!seen.insert(item.member).second && !listing[item.member].is_dir) again.insert(item.member);
    }
    std::map<size_t, std::vector<uint8_t>> contents;
    if (!again.empty() && !read_members(source, "7z", listing, again, contents, err)) return false;
    seen.clear();
    std::vector<rez::SevenZipRewriteItem> plan;
    for (const RewriteItem& item : items) {
        rez::SevenZipRewriteItem s;
        s.name = item.name;
        s.mtime = item.mtime;
        if (item.member == RewriteItem::kNew) {
            s.data = item.data;
        } else if (!seen.insert(item.member).second) {
            if (listing[item.member].is_dir) continue;
            if (s.name.empty()) s.name = member_file_name(listing[item.member].name, false);
            s.data = contents[item.member];
        } else {
            s.index = item.member;
        }
        plan.push_back(std::move(s));
    }
    rez::SevenZipRewriteOptions options;
    options.progress = write_progress;
    return rez::sevenzip_rewrite(source, tmp, plan, comment.value_or(old_comment), password, err, options);
}

bool same_path(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string last_part(const std::string& path) {
    std::string p = path;
    while (!p.empty() && (p.back() == '/' || p.back() == '\\')) p.pop_back();
    const size_t cut = p.find_last_of("/\\");
    return cut == std::string::npos ? p : p.substr(cut + 1);
}

uint64_t disk_time(const std::wstring& file) {
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &fa)) return 0;
    return (uint64_t{fa.ftLastWriteTime.dwHighDateTime} << 32) | fa.ftLastWriteTime.dwLowDateTime;
}

// Walks the model collecting what plan_from_model needs.
struct ModelWalk {
    ModelWalk(const std::wstring& archive, const std::vector<ListedName>& listed) : source(archive), listing(listed) {}
    const std::wstring& source;
    const std::vector<ListedName>& listing;
    bool applicable = true;
    bool changed_outside = false;
    struct Use {
        size_t index;
        std::string path;  // model path now
        const rez::ArchiveMember* member;
        bool is_dir;
    };
    std::vector<Use> uses;
    std::vector<const rez::Entry*> added;  // entries with a disk file
    std::vector<std::string> added_paths;
    std::vector<std::string> new_dirs;

    // The listing index of a member of source, or kNew (applicable cleared) for anything else.
    size_t resolve(const rez::ArchiveMember& m, bool is_dir) {
        if (!same_path(m.archive_path, source)) {
            applicable = false;
            return RewriteItem::kNew;
        }
        if (m.listing_index < listing.size() && listing[m.listing_index].name == m.member_name &&
            listing[m.listing_index].is_dir == is_dir)
            return m.listing_index;
        for (size_t i = 0; i < listing.size(); ++i)
            if (listing[i].name == m.member_name && listing[i].is_dir == is_dir) return i;
        changed_outside = true;
        return RewriteItem::kNew;
    }

    void walk(const rez::Entry& dir, const std::string& path) {
        for (const rez::Entry& c : dir.children) {
            const std::string leaf = c.is_dir || c.ext.empty() ? c.name : c.name + "." + c.ext;
            const std::string p = path.empty() ? leaf : path + "/" + leaf;
            if (c.is_dir) {
                for (const rez::ArchiveMember& m : c.dir_members) {
                    const size_t i = resolve(m, true);
                    if (i != RewriteItem::kNew) uses.push_back({i, p, &m, true});
                }
                if (c.dir_members.empty() && c.children.empty()) new_dirs.push_back(p + "/");
                walk(c, p);
            } else if (c.source_path) {
                added.push_back(&c);
                added_paths.push_back(p);
            } else if (c.member) {
                const size_t i = resolve(*c.member, false);
                if (i != RewriteItem::kNew) uses.push_back({i, p, &*c.member, false});
            } else {
                applicable = false;
            }
        }
    }
};

}  // namespace

bool list_members(const std::wstring& path, const std::string& ext, std::vector<ListedName>& out,
                  std::wstring& comment, std::wstring& err) {
    out.clear();
    if (ext == "zip") {
        std::vector<rez::ZipEntry> entries;
        if (!rez::zip_list_entries(path, entries, comment, err)) return false;
        for (const rez::ZipEntry& e : entries) out.push_back({e.name, e.is_dir});
        return true;
    }
    if (ext == "7z") {
        std::vector<rez::SevenZipEntry> entries;
        if (!rez::sevenzip_list_entries(path, entries, comment, err)) return false;
        for (const rez::SevenZipEntry& e : entries) out.push_back({e.name, e.is_dir});
        return true;
    }
    err = L"不支持的归档格式";
    return false;
}

static bool rewrite_to(const std::wstring& source, const std::wstring& target, const std::string& ext,
                       const std::optional<std::wstring>& comment, const std::vector<RewriteItem>& items,
                       const std::optional<rez::ZipProtection>& protection, const std::wstring& password,
                       std::wstring& err) {
    if (ext != "zip" && ext != "7z") {
        err = L"不支持的归档格式";
        return false;
    }
    const std::wstring tmp = beside(target, L".tmp_qvl_");
    bool written = false;
    if (ext == "zip") {
        std::vector<uint8_t> bytes;
        written = build_zip(source, comment, items, protection, password, bytes, err);
        if (written && !rez::write_file(tmp, bytes.data(), bytes.size())) {
            err = L"写入 ZIP 文件失败";
            written = false;
        }
    } else {
        written = build_7z(source, tmp, comment, items, password, err);
    }
    if (!written) {
        DeleteFileW(tmp.c_str());
        return false;
    }
    return put_in_place(tmp, target, err);
}

bool rewrite_archive_atomic(const std::wstring& source, const std::wstring& target, const std::string& ext,
                            const std::optional<std::wstring>& comment, const std::vector<RewriteItem>& items,
                            const std::wstring& password, std::wstring& err) {
    return rewrite_to(source, target, ext, comment, items, std::nullopt, password, err);
}

bool rewrite_with_new_password(const std::wstring& path, const std::string& ext, const std::wstring& new_password,
                               std::wstring& err) {
    if (ext == "7z") {
        // Every record kept; the library stores each file again under the new password and
        // keeps an encrypted file list encrypted.
        std::vector<ListedName> listing;
        std::wstring comment;
        if (!list_members(path, ext, listing, comment, err)) return false;
        std::vector<rez::SevenZipRewriteItem> plan(listing.size());
        for (size_t i = 0; i < listing.size(); ++i) plan[i].index = i;
        rez::SevenZipRewriteOptions options;
        options.replace_password = true;
        options.new_password = new_password;
        options.progress = write_progress;
        const std::wstring tmp = beside(path, L".tmp_qvl_");
        if (!rez::sevenzip_rewrite(path, tmp, plan, comment, rez::get_current_password(), err, options)) {
            DeleteFileW(tmp.c_str());
            return false;
        }
        return put_in_place(tmp, path, err);
    }
    std::vector<ListedName> listing;
    std::wstring comment;
    if (!list_members(path, ext, listing, comment, err)) return false;
    std::set<size_t> wanted;
    for (size_t i : file_indices(listing)) wanted.insert(i);
    std::map<size_t, std::vector<uint8_t>> contents;
    if (!read_members(path, ext, listing, wanted, contents, err)) return false;
    std::vector<RewriteItem> items;
    for (size_t i = 0; i < listing.size(); ++i) {
        RewriteItem item;
        item.member = i;
        if (!listing[i].is_dir) {
            item.keep_stored = false;
            item.data = std::move(contents[i]);
        }
        items.push_back(std::move(item));
    }
    std::optional<rez::ZipProtection> protection;
    if (ext == "zip") {
        std::vector<rez::ZipEntry> entries;
        std::wstring c;
        if (!rez::zip_list_entries(path, entries, c, err)) return false;
        const rez::ZipProtection now = rez::zip_protection_of(entries);
        protection = new_password.empty()               ? rez::ZipProtection::none
                     : now == rez::ZipProtection::aes256 ? rez::ZipProtection::aes256
                                                         : rez::ZipProtection::zipcrypto;
    }
    return rewrite_to(path, path, ext, std::nullopt, items, protection, new_password, err);
}

std::vector<RewriteItem> plan_add(const std::vector<ListedName>& listing, std::vector<RewriteItem> added) {
    std::vector<RewriteItem> out;
    std::vector<bool> placed(added.size(), false);
    for (size_t i = 0; i < listing.size(); ++i) {
        size_t same = added.size();
        if (!listing[i].is_dir)
            for (size_t k = 0; k < added.size(); ++k)
                if (added[k].name == listing[i].name) {
                    same = k;
                    break;
                }
        if (same == added.size()) {
            RewriteItem kept;
            kept.member = i;
            out.push_back(std::move(kept));
        } else if (!placed[same]) {
            placed[same] = true;
            out.push_back(std::move(added[same]));
        }
    }
    for (size_t k = 0; k < added.size(); ++k)
        if (!placed[k]) out.push_back(std::move(added[k]));
    return out;
}

bool plan_from_model(const rez::RezFile& model, const std::wstring& source, const std::vector<ListedName>& listing,
                     std::vector<RewriteItem>& items, bool& applicable, std::wstring& err) {
    items.clear();
    ModelWalk walk(source, listing);
    walk.walk(model.root, "");
    applicable = walk.applicable;
    if (!applicable) return true;
    if (walk.changed_outside) {
        err = kChangedOutside;
        return false;
    }
    // A member still where the listing put it keeps its place and stored name; one moved,
    // renamed or copied is carried over under its new name (its own last part kept when only
    // its folders changed).
    std::vector<std::optional<RewriteItem>> slots(listing.size());
    std::vector<const ModelWalk::Use*> moved;
    for (const ModelWalk::Use& u : walk.uses) {
        if (u.path == u.member->shown_path && !slots[u.index]) {
            slots[u.index] = RewriteItem{};
            slots[u.index]->member = u.index;
        } else {
            moved.push_back(&u);
        }
    }
    std::vector<RewriteItem> extra;
    std::set<std::string> dir_names;
    for (const ModelWalk::Use* u : moved) {
        RewriteItem item;
        item.member = u->index;
        std::string name = u->path;
        if (last_part(u->path) == last_part(u->member->shown_path)) {
            const size_t cut = name.find_last_of('/');
            name = (cut == std::string::npos ? std::string() : name.substr(0, cut + 1)) +
                   last_part(u->member->member_name);
        }
        if (u->is_dir) {
            name += "/";
            if (!dir_names.insert(name).second) continue;
        }
        item.name = name;
        if (!slots[u->index])
            slots[u->index] = std::move(item);
        else
            extra.push_back(std::move(item));
    }
    for (std::optional<RewriteItem>& s : slots)
        if (s) items.push_back(std::move(*s));
    for (RewriteItem& e : extra) items.push_back(std::move(e));
    for (size_t k = 0; k < walk.added.size(); ++k) {
        RewriteItem item;
        item.name = walk.added_paths[k];
        const std::wstring& file = *walk.added[k]->source_path;
        if (!rez::read_file(file, item.data)) {
            err = L"读取失败: " + file;
            return false;
        }
        item.mtime = disk_time(file);
        items.push_back(std::move(item));
    }
    for (const std::string& d : walk.new_dirs) {
        if (!dir_names.insert(d).second) continue;
        RewriteItem item;
        item.name = d;
        items.push_back(std::move(item));
    }
    return true;
}

}  // namespace rezui
