// Writing entries of the model to disk: the whole archive, one entry or one subtree.
// Archive data is streamed through a per-thread 4 MiB buffer; entries whose bytes come
// from elsewhere (a ZIP/7z member, a disk file not saved yet) are read whole. Names are
// sanitised on the way; an entry that would still leave its folder is skipped, and the
// request reports how many were.
#include <windows.h>

#include <algorithm>

#include "archive/rez_internal.h"

namespace rez {

namespace {

constexpr size_t kCopyPiece = 0x400000;
constexpr const wchar_t* kCancelled = L"操作已取消";
constexpr const wchar_t* kRefused = L"条目路径不安全，已拒绝: ";
// Names listed in the failure text of a request that skipped entries; the rest is counted.
constexpr size_t kRefusedNamesShown = 10;

std::vector<uint8_t>& copy_buffer(size_t want) {
    thread_local std::vector<uint8_t> buffer;
    const size_t need = std::max<size_t>(1, std::min(want, kCopyPiece));
    if (buffer.size() < need) buffer.resize(need);
    return buffer;
}

bool has_progress(const ProgressFn* p) { return p && *p; }

bool is_folder(const std::wstring& p) {
    const DWORD attr = GetFileAttributesW(p.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::string join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "\\" + name; }

// The bytes of this entry are not in the archive file (yet).
bool bytes_elsewhere(const Entry& e) { return e.member || (e.source_path && e.pos == 0); }

}  // namespace

std::wstring refused_entries_message(const std::vector<std::string>& names) {
    std::wstring text = L"条目路径不安全，已拒绝 " + std::to_wstring(names.size()) + L" 项，其余条目已解压: ";
    for (size_t i = 0; i < names.size() && i < kRefusedNamesShown; ++i) {
        if (i > 0) text += L"、";
        text += from_utf8(names[i]);
    }
    if (names.size() > kRefusedNamesShown) text += L" 等";
    return text;
}

int extract_percent(const ExtractTotals& t) {
    if (t.total_bytes > 0) return t.done_bytes < t.total_bytes ? static_cast<int>(t.done_bytes * 100 / t.total_bytes) : 100;
    if (t.total_files > 0) return t.done_files < t.total_files ? static_cast<int>(t.done_files * 100 / t.total_files) : 100;
    return 0;
}

std::vector<std::string> RezFile::list_child_paths(const Entry& dir, const std::string& dir_path) const {
    std::vector<std::string> out;
    out.reserve(dir.children.size());
    for (const Entry& c : dir.children) {
        std::string p = join(dir_path, c.name);
        if (!c.is_dir && !c.ext.empty()) { p += '.'; p += to_lower_ascii(c.ext); }
        out.push_back(std::move(p));
    }
    return out;
}

// ---- totals ----------------------------------------------------------------------------------------

namespace {

bool count_below(RezFile& model, FileHandle& file, Entry& e, detail::Ancestors& anc, ExtractTotals& totals,
                 std::wstring& err) {
    if (!e.is_dir) {
        totals.total_bytes += e.size;
        totals.total_files += 1;
        return true;
    }
    if (&e != &model.root && !detail::load_nested(model, file, &e, anc, err)) return false;
    anc.push_back(e.pos);
    for (size_t i = 0; i < e.children.size(); ++i) {
        if (!count_below(model, file, e.children[i], anc, totals, err)) return false;
    }
    anc.pop_back();
    return true;
}

}  // namespace

bool RezFile::count_extract_totals(const std::string& entry_path, ExtractTotals& totals, std::wstring& err) {
    Entry* e = find_entry(entry_path);
    if (!e) {
        err = L"条目不存在: " + from_utf8(entry_path);
        return false;
    }
    FileHandle file = detail::open_for_read(path);
    if (!file) {
        err = L"无法打开资源包";
        return false;
    }
    detail::Ancestors anc = detail::ancestors_of(*this, entry_path);
    return count_below(*this, file, *e, anc, totals, err);
}

// ---- one file ----------------------------------------------------------------------------------------

bool RezFile::extract_entry_to_file(FileHandle& file, uint64_t pos, uint64_t size, const std::wstring& dest,
                                    ProgressFn* progress, const std::wstring& text, std::wstring& err, uint64_t total,
                                    uint64_t done_before) {
    const size_t cut = dest.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0 && !is_folder(dest.substr(0, cut))) create_directories(dest.substr(0, cut));
    FileHandle out(CreateFileW(dest.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        err = L"无法创建目标文件: " + dest;
        return false;
    }
    if (size == 0) return true;
    auto fail = [&](const std::wstring& message) {
        out.close();
        DeleteFileW(dest.c_str());
        err = message;
        return false;
    };
    std::vector<uint8_t>& buf = copy_buffer(static_cast<size_t>(std::min<uint64_t>(size, kCopyPiece)));
    uint64_t done = 0;
    while (done < size) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(size - done, kCopyPiece));
        if (!detail::read_exact_at(file, pos + done, buf.data(), piece)) return fail(L"读取资源数据失败");
        size_t written = 0;
        while (written < piece) {
            DWORD n = 0;
            if (!WriteFile(out.get(), buf.data() + written, static_cast<DWORD>(piece - written), &n, nullptr) || n == 0)
                return fail(write_failure_message(dest, GetLastError()));
            written += n;
        }
        done += piece;
        if (has_progress(progress)) {
            const int pct = static_cast<int>(total > 0 ? (done_before + done) * 100 / total : done * 100 / size);
            if (!(*progress)(pct, text)) return fail(kCancelled);
        }
    }
    return true;
}

namespace {

// Writes one file entry to `target`, from the archive file or from where its bytes are.
bool extract_file(RezFile& model, const Entry& e, FileHandle& file, const std::wstring& target,
                  const std::wstring& text, ProgressFn* progress, ExtractTotals& totals, std::wstring& err) {
    if (!bytes_elsewhere(e) && !file) {
        err = L"无法打开资源包";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (bytes_elsewhere(e) && !model.read_entry_data(e, bytes, err)) return false;
    if (has_progress(progress) && !(*progress)(extract_percent(totals), text)) {
        err = kCancelled;
        return false;
    }
    if (bytes_elsewhere(e)) {
        const size_t cut = target.find_last_of(L"\\/");
        if (cut != std::wstring::npos && cut > 0) create_directories(target.substr(0, cut));
        if (!write_file(target, bytes.data(), bytes.size())) {
            err = write_failure_message(target, GetLastError());
            return false;
        }
    } else if (!model.extract_entry_to_file(file, e.pos, e.size, target, progress, text, err, totals.total_bytes,
                                            totals.done_bytes)) {
        return false;
    }
    totals.done_bytes += e.size;
    totals.done_files += 1;
    if (has_progress(progress) && !(*progress)(extract_percent(totals), text)) {
        err = kCancelled;
        return false;
    }
    return true;
}

// Target of a child below a folder under its sanitised name; false when even that name
// would leave the folder.
bool child_target(const Entry& child, const std::wstring& dest_dir, std::wstring& target) {
    const std::string name = sanitize_file_name(child.name_with_ext());
    if (is_dots_only_name(name)) return false;
    target = dest_dir + L"\\" + from_utf8(name);
    return true;
}

// An entry whose name would leave its folder is skipped, not the whole request: it is noted
// in the totals and shown through progress. False only when progress asks to stop.
bool refuse_entry(const std::string& path, ProgressFn* progress, ExtractTotals& totals, std::wstring& err) {
    totals.refused.push_back(path);
    if (has_progress(progress) && !(*progress)(extract_percent(totals), kRefused + from_utf8(path))) {
        err = kCancelled;
        return false;
    }
    return true;
}

// A request that skipped entries has not done what was asked, even when the rest went well.
bool fail_if_refused(const ExtractTotals& totals, size_t refused_before, std::wstring& err) {
    if (totals.refused.size() <= refused_before) return true;
    err = refused_entries_message(
        std::vector<std::string>(totals.refused.begin() + static_cast<std::ptrdiff_t>(refused_before),
                                 totals.refused.end()));
    return false;
}

// The recursive step, on entries rather than paths: no lookup per file.
bool extract_node(RezFile& model, Entry& e, const std::string& e_path, const std::wstring& target,
                  detail::Ancestors& anc, std::wstring& err, ProgressFn* progress, ExtractTotals& totals,
                  FileHandle& file) {
    if (!e.is_dir)
        return extract_file(model, e, file, target, L"正在解压: " + from_utf8(e.name_with_ext()), progress, totals,
                            err);
    if (&e != &model.root && !detail::load_nested(model, file, &e, anc, err)) return false;
    if (!create_directories(target)) {
        err = L"无法创建目录";
        return false;
    }
    anc.push_back(e.pos);
    for (size_t i = 0; i < e.children.size(); ++i) {
        Entry& c = e.children[i];
        std::wstring t;
        if (!child_target(c, target, t)) {
            if (!refuse_entry(join(e_path, c.name_with_ext()), progress, totals, err)) return false;
            continue;
        }
        if (!extract_node(model, c, join(e_path, c.name), t, anc, err, progress, totals, file)) return false;
    }
    anc.pop_back();
    return true;
}

}  // namespace

bool RezFile::extract_tree(const std::string& entry_path, const std::wstring& dest_dir, std::wstring& err,
                           ProgressFn* progress, ExtractTotals* totals, FileHandle& file) {
    ExtractTotals local;
    ExtractTotals& t = totals ? *totals : local;
    Entry* e = find_entry(entry_path);
    if (!e) {
        err = L"条目不存在: " + from_utf8(entry_path);
        return false;
    }
    const size_t refused_before = t.refused.size();
    std::wstring target = dest_dir;
    if (e != &root && !child_target(*e, dest_dir, target)) {
        if (!refuse_entry(entry_path, progress, t, err)) return false;
        return fail_if_refused(t, refused_before, err);
    }
    detail::Ancestors anc = detail::ancestors_of(*this, entry_path);
    if (!extract_node(*this, *e, entry_path, target, anc, err, progress, t, file)) return false;
    return fail_if_refused(t, refused_before, err);
}

bool RezFile::extract_to_directory(const std::wstring& dir, std::wstring& err, ProgressFn progress) {
    if (!create_directories(dir)) {
        err = L"无法创建目标目录";
        return false;
    }
    ExtractTotals totals;
    if (progress && !count_extract_totals("", totals, err)) err.clear();
    FileHandle file = detail::open_for_read(path);
    if (!file) {
        err = L"无法打开资源包";
        return false;
    }
    return extract_tree("", dir, err, &progress, &totals, file);
}

bool RezFile::extract_entries(const std::string& entry_path, const std::wstring& dest, std::wstring& err,
                              ProgressFn progress, ExtractTotals* totals) {
    Entry* e = find_entry(entry_path);
    if (!e) {
        err = L"条目不存在: " + from_utf8(entry_path);
        return false;
    }
    ExtractTotals local;
    if (!totals && progress) {
        if (!count_extract_totals(entry_path, local, err)) err.clear();
        e = find_entry(entry_path);
        if (!e) {
            err = L"条目不存在: " + from_utf8(entry_path);
            return false;
        }
    }
    ExtractTotals& t = totals ? *totals : local;
    FileHandle file = detail::open_for_read(path);
    if (!file) {
        err = L"无法打开资源包";
        return false;
    }
    if (!e->is_dir) return extract_file(*this, *e, file, dest, L"正在解压: " + dest, &progress, t, err);

    detail::Ancestors anc = detail::ancestors_of(*this, entry_path);
    if (e != &root && !detail::load_nested(*this, file, e, anc, err)) return false;
    if (!create_directories(dest)) {
        err = L"无法创建目录";
        return false;
    }
    const size_t refused_before = t.refused.size();
    anc.push_back(e->pos);
    for (size_t i = 0; i < e->children.size(); ++i) {
        Entry& c = e->children[i];
        std::wstring target;
        if (!child_target(c, dest, target)) {
            if (!refuse_entry(join(entry_path, c.name_with_ext()), &progress, t, err)) return false;
            continue;
        }
        if (!extract_node(*this, c, join(entry_path, c.name), target, anc, err, &progress, t, file)) return false;
    }
    return fail_if_refused(t, refused_before, err);
}

}  // namespace rez
