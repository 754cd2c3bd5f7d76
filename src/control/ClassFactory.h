// The module's class objects: one IClassFactory per creatable class, built with the module and
// handed out by DllGetClassObject.
#pragma once

#include <windows.h>

#include <atomic>

class ClassFactory final : public IClassFactory {
public:
    using CreateFunction = HRESULT (*)(REFIID iid, void** object) noexcept;

    explicit ClassFactory(CreateFunction create) noexcept : create(create) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    // IUnknown. Class objects live as long as the module; every reference a client holds also
    // holds a module lock, so DllCanUnloadNow says no while a client keeps a class object.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    // An unlock without a matching lock of the server is refused with E_UNEXPECTED.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    CreateFunction create;
    std::atomic<ULONG> references{1};  // the module's own reference, never given up
};

// DllGetClassObject: the class object of clsid, asked for iid. CLASS_E_CLASSNOTAVAILABLE for a class
// the module does not implement; *object is null on every failure.
HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;
