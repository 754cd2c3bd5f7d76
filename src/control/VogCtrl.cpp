// CVogCtrl: identity, dispatch and the open method, class information, events, persistence, property
// pages and safety. Activation and drawing are in VogCtrlOle.cpp.
#include "control/VogCtrl.h"

#include "control/DispatchArguments.h"
#include "control/Identifiers.h"

#include <new>
#include <stdexcept>

CVogCtrl::CVogCtrl() : events(*this, DIID_DVogEvents)
{
    // 100 by 50 pixels at 96 pixels per inch, in HIMETRIC.
    extent.cx = MulDiv(100, 2540, 96);
    extent.cy = MulDiv(50, 2540, 96);
}

CVogCtrl::~CVogCtrl()
{
    // Every running worker is asked to stop first, so that they all wind down together; then each
    // record, first to last, waits for its worker and releases what is left.
    for (auto& record : tasks)
        record->requestStop();
    for (auto& record : tasks)
        record.reset();
    tasks.clear();
    if (window)
        DestroyWindow(window);
}

HRESULT CVogCtrl::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DVog)
        found = static_cast<IDispatch*>(this);
    else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
        found = static_cast<IProvideClassInfo2*>(this);
    else if (iid == IID_IConnectionPointContainer)
        found = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IOleObject)
        found = static_cast<IOleObject*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
        found = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IOleInPlaceActiveObject)
        found = static_cast<IOleInPlaceActiveObject*>(this);
    else if (iid == IID_IViewObject || iid == IID_IViewObject2)
        found = static_cast<IViewObject2*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
        found = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IPersistPropertyBag)
        found = static_cast<IPersistPropertyBag*>(this);
    else if (iid == IID_IOleControl)
        found = static_cast<IOleControl*>(this);
    else if (iid == IID_ISpecifyPropertyPages)
        found = static_cast<ISpecifyPropertyPages*>(this);
    else if (iid == IID_IObjectSafety)
        found = static_cast<IObjectSafety*>(this);
    *object = found;
    if (!found)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CVogCtrl::AddRef()
{
    return ++references;
}

ULONG CVogCtrl::Release()
{
    ULONG left = --references;
    if (left == 0)
        delete this;
    return left;
}

// --- IDispatch ---

HRESULT CVogCtrl::dispatchTypeInfo(ComPtr<ITypeInfo>& info)
{
    if (!typeInfo) {
        HRESULT result = moduleTypeInfo(DIID_DVog, typeInfo);
        if (FAILED(result))
            return result;
    }
    info = typeInfo;
    return S_OK;
}

HRESULT CVogCtrl::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CVogCtrl::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    ComPtr<ITypeInfo> dispatchInfo;
    HRESULT result = dispatchTypeInfo(dispatchInfo);
    if (SUCCEEDED(result))
        *info = dispatchInfo.detach();
    return result;
}

HRESULT CVogCtrl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    ComPtr<ITypeInfo> dispatchInfo;
    HRESULT result = dispatchTypeInfo(dispatchInfo);
    if (FAILED(result))
        return result;
    return DispGetIDsOfNames(dispatchInfo.get(), names, count, ids);
}

HRESULT CVogCtrl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO*, UINT* argError)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (id != dispidOpen || !(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (!params || (params->cArgs > 0 && !params->rgvarg))
        return E_INVALIDARG;
    if (params->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    if (params->cArgs < 4)
        return DISP_E_PARAMNOTOPTIONAL;
    if (params->cArgs > 4)
        return DISP_E_BADPARAMCOUNT;
    try {
        // rgvarg holds the arguments last first: theme is rgvarg[3], info rgvarg[0].
        std::string texts[4];
        for (UINT argument = 0; argument < 4; ++argument) {
            UINT position = 3 - argument;
            HRESULT converted = argumentText(params->rgvarg[position], texts[argument]);
            if (FAILED(converted)) {
                if (argError)
                    *argError = position;
                return converted;
            }
        }
        if (result)
            VariantInit(result);
        // The message boxes run a message loop on this thread: keep the object alive through them
        // even if the container lets go of it meanwhile.
        ComPtr<IDispatch> keepAlive(static_cast<IDispatch*>(this));
        open(texts[0], texts[1], texts[2], texts[3]);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

void CVogCtrl::open(const std::string& theme, const std::string& file, const std::string& intFile,
                    const std::string& info)
{
    if (file.empty() || theme.empty()) {
        MessageBoxA(nullptr, "Illegal call", "Vog Control", MB_OK);
        return;
    }
    try {
        startRequest(file, intFile, theme, info);
    } catch (const std::bad_alloc&) {
        // Exhausted memory ends the call silently.
    } catch (const std::exception& error) {
        MessageBoxA(nullptr, error.what(), "Vog Error", MB_OK | MB_ICONERROR);
    } catch (...) {
    }
}

void CVogCtrl::startRequest(const std::string& file, const std::string& intFile, const std::string& theme,
                            const std::string& info)
{
    // The record joins the list before the task is built: it stays, empty, when building fails.
    tasks.push_back(std::make_unique<TaskThread>());
    tasks.back()->startTask(Request{file, intFile, theme, info}, moduleInstance());
}

// --- IProvideClassInfo2 ---

HRESULT CVogCtrl::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    ComPtr<ITypeInfo> classInfo;
    HRESULT result = moduleTypeInfo(CLSID_VogCtrl, classInfo);
    if (SUCCEEDED(result))
        *info = classInfo.detach();
    return result;
}

HRESULT CVogCtrl::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = DIID_DVogEvents;
    return S_OK;
}

// --- IConnectionPointContainer ---

HRESULT CVogCtrl::EnumConnectionPoints(IEnumConnectionPoints** result)
{
    if (!result)
        return E_POINTER;
    *result = new (std::nothrow) ConnectionPointEnumerator(&events);
    return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT CVogCtrl::FindConnectionPoint(REFIID iid, IConnectionPoint** result)
{
    if (!result)
        return E_POINTER;
    *result = nullptr;
    if (iid != DIID_DVogEvents)
        return CONNECT_E_NOCONNECTION;
    *result = &events;
    events.AddRef();
    return S_OK;
}

// --- IPersistStreamInit, IPersistPropertyBag ---

HRESULT CVogCtrl::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_VogCtrl;
    return S_OK;
}

HRESULT CVogCtrl::IsDirty()
{
    return dirty ? S_OK : S_FALSE;
}

HRESULT CVogCtrl::Load(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    // Any stamp is accepted: there is nothing of the control's own to convert.
    DWORD stamp = 0;
    ULONG read = 0;
    HRESULT result = stream->Read(&stamp, sizeof stamp, &read);
    if (FAILED(result))
        return result;
    if (read != sizeof stamp)
        return STG_E_READFAULT;
    dirty = false;
    return S_OK;
}

HRESULT CVogCtrl::Save(IStream* stream, BOOL clearDirty)
{
    if (!stream)
        return E_POINTER;
    DWORD stamp = vogVersionStamp;
    ULONG written = 0;
    HRESULT result = stream->Write(&stamp, sizeof stamp, &written);
    if (FAILED(result))
        return result;
    if (written != sizeof stamp)
        return STG_E_WRITEFAULT;
    if (clearDirty)
        dirty = false;
    return S_OK;
}

HRESULT CVogCtrl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = sizeof(DWORD);
    return S_OK;
}

HRESULT CVogCtrl::InitNew()
{
    dirty = false;
    return S_OK;
}

namespace {
wchar_t versionProperty[] = L"_Version";
}

HRESULT CVogCtrl::Load(IPropertyBag* bag, IErrorLog* log)
{
    if (!bag)
        return E_POINTER;
    // A missing or unreadable stamp is no error: the control has nothing else to load.
    VARIANT stamp;
    VariantInit(&stamp);
    V_VT(&stamp) = VT_I4;
    if (SUCCEEDED(bag->Read(versionProperty, &stamp, log)))
        VariantClear(&stamp);
    dirty = false;
    return S_OK;
}

HRESULT CVogCtrl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL)
{
    if (!bag)
        return E_POINTER;
    VARIANT stamp;
    VariantInit(&stamp);
    V_VT(&stamp) = VT_I4;
    V_I4(&stamp) = static_cast<LONG>(vogVersionStamp);
    HRESULT result = bag->Write(versionProperty, &stamp);
    if (SUCCEEDED(result) && clearDirty)
        dirty = false;
    return result;
}

// --- IOleControl ---

HRESULT CVogCtrl::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    info->cb = sizeof(CONTROLINFO);
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT CVogCtrl::OnMnemonic(MSG*)
{
    return E_NOTIMPL;
}

HRESULT CVogCtrl::OnAmbientPropertyChange(DISPID)
{
    return S_OK;
}

HRESULT CVogCtrl::FreezeEvents(BOOL)
{
    return S_OK;
}

// --- ISpecifyPropertyPages ---

HRESULT CVogCtrl::GetPages(CAUUID* pages)
{
    if (!pages)
        return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = CLSID_VogPropPage;
    return S_OK;
}

// --- IObjectSafety ---

namespace {
constexpr DWORD supportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
}

bool CVogCtrl::hasInterface(REFIID iid)
{
    ComPtr<IUnknown> probe;
    return SUCCEEDED(QueryInterface(iid, probe.putVoid()));
}

HRESULT CVogCtrl::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled)
{
    if (!supported || !enabled)
        return E_POINTER;
    if (!hasInterface(iid)) {
        *supported = *enabled = 0;
        return E_NOINTERFACE;
    }
    *supported = supportedSafety;
    *enabled = safetyOptions;
    return S_OK;
}

HRESULT CVogCtrl::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled)
{
    if (!hasInterface(iid))
        return E_NOINTERFACE;
    if (mask & ~supportedSafety)
        return E_FAIL;
    safetyOptions = (safetyOptions & ~mask) | (enabled & mask);
    return S_OK;
}
