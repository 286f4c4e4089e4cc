#include "archive/codepage.h"

#include <windows.h>

#include <climits>

#include "archive/gb18030.h"

namespace rez {

namespace {

struct CodePageInfo {
    bool valid = false;
    int default_char = -1;
};

CodePageInfo query(unsigned code_page) {
    CodePageInfo info;
    // The symbolic pages (CP_ACP, CP_OEMCP, CP_MACCP, CP_THREAD_ACP) are always there.
    info.valid = code_page <= 3 || IsValidCodePage(code_page) != FALSE;
    CPINFOEXW cp{};
    if (GetCPInfoExW(code_page, 0, &cp))
        info.default_char = cp.DefaultChar[0];
    else if (code_page == kCodePageGb18030)
        info.default_char = '?';  // what our own decoder puts in, as the platform's 54936 does
    return info;
}

// The text detection asks about the same three code pages thousands of times per preview
// (the phase search of scrambled files); the platform's answers never change.
CodePageInfo info_of(unsigned code_page) {
    static const CodePageInfo utf8 = query(65001);
    static const CodePageInfo korean = query(949);
    static const CodePageInfo gb18030 = query(kCodePageGb18030);
    switch (code_page) {
        case 65001: return utf8;
        case 949: return korean;
        case kCodePageGb18030: return gb18030;
        default: return query(code_page);
    }
}

}  // namespace

bool codepage_to_wide(const uint8_t* data, size_t size, unsigned code_page, bool strict, std::wstring& out) {
    out.clear();
    if (size == 0) return false;
    if (size > static_cast<size_t>(INT_MAX)) size = INT_MAX;
    if (!info_of(code_page).valid) {
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

int codepage_default_char(unsigned code_page) { return info_of(code_page).default_char; }

}  // namespace rez
