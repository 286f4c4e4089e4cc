// The harnesses that read archives by path write each input to one file of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace qvl_fuzz {

// Removes the scratch file when the process ends normally.
struct ScratchRemover {
    std::wstring path;
    ~ScratchRemover() {
#ifdef _WIN32
        _wremove(path.c_str());
#else
        std::remove(std::string(path.begin(), path.end()).c_str());
#endif
    }
};

// The file "qvl_fuzz_<process id>.<extension>" in the temporary folder, holding the bytes.
inline std::wstring write_scratch_file(const std::wstring& extension, const uint8_t* data, size_t size) {
    static const std::wstring path = [&] {
#ifdef _WIN32
        wchar_t dir[520];
        const DWORD n = GetTempPathW(520, dir);
        const std::wstring folder = n ? std::wstring(dir, n) : L"C:\\Windows\\Temp\\";
        return folder + L"qvl_fuzz_" + std::to_wstring(GetCurrentProcessId()) + L"." + extension;
#else
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = tmp && *tmp ? tmp : "/tmp";
        return std::wstring(folder.begin(), folder.end()) + L"/qvl_fuzz_" + std::to_wstring(getpid()) + L"." +
               extension;
#endif
    }();
    static const ScratchRemover remover{path};
#ifdef _WIN32
    FILE* f = _wfopen(path.c_str(), L"wb");
#else
    FILE* f = std::fopen(std::string(path.begin(), path.end()).c_str(), "wb");
#endif
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

}  // namespace qvl_fuzz
