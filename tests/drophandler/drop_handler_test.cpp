// Lumbrel.dll as the shell meets it: registered for the run, created through COM, given an
// archive through IPersistFile and a CF_HDROP data object through IDropTarget. A stub in
// place of Quarvel.exe records the command line the handler starts it with.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/util.h"
#include "archive/win_handle.h"
#include "test_support.h"

namespace {

const CLSID kLumbrelClsid = {0x8B4A5C33, 0x6E2D, 0x4E08, {0x9F, 0x1A, 0x2C, 0x7B, 0x0D, 0x9E, 0x5A, 0x41}};
// Wine looks classes up in HKCR only (not in the per-user classes), so the run registers there.
const wchar_t kClassKey[] = L"CLSID\\{8B4A5C33-6E2D-4E08-9F1A-2C7B0D9E5A41}";

bool set_string(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    rez::unique_hkey k;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A data object offering one CF_HDROP list, in global memory or (to be refused) only as a stream.
class FileList final : public IDataObject {
public:
    FileList(std::vector<std::wstring> files, DWORD medium) : files_(std::move(files)), medium_(medium) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP QueryGetData(FORMATETC* f) override {
        if (f->cfFormat != CF_HDROP) return DV_E_FORMATETC;
        return (f->tymed & medium_) ? S_OK : DV_E_TYMED;
    }
    STDMETHODIMP GetData(FORMATETC* f, STGMEDIUM* m) override {
        const HRESULT ok = QueryGetData(f);
        if (ok != S_OK) return ok;
        if (!(medium_ & TYMED_HGLOBAL)) return DV_E_TYMED;
        size_t chars = 1;
        for (const std::wstring& f2 : files_) chars += f2.size() + 1;
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(mem));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* names = reinterpret_cast<wchar_t*>(drop + 1);
        for (const std::wstring& f2 : files_) {
            wmemcpy(names, f2.c_str(), f2.size());
            names += f2.size() + 1;
        }
        GlobalUnlock(mem);
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = mem;
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<std::wstring> files_;
    DWORD medium_;
};

// The handler and the stub copied into a folder of the test, registered for the test's run
// only (the class key is removed again), with COM up on this thread.
class Lumbrel : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring bin = rez::exe_directory();
        ASSERT_TRUE(CopyFileW((bin + L"\\Lumbrel.dll").c_str(), (dir / L"Lumbrel.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((bin + L"\\lumbrel_stub.exe").c_str(), (dir / L"Quarvel.exe").c_str(), FALSE));
        SetEnvironmentVariableW(L"QVL_STUB_OUT", out_path().c_str());
        ASSERT_TRUE(set_string(HKEY_CLASSES_ROOT, kClassKey, nullptr, L"Quarvel Drop Target"));
        ASSERT_TRUE(set_string(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\InprocServer32", nullptr,
                               dir / L"Lumbrel.dll"));
        ASSERT_TRUE(set_string(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\InprocServer32", L"ThreadingModel",
                               L"Apartment"));
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        com_up = true;
    }
    void TearDown() override {
        drop_target.reset();
        persist.reset();
        if (com_up) CoUninitialize();
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
        SetEnvironmentVariableW(L"QVL_STUB_OUT", nullptr);
    }

    std::wstring out_path() const { return dir / L"command_line.txt"; }

    // A new target with the archive loaded (none when archive is empty).
    void create(const std::wstring& archive) {
        ASSERT_EQ(S_OK, CoCreateInstance(kLumbrelClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTarget,
                                         drop_target.put_void()));
        ASSERT_EQ(S_OK, drop_target->QueryInterface(IID_IPersistFile, persist.put_void()));
        if (!archive.empty()) {
            ASSERT_EQ(S_OK, persist->Load(archive.c_str(), STGM_READ));
        }
    }

    // Enter and drop as the shell does; the effect Drop answered.
    DWORD drag_and_drop(IDataObject* data) {
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        drop_target->DragEnter(data, MK_LBUTTON, POINTL{10, 10}, &effect);
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(S_OK, drop_target->Drop(data, 0, POINTL{10, 10}, &effect));
        return effect;
    }

    // The stub's arguments after its own path; empty when it did not run within the time.
    std::vector<std::wstring> stub_arguments(DWORD wait_ms = 10000) {
        const ULONGLONG end = GetTickCount64() + wait_ms;
        while (!qvltest::path_exists(out_path()) && GetTickCount64() < end) Sleep(20);
        std::vector<uint8_t> bytes = qvltest::bytes_of(out_path());
        if (bytes.empty()) return {};
        std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(line.c_str(), &argc);
        std::vector<std::wstring> args(argv + 1, argv + argc);
        LocalFree(argv);
        return args;
    }

    qvltest::ScratchDir dir{L"lumbrel"};
    bool com_up = false;
    rez::com_ptr<IDropTarget> drop_target;
    rez::com_ptr<IPersistFile> persist;
};

std::vector<std::wstring> add_to_rez(const std::wstring& target, std::vector<std::wstring> files) {
    files.insert(files.begin(), {L"--add-to-rez", target});
    return files;
}

TEST_F(Lumbrel, DroppedFilesReachQuarvelWithTheArchive) {
    ASSERT_NO_FATAL_FAILURE(create(L"C:\\游戏\\data pack.rez"));
    const std::vector<std::wstring> files = {L"C:\\素材\\角色 1.dtx", L"C:\\plain.txt", L"D:\\a folder"};
    FileList data(files, TYMED_HGLOBAL);
    DWORD effect = 0;
    ASSERT_EQ(S_OK, drop_target->DragEnter(&data, MK_LBUTTON, POINTL{1, 1}, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), effect);
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), drag_and_drop(&data));
    EXPECT_EQ(add_to_rez(L"C:\\游戏\\data pack.rez", files), stub_arguments());
}

// A path ending in "\" once ate its closing quote, so the program read it and everything
// after it as one argument.
TEST_F(Lumbrel, PathsEndingInABackslashStaySeparateArguments) {
    struct Case {
        std::wstring target;
        std::vector<std::wstring> files;
    };
    const Case cases[] = {
        {L"C:\\a.rez", {L"C:\\some folder\\", L"C:\\after.txt"}},
        {L"C:\\a.rez", {L"D:\\", L"E:\\x"}},
        {L"C:\\odd\\", {L"C:\\two\\\\", L"C:\\b c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(rez::to_utf8(c.target + L" " + c.files[0]));
        DeleteFileW(out_path().c_str());
        ASSERT_NO_FATAL_FAILURE(create(c.target));
        FileList data(c.files, TYMED_HGLOBAL);
        drag_and_drop(&data);
        EXPECT_EQ(add_to_rez(c.target, c.files), stub_arguments());
    }
}

TEST_F(Lumbrel, DragsAreTakenOnlyWithAnArchiveAndAFileListInMemory) {
    ASSERT_NO_FATAL_FAILURE(create(L""));
    DWORD effect = DROPEFFECT_COPY;
    ASSERT_EQ(S_OK, drop_target->DragOver(0, POINTL{}, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);
    FileList files({L"C:\\x.txt"}, TYMED_HGLOBAL);
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drag_and_drop(&files));

    ASSERT_EQ(S_OK, persist->Load(L"C:\\a.rez", STGM_READ));
    ASSERT_EQ(S_OK, drop_target->DragOver(0, POINTL{}, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_COPY), effect);
    FileList stream_only({L"C:\\x.txt"}, TYMED_ISTREAM);
    ASSERT_EQ(S_OK, drop_target->DragEnter(&stream_only, MK_LBUTTON, POINTL{}, &effect));
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);
    EXPECT_EQ(DWORD(DROPEFFECT_NONE), drag_and_drop(&stream_only));
    EXPECT_EQ(E_POINTER, drop_target->Drop(&files, 0, POINTL{}, nullptr));
    EXPECT_TRUE(stub_arguments(1500).empty()) << "no drop above may start the program";

    rez::com_ptr<IPersist> as_persist;
    ASSERT_EQ(S_OK, drop_target->QueryInterface(IID_IPersist, as_persist.put_void()));
    EXPECT_EQ(static_cast<void*>(persist.get()), static_cast<void*>(as_persist.get()));
    CLSID id = {};
    ASSERT_EQ(S_OK, persist->GetClassID(&id));
    EXPECT_TRUE(IsEqualCLSID(kLumbrelClsid, id));
    rez::com_ptr<IUnknown> nothing;
    EXPECT_EQ(E_NOINTERFACE, drop_target->QueryInterface(IID_IClassFactory, nothing.put_void()));
}

using CanUnloadFn = HRESULT(WINAPI*)();

CanUnloadFn can_unload() {
    HMODULE module = GetModuleHandleW(L"Lumbrel.dll");
    return module ? reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")))
                  : nullptr;
}

TEST_F(Lumbrel, StaysLoadedWhileATargetAFactoryOrALockLives) {
    rez::com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CoGetClassObject(kLumbrelClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     factory.put_void()));
    CanUnloadFn unload_now = can_unload();
    ASSERT_NE(nullptr, unload_now);
    EXPECT_EQ(S_FALSE, unload_now()) << "a factory lives";

    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    rez::com_ptr<IDropTarget> target;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDropTarget, target.put_void()));
    factory.reset();
    EXPECT_EQ(S_FALSE, unload_now()) << "a target and a lock live";
    target.reset();
    EXPECT_EQ(S_FALSE, unload_now()) << "a lock lives";

    ASSERT_EQ(S_OK, CoGetClassObject(kLumbrelClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     factory.put_void()));
    factory->LockServer(FALSE);
    rez::com_ptr<IUnknown> outer_refused;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                      outer_refused.put_void()));
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, outer_refused.put_void()));
    factory.reset();
    EXPECT_EQ(S_OK, unload_now());
}

std::wstring window_text(HWND window) {
    wchar_t buf[1024] = {};
    GetWindowTextW(window, buf, 1024);
    return buf;
}

// The warning box the handler shows on its own thread, once it is up.
HWND find_warning(DWORD wait_ms = 10000) {
    const ULONGLONG end = GetTickCount64() + wait_ms;
    while (GetTickCount64() < end) {
        if (HWND box = FindWindowW(L"#32770", L"添加到资源包")) return box;
        Sleep(20);
    }
    return nullptr;
}

std::wstring static_texts(HWND box) {
    std::wstring text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM out) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(child, cls, 16);
            if (std::wstring(cls) == L"Static") *reinterpret_cast<std::wstring*>(out) += window_text(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

// A click on a button of the box's thread. BM_CLICK has the button take its press and its
// release in one go; posted as two mouse messages, a change of the mouse capture between them
// (another test's window on the shared display) turns the release into no click.
void click_button(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool wait_for(const std::function<bool()>& done, DWORD wait_ms = 10000) {
    const ULONGLONG end = GetTickCount64() + wait_ms;
    while (!done() && GetTickCount64() < end) Sleep(20);
    return done();
}

// Names the handler cannot pass (too long on their own, or past the command line's limit)
// used to vanish without a word; now the program gets the ones that fit and the user is told
// how many did not, in a box that does not hold up the shell.
TEST_F(Lumbrel, FilesPastTheLengthLimitAreReportedAndTheBoxClosesOnClicks) {
    const std::wstring target = L"C:\\archives\\big.rez";
    const std::wstring too_long = L"C:\\" + std::wstring(1100, L'n');
    std::vector<std::wstring> many = {too_long};
    for (int i = 0; i < 150; ++i) many.push_back(L"C:\\in\\" + std::wstring(240, L'x') + std::to_wstring(i));
    // The names that fit the 30000-character parameter text, in order.
    std::vector<std::wstring> fitting;
    size_t length = std::wstring(L" --add-to-rez \"").size() + target.size() + 1;
    for (size_t i = 1; i < many.size() && length + many[i].size() + 3 <= 30000; ++i) {
        fitting.push_back(many[i]);
        length += many[i].size() + 3;
    }
    ASSERT_LT(fitting.size() + 1, many.size());

    struct Case {
        std::vector<std::wstring> dropped, passed;
    };
    const Case cases[] = {{{too_long}, {}}, {many, fitting}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dropped.size());
        DeleteFileW(out_path().c_str());
        ASSERT_NO_FATAL_FAILURE(create(target));
        FileList data(c.dropped, TYMED_HGLOBAL);
        EXPECT_EQ(DWORD(DROPEFFECT_COPY), drag_and_drop(&data));
        EXPECT_EQ(add_to_rez(target, c.passed), stub_arguments());

        HWND box = find_warning();
        ASSERT_NE(nullptr, box) << "left-out files were not reported";
        const std::wstring text = static_texts(box);
        const size_t left_out = c.dropped.size() - c.passed.size();
        EXPECT_NE(std::wstring::npos, text.find(L"有 " + std::to_wstring(left_out) + L" 个")) << rez::to_utf8(text);
        EXPECT_NE(std::wstring::npos, text.find(L"big.rez")) << rez::to_utf8(text);
        EXPECT_NE(std::wstring::npos, text.find(L"的有 " + std::to_wstring(c.passed.size()) + L" 个"))
            << rez::to_utf8(text);

        drop_target.reset();
        persist.reset();
        CanUnloadFn unload_now = can_unload();
        ASSERT_NE(nullptr, unload_now);
        EXPECT_EQ(S_FALSE, unload_now()) << "the box's thread runs inside the library";
        click_button(GetDlgItem(box, IDOK));
        EXPECT_TRUE(wait_for([&] { return !IsWindow(box); })) << "the click did not close the box";
        EXPECT_TRUE(wait_for([&] { return unload_now() == S_OK; }));
    }
}

}  // namespace
