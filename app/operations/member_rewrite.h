// Rewrites of an existing ZIP or 7z archive that keep what the user did not touch: a plan
// lists, in the order written, the members carried over (as stored, or under a new name)
// and the new content; the archive is written beside the target and moved into place.
// Kept members are taken from the archive itself, never through a folder on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rezui {

// One member of a rewritten archive.
struct RewriteItem {
    static constexpr size_t kNew = static_cast<size_t>(-1);
    // A member of the source archive: its index in the listing (folders included).
    size_t member = kNew;
    // With member: its stored bytes are carried over. False: data is its new content, written
    // under the member's own name and time (a password change).
    bool keep_stored = true;
    // With member: a new name (renamed or moved), empty for the stored one. New content: its
    // name. UTF-8, '/' separated; a folder ends in '/'.
    std::string name;
    std::vector<uint8_t> data;
    // New content: the modification time of its disk file (FILETIME ticks), 0 for none.
    uint64_t mtime = 0;
};

// A member as the archive's reader lists it.
struct ListedName {
    std::string name;  // UTF-8, as listed
    bool is_dir = false;
};

// The archive's members in listing order, and its comment. ext is "zip" or "7z".
bool list_members(const std::wstring& path, const std::string& ext, std::vector<ListedName>& out,
                  std::wstring& comment, std::wstring& err);

// Writes the archive that items describe, taking kept members from source, to target (same
// format; target may be source): through a temporary file beside target, a backup of the old
// target and a move, so that on any failure target is untouched. comment: the new comment,
// or none to keep the source's as it is stored. password: the archive's own password, which
// new content is protected with (as the archive's members are: WinZip AES or the traditional
// cipher in a ZIP).
bool rewrite_archive_atomic(const std::wstring& source, const std::wstring& target, const std::string& ext,
                            const std::optional<std::wstring>& comment, const std::vector<RewriteItem>& items,
                            const std::wstring& password, std::wstring& err);

// Every member of the archive again under new_password (empty: none), names, times and
// folders kept. A ZIP keeps its kind of protection (WinZip AES stays AES; a plain archive
// takes the traditional cipher). Members are read with the held password.
bool rewrite_with_new_password(const std::wstring& path, const std::string& ext, const std::wstring& new_password,
                               std::wstring& err);

// Every member kept, and the new items: one whose name is that of a listed file member (as
// the reader gives it) takes its place, and other members of that name go.
std::vector<RewriteItem> plan_add(const std::vector<ListedName>& listing, std::vector<RewriteItem> added);

// The plan that writes an edited browsing model of the archive source: members still at the
// place the listing put them are kept as stored, moved or renamed ones under their new name,
// added or replaced entries read from their disk files, folder members kept and empty new
// folders written. applicable is false when the model holds anything that is not a member of
// source (then nothing is planned and the caller packs the model anew).
bool plan_from_model(const rez::RezFile& model, const std::wstring& source, const std::vector<ListedName>& listing,
                     std::vector<RewriteItem>& items, bool& applicable, std::wstring& err);

}  // namespace rezui
