// Reading one member of a ZIP or 7z archive by its listed name, and unpacking a whole REZ,
// ZIP or 7z archive into a folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/rez_model.h"

namespace rez {

// The decoded bytes of the member whose listed name equals member.member_name byte for byte.
bool extract_archive_entry(const ArchiveMember& member, std::vector<uint8_t>& out, std::wstring& err);

// Unpacks the whole archive (chosen by its extension: rez, zip or 7z) below target, which is
// created with its parents. progress(0, "") is asked before each file (false cancels); log
// gets the percentage of files done and each relative name. Entry paths are sanitised
// component by component; one that would still leave the target is skipped (and logged),
// the rest are written, and the result is then false with the count of skipped entries.
// Either callback may be empty.
bool extract_archive_to_dir(const std::wstring& source, const std::wstring& target, std::wstring& err,
                            ProgressFn progress, LogFn log);

}  // namespace rez
