// Private helpers shared by the REZ reader, editor, writer and extractor.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/member_extract.h"
#include "archive/rez_model.h"

namespace rez {

namespace detail {

// Stem and type text of one path component (a leading dot: no stem, the rest is the type).
void split_component(const std::string& component, std::string& stem, std::string& type_text);

// Opens a file for reading with read and write sharing; null handle on failure.
FileHandle open_for_read(const std::wstring& path);
// File length, 0 when it cannot be had.
uint64_t file_length(FileHandle& file);
// Reads exactly `length` bytes at `offset`, in pieces of at most 1 GiB.
bool read_exact_at(FileHandle& file, uint64_t offset, uint8_t* data, size_t length);

// The block offsets of the directories a recursive walk is inside of (the root's first).
using Ancestors = std::vector<uint64_t>;

// The ancestors of the entry at an archive path: the root block and every directory on
// the way, the entry itself excluded.
Ancestors ancestors_of(const RezFile& model, const std::string& path);

// Refuses to descend into `dir` when its block is one of its ancestors' or the nesting is
// too deep; then loads it like RezFile::load_directory_block.
bool load_nested(RezFile& model, FileHandle& file, Entry* dir, const Ancestors& ancestors, std::wstring& err);

}  // namespace detail
}  // namespace rez
