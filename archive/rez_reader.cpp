// Reading REZ archives: header checks, the directory-block parser for both layouts, lazy
// loading of directory blocks, the comment section and reading one entry's bytes.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/rez_internal.h"

namespace rez {

// ---- file helpers -------------------------------------------------------------------

namespace detail {

FileHandle open_for_read(const std::wstring& path) {
    if (path.empty()) return FileHandle();
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

uint64_t file_length(FileHandle& file) {
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return 0;
    return static_cast<uint64_t>(size.QuadPart);
}

bool read_exact_at(FileHandle& file, uint64_t offset, uint8_t* data, size_t length) {
    if (!file) return false;
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), to, nullptr, FILE_BEGIN)) return false;
    size_t done = 0;
    while (done < length) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(length - done, kIoChunk));
        DWORD got = 0;
        if (!ReadFile(file.get(), data + done, want, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

Ancestors ancestors_of(const RezFile& model, const std::string& path) {
    Ancestors out{model.root_block_pos};
    const std::vector<std::string> parts = split_archive_path(path);
    const Entry* cur = &model.root;
    for (size_t i = 0; i + 1 < parts.size() && cur; ++i) {
        cur = cur->find_child(parts[i]);
        if (cur) out.push_back(cur->pos);
    }
    return out;
}

namespace {

bool needs_block_read(const Entry& dir) {
    return dir.is_dir && !dir.member && !(dir.loaded && !dir.children.empty()) && dir.pos != 0 && dir.size != 0;
}

}  // namespace

bool load_nested(RezFile& model, FileHandle& file, Entry* dir, const Ancestors& ancestors, std::wstring& err) {
    if (dir && needs_block_read(*dir)) {
        // A block that is its own ancestor's would nest without end.
        if (ancestors.size() >= kMaxDirectoryDepth) {
            err = L"Directory nesting too deep";
            return false;
        }
        if (std::find(ancestors.begin(), ancestors.end(), dir->pos) != ancestors.end()) {
            err = L"Directory block refers to itself or a parent directory";
            return false;
        }
    }
    return model.load_directory_block(file, dir, err);
}

}  // namespace detail

// ---- directory-block parser -------------------------------------------------------------

void parse_directory_block(std::vector<uint8_t>& block, size_t& pos, Entry& parent, bool engine_layout,
                           uint64_t base, std::wstring& err) {
    const size_t end = block.size();
    if (end == 0) return;
    if (std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; })) {
        pos = end;
        return;
    }
    if (!engine_layout) rez_crypto_decode(block.data(), block.size(), base);
    const uint8_t* b = block.data();

    // Game layout: a u32 length and the bytes, the terminator skipped when present.
    // Returns false when the length field itself cannot be read.
    auto read_counted_name = [&](std::string& name) {
        if (end - pos < 4) {
            err = L"Unexpected end of directory buffer";
            return false;
        }
        const uint32_t len = load_u32le(b + pos);
        pos += 4;
        if (len > end - pos) {
            err = L"Name length invalid in directory";
            return true;
        }
        name.assign(reinterpret_cast<const char*>(b + pos), len);
        pos += len;
        if (pos < end) ++pos;
        return true;
    };
    // Engine layout: bytes up to a NUL.
    auto read_nul_name = [&](std::string& name) {
        const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(b + pos, 0, end - pos));
        if (!zero) return false;
        name.assign(reinterpret_cast<const char*>(b + pos), static_cast<size_t>(zero - (b + pos)));
        pos = static_cast<size_t>(zero - b) + 1;
        return true;
    };

    while (end - pos >= 4) {
        const size_t start = pos;
        const uint32_t type = load_u32le(b + start);
        if (type == 1) {
            if (end - start < 20) {
                err = L"Directory entry data incomplete";
                return;
            }
            Entry child;
            child.is_dir = true;
            child.loaded = false;
            child.pos = load_u32le(b + start + 4);
            child.size = load_u32le(b + start + 8);
            child.time = load_u32le(b + start + 12);
            pos = start + 16;
            if (engine_layout) {
                if (!read_nul_name(child.name)) {
                    err = L"No null terminator in engine directory name";
                    return;
                }
            } else {
                read_counted_name(child.name);  // 20 bytes were there, so the length is
            }
            parent.children.push_back(std::move(child));
            continue;
        }
        if (end - start - 4 < 24) {
            err = L"File entry data incomplete";
            return;
        }
        Entry child;
        child.pos = load_u32le(b + start + 4);
        child.size = load_u32le(b + start + 8);
        child.id = load_u32le(b + start + 12);
        child.time = load_u32le(b + start + 16);
        child.ext = type_text_from_u32(load_u32le(b + start + 20));
        const uint32_t key_count = load_u32le(b + start + 24);
        pos = start + 28;
        if (engine_layout) {
            if (!read_nul_name(child.name)) {
                err = L"No null terminator in engine resource name";
                return;
            }
            std::string description;
            if (!read_nul_name(description)) pos = end;
        } else {
            read_counted_name(child.name);
            if (pos >= end) {
                err = L"File entry attr incomplete";
                return;
            }
            const uint8_t attr = b[pos++];
            if (attr != 0 && pos < end) ++pos;
            if (end - pos < 32) {
                err = L"File entry reserved field incomplete";
                return;
            }
            child.reserved = std::vector<uint8_t>(b + pos, b + pos + 32);
            pos += 32;
            const uint64_t keys = static_cast<uint64_t>(key_count) * 4;
            if (keys > end - pos) {
                err = L"File entry extra data incomplete";
                pos = end;
                return;
            }
            pos += static_cast<size_t>(keys);
        }
        parent.children.push_back(std::move(child));
    }
}

// ---- comment section -------------------------------------------------------------------------

namespace {

constexpr size_t kCommentWindow = 65536;

bool read_section_at(FileHandle& file, uint64_t at, uint32_t n, std::wstring& comment) {
    std::vector<uint8_t> bytes(n);
    if (n && !detail::read_exact_at(file, at, bytes.data(), n)) return false;
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= kCommentKey[i % 8];
    comment = from_utf8(vector_to_string(bytes));
    return true;
}

// Offset in `window` of the last marker at or before `from`, or npos.
size_t find_marker_back(const std::vector<uint8_t>& window, size_t from) {
    for (size_t i = from + 1; i-- > 0;) {
        if (std::memcmp(window.data() + i, kCommentMarker, kCommentMarkerSize) == 0) return i;
    }
    return std::string::npos;
}

}  // namespace

bool find_comment_section(FileHandle& file, uint64_t length, std::wstring& comment, uint64_t& section_start) {
    const size_t head = kCommentMarkerSize + 4;
    if (length < head) return false;
    const uint64_t room = length - head;

    // The nearest marker in the last 64 KiB.
    {
        const size_t w = static_cast<size_t>(std::min<uint64_t>(room, kCommentWindow));
        std::vector<uint8_t> window(w + head);
        const uint64_t at = length - window.size();
        if (!detail::read_exact_at(file, at, window.data(), window.size())) return false;
        const size_t m = find_marker_back(window, w);
        if (m != std::string::npos) {
            const uint32_t n = load_u32le(window.data() + m + kCommentMarkerSize);
            const uint64_t data_at = at + m + head;
            if (data_at + n > length) return false;
            if (!read_section_at(file, data_at, n, comment)) return false;
            section_start = at + m;
            return true;
        }
        if (room <= kCommentWindow) return false;
    }
    // A comment longer than that window: the writer puts its section last, so accept only
    // a marker whose section ends exactly at the end of the file.
    const size_t w = static_cast<size_t>(std::min<uint64_t>(room, kMaxCommentBytes));
    std::vector<uint8_t> window(w + head);
    const uint64_t at = length - window.size();
    if (!detail::read_exact_at(file, at, window.data(), window.size())) return false;
    for (size_t m = find_marker_back(window, w); m != std::string::npos;
         m = m ? find_marker_back(window, m - 1) : std::string::npos) {
        const uint32_t n = load_u32le(window.data() + m + kCommentMarkerSize);
        if (at + m + head + n == length) {
            if (!read_section_at(file, at + m + head, n, comment)) return false;
            section_start = at + m;
            return true;
        }
    }
    return false;
}

void read_comment_section(RezFile& model, FileHandle& file, uint64_t file_length) {
    std::wstring comment;
    uint64_t start = 0;
    if (find_comment_section(file, file_length, comment, start)) model.comment = std::move(comment);
}

// ---- opening ------------------------------------------------------------------------------------

namespace {

std::string header_text(const uint8_t* p, size_t n) {
    while (n > 0 && (p[n - 1] == 0 || p[n - 1] == 0x20)) --n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

bool RezFile::open(const std::wstring& file_path, RezFile& out, std::wstring& err) {
    FileHandle file = detail::open_for_read(file_path);
    if (!file) {
        err = L"无法打开文件: " + file_path;
        return false;
    }
    const uint64_t length = detail::file_length(file);
    uint8_t h[kRezHeaderSize];
    if (length < kRezHeaderSize || !detail::read_exact_at(file, 0, h, kRezHeaderSize)) {
        err = L"REZ 头不完整（文件小于 168 字节）";
        return false;
    }
    if (h[0] != 0x0D || h[1] != 0x0A || h[62] != 0x0D || h[63] != 0x0A || h[124] != 0x0D || h[125] != 0x0A ||
        h[126] != 0x1A) {
        err = L"REZ 签名不匹配（应为 0D 0A / 0D 0A / 0D 0A 1A）";
        return false;
    }
    const uint32_t version = load_u32le(h + 127);
    if (version != 1) {
        err = L"不支持的 REZ 版本 " + std::to_wstring(version);
        return false;
    }
    const uint64_t root_pos = load_u32le(h + 131);
    uint64_t root_len = load_u32le(h + 135);
    const bool empty = length == kRezHeaderSize && root_pos == kRezHeaderSize && root_len == 0;

    RezFile model(file_path);
    model.signature_text = header_text(h + 2, 60);
    model.user_title = header_text(h + 64, 60);

    std::wstring comment;
    uint64_t comment_at = 0;
    const bool has_comment = find_comment_section(file, length, comment, comment_at);
    if (has_comment) model.comment = std::move(comment);

    if (!empty) {
        if (root_pos < kRezHeaderSize) {
            err = L"目录偏移过小";
            return false;
        }
        if (root_pos >= length) {
            err = L"目录偏移超出文件范围";
            return false;
        }
        if (root_len == 0) {
            // An empty root is stored with length 0; the comment section that may follow
            // it is not part of the root block.
            root_len = (has_comment && comment_at >= root_pos) ? comment_at - root_pos : length - root_pos;
        } else if (root_len > length - root_pos) {
            root_len = length - root_pos;
        }
        model.root_block_pos = root_pos;
        if (root_len > 0) {
            std::vector<uint8_t> block;
            try {
                block.resize(static_cast<size_t>(root_len));
            } catch (const std::bad_alloc&) {
                err = L"读取目录区失败";
                return false;
            }
            if (!detail::read_exact_at(file, root_pos, block.data(), block.size())) {
                err = L"读取目录区失败";
                return false;
            }
            std::wstring perr;
            size_t at = 0;
            parse_directory_block(block, at, model.root, model.engine_layout, root_pos, perr);
            if (!perr.empty()) {
                err = perr;
                return false;
            }
            model.records_loaded = model.root.children.size();
        }
    }

    uint32_t highest = kFirstFreeId - 1;
    for (const Entry& e : model.root.children) {
        if (!e.is_dir && e.id > highest) highest = e.id;
    }
    model.next_id = highest >= 0xFFFFFFFEu ? 1 : highest + 1;
    model.build_used_ids();
    out = std::move(model);
    return true;
}

// ---- lazy directory loading ----------------------------------------------------------------------

bool RezFile::load_directory_block(FileHandle& file, Entry* dir, std::wstring& err) {
    if (!dir) {
        err = L"目录不存在";
        return false;
    }
    if (!dir->is_dir) {
        err = L"不是目录";
        return false;
    }
    if (dir->member) {
        dir->loaded = true;
        return true;
    }
    if (dir->loaded && !dir->children.empty()) return true;
    dir->children.clear();
    if (dir->pos == 0 || dir->size == 0) {
        dir->loaded = true;
        return true;
    }
    if (!file) {
        err = L"无法打开资源包";
        return false;
    }
    const uint64_t length = detail::file_length(file);
    if (length <= dir->pos) {
        dir->loaded = true;
        return true;
    }
    // Every record takes at least 21 bytes, so a sound tree (even with a few copies of
    // unread folders) never needs more records than this; blocks that share or overlap
    // one another could otherwise make us build without end.
    const uint64_t budget = length / 21 * 3 + 65536;
    if (records_loaded > budget) {
        err = L"Directory records exceed the archive size";
        return false;
    }
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(length - dir->pos, dir->size)));
    if (!detail::read_exact_at(file, dir->pos, block.data(), block.size())) {
        err = L"读取目录子项失败";
        return false;
    }
    std::wstring perr;
    size_t at = 0;
    parse_directory_block(block, at, *dir, engine_layout, dir->pos, perr);
    records_loaded += dir->children.size();
    if (perr.empty() && records_loaded > budget) {
        dir->children.clear();
        perr = L"Directory records exceed the archive size";
    }
    if (!perr.empty()) {
        err = perr;
        return false;
    }
    // Ids below this folder are taken too; new ids must not collide with them.
    for (const Entry& c : dir->children) {
        if (!c.is_dir) used_ids.insert(c.id);
    }
    dir->loaded = true;
    return true;
}

bool RezFile::load_directory(const std::string& dir_path, std::wstring& err) {
    Entry* dir = find_entry(dir_path);
    if (!dir) {
        err = L"目录不存在: " + from_utf8(dir_path);
        return false;
    }
    FileHandle file;
    if (detail::needs_block_read(*dir)) {
        file = detail::open_for_read(path);
        if (!file) {
            err = L"无法打开资源包";
            return false;
        }
    }
    return detail::load_nested(*this, file, dir, detail::ancestors_of(*this, dir_path), err);
}

namespace {

size_t count_dirs_below(const Entry& e) {
    size_t n = 0;
    for (const Entry& c : e.children) {
        if (c.is_dir) n += 1 + count_dirs_below(c);
    }
    return n;
}

}  // namespace

bool RezFile::load_all_directories(std::wstring& err, ProgressFn progress) {
    const size_t total = count_dirs_below(root);
    size_t done = 0;
    FileHandle file;
    bool failed = false;
    detail::Ancestors ancestors{root_block_pos};

    std::function<bool(Entry&, const std::string&)> visit = [&](Entry& dir, const std::string& dir_path) {
        // By index: loading a child changes only that child's own children.
        for (size_t i = 0; i < dir.children.size(); ++i) {
            if (!dir.children[i].is_dir) continue;
            if (progress) {
                const int pct = total ? static_cast<int>(std::min<uint64_t>(done * 100 / total, 99)) : 0;
                if (!progress(pct, L"正在读取目录 (" + std::to_wstring(done) + L"/" + std::to_wstring(total) + L")")) {
                    err = L"操作已取消";
                    return false;
                }
            }
            Entry& sub = dir.children[i];
            const std::string sub_path = dir_path.empty() ? sub.name : dir_path + "\\" + sub.name;
            if (!file && detail::needs_block_read(sub)) file = detail::open_for_read(path);
            std::wstring e;
            if (!detail::load_nested(*this, file, &sub, ancestors, e)) {
                if (err.empty()) err = e;
                continue;
            }
            ++done;
            ancestors.push_back(sub.pos);
            const bool ok = visit(sub, sub_path);
            ancestors.pop_back();
            if (!ok) return false;
        }
        return true;
    };
    failed = !visit(root, "");
    if (progress) progress(failed ? 0 : 100, L"读取目录完成");
    if (failed) return false;
    return err != L"操作已取消";
}

// ---- entry data -------------------------------------------------------------------------------------

bool RezFile::read_entry_data(const Entry& e, std::vector<uint8_t>& out, std::wstring& err) const {
    if (e.is_dir) {
        err = L"目录没有数据";
        return false;
    }
    // Content added from disk and not saved yet is still on disk, not in the archive.
    // Added from disk and not saved yet (pos is 0 until a save stores it): the bytes are
    // still only on disk.
    if (e.source_path && e.pos == 0) {
        if (!read_file(*e.source_path, out)) {
            err = L"读取资源数据失败";
            return false;
        }
        return true;
    }
    if (e.member) return extract_archive_entry(*e.member, out, err);
    FileHandle file = detail::open_for_read(path);
    if (!file) {
        err = L"无法打开资源包";
        return false;
    }
    // Checked before sizing the buffer: a damaged record must not make us allocate 4 GiB.
    if (e.pos + e.size > detail::file_length(file)) {
        err = L"读取资源数据失败";
        return false;
    }
    try {
        out.assign(e.size, 0);
    } catch (const std::bad_alloc&) {
        err = L"读取资源数据失败";
        return false;
    }
    if (!detail::read_exact_at(file, e.pos, out.data(), out.size())) {
        err = L"读取资源数据失败";
        return false;
    }
    return true;
}

}  // namespace rez
