#include "control/ClassFactory.h"

#include "control/ComSupport.h"
#include "control/Identifiers.h"
#include "control/VogCtrl.h"
#include "control/VogPropPage.h"
#include "winsys/Module.h"

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object)
{
    return querySingle(static_cast<IClassFactory*>(this), IID_IClassFactory, iid, object);
}

ULONG ClassFactory::AddRef()
{
    lockModule();
    return ++references;
}

ULONG ClassFactory::Release()
{
    ULONG left = --references;
    unlockModule();
    return left;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return create(iid, object);
}

namespace {

// Locks taken through LockServer on either class object: they lock the server, not one factory.
std::atomic<LONG> serverLocks{0};

}  // namespace

HRESULT ClassFactory::LockServer(BOOL lock)
{
    if (lock) {
        ++serverLocks;
        lockModule();
        return S_OK;
    }
    // An unlock without a lock to undo is refused: it would take a lock that an object, a class
    // object reference or a worker holds, and DllCanUnloadNow would let the module go under it.
    LONG held = serverLocks.load();
    do {
        if (held <= 0)
            return E_UNEXPECTED;
    } while (!serverLocks.compare_exchange_weak(held, held - 1));
    unlockModule();
    return S_OK;
}

namespace {

ClassFactory controlFactory(createObject<CVogCtrl>);
ClassFactory pageFactory(createObject<CVogPropPage>);

}  // namespace

HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid == CLSID_VogCtrl)
        return controlFactory.QueryInterface(iid, object);
    if (clsid == CLSID_VogPropPage)
        return pageFactory.QueryInterface(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}
