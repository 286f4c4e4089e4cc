// Benchmark arguments given as Linux paths under Wine.
#pragma once

#include <string>

// A /unix/path becomes Z:\unix\path; anything else is returned as it is.
inline std::wstring host_path(const wchar_t* arg) {
    std::wstring p = arg;
    if (!p.empty() && p[0] == L'/') {
        for (auto& c : p)
            if (c == L'/') c = L'\\';
        p = L"Z:" + p;
    }
    return p;
}
