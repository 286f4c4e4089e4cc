// Nothing here writes beside a user's file or keeps notes in a temporary folder: the
// temporary name is formed as the program forms it, and a note is never written.
#include "archive/temp_note.h"

#include <windows.h>

namespace rez {

std::wstring temp_name_beside(const std::wstring& path) {
    return path + L".tmp_qvl_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetCurrentThreadId());
}

TempFileNote::TempFileNote(const std::wstring&) {}
TempFileNote::~TempFileNote() = default;

}  // namespace rez
