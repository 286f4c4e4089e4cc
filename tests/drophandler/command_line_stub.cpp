// Stands in for Quarvel.exe beside the drop handler in its tests: writes the command line it
// was started with (UTF-16) to the file named by QVL_STUB_OUT and ends.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t out[1040] = {};
    const DWORD n = GetEnvironmentVariableW(L"QVL_STUB_OUT", out, 1040);
    if (n == 0 || n >= 1040) return 2;
    const std::wstring path = out;
    const std::wstring temp = path + L".part";
    const wchar_t* line = GetCommandLineW();
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(wcslen(line) * sizeof(wchar_t));
    const BOOL ok = WriteFile(file, line, size, &written, nullptr);
    CloseHandle(file);
    // Renamed only once whole, so the test never reads half a line.
    return ok && written == size && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
