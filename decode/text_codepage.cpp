#include "decode/text_codepage.h"

#include <windows.h>

#include <climits>

#include "decode/gb18030.h"

namespace rezui {

bool codepage_to_wide(const uint8_t* data, size_t size, unsigned code_page, bool strict, std::wstring& out) {
    out.clear();
    if (size == 0) return false;
    if (size > static_cast<size_t>(INT_MAX)) size = INT_MAX;
    if (!IsValidCodePage(code_page)) {
        if (code_page == kCodePageGb18030) return gb18030_to_wide(data, size, strict, out) && !out.empty();
        return false;
    }
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const char* src = reinterpret_cast<const char*>(data);
    const int n = MultiByteToWideChar(code_page, flags, src, static_cast<int>(size), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    const int done = MultiByteToWideChar(code_page, flags, src, static_cast<int>(size), out.data(), n);
    if (done <= 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(done));
    return true;
}

int codepage_default_char(unsigned code_page) {
    CPINFOEXW info{};
    if (GetCPInfoExW(code_page, 0, &info)) return info.DefaultChar[0];
    // Our own GB18030 decoder replaces with '?', as the platform's 54936 does.
    if (code_page == kCodePageGb18030) return '?';
    return -1;
}

}  // namespace rezui
