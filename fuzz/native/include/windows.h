// The few Win32 declarations the archive and decode libraries use, so that their parsers
// build natively (with the sanitizers) for fuzzing. Files are real files, text conversions
// go through iconv, CNG fails, and the rest does what little the code here asks of it.
// wchar_t is 32 bits here; the conversions still count in UTF-16 units as Windows does.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using BOOL = int;
using UINT = unsigned int;
using INT = int;
using LONG = int32_t;
using ULONG = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using UCHAR = unsigned char;
using PUCHAR = unsigned char*;
using WCHAR = wchar_t;
using LPCWSTR = const wchar_t*;
using LPWSTR = wchar_t*;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;
using LPCVOID = const void*;
using SIZE_T = size_t;
using LPDWORD = DWORD*;
using LPBOOL = BOOL*;
using HANDLE = void*;
using HMODULE = struct HINSTANCE__*;
using HKEY = struct HKEY__*;
using HFONT = struct HFONT__*;
using HBRUSH = struct HBRUSH__*;
using HBITMAP = struct HBITMAP__*;
using HICON = struct HICON__*;
using HGDIOBJ = void*;
using NTSTATUS = LONG;
using HRESULT = LONG;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define WINAPI

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
};
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
struct CPINFOEXW {
    UINT MaxCharSize;
    BYTE DefaultChar[2];
    BYTE LeadByte[12];
    WCHAR UnicodeDefaultChar;
    UINT CodePage;
    WCHAR CodePageName[260];
};
struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 1u
#define FILE_SHARE_WRITE 2u
#define FILE_SHARE_DELETE 4u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define MOVEFILE_REPLACE_EXISTING 1u
#define MOVEFILE_WRITE_THROUGH 8u
#define ERROR_DISK_FULL 112u
#define ERROR_HANDLE_DISK_FULL 39u
#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_MACCP 2u
#define CP_THREAD_ACP 3u
#define CP_UTF8 65001u
#define MB_ERR_INVALID_CHARS 8u
#define WC_ERR_INVALID_CHARS 0x80u
#define MAX_PATH 260
#define PAGE_READONLY 2u
#define FILE_MAP_READ 4u

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
BOOL CloseHandle(HANDLE h);
BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD want, LPDWORD got, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD want, LPDWORD done, OVERLAPPED* overlapped);
BOOL SetFilePointerEx(HANDLE h, LARGE_INTEGER to, LARGE_INTEGER* now, DWORD method);
BOOL GetFileSizeEx(HANDLE h, LARGE_INTEGER* size);
HANDLE CreateFileMappingW(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD size_high,
                          DWORD size_low, LPCWSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID view);
BOOL GetFileInformationByHandle(HANDLE h, BY_HANDLE_FILE_INFORMATION* info);
DWORD GetFileAttributesW(LPCWSTR name);
BOOL DeleteFileW(LPCWSTR name);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL CreateDirectoryW(LPCWSTR name, SECURITY_ATTRIBUTES* security);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
BOOL FindClose(HANDLE h);
LONG RegCloseKey(HKEY key);
BOOL FreeLibrary(HMODULE module);
BOOL DeleteObject(HGDIOBJ object);
BOOL DestroyIcon(HICON icon);
ULONGLONG GetTickCount64();
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
DWORD GetLastError();
void SetLastError(DWORD error);
void Sleep(DWORD ms);

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR in, int in_length, LPWSTR out, int out_length);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR in, int in_length, LPSTR out, int out_length,
                        LPCSTR default_char, LPBOOL used_default);
BOOL IsValidCodePage(UINT code_page);
BOOL GetCPInfoExW(UINT code_page, DWORD flags, CPINFOEXW* info);
