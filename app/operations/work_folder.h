// Folders on disk that a ZIP/7z job packs: a private temporary work folder that is always
// removed again, and the walk that turns a folder's files into archive items.
#pragma once

#include <string>
#include <vector>

#include "archive/zip_writer.h"

namespace rezui {

// A new, empty folder in the temporary directory ("qvl_<tag>_<pid>_<n>"), created for one
// job and removed with everything in it when the object goes, whichever way the job ends.
// Never an existing folder, so nothing left by an earlier run is ever packed.
class WorkFolder {
public:
    explicit WorkFolder(const std::wstring& tag);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// Removes a folder and everything below it; true when it is gone.
bool remove_folder_tree(const std::wstring& folder);

// Appends every regular file below folder (all depths) as { prefix + its relative path with
// '/' separators, its content }. With keep_empty_folders, a folder without entries becomes a
// folder item (name ending in '/'). An unreadable file stops with "读取失败: " + its path.
bool collect_folder_items(const std::wstring& folder, const std::string& prefix, bool keep_empty_folders,
                          std::vector<rez::ArchiveItem>& items, std::wstring& err);

}  // namespace rezui
