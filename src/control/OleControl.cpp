// OleControl: identity, class information, events, persistence, control information, property pages
// and safety. Activation is in OleControlActivation.cpp, the window and drawing in OleControlView.cpp.
#include "control/OleControl.h"

#include <new>

OleControl::OleControl(const ControlClass& controlClass) noexcept
    : controlClass(controlClass), events(*this, controlClass.eventInterface)
{
    // 100 by 50 pixels at 96 pixels per inch, in HIMETRIC.
    extent.cx = MulDiv(100, 2540, 96);
    extent.cy = MulDiv(50, 2540, 96);
}

OleControl::~OleControl()
{
    // Whatever the container has not closed or taken back goes now: the window, then the
    // container's objects and the sinks, without calls into a container that may be half gone
    // itself. A callback from one of these releases finds the count held up (RefCounted).
    if (window)
        DestroyWindow(window);
    window = nullptr;
    frame.reset();
    document.reset();
    inPlaceSite.reset();
    viewSink.reset();
    adviseHolder.reset();
    clientSite.reset();
    events.disconnectAll();
}

HRESULT OleControl::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == controlClass.dispatchInterface)
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
    else if (iid == IID_IPersist || iid == IID_IPersistStreamInit || iid == IID_IPersistStream)
        found = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IPersistStorage)
        found = static_cast<IPersistStorage*>(this);
    else if (iid == IID_IPersistPropertyBag)
        found = static_cast<IPersistPropertyBag*>(this);
    else if (iid == IID_IOleControl)
        found = static_cast<IOleControl*>(this);
    else if (iid == IID_ISpecifyPropertyPages)
        found = static_cast<ISpecifyPropertyPages*>(this);
    else if (iid == IID_IObjectSafety)
        found = static_cast<IObjectSafety*>(this);
    else if (iid == IID_IQuickActivate)
        found = static_cast<IQuickActivate*>(this);
    *object = found;
    if (!found)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

// --- IProvideClassInfo2 ---

HRESULT OleControl::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    ComPtr<ITypeInfo> classInfo;
    HRESULT result = moduleTypeInfo(controlClass.classId, classInfo);
    if (SUCCEEDED(result))
        *info = classInfo.detach();
    return result;
}

HRESULT OleControl::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = controlClass.eventInterface;
    return S_OK;
}

// --- IConnectionPointContainer ---

HRESULT OleControl::EnumConnectionPoints(IEnumConnectionPoints** result)
{
    if (!result)
        return E_POINTER;
    *result = new (std::nothrow) ConnectionPointEnumerator(&events);
    return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT OleControl::FindConnectionPoint(REFIID iid, IConnectionPoint** result)
{
    if (!result)
        return E_POINTER;
    *result = nullptr;
    if (iid != controlClass.eventInterface)
        return CONNECT_E_NOCONNECTION;
    *result = &events;
    events.AddRef();
    return S_OK;
}

// --- IPersistStreamInit, IPersistStorage, IPersistPropertyBag ---

HRESULT OleControl::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = controlClass.classId;
    return S_OK;
}

namespace {

// What a stream holds: the version stamp, then the extent behind a tag. Streams saved before the
// extent was kept hold the stamp alone, and a container may have written its own data right after
// it: the tag tells the two apart.
struct ExtentRecord {
    DWORD tag;
    SIZEL size;  // HIMETRIC
};
struct StreamImage {
    DWORD stamp;
    ExtentRecord extent;
};
static_assert(sizeof(StreamImage) == 16, "the stream's layout has no padding");

constexpr DWORD extentTag = 0x58474F56;  // the bytes "VOGX"

}  // namespace

HRESULT OleControl::Load(IStream* stream)
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
    ExtentRecord record = {};
    read = 0;
    result = stream->Read(&record, sizeof record, &read);
    if (FAILED(result))
        return result;
    if (read == sizeof record && record.tag == extentTag) {
        // A size below zero is no extent; the one the control has stays.
        if (record.size.cx >= 0 && record.size.cy >= 0)
            changeExtent(record.size);
    } else if (read > 0) {
        // Not ours: back to the end of the stamp, where the container's own data begins.
        LARGE_INTEGER back;
        back.QuadPart = -static_cast<LONGLONG>(read);
        result = stream->Seek(back, STREAM_SEEK_CUR, nullptr);
        if (FAILED(result))
            return result;
    }
    dirty = false;
    return S_OK;
}

HRESULT OleControl::Save(IStream* stream, BOOL clearDirty)
{
    if (!stream)
        return E_POINTER;
    StreamImage image = {controlClass.versionStamp, {extentTag, extent}};
    ULONG written = 0;
    HRESULT result = stream->Write(&image, sizeof image, &written);
    if (FAILED(result))
        return result;
    if (written != sizeof image)
        return STG_E_WRITEFAULT;
    if (clearDirty)
        dirty = false;
    return S_OK;
}

HRESULT OleControl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = sizeof(StreamImage);
    return S_OK;
}

namespace {
wchar_t contentsStream[] = L"Contents";
}

HRESULT OleControl::InitNew(IStorage* storage)
{
    return storage ? InitNew() : E_POINTER;
}

HRESULT OleControl::Load(IStorage* storage)
{
    if (!storage)
        return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT result = storage->OpenStream(contentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put());
    return FAILED(result) ? result : Load(stream.get());
}

HRESULT OleControl::Save(IStorage* storage, BOOL sameAsLoad)
{
    if (!storage)
        return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT result = storage->CreateStream(contentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                           stream.put());
    // Saved into the storage it was loaded from, the control is no longer dirty; into another one
    // (Save As a copy) it still is.
    return FAILED(result) ? result : Save(stream.get(), sameAsLoad);
}

namespace {
wchar_t versionProperty[] = L"_Version";
}

HRESULT OleControl::Load(IPropertyBag* bag, IErrorLog* log)
{
    if (!bag)
        return E_POINTER;
    // A missing or unreadable stamp is no error: the control has nothing else to load.
    VARIANT stamp;
    VariantInit(&stamp);
    V_VT(&stamp) = VT_I4;
    if (SUCCEEDED(bag->Read(versionProperty, &stamp, log)))
        VariantClear(&stamp);
    return S_OK;
}

HRESULT OleControl::Save(IPropertyBag* bag, BOOL, BOOL)
{
    if (!bag)
        return E_POINTER;
    VARIANT stamp;
    VariantInit(&stamp);
    V_VT(&stamp) = VT_I4;
    V_I4(&stamp) = static_cast<LONG>(controlClass.versionStamp);
    return bag->Write(versionProperty, &stamp);
}

// --- IOleControl ---

HRESULT OleControl::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    info->cb = sizeof(CONTROLINFO);
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

// --- ISpecifyPropertyPages ---

HRESULT OleControl::GetPages(CAUUID* pages)
{
    if (!pages)
        return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = controlClass.propertyPage;
    return S_OK;
}

// --- IObjectSafety ---

namespace {
constexpr DWORD supportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
}

bool OleControl::hasInterface(REFIID iid)
{
    ComPtr<IUnknown> probe;
    return SUCCEEDED(QueryInterface(iid, probe.putVoid()));
}

HRESULT OleControl::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled)
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

HRESULT OleControl::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled)
{
    if (!hasInterface(iid))
        return E_NOINTERFACE;
    if (mask & ~supportedSafety)
        return E_FAIL;
    safetyOptions = (safetyOptions & ~mask) | (enabled & mask);
    return S_OK;
}
