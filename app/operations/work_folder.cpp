#include "app/operations/work_folder.h"

#include <windows.h>

#include <atomic>

#include "app/startup.h"
#include "archive/rez_model.h"
#include "archive/util.h"

namespace rezui {

namespace {

// Folders made by this process so far; with the process id it keeps names apart.
std::atomic<unsigned> work_folder_counter{0};

bool is_dot_name(const wchar_t* name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

bool collect_below(const std::wstring& folder, const std::string& relative, const std::string& prefix,
                   bool keep_empty_folders, std::vector<rez::ArchiveItem>& items, std::wstring& err) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    bool empty = true;
    bool ok = true;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (is_dot_name(fd.cFileName)) continue;
            empty = false;
            const std::wstring path = folder + L"\\" + fd.cFileName;
            const std::string name = relative + rez::to_utf8(fd.cFileName);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A linked folder could lead back up the tree: only real folders are walked.
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
                ok = collect_below(path, name + "/", prefix, keep_empty_folders, items, err);
            } else {
                rez::ArchiveItem item{prefix + name, {}};
                if (!rez::read_file(path, item.data)) {
                    err = L"读取失败: " + path;
                    ok = false;
                } else {
                    items.push_back(std::move(item));
                }
            }
        } while (ok && FindNextFileW(find, &fd));
        FindClose(find);
    }
    if (ok && empty && keep_empty_folders && !relative.empty()) items.push_back({prefix + relative, {}});
    return ok;
}

}  // namespace

bool remove_folder_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (is_dot_name(fd.cFileName)) continue;
            const std::wstring path = folder + L"\\" + fd.cFileName;
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                remove_folder_tree(path);
            } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(path.c_str());
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    return RemoveDirectoryW(folder.c_str()) || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

WorkFolder::WorkFolder(const std::wstring& tag) {
    std::wstring temp = temp_folder();
    if (temp.back() != L'\\') temp += L'\\';
    const std::wstring base = temp + L"qvl_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring candidate = base + std::to_wstring(work_folder_counter.fetch_add(1));
        // Only a folder this call creates is used: one that is already there may hold files.
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

WorkFolder::~WorkFolder() {
    if (!path_.empty()) remove_folder_tree(path_);
}

bool collect_folder_items(const std::wstring& folder, const std::string& prefix, bool keep_empty_folders,
                          std::vector<rez::ArchiveItem>& items, std::wstring& err) {
    return collect_below(folder, "", prefix, keep_empty_folders, items, err);
}

}  // namespace rezui
