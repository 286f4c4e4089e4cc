// What a drag-out carries: the drop source with its release rule, the data object with
// its one format (a file list), and the file list itself with the placeholders of archive
// entries.
#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "app/app_state.h"
#include "app/operations/drag_out.h"
#include "app/operations/drop_target.h"
#include "archive/util.h"

namespace rezui {
namespace {

FORMATETC hdrop_format() { return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

bool is_hdrop_request(const FORMATETC& format) {
    return format.cfFormat == CF_HDROP && (format.tymed & TYMED_HGLOBAL);
}

// Reference counting shared by the three objects.
template <class Interface>
class RefCounted : public Interface {
public:
    virtual ~RefCounted() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&count_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&count_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

private:
    LONG count_ = 1;
};

class CDropSource final : public RefCounted<IDropSource> {
public:
    explicit CDropSource(bool fs_mode) : fs_mode_(fs_mode) {}

    // At release the window under the cursor decides. An archive drop is always cancelled:
    // Explorer must not copy the empty placeholders; the program extracts the entries into
    // the folder it finds there instead.
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape_pressed, DWORD key_state) override {
        if (escape_pressed) return DRAGDROP_S_CANCEL;
        if (key_state & MK_LBUTTON) return S_OK;
        POINT point{};
        GetCursorPos(&point);
        drag_state.drop_point = point;
        drag_state.explorer_window = nullptr;
        drag_state.folder_view = nullptr;
        drag_state.on_desktop = false;
        HWND under = WindowFromPoint(point);
        if (!under || !note_drop_window(under)) return DRAGDROP_S_CANCEL;
        return fs_mode_ ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    bool fs_mode_;
};

class CDropEnumFmt final : public RefCounted<IEnumFORMATETC> {
public:
    explicit CDropEnumFmt(ULONG position) : position_(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, FORMATETC* formats, ULONG* fetched) override {
        ULONG filled = 0;
        if (position_ == 0 && wanted > 0 && formats) {
            formats[0] = hdrop_format();
            filled = 1;
        }
        position_ += filled;
        if (fetched) *fetched = filled;
        return filled ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        position_ += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** out) override {
        if (!out) return E_POINTER;
        *out = new CDropEnumFmt(position_);
        return S_OK;
    }

private:
    ULONG position_;
};

class CDragDataObject final : public RefCounted<IDataObject> {
public:
    explicit CDragDataObject(HGLOBAL block) : block_(block) {}
    ~CDragDataObject() override {
        if (block_) GlobalFree(block_);
    }
    CDragDataObject(const CDragDataObject&) = delete;
    CDragDataObject& operator=(const CDragDataObject&) = delete;

    // The medium lends our own block; the reference it holds keeps the block alive until
    // the receiver releases the medium.
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        if (!is_hdrop_request(*format)) return DV_E_FORMATETC;
        if (!block_) return E_FAIL;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block_;
        medium->pUnkForRelease = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format) return E_INVALIDARG;
        return is_hdrop_request(*format) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->cfFormat = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
        if (!out) return E_INVALIDARG;
        *out = new CDropEnumFmt(0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    HGLOBAL block_;
};

// A name that Windows resolves to the folder itself or its parent (dots and spaces only).
bool leaves_folder(const std::string& name) { return name.find_first_not_of(". ") == std::string::npos; }

}  // namespace

IDropSource* new_drop_source(bool fs_mode) { return new CDropSource(fs_mode); }

IDataObject* new_drag_data_object(HGLOBAL block) { return new CDragDataObject(block); }

HGLOBAL build_drop_block(const std::vector<std::wstring>& paths) {
    size_t bytes = sizeof(DROPFILES) + sizeof(wchar_t);
    for (const std::wstring& p : paths) bytes += (p.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return nullptr;
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    if (!header) {
        GlobalFree(block);
        return nullptr;
    }
    std::memset(header, 0, bytes);
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
    for (const std::wstring& p : paths) {
        std::memcpy(text, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
        text += p.size() + 1;
    }
    *text = L'\0';
    GlobalUnlock(block);
    return block;
}

std::wstring dragout_folder_path() {
    wchar_t buf[520] = {};
    std::wstring temp = GetTempPathW(520, buf) ? buf : L"C:\\Windows\\Temp\\";
    return temp + L"qvl_dragout_" + std::to_wstring(GetCurrentProcessId());
}

std::wstring entry_file_name(const std::wstring& key) {
    std::string name;
    bool named = false;
    if (app.archive_loaded) {
        const rez::Entry* e = app.archive.find_entry_const(rez::to_utf8(key));
        if (e && !e->is_dir) {
            name = e->name_with_ext();
            named = true;
        }
    }
    if (!named) {
        const size_t cut = key.find_last_of(L"\\/");
        name = rez::to_utf8(cut == std::wstring::npos ? key : key.substr(cut + 1));
    }
    // The same rule as a whole extraction: odd characters are replaced, and only a name
    // that would leave the target folder is refused.
    const std::string safe = rez::sanitize_file_name(name);
    return leaves_folder(safe) ? L"" : rez::from_utf8(safe);
}

HGLOBAL make_hdrop(const std::vector<std::wstring>& paths, bool fs_mode, const std::wstring& folder) {
    if (fs_mode) return build_drop_block(paths);
    if (!app.archive_loaded) return nullptr;
    rez::create_directories(folder);
    std::vector<std::wstring> placeholders;
    for (const std::wstring& key : paths) {
        const std::wstring name = entry_file_name(key);
        if (name.empty()) continue;  // skipped and reported when the entries are extracted
        const std::wstring placeholder = folder + L"\\" + name;
        const rez::Entry* e = app.archive.find_entry_const(rez::to_utf8(key));
        if (e && e->is_dir) {
            rez::create_directories(placeholder);
        } else {
            HANDLE file = CreateFileW(placeholder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
        placeholders.push_back(placeholder);
    }
    return build_drop_block(placeholders);
}

}  // namespace rezui
