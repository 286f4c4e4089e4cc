// Writing the model as a REZ file: data first, then the directory blocks, the comment
// section and the header, all into "<target>.tmp_qvl_<pid>_<tid>", which then replaces the target in one
// move.
#include <windows.h>

#include <cstring>
#include <new>
#include <unordered_map>

#include "archive/crypto.h"
#include "archive/rez_internal.h"
#include "archive/temp_note.h"

namespace rez {

namespace {

constexpr const wchar_t* kCancelled = L"操作已取消";

bool target_is_engine_layout(const std::wstring& target) { return RezFile(target).engine_layout; }

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    store_u32le(b, v);
    out.insert(out.end(), b, b + 4);
}

// Engine-layout directory records are read only when 20 bytes remain from their start;
// a short last name gets up to 3 bytes of padding, which the reader skips.
size_t engine_tail_padding(const Entry& dir) {
    if (dir.children.empty() || !dir.children.back().is_dir) return 0;
    const size_t n = dir.children.back().name.size();
    return n < 3 ? 3 - n : 0;
}

using OffsetMap = std::unordered_map<const Entry*, uint64_t>;

void serialize_block(const Entry& dir, bool engine, const std::function<uint64_t(const Entry&)>& offset_of,
                     std::vector<uint8_t>& out) {
    out.clear();
    for (const Entry& c : dir.children) {
        const uint32_t name_len = static_cast<uint32_t>(c.name.size());
        if (c.is_dir) {
            put_u32(out, 1);
            put_u32(out, static_cast<uint32_t>(offset_of(c)));
            put_u32(out, static_cast<uint32_t>(directory_block_length(c, engine)));
            put_u32(out, c.time);
            if (!engine) put_u32(out, name_len);
            out.insert(out.end(), c.name.begin(), c.name.end());
            out.push_back(0);
        } else {
            put_u32(out, 0);
            put_u32(out, static_cast<uint32_t>(c.pos));
            put_u32(out, c.size);
            put_u32(out, c.id);
            put_u32(out, c.time);
            put_u32(out, type_text_to_u32(c.ext));
            put_u32(out, 0);  // no keys
            if (engine) {
                out.insert(out.end(), c.name.begin(), c.name.end());
                out.push_back(0);
                out.push_back(0);  // empty description
            } else {
                put_u32(out, name_len);
                out.insert(out.end(), c.name.begin(), c.name.end());
                out.push_back(0);
                out.push_back(0);  // attribute byte
                if (c.reserved && c.reserved->size() >= 32)
                    out.insert(out.end(), c.reserved->begin(), c.reserved->begin() + 32);
                else
                    out.insert(out.end(), 32, 0);
            }
        }
    }
    if (engine) out.insert(out.end(), engine_tail_padding(dir), 0);
}

}  // namespace

// ---- public pieces of the writer ---------------------------------------------------------------

uint64_t directory_block_length(const Entry& dir, bool engine_layout) {
    uint64_t n = 0;
    for (const Entry& c : dir.children) {
        if (engine_layout)
            n += c.name.size() + (c.is_dir ? 17 : 30);
        else
            n += c.name.size() + (c.is_dir ? 21 : 66);
    }
    if (engine_layout) n += engine_tail_padding(dir);
    return n;
}

void collect_save_items(const Entry& dir, const std::string& dir_path, std::vector<std::string>& out) {
    for (const Entry& c : dir.children) {
        std::string p = dir_path.empty() ? c.name : dir_path + "\\" + c.name;
        if (c.is_dir) {
            collect_save_items(c, p, out);
        } else {
            if (!c.ext.empty()) { p += '.'; p += to_lower_ascii(c.ext); }
            out.push_back(std::move(p));
        }
    }
}

void collect_save_items(Entry& dir, const std::string& dir_path, std::vector<std::pair<std::string, Entry*>>& out) {
    for (Entry& c : dir.children) {
        std::string p = dir_path.empty() ? c.name : dir_path + "\\" + c.name;
        if (c.is_dir) {
            collect_save_items(c, p, out);
        } else {
            if (!c.ext.empty()) { p += '.'; p += to_lower_ascii(c.ext); }
            out.emplace_back(std::move(p), &c);
        }
    }
}

void RezFile::layout_directories(const Entry& dir, const std::string& dir_path, uint64_t& offset,
                                 DirectoryLayout& list, bool engine_layout) {
    list.emplace_back(dir_path, offset);
    offset += directory_block_length(dir, engine_layout);
    for (const Entry& c : dir.children) {
        if (c.is_dir) layout_directories(c, dir_path.empty() ? c.name : dir_path + "\\" + c.name, offset, list,
                                         engine_layout);
    }
}

std::vector<uint8_t> serialize_directory_block(const Entry& dir, const std::string& dir_path,
                                               const DirectoryLayout& list, bool engine_layout) {
    std::vector<uint8_t> out;
    serialize_block(
        dir, engine_layout,
        [&](const Entry& c) -> uint64_t {
            const std::string p = dir_path.empty() ? c.name : dir_path + "\\" + c.name;
            for (const auto& item : list) {
                if (item.first == p) return item.second;
            }
            return 0;
        },
        out);
    return out;
}

TempFileGuard::~TempFileGuard() {
    file.close();
    if (!released && !path.empty()) DeleteFileW(path.c_str());
}

// ---- reading what a file will be saved with ------------------------------------------------------

namespace {

// `old_file` is the open source archive (opened on first need, kept for the next call).
bool read_source(const Entry& e, const std::wstring& old_archive, FileHandle& old_file, std::vector<uint8_t>& out) {
    if (e.source_path) {
        if (file_exists(*e.source_path)) return read_file(*e.source_path, out);
        // Gone from disk before a save stored it: never write some other bytes instead.
        if (e.pos == 0) return false;
    }
    if (e.member) {
        std::wstring ignored;
        return extract_archive_entry(*e.member, out, ignored);
    }
    out.clear();
    if (e.size == 0) return true;
    if (e.pos == 0) return false;  // nothing of it is in the archive
    if (!old_file) old_file = detail::open_for_read(old_archive);
    if (!old_file) return false;
    if (e.pos + e.size > detail::file_length(old_file)) return false;
    try {
        out.resize(e.size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return detail::read_exact_at(old_file, e.pos, out.data(), out.size());
}

struct Rollback {
    struct Item {
        Entry* entry;
        uint64_t pos;
        uint32_t size;
        std::optional<std::vector<uint8_t>> reserved;
    };
    std::vector<Item> items;
    bool committed = false;
    ~Rollback() {
        if (committed) return;
        for (Item& it : items) {
            it.entry->pos = it.pos;
            it.entry->size = it.size;
            it.entry->reserved = std::move(it.reserved);
        }
    }
};

bool all_directories_loaded(const Entry& dir) {
    for (const Entry& c : dir.children) {
        if (c.is_dir && (!c.loaded || !all_directories_loaded(c))) return false;
    }
    return true;
}

}  // namespace

bool RezFile::read_entry_source(const std::string& entry_path, const std::wstring& old_archive,
                                std::vector<uint8_t>& out) const {
    const Entry* e = find_entry_const(entry_path);
    if (!e || e->is_dir) return false;
    FileHandle old_file;
    return read_source(*e, old_archive, old_file, out);
}

// ---- save ------------------------------------------------------------------------------------------

bool RezFile::save(const std::wstring& target, std::wstring& err, ProgressFn progress) {
    auto report = [&](int pct, const std::wstring& text) { return !progress || progress(pct, text); };

    std::wstring load_err;
    if (!load_all_directories(load_err, progress)) {
        err = load_err;
        return false;
    }
    // A folder that could not be read would be written empty: refuse instead.
    if (!load_err.empty() || !all_directories_loaded(root)) {
        err = L"部分目录读取失败，为免丢失内容已拒绝保存: " + (load_err.empty() ? std::wstring(L"目录未加载") : load_err);
        return false;
    }
    const std::string comment_utf8 = to_utf8(comment);
    if (comment_utf8.size() > kMaxCommentBytes) {
        err = L"文件注释过长（超过 4 MiB），无法保存";
        return false;
    }
    const bool engine = target_is_engine_layout(target);

    const std::wstring source = path;
    // A write that failed for want of room says so: the user can make room and save again.
    auto write_failed = [&target](const wchar_t* text) {
        return is_disk_full_error(GetLastError()) ? L"磁盘空间不足，无法保存: " + target : std::wstring(text);
    };
    // Named after this process and thread: another process saving the same archive, or a
    // file of the user's called "<archive>.tmp", is never written over or deleted.
    const std::wstring temp_path = temp_name_beside(target);
    const TempFileNote note(temp_path);  // outlives the guard, which removes the file
    TempFileGuard tmp;
    tmp.path = temp_path;
    DeleteFileW(tmp.path.c_str());
    // Created empty even when a stale one could not be deleted: offsets assume it.
    tmp.file.reset(CreateFileW(tmp.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!tmp.file) {
        tmp.path.clear();  // not ours: leave it alone
        err = L"无法创建临时文件";
        return false;
    }
    if (!report(0, L"正在初始化...")) {
        err = kCancelled;
        return false;
    }

    uint8_t header[kRezHeaderSize] = {};
    header[0] = 0x0D;
    header[1] = 0x0A;
    std::memset(header + 2, ' ', 60);
    std::memcpy(header + 2, signature_text.data(), std::min<size_t>(signature_text.size(), 60));
    header[62] = 0x0D;
    header[63] = 0x0A;
    std::memset(header + 64, ' ', 60);
    std::memcpy(header + 64, user_title.data(), std::min<size_t>(user_title.size(), 60));
    header[124] = 0x0D;
    header[125] = 0x0A;
    header[126] = 0x1A;
    store_u32le(header + 127, 1);
    store_u32le(header + 143, kRezHeaderSize);
    if (!write_at(tmp.file, 0, header, kRezHeaderSize)) {
        err = write_failed(L"写入头失败");
        return false;
    }
    if (!report(5, L"正在写入文件头...")) {
        err = kCancelled;
        return false;
    }

    // Each listed file stays bound to its own entry, even where two siblings share a name.
    std::vector<std::pair<std::string, Entry*>> items;
    collect_save_items(root, "", items);
    if (!report(10, L"正在写入资源数据...")) {
        err = kCancelled;
        return false;
    }

    Rollback rollback;
    rollback.items.reserve(items.size());
    FileHandle old_file;
    std::vector<uint8_t> data;
    uint64_t offset = kRezHeaderSize;
    const size_t n = items.size();
    for (size_t i = 0; i < n; ++i) {
        const std::string& item_path = items[i].first;
        Entry& e = *items[i].second;
        const size_t cut = item_path.rfind('\\');
        const std::wstring label = from_utf8(cut == std::string::npos ? item_path : item_path.substr(cut + 1));
        if (!report(static_cast<int>(i * 60 / n + 10),
                    L"正在打包: " + label + L" (" + std::to_wstring(i + 1) + L"/" + std::to_wstring(n) + L")")) {
            err = kCancelled;
            return false;
        }
        if (!read_source(e, source, old_file, data)) {
            err = L"读取资源失败: " + from_utf8(item_path);
            if (e.source_path) err += L"（无法读取文件 " + *e.source_path + L"）";
            return false;
        }
        const std::string digest = md5_hex(data.data(), data.size());
        rollback.items.push_back({&e, e.pos, e.size, e.reserved});
        if (offset > 0xFFFFFFFFull) {
            err = L"REZ 档案数据区偏移超过 4 GiB，当前 REZ 格式仅支持 32 位偏移，无法保存 64 位超大档案";
            return false;
        }
        e.pos = offset;
        e.reserved = std::vector<uint8_t>(digest.begin(), digest.end());
        if (data.size() > 0xFFFFFFFFull) {
            err = L"单个资源文件超过 4 GiB，当前 REZ 格式的 size 字段仅支持 32 位，无法保存";
            return false;
        }
        e.size = static_cast<uint32_t>(data.size());
        if (!data.empty() && !write_at(tmp.file, offset, data.data(), data.size())) {
            err = write_failed(L"写入资源数据失败");
            return false;
        }
        offset += data.size();
    }
    old_file.close();
    data = std::vector<uint8_t>();

    const uint64_t root_len = directory_block_length(root, engine);
    if (offset > 0xFFFFFFFFull || offset + root_len > 0xFFFFFFFFull) {
        err = L"REZ 档案总长度超过 4 GiB，当前 REZ 格式仅支持 32 位偏移/大小，无法保存 64 位超大档案";
        return false;
    }
    const uint64_t root_pos = offset;

    // Block offsets by entry, not by path: two sibling folders may share a name.
    OffsetMap offsets;
    std::vector<const Entry*> order;
    uint64_t end = root_pos;
    std::function<void(const Entry&)> lay = [&](const Entry& dir) {
        offsets[&dir] = end;
        order.push_back(&dir);
        end += directory_block_length(dir, engine);
        for (const Entry& c : dir.children) {
            if (c.is_dir) lay(c);
        }
    };
    lay(root);
    if (end > 0x100000000ull) {
        err = L"REZ 档案目录区超过 4 GiB，当前 REZ 格式仅支持 32 位偏移/大小，无法保存 64 位超大档案";
        return false;
    }
    std::vector<uint8_t> block;
    for (const Entry* dir : order) {
        serialize_block(
            *dir, engine, [&](const Entry& c) { return offsets[&c]; }, block);
        if (block.empty()) continue;
        const uint64_t at = offsets[dir];
        if (!engine) rez_crypto_encode(block.data(), block.size(), at);
        if (!write_at(tmp.file, at, block.data(), block.size())) {
            err = write_failed(L"写入目录区失败");
            return false;
        }
    }
    if (!report(70, L"正在写入目录结构...")) {
        err = kCancelled;
        return false;
    }

    if (!comment_utf8.empty()) {
        std::vector<uint8_t> section(kCommentMarker, kCommentMarker + kCommentMarkerSize);
        put_u32(section, static_cast<uint32_t>(comment_utf8.size()));
        for (size_t i = 0; i < comment_utf8.size(); ++i)
            section.push_back(static_cast<uint8_t>(comment_utf8[i]) ^ kCommentKey[i % 8]);
        if (!write_at(tmp.file, end, section.data(), section.size())) {
            err = write_failed(L"写入注释失败");
            return false;
        }
    }
    if (!report(85, L"正在写入文件注释...")) {
        err = kCancelled;
        return false;
    }

    store_u32le(header + 131, static_cast<uint32_t>(root_pos));
    store_u32le(header + 135, static_cast<uint32_t>(root_len));
    if (!write_at(tmp.file, 0, header, kRezHeaderSize)) {
        err = write_failed(L"回写头失败");
        return false;
    }
    tmp.file.close();
    if (!report(95, L"正在完成写入...")) {
        err = kCancelled;
        return false;
    }

    // One replacing move: the old archive stays whole until the new one takes its place.
    bool moved = false;
    for (int attempt = 0; attempt < 5 && !moved; ++attempt) {
        if (attempt) Sleep(200);
        moved = move_file_replace(tmp.path, target);
    }
    if (!moved) {
        tmp.released = true;  // the finished archive is the only copy of the new content
        err = L"移动临时文件到目标失败（原文件未改动，新档案保留在: " + tmp.path + L"）";
        return false;
    }
    tmp.released = true;
    rollback.committed = true;
    path = target;
    engine_layout = engine;
    // Folders now live at their new blocks; an empty one must not be read again from
    // where it was in the old file.
    for (const Entry* dir : order) {
        Entry* d = const_cast<Entry*>(dir);
        d->pos = offsets[dir];
        d->size = static_cast<uint32_t>(directory_block_length(*d, engine));
    }
    root.pos = 0;
    root.size = 0;
    root_block_pos = root_pos;
    if (progress) progress(100, L"保存完成");
    return true;
}

}  // namespace rez
