#include "drophandler/drop_target.h"

#include <objbase.h>
#include <objidl.h>
#include <oleidl.h>
#include <shellapi.h>

#include <new>
#include <string>

#include "drophandler/drop_command.h"
#include "drophandler/module.h"

namespace rezui {
namespace {

FORMATETC hdrop_format() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

class LumbrelTarget final : public IDropTarget, public IPersistFile {
public:
    LumbrelTarget() { module_add_object(); }
    LumbrelTarget(const LumbrelTarget&) = delete;
    LumbrelTarget& operator=(const LumbrelTarget&) = delete;

    // IUnknown, shared by both interfaces.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
            *ppv = static_cast<IDropTarget*>(this);
        } else if (IsEqualIID(riid, IID_IPersistFile) || IsEqualIID(riid, IID_IPersist)) {
            *ppv = static_cast<IPersistFile*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDropTarget
    STDMETHODIMP DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        if (!effect) return E_POINTER;
        *effect = DROPEFFECT_NONE;
        FORMATETC format = hdrop_format();
        if (data && !target_.empty() && data->QueryGetData(&format) == S_OK) *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override {
        if (!effect) return E_POINTER;
        *effect = target_.empty() ? DROPEFFECT_NONE : DROPEFFECT_COPY;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override;

    // IPersistFile
    STDMETHODIMP GetClassID(CLSID* out) override {
        if (!out) return E_POINTER;
        *out = CLSID_LumbrelTarget;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(LPCOLESTR name, DWORD) override {
        target_ = name ? name : L"";
        return S_OK;
    }
    STDMETHODIMP Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurFile(LPOLESTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;
    }

private:
    ~LumbrelTarget() { module_release_object(); }

    volatile LONG refs_ = 1;
    std::wstring target_;
};

// The shell's drop list in global memory, locked for as long as this lives.
class LockedDrop {
public:
    explicit LockedDrop(STGMEDIUM& medium) : medium_(medium), drop_(static_cast<HDROP>(GlobalLock(medium.hGlobal))) {}
    ~LockedDrop() {
        if (drop_) GlobalUnlock(medium_.hGlobal);
        ReleaseStgMedium(&medium_);
    }
    LockedDrop(const LockedDrop&) = delete;
    LockedDrop& operator=(const LockedDrop&) = delete;
    HDROP get() const { return drop_; }

private:
    STGMEDIUM& medium_;
    HDROP drop_;
};

// Failures end quietly: the shell has nobody to tell.
STDMETHODIMP LumbrelTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_POINTER;
    *effect = DROPEFFECT_NONE;
    if (!data || target_.empty()) return S_OK;
    FORMATETC format = hdrop_format();
    STGMEDIUM medium = {};
    if (data->GetData(&format, &medium) != S_OK) return S_OK;
    DropCommand command;
    {
        LockedDrop drop(medium);
        if (!drop.get()) return S_OK;
        command = build_drop_command(target_, drop.get());
    }
    start_main_program(command.parameters);
    report_left_out(target_, command);
    *effect = DROPEFFECT_COPY;
    return S_OK;
}

}  // namespace

HRESULT create_drop_target(REFIID riid, void** ppv) {
    LumbrelTarget* target = new (std::nothrow) LumbrelTarget();
    if (!target) return E_OUTOFMEMORY;
    const HRESULT hr = target->QueryInterface(riid, ppv);
    target->Release();
    return hr;
}

}  // namespace rezui
