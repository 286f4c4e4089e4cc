#include "drophandler/class_factory.h"

#include <objbase.h>
#include <unknwn.h>

#include <new>

#include "drophandler/drop_target.h"
#include "drophandler/module.h"

namespace rezui {
namespace {

class RezClassFactory final : public IClassFactory {
public:
    RezClassFactory() { module_add_object(); }
    RezClassFactory(const RezClassFactory&) = delete;
    RezClassFactory& operator=(const RezClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_drop_target(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        module_lock(lock != FALSE);
        return S_OK;
    }

private:
    ~RezClassFactory() { module_release_object(); }
    volatile LONG refs_ = 1;
};

}  // namespace

HRESULT create_target_factory(REFIID riid, void** ppv) {
    RezClassFactory* factory = new (std::nothrow) RezClassFactory();
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

}  // namespace rezui
