#include "drophandler/module.h"

#include <objbase.h>

#include "drophandler/class_factory.h"

namespace rezui {

const CLSID CLSID_LumbrelTarget = {0x8B4A5C33, 0x6E2D, 0x4E08, {0x9F, 0x1A, 0x2C, 0x7B, 0x0D, 0x9E, 0x5A, 0x41}};

namespace {

HMODULE g_module = nullptr;
// Explorer may create and release objects on several apartment threads, so the counts are
// changed only through interlocked calls.
volatile LONG g_objects = 0;
volatile LONG g_locks = 0;

struct ClassEntry {
    const CLSID* clsid;
    HRESULT (*create_factory)(REFIID riid, void** ppv);
};

const ClassEntry kClasses[] = {
    {&CLSID_LumbrelTarget, create_target_factory},
};

}  // namespace

HMODULE lumbrel_module() { return g_module; }

void module_add_object() { InterlockedIncrement(&g_objects); }
void module_release_object() { InterlockedDecrement(&g_objects); }
void module_lock(bool lock) {
    if (lock) InterlockedIncrement(&g_locks);
    else InterlockedDecrement(&g_locks);
}

std::wstring module_directory() {
    wchar_t buf[1040] = {};
    const DWORD n = GetModuleFileNameW(g_module, buf, 1040);
    if (n == 0 || n >= 1040) return L"";
    std::wstring path(buf, n);
    const size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) return L"";
    return path.substr(0, cut + 1);
}

}  // namespace rezui

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        rezui::g_module = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const rezui::ClassEntry& entry : rezui::kClasses)
        if (IsEqualCLSID(rclsid, *entry.clsid)) return entry.create_factory(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    const LONG objects = InterlockedCompareExchange(&rezui::g_objects, 0, 0);
    const LONG locks = InterlockedCompareExchange(&rezui::g_locks, 0, 0);
    return objects == 0 && locks == 0 ? S_OK : S_FALSE;
}
