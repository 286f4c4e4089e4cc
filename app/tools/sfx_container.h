// The self-extractor container appended to a runner program.
#pragma once

#include <cstdint>
#include <string>

namespace rezui {

struct SfxConfig {
    std::wstring title = L"自解压程序";
    std::wstring description = L"点击“解压”按钮将文件释放到指定目录。";
    std::wstring default_path;
    std::wstring image_base64;
    std::wstring icon_base64;
    bool create_shortcut = true;
    std::wstring shortcut_target;
    std::wstring mode = L"sfx";
    std::wstring intro;
    std::wstring license;
    std::wstring readme;
    std::wstring run_program;
};

struct SfxPayload {
    std::wstring temp_archive;  // deleted by its owner when not empty
    uint64_t archive_size = 0;
    SfxConfig config;
};

// True when the program file carries an appended archive (written to a temporary file).
bool read_sfx(const std::wstring& exe_path, SfxPayload& out);

}  // namespace rezui
