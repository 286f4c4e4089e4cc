// The in-memory model of one archive: the REZ tree (also used to show ZIP and 7z
// listings), its header texts, comment and resource-id bookkeeping, and every operation
// that reads, edits, saves or extracts it. Entry names are UTF-8, disk paths UTF-16.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/util.h"

namespace rez {

// ---- records ------------------------------------------------------------------

// Where an entry's bytes are when the model shows a ZIP or 7z archive.
struct ArchiveMember {
    std::wstring archive_path;  // the ZIP or 7z file
    std::string member_name;    // exactly as the listing gave it; matched byte for byte
    bool is_zip = false;        // false: 7z
    // Where the listing had it, so that a rewrite can copy it as stored: its index in the
    // archive's listing (folders included) and its path in the browsing model when it was
    // built ('/' separated). A model path that differs at save time means renamed or moved.
    size_t listing_index = static_cast<size_t>(-1);
    std::string shown_path{};
};

// One node of the archive tree; children are held by value, in archive order.
struct Entry {
    bool is_dir = false;
    std::string name;  // a file's stem (without its type text)
    bool encrypted = false;  // ZIP/7z member stored encrypted
    uint32_t id = 0;         // resource id of a file; 0 for directories
    uint32_t size = 0;       // file data length, or directory block length
    uint64_t pos = 0;        // offset of the data or block in the archive file; 0 = none yet
    uint32_t time = 0;       // record time value, written back unchanged
    std::string ext;         // type text of a file (e.g. DTX)
    std::optional<std::vector<uint8_t>> reserved;  // 32-byte reserved block of a file record
    std::vector<Entry> children;
    bool loaded = true;  // directories read from a parent block start false
    std::optional<std::wstring> source_path;  // disk file the next save stores
    std::optional<ArchiveMember> member;      // ZIP/7z member holding the bytes
    std::string member_dir;                   // a ZIP/7z directory's path inside its archive
    std::vector<ArchiveMember> dir_members;   // the ZIP/7z folder members this folder shows
    std::wstring modified_text;               // disk file times, "YYYY-MM-DD hh:mm:ss"
    std::wstring created_text;
    bool hidden = false;  // left out of searches

    // File name as shown and extracted: name + "." + lower-cased ext (name alone without ext).
    std::string name_with_ext() const;
    // First child matching one path component (stem/type and whole-name rules), or null.
    const Entry* find_child(const std::string& component) const;
    Entry* find_child(const std::string& component);
    // A full copy of an entry and all its descendants, every field included.
    static Entry deep_copy(const Entry& source);
};

struct Stats {
    uint64_t dirs = 0;
    uint64_t files = 0;
    uint64_t bytes = 0;
};

struct ExtractTotals {
    uint64_t total_bytes = 0;
    uint64_t done_bytes = 0;
    uint64_t total_files = 0;
    uint64_t done_files = 0;
    // Archive paths of entries skipped because even their sanitised names would leave the
    // target folder ("..", "." and names Windows reads as them).
    std::vector<std::string> refused;
};

// Percentage 0-100 and a text; false asks the running operation to stop ("操作已取消").
using ProgressFn = std::function<bool(int percent, const std::wstring& text)>;
using LogFn = std::function<void(int percent, const std::wstring& text)>;
// Called with each disk file before a folder import adds it; false stops the import.
using FileFn = std::function<bool(const std::wstring& path)>;

// Set by the application from its settings: upper-case the names of REZ entries it adds.
// The settings dialog changes it on the UI thread while job threads read it, so it is atomic:
// a job started after a save sees the saved value.
extern std::atomic<bool> uppercase_rez_names;

// ---- names and paths ------------------------------------------------------------

// Splits at the last "." unless it is the first or last character.
bool split_name_ext(const std::string& name, std::string& stem, std::string& type_text);
// The entry test behind find_child, given the component's stem and type text.
bool entry_matches_component(const Entry& entry, const std::string& component, const std::string& stem,
                             const std::string& type_text);
// Case-insensitive (ASCII) order of two wide names compared as UTF-8.
bool name_less_ci(const std::wstring& a, const std::wstring& b);
// The name upper-cased in ASCII when uppercase_rez_names is on.
std::string apply_rez_name_case(const std::string& name);
// Last component of a wide path, as UTF-8.
std::string file_name_utf8(const std::wstring& path);
// Creates a folder with its missing parents; true when it is a folder afterwards.
bool create_directories(const std::wstring& path);

// ---- format pieces -----------------------------------------------------------------

constexpr size_t kRezHeaderSize = 168;
constexpr uint32_t kFirstFreeId = 10000000;
constexpr char kCommentMarker[] = "REZ_COMMENT_SECTION";  // 19 bytes, no terminator stored
constexpr size_t kCommentMarkerSize = 19;
// The 8-byte key the archive comments (REZ and 7z) are XOR-ed with.
extern const uint8_t kCommentKey[8];
// Longest comment (UTF-8 bytes) the reader finds again; the writer refuses longer ones.
constexpr size_t kMaxCommentBytes = 4u << 20;
// Deepest directory nesting read from an archive.
constexpr size_t kMaxDirectoryDepth = 128;

// The 1013-byte key table that scrambles directory blocks (also used by the decoders).
const std::vector<uint8_t>& rez_crypto_table();
// Unscrambles in place; byte i uses table index (base + i) mod 1013.
void rez_crypto_decode(std::vector<uint8_t>& data, size_t base);
void rez_crypto_decode(uint8_t* data, size_t length, uint64_t base);
// The inverse of rez_crypto_decode.
void rez_crypto_encode(uint8_t* data, size_t length, uint64_t base);

// Type text stored reversed in the low bytes of a u32 (DTX <-> bytes X T D 0).
std::string type_text_from_u32(uint32_t value);
uint32_t type_text_to_u32(const std::string& text);

// Parses a directory block from byte `pos` (in/out), appending one child per record.
// The block is unscrambled in place first in the game layout. A non-empty `err`
// afterwards means the block is damaged (children parsed before that stay).
void parse_directory_block(std::vector<uint8_t>& block, size_t& pos, Entry& parent, bool engine_layout,
                           uint64_t base, std::wstring& err);

class RezFile;
// Reads the comment section at the end of an open archive file into model.comment.
void read_comment_section(RezFile& model, FileHandle& file, uint64_t file_length);
// Same, also telling where the section starts (for the reader's block bounds).
bool find_comment_section(FileHandle& file, uint64_t file_length, std::wstring& comment, uint64_t& section_start);

// Every file below dir, depth-first in child order, with its archive path.
void collect_save_items(const Entry& dir, const std::string& dir_path, std::vector<std::string>& out);
void collect_save_items(Entry& dir, const std::string& dir_path, std::vector<std::pair<std::string, Entry*>>& out);

// (archive path of a directory, file offset of its block), in layout (pre-)order.
using DirectoryLayout = std::vector<std::pair<std::string, uint64_t>>;
// Length of a directory's block as the writer lays it out.
uint64_t directory_block_length(const Entry& dir, bool engine_layout = false);
// The plain (unscrambled) bytes of a directory's block.
std::vector<uint8_t> serialize_directory_block(const Entry& dir, const std::string& dir_path,
                                               const DirectoryLayout& list, bool engine_layout = false);

// Holds the temporary file of a save; unless released, its end closes and deletes it.
struct TempFileGuard {
    std::wstring path;
    FileHandle file;
    bool released = false;
    TempFileGuard() = default;
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    ~TempFileGuard();
};

// ---- the archive ----------------------------------------------------------------

class RezFile {
public:
    std::wstring path;
    std::string user_title = "LithTech Resource File";
    std::string signature_text = "RezMgr Version 1 Copyright (C) 1995 MONOLITH INC.";
    std::wstring comment;
    Entry root = make_root();
    bool engine_layout = false;
    uint32_t next_id = kFirstFreeId;
    std::set<uint32_t> used_ids;
    // File offset of the root directory block (0 for a model not read from a file);
    // lets the loaders refuse blocks that point back at the root.
    uint64_t root_block_pos = 0;
    // Directory records parsed so far; bounds what a hostile archive whose blocks share
    // or overlap one another can make the loaders build.
    uint64_t records_loaded = 0;
    // Files whose add refreshed an entry of the same name and type instead of making a new
    // one, counted over the model's life, so that a caller can say how many it replaced.
    size_t entries_replaced = 0;

    RezFile() = default;
    explicit RezFile(const std::wstring& path);

    // ---- model (lookups, ids, statistics)
    Entry* find_entry(const std::string& path);
    const Entry* find_entry(const std::string& path) const { return find_entry_const(path); }
    const Entry* find_entry_const(const std::string& path) const;
    uint32_t next_free_id();
    void build_used_ids();
    Stats stats() const;

    // ---- reading
    static bool open(const std::wstring& path, RezFile& out, std::wstring& err);
    bool load_directory_block(FileHandle& file, Entry* dir, std::wstring& err);
    bool load_directory(const std::string& path, std::wstring& err);
    bool load_all_directories(std::wstring& err, ProgressFn progress = {});
    bool read_entry_data(const Entry& e, std::vector<uint8_t>& out, std::wstring& err) const;

    // ---- editing (in memory; the next save stores the content)
    bool create_directory(const std::string& path, std::string& out_path);
    bool add_file(const std::string& dir_path, const std::wstring& disk_file, std::string& out_entry_path);
    bool add_directory_tree(const std::string& dir_path, const std::wstring& disk_folder, std::string& out_dir_path,
                            std::wstring* err = nullptr, FileFn on_file = {});
    bool add_directory_contents(const std::string& dir_path, const std::wstring& disk_folder, std::wstring& err,
                                FileFn on_file = {});
    bool add_directory_contents_to_root(const std::wstring& disk_folder, std::wstring& err);
    bool remove_entries(const std::string& path);
    bool rename_entry(const std::string& path, const std::string& new_name);
    bool replace_entry(const std::string& path, const std::wstring& disk_file);
    bool move_entries(const std::string& path, const std::string& target_dir);
    bool copy_entries(const std::string& path, const std::string& target_dir);

    // ---- saving
    bool save(const std::wstring& path, std::wstring& err, ProgressFn progress = {});
    bool read_entry_source(const std::string& entry_path, const std::wstring& old_archive,
                           std::vector<uint8_t>& out) const;
    static void layout_directories(const Entry& dir, const std::string& dir_path, uint64_t& offset,
                                   DirectoryLayout& list, bool engine_layout = false);

    // ---- extraction
    // Entries are written under their sanitised names. One whose name would still leave its
    // folder is skipped (noted in the totals, shown through progress) and the others go on;
    // the request then ends false with refused_entries_message.
    bool count_extract_totals(const std::string& entry_path, ExtractTotals& totals, std::wstring& err);
    std::vector<std::string> list_child_paths(const Entry& dir, const std::string& dir_path) const;
    bool extract_entry_to_file(FileHandle& file, uint64_t pos, uint64_t size, const std::wstring& dest,
                               ProgressFn* progress, const std::wstring& text, std::wstring& err, uint64_t total,
                               uint64_t done_before);
    bool extract_tree(const std::string& entry_path, const std::wstring& dest_dir, std::wstring& err,
                      ProgressFn* progress, ExtractTotals* totals, FileHandle& file);
    bool extract_to_directory(const std::wstring& dir, std::wstring& err, ProgressFn progress = {});
    bool extract_entries(const std::string& entry_path, const std::wstring& dest, std::wstring& err,
                         ProgressFn progress = {}, ExtractTotals* totals = nullptr);

private:
    static Entry make_root() {
        Entry e;
        e.is_dir = true;
        return e;
    }
};

// Percentage of an extraction's counters (bytes first, else files).
int extract_percent(const ExtractTotals& totals);
// The failure text of an extraction that skipped these entries (their count, the first few
// names).
std::wstring refused_entries_message(const std::vector<std::string>& names);

}  // namespace rez
