// Archives the search tests look through.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "archive/rez_model.h"
#include "archive/util.h"

namespace stest {

// A REZ file at path holding the given (folder, file name, text) entries. The files are
// written beside it in path + ".files", so archives of one folder never share their sources.
inline void make_rez(const std::wstring& path,
                     const std::vector<std::tuple<std::string, std::wstring, std::string>>& files) {
    rez::RezFile model;
    const std::wstring staging = path + L".files";
    CreateDirectoryW(staging.c_str(), nullptr);
    for (const auto& [folder_name, name, text] : files) {
        const std::wstring disk = staging + L"\\" + name;
        ASSERT_TRUE(rez::write_file(disk, reinterpret_cast<const uint8_t*>(text.data()), text.size()));
        std::string made = folder_name, out;
        if (!folder_name.empty() && !model.find_entry(folder_name)) {
            ASSERT_TRUE(model.create_directory(folder_name, made));
        }
        ASSERT_TRUE(model.add_file(made, disk, out));
    }
    std::wstring err;
    ASSERT_TRUE(model.save(path, err)) << rez::to_utf8(err);
}

}  // namespace stest
