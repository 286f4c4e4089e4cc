// Started by a self-extractor after its extraction: writes the folder it was started in to
// "started.txt" in that same folder, so a test sees both that it ran and where.
#include <windows.h>

int wmain() {
    wchar_t folder[1040] = {};
    const DWORD n = GetCurrentDirectoryW(1040, folder);
    if (n == 0 || n >= 1040) return 1;
    HANDLE file = CreateFileW(L"started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, folder, n * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return 0;
}
