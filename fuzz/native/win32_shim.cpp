// The native stand-ins for the Win32 calls declared in include/windows.h and bcrypt.h.
#include <bcrypt.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- text -------------------------------------------------------------------------

void append_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Wide text (UTF-16 units, or whole code points above 0xFFFF) to code points; a lone
// surrogate becomes U+FFFD, as Windows converts it.
std::vector<uint32_t> wide_to_points(const wchar_t* in, size_t n) {
    std::vector<uint32_t> cps;
    for (size_t i = 0; i < n; ++i) {
        uint32_t u = static_cast<uint32_t>(in[i]);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && static_cast<uint32_t>(in[i + 1]) >= 0xDC00 &&
            static_cast<uint32_t>(in[i + 1]) <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<uint32_t>(in[i + 1]) - 0xDC00);
            ++i;
        } else if ((u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF) {
            u = 0xFFFD;
        }
        cps.push_back(u);
    }
    return cps;
}

void points_to_units(const std::vector<uint32_t>& cps, std::vector<wchar_t>& out) {
    for (uint32_t cp : cps) {
        if (cp >= 0x10000) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
}

// Strict UTF-8 decoding; false at the first invalid sequence when strict, else U+FFFD.
bool utf8_to_points(const uint8_t* s, size_t n, bool strict, std::vector<uint32_t>& cps) {
    size_t i = 0;
    while (i < n) {
        const uint8_t b = s[i];
        uint32_t cp = 0;
        size_t len = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            cp = b, len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F, len = 2, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F, len = 3, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07, len = 4, min = 0x10000;
        }
        bool ok = len != 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            if (strict) return false;
            cps.push_back(0xFFFD);
            ++i;
            continue;
        }
        cps.push_back(cp);
        i += len;
    }
    return true;
}

const char* iconv_name(UINT cp) {
    switch (cp) {
        case CP_ACP:
        case CP_THREAD_ACP:
        case 936:
            return "CP936";  // the users' code page
        case CP_OEMCP:
        case 437:
            return "CP437";
        case 949:
            return "CP949";
        case 950:
            return "BIG5";
        case 932:
            return "CP932";
        case 54936:
            return "GB18030";
        case 1252:
            return "CP1252";
        case 1251:
            return "CP1251";
        case 1250:
            return "CP1250";
        case 28591:
            return "ISO-8859-1";
        default:
            return nullptr;
    }
}

// One converter per code page and direction, opened on first use and kept: opening one
// costs far more than a conversion, and the text detectors convert thousands of times.
iconv_t converter(const char* to, const char* from) {
    struct Slot {
        std::string to, from;
        iconv_t cd;
    };
    static auto& slots = *new std::vector<Slot>;  // kept to the very end, so never "leaked"
    for (const Slot& s : slots)
        if (s.to == to && s.from == from) {
            iconv(s.cd, nullptr, nullptr, nullptr, nullptr);
            return s.cd;
        }
    iconv_t cd = iconv_open(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1)) slots.push_back({to, from, cd});
    return cd;
}

// Bytes in a code page to code points through iconv, one bad byte at a time replaced by '?'
// (the platform's default character) unless strict.
bool codepage_to_points(UINT code_page, const char* in, size_t n, bool strict, std::vector<uint32_t>& cps) {
    const char* name = iconv_name(code_page);
    if (!name) return false;
    iconv_t cd = converter("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    thread_local std::vector<char> buf;
    if (buf.size() < n * 4 + 16) buf.resize(n * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t left = n;
    bool ok = true;
    while (left > 0) {
        char* dst = buf.data();
        size_t room = buf.size();
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        for (char* p = buf.data(); p + 4 <= dst; p += 4) {
            uint32_t cp;
            std::memcpy(&cp, p, 4);
            cps.push_back(cp);
        }
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        if (strict) {
            ok = false;
            break;
        }
        cps.push_back('?');
        if (left == 0) break;  // some converters fail at the very end of the input
        ++src;
        --left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return ok;
}

// ---- files --------------------------------------------------------------------------

std::string narrow_path(LPCWSTR name) {
    std::string out;
    for (uint32_t cp : wide_to_points(name, std::wcslen(name))) append_utf8(out, cp == '\\' ? '/' : cp);
    return out;
}

int fd_of(HANDLE h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)) - 1; }

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR in, int in_length, LPWSTR out, int out_length) {
    if (!in || in_length == 0 || out_length < 0) return 0;
    const size_t n = in_length < 0 ? std::strlen(in) + 1 : static_cast<size_t>(in_length);
    const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    // Kept between calls: the text detectors convert thousands of times per entry, and
    // fresh buffers each time would make the sanitizer's allocator most of the cost.
    thread_local std::vector<uint32_t> cps;
    thread_local std::vector<wchar_t> units;
    cps.clear();
    units.clear();
    const bool ok = code_page == CP_UTF8
                        ? utf8_to_points(reinterpret_cast<const uint8_t*>(in), n, strict, cps)
                        : codepage_to_points(code_page, in, n, strict, cps);
    if (!ok) return 0;
    points_to_units(cps, units);
    if (out_length == 0) return static_cast<int>(units.size());
    if (units.size() > static_cast<size_t>(out_length)) return 0;
    std::memcpy(out, units.data(), units.size() * sizeof(wchar_t));
    return static_cast<int>(units.size());
}

int WideCharToMultiByte(UINT code_page, DWORD, LPCWSTR in, int in_length, LPSTR out, int out_length, LPCSTR,
                        LPBOOL used_default) {
    if (used_default) *used_default = FALSE;
    if (!in || in_length == 0 || out_length < 0) return 0;
    const size_t n = in_length < 0 ? std::wcslen(in) + 1 : static_cast<size_t>(in_length);
    std::string bytes;
    const std::vector<uint32_t> cps = wide_to_points(in, n);
    if (code_page == CP_UTF8) {
        for (uint32_t cp : cps) append_utf8(bytes, cp);
    } else {
        const char* name = iconv_name(code_page);
        if (!name) return 0;
        for (uint32_t cp : cps) {
            iconv_t cd = converter(name, "UTF-32LE");
            if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
            char src_buf[4];
            std::memcpy(src_buf, &cp, 4);
            char dst_buf[16];
            char* src = src_buf;
            char* dst = dst_buf;
            size_t left = 4, room = sizeof dst_buf;
            if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1)) {
                bytes += '?';
                if (used_default) *used_default = TRUE;
            } else {
                bytes.append(dst_buf, dst);
            }
        }
    }
    if (out_length == 0) return static_cast<int>(bytes.size());
    if (bytes.size() > static_cast<size_t>(out_length)) return 0;
    std::memcpy(out, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}

BOOL IsValidCodePage(UINT code_page) { return code_page == CP_UTF8 || iconv_name(code_page) != nullptr; }

BOOL GetCPInfoExW(UINT code_page, DWORD, CPINFOEXW* info) {
    if (!IsValidCodePage(code_page) || !info) return FALSE;
    *info = CPINFOEXW{};
    info->MaxCharSize = code_page == CP_UTF8 ? 4 : 2;
    info->DefaultChar[0] = '?';
    info->UnicodeDefaultChar = L'?';
    info->CodePage = code_page;
    return TRUE;
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD,
                   HANDLE) {
    int flags = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (disposition == CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
    if (disposition == CREATE_NEW) flags |= O_CREAT | O_EXCL;
    if (disposition == OPEN_ALWAYS) flags |= O_CREAT;
    const int fd = open(narrow_path(name).c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1);
}

BOOL CloseHandle(HANDLE h) { return close(fd_of(h)) == 0; }

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD want, LPDWORD got, OVERLAPPED*) {
    const ssize_t n = read(fd_of(h), buffer, want);
    if (got) *got = n > 0 ? static_cast<DWORD>(n) : 0;
    return n >= 0;
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD want, LPDWORD done, OVERLAPPED*) {
    const ssize_t n = write(fd_of(h), buffer, want);
    if (done) *done = n > 0 ? static_cast<DWORD>(n) : 0;
    return n >= 0;
}

BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER to, LARGE_INTEGER* now, DWORD method) {
    const int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    const off_t at = lseek(fd_of(h), static_cast<off_t>(to.QuadPart), whence);
    if (at < 0) return FALSE;
    if (now) now->QuadPart = at;
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE h, LARGE_INTEGER* size) {
    struct stat st {};
    if (fstat(fd_of(h), &st) != 0) return FALSE;
    size->QuadPart = st.st_size;
    return TRUE;
}

// No mapping here: callers fall back to reading the file, which is what a fuzzer wants anyway.
HANDLE CreateFileMappingW(HANDLE, SECURITY_ATTRIBUTES*, DWORD, DWORD, DWORD, LPCWSTR) { return nullptr; }
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, SIZE_T) { return nullptr; }
BOOL UnmapViewOfFile(LPCVOID) { return FALSE; }

BOOL GetFileInformationByHandle(HANDLE h, BY_HANDLE_FILE_INFORMATION* info) {
    struct stat st {};
    if (fstat(fd_of(h), &st) != 0) return FALSE;
    *info = BY_HANDLE_FILE_INFORMATION{};
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(size);
    const uint64_t t = static_cast<uint64_t>(st.st_mtim.tv_sec) * 10000000u + st.st_mtim.tv_nsec / 100;
    info->ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(t >> 32);
    info->ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(t);
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR name) {
    struct stat st {};
    if (stat(narrow_path(name).c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

// The seed maker saves archives through the library's own writer, which needs these.
BOOL DeleteFileW(LPCWSTR name) { return unlink(narrow_path(name).c_str()) == 0; }
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD) {
    return rename(narrow_path(from).c_str(), narrow_path(to).c_str()) == 0;
}
BOOL CreateDirectoryW(LPCWSTR name, SECURITY_ATTRIBUTES*) {
    return mkdir(narrow_path(name).c_str(), 0755) == 0;
}
DWORD GetModuleFileNameW(HMODULE, LPWSTR, DWORD) { return 0; }
BOOL FindClose(HANDLE) { return TRUE; }
LONG RegCloseKey(HKEY) { return 0; }
BOOL FreeLibrary(HMODULE) { return TRUE; }
BOOL DeleteObject(HGDIOBJ) { return TRUE; }
BOOL DestroyIcon(HICON) { return TRUE; }
ULONGLONG GetTickCount64() { return 0; }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD GetCurrentThreadId() { return 1; }
// The harnesses only carry the last error from one call to the next; no call here sets it.
namespace {
thread_local DWORD last_error = 0;
}
DWORD GetLastError() { return last_error; }
void SetLastError(DWORD error) { last_error = error; }
void Sleep(DWORD ms) { usleep(ms * 1000u); }

// ---- CNG: not here ---------------------------------------------------------------------

namespace {
constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);
}

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* alg, LPCWSTR, LPCWSTR, ULONG) {
    if (alg) *alg = nullptr;
    return kNotSupported;
}
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE, ULONG) { return 0; }
NTSTATUS BCryptSetProperty(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG) { return kNotSupported; }
NTSTATUS BCryptGenerateSymmetricKey(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG,
                                    ULONG) {
    return kNotSupported;
}
NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE) { return 0; }
NTSTATUS BCryptEncrypt(BCRYPT_KEY_HANDLE, PUCHAR, ULONG, void*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG*, ULONG) {
    return kNotSupported;
}
NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE, PUCHAR, ULONG, void*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG*, ULONG) {
    return kNotSupported;
}
NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG) {
    return kNotSupported;
}
NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) { return kNotSupported; }
NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) { return kNotSupported; }
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE) { return 0; }
NTSTATUS BCryptDeriveKeyPBKDF2(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG, ULONGLONG, PUCHAR, ULONG,
                               ULONG) {
    return kNotSupported;
}
NTSTATUS BCryptGenRandom(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG) { return kNotSupported; }
