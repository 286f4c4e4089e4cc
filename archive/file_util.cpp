// Thin, chunked wrappers over the Win32 file calls. They report failure by false only.
#include "archive/util.h"

#include <new>
#include <stdexcept>

namespace rez {

// Writes everything from the current position, at most one chunk per call.
static bool write_loop(HANDLE h, const uint8_t* data, size_t length) {
    size_t done = 0;
    while (done < length) {
        const size_t left = length - done;
        const DWORD request = static_cast<DWORD>(left < kIoChunk ? left : kIoChunk);
        DWORD written = 0;
        if (!WriteFile(h, data + done, request, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

bool read_all(FileHandle& file, std::vector<uint8_t>& out) {
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxReadAllSize)
        return false;
    const size_t total = static_cast<size_t>(size.QuadPart);
    try {
        out.resize(total);
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    } catch (const std::length_error&) {
        out.clear();
        return false;
    }
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN)) return false;
    size_t done = 0;
    while (done < total) {
        const size_t left = total - done;
        const DWORD request = static_cast<DWORD>(left < kIoChunk ? left : kIoChunk);
        DWORD got = 0;
        if (!ReadFile(file.get(), out.data() + done, request, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

bool read_file(const std::wstring& path, std::vector<uint8_t>& out) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    return read_all(file, out);
}

bool MappedFile::open(const std::wstring& path) {
    close();
    file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file_ || !GetFileSizeEx(file_.get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxReadAllSize) {
        close();
        return false;
    }
    if (size.QuadPart == 0) return true;
    mapping_.reset(CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    const void* view = mapping_ ? MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view) {
        close();
        return false;
    }
    view_ = static_cast<const uint8_t*>(view);
    size_ = static_cast<size_t>(size.QuadPart);
    return true;
}

void MappedFile::close() noexcept {
    if (view_) UnmapViewOfFile(view_);
    view_ = nullptr;
    size_ = 0;
    mapping_.close();
    file_.close();
}

bool map_or_read(const std::wstring& path, MappedFile& mapped, std::vector<uint8_t>& copy,
                 std::span<const uint8_t>& bytes) {
    if (mapped.open(path)) {
        bytes = mapped.bytes();
        return true;
    }
    if (!read_file(path, copy)) return false;
    bytes = copy;
    return true;
}

bool write_file(const std::wstring& path, const uint8_t* data, size_t length) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (write_loop(file.get(), data, length)) return true;
    const DWORD error = GetLastError();
    file.close();
    SetLastError(error);
    return false;
}

bool is_disk_full_error(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

std::wstring write_failure_message(const std::wstring& path, DWORD error) {
    if (is_disk_full_error(error)) return L"磁盘空间不足，无法写入: " + path;
    return L"写入目标文件失败: " + path;
}

bool write_at(FileHandle& file, uint64_t offset, const uint8_t* data, size_t length) {
    if (!file) return false;
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), pos, nullptr, FILE_BEGIN)) return false;
    return write_loop(file.get(), data, length);
}

bool append_to_file(FileHandle& file, const uint8_t* data, size_t length) {
    if (!file) return false;
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return false;
    return write_loop(file.get(), data, length);
}

bool file_exists(const std::wstring& path) {
    const DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool delete_file(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool move_file_replace(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::wstring exe_directory() {
    wchar_t buf[1040];
    const DWORD n = GetModuleFileNameW(nullptr, buf, 1040);
    if (n == 0 || n >= 1040) return L".";
    std::wstring path(buf, n);
    const size_t sep = path.rfind(L'\\');
    if (sep == std::wstring::npos) return L".";
    return path.substr(0, sep);
}

}  // namespace rez
