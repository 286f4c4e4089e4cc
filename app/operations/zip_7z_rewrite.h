// Worker-side pieces of the ZIP/7z jobs: which listed members a selection covers, reading
// every file member into memory, writing an archive anew beside the old one and moving it
// into place, and writing one extracted member below a target folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/zip_writer.h"

namespace rezui {

// The members a selection names: exact file member names and member folder paths.
struct MemberSelection {
    std::vector<std::string> files;
    std::vector<std::string> dirs;
    bool empty() const { return files.empty() && dirs.empty(); }
};

// True when name is one of the selected files (exactly) or lies below one of the selected
// folders (ASCII case ignored, as the browsing model merges such folders). A folder with an
// empty path (one that exists only in the browsing model) selects nothing.
bool path_selected(const std::string& name, const MemberSelection& selection);

// The listed name without the trailing separators that mark a folder ('/' in ZIP, '/' or '\'
// in 7z).
std::string member_file_name(const std::string& name, bool is_zip);

// Writes data to target\name with the name sanitised as whole extraction does (parent
// folders created). A name that still leads to the target's parent or the target itself
// sets refused and writes nothing; err is then "条目路径不安全，已拒绝: " + name.
bool safe_extract_path(const std::wstring& target, const std::string& name, const std::vector<uint8_t>& data,
                       std::wstring& err, bool& refused);
bool safe_extract_path(const std::wstring& target, const std::string& name, const uint8_t* data, size_t size,
                       std::wstring& err, bool& refused);

// Which listed member names (as stored) a walk takes; empty takes every file.
using MemberFilter = std::function<bool(const std::string& listed_name)>;
// Member k of n taken by a walk, its name without folder marks and its bytes (which the
// visitor may take); false stops the walk with err.
using MemberVisitor =
    std::function<bool(size_t k, size_t n, const std::string& name, std::vector<uint8_t>& data, std::wstring& err)>;

// Reads the archive once and visits its wanted file members in listing order, decrypting
// with the held password. The comment is the archive's. ext is "zip" or "7z".
bool walk_file_members(const std::wstring& path, const std::string& ext, std::wstring& comment,
                       const MemberFilter& wanted, const MemberVisitor& visit, std::wstring& err);

// The worker of the extract command: writes the selected file members (every one when all
// is set) of the archive at path below target with safe_extract_path, reporting through
// post_progress. Unsafe names are skipped and named in err at the end (false).
bool extraction_job(const std::wstring& target, const std::wstring& path, const std::string& ext,
                    const MemberSelection& selection, bool all, std::wstring& err);

// Every file member of the archive, read with the held password (progress through
// post_progress; a cancel gives "已取消"). ext is "zip" or "7z".
bool load_archive_entries(const std::wstring& path, const std::string& ext, std::wstring& comment,
                          std::vector<rez::ArchiveItem>& out, std::wstring& err);

// Writes the new archive to path.tmp_qvl_<pid>, moves the old one to path.bak_qvl_<pid>,
// moves the new one into place and deletes the backup. On any failure the archive at path is
// the old one, untouched, and neither the temporary file nor the backup is left.
bool write_archive_atomic(const std::wstring& path, const std::string& ext, const std::wstring& comment,
                          const std::vector<rez::ArchiveItem>& items, std::wstring& err,
                          const std::wstring& password);

// Whether the archive at path holds encrypted content (ext "zip" or "7z").
bool archive_is_encrypted(const std::wstring& path, const std::string& ext);

}  // namespace rezui
