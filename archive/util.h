// Text, archive-path and file helpers shared by every part of the program.
// Entry names are UTF-8 std::string, file-system paths UTF-16 std::wstring.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace rez {

// ---- text -------------------------------------------------------------------

// printf into a bounded buffer: cut to capacity - 1 and always terminated; returns the
// length the full text needs, or -1 on an encoding error.
int format(char* buffer, size_t capacity, const char* fmt, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 3, 4)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

std::string to_utf8(const std::wstring& text);
std::wstring from_utf8(const std::string& text);
// Bytes in a Windows code page to UTF-8; the bytes unchanged when the conversion fails.
std::string codepage_to_utf8(const char* bytes, size_t length, unsigned code_page);
std::string codepage_to_utf8(const uint8_t* bytes, size_t length, unsigned code_page);
std::string bytes_to_string(const uint8_t* bytes, size_t length);
std::string vector_to_string(const std::vector<uint8_t>& bytes);

std::string to_upper_ascii(const std::string& text);
std::string to_lower_ascii(const std::string& text);
bool iequals_ascii(const std::string& a, const std::string& b);
std::string trim(const std::string& text);
bool ends_with(const std::string& text, const std::string& suffix);

std::string format_float(float value);
// A byte count as the program shows sizes: "512 字节", "1.5 KB", "600.0 MB", "1.25 GB".
std::wstring format_byte_size(uint64_t bytes);
std::string hex_dump(const uint8_t* data, size_t total, size_t max_shown);

// ---- archive paths ("\" separated, "/" accepted) ----------------------------

std::vector<std::string> split_archive_path(const std::string& path);
std::string join_archive_path(const std::vector<std::string>& parts);
std::string file_name_of(const std::string& path);
std::string extension_of(const std::string& path);
// One entry name as a usable Windows file name: forbidden characters become "_", spaces
// are trimmed, an empty name is "unnamed", a device name (CON, nul.txt, ...) gets a leading
// "_". Dots stay.
std::string sanitize_file_name(const std::string& name);
bool is_safe_relative_path(const std::string& path);
// True for a name of dots and spaces only: Windows reads it as the folder itself or its
// parent ("..", ". .", "...").
bool is_dots_only_name(const std::string& name);
// An archive member path made relative and sanitised component by component ("/" and ""
// both separate; empty components are dropped; no component at all gives "unnamed"); out
// is ""-joined. False (out empty) when a component still names a folder or its parent.
bool sanitize_relative_path(const std::string& path, std::string& out);

// ---- files ------------------------------------------------------------------

// Owns one Win32 file handle; null when closed (an invalid handle is never stored).
class FileHandle {
public:
    FileHandle() noexcept = default;
    explicit FileHandle(HANDLE h) noexcept { reset(h); }
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : handle_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HANDLE get() const noexcept { return handle_; }
    bool is_open() const noexcept { return handle_ != nullptr; }
    explicit operator bool() const noexcept { return is_open(); }
    void close() noexcept {
        if (handle_) ::CloseHandle(handle_);
        handle_ = nullptr;
    }
    void reset(HANDLE h = nullptr) noexcept {
        close();
        handle_ = (h == INVALID_HANDLE_VALUE) ? nullptr : h;
    }
    HANDLE release() noexcept {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }

private:
    HANDLE handle_ = nullptr;
};

// Largest file read whole into memory.
constexpr uint64_t kMaxReadAllSize = 0x200000000ull;
// Largest request handed to one ReadFile/WriteFile call.
constexpr size_t kIoChunk = 0x40000000;

bool read_all(FileHandle& file, std::vector<uint8_t>& out);
bool read_file(const std::wstring& path, std::vector<uint8_t>& out);
// On failure the system's error code is left for the caller (GetLastError).
bool write_file(const std::wstring& path, const uint8_t* data, size_t length);
// Whether a write failed because the disk (or the user's quota) is full.
bool is_disk_full_error(DWORD error);
// The message for a file that could not be written, from the system's error code of the
// failed write: a full disk says so; both name the file.
std::wstring write_failure_message(const std::wstring& path, DWORD error);
bool write_at(FileHandle& file, uint64_t offset, const uint8_t* data, size_t length);
bool append_to_file(FileHandle& file, const uint8_t* data, size_t length);
// A whole file mapped read-only into memory: one read of the file, straight from the
// system's cache with no copy and no fresh memory to fill. Other writers are shut out while
// it is open, so the bytes cannot change under a reader. Empty files map to no bytes.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile() { close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False when the file cannot be opened without write sharing or mapped (the caller may
    // then read it), or when it is larger than kMaxReadAllSize.
    bool open(const std::wstring& path);
    void close() noexcept;
    std::span<const uint8_t> bytes() const noexcept { return {view_, size_}; }

private:
    FileHandle file_;
    FileHandle mapping_;
    const uint8_t* view_ = nullptr;
    size_t size_ = 0;
};

// The whole file's bytes: mapped when it can be, else read into copy (a file another
// program holds open for writing). False when it can be neither.
bool map_or_read(const std::wstring& path, MappedFile& mapped, std::vector<uint8_t>& copy,
                 std::span<const uint8_t>& bytes);

// True for an existing file; a folder gives false.
bool file_exists(const std::wstring& path);
bool delete_file(const std::wstring& path);
bool move_file_replace(const std::wstring& from, const std::wstring& to);
std::wstring exe_directory();

inline uint32_t load_u32le(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void store_u32le(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}
// Little-endian values appended to a record being built.
inline void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

}  // namespace rez
