// OleControl: the container protocol of IOleObject, quick activation and in-place activation. The
// showing verbs create the control's child window (OleControlView.cpp) inside the container's window;
// UI activation makes the control the active object of the container's frame and document.
#include "control/OleControl.h"

#include <olectl.h>

#include <cstddef>
#include <new>
#include <string>

// --- IOleObject ---

HRESULT OleControl::SetClientSite(IOleClientSite* site)
{
    clientSite = ComPtr<IOleClientSite>(site);
    return S_OK;
}

HRESULT OleControl::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = ComPtr<IOleClientSite>(clientSite).detach();
    return S_OK;
}

HRESULT OleControl::Close(DWORD)
{
    InPlaceDeactivate();
    if (adviseHolder)
        adviseHolder->SendOnClose();
    events.disconnectAll();
    return S_OK;
}

HRESULT OleControl::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (!moniker)
        return E_POINTER;
    *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT OleControl::GetClipboardData(DWORD, IDataObject** data)
{
    if (!data)
        return E_POINTER;
    *data = nullptr;
    return E_NOTIMPL;
}

HRESULT OleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent, LPCRECT position)
{
    IOleClientSite* verbSite = activeSite ? activeSite : clientSite.get();
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return activateInPlace(verbSite, parent, position, false);
    case OLEIVERB_UIACTIVATE:
        return activateInPlace(verbSite, parent, position, true);
    case OLEIVERB_HIDE:
        if (window)
            ShowWindow(window, SW_HIDE);
        return S_OK;
    case OLEIVERB_PROPERTIES:
        return showPropertyPages(parent);
    default:
        if (verb < 0)
            return E_NOTIMPL;
        // A positive verb the control does not know is carried out as the primary verb.
        HRESULT result = activateInPlace(verbSite, parent, position, false);
        return FAILED(result) ? result : OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT OleControl::activateInPlace(IOleClientSite* verbSite, HWND parent, LPCRECT position, bool uiActivate)
{
    if (!window) {
        ComPtr<IOleInPlaceSite> newSite;
        if (verbSite)
            verbSite->QueryInterface(IID_IOleInPlaceSite, newSite.putVoid());
        HWND parentWindow = parent;
        RECT placement = {};
        bool placed = false;
        if (newSite) {
            if (newSite->CanInPlaceActivate() != S_OK)
                return E_FAIL;
            newSite->OnInPlaceActivate();
            HWND siteWindow = nullptr;
            if (SUCCEEDED(newSite->GetWindow(&siteWindow)) && siteWindow)
                parentWindow = siteWindow;
            ComPtr<IOleInPlaceFrame> siteFrame;
            ComPtr<IOleInPlaceUIWindow> siteDocument;
            RECT clip;
            OLEINPLACEFRAMEINFO frameInfo = {};
            frameInfo.cb = sizeof frameInfo;
            placed = SUCCEEDED(newSite->GetWindowContext(siteFrame.put(), siteDocument.put(), &placement, &clip,
                                                         &frameInfo));
        }
        if (!placed && position) {
            placement = *position;
            placed = true;
        }
        if (!parentWindow || !placed) {
            if (newSite)
                newSite->OnInPlaceDeactivate();
            return E_INVALIDARG;
        }
        window = createWindow(parentWindow, placement);
        if (!window) {
            HRESULT failure = lastErrorResult();
            if (newSite)
                newSite->OnInPlaceDeactivate();
            return failure;
        }
        inPlaceSite = newSite;
        ShowWindow(window, SW_SHOWNA);
        viewChanged();
    } else {
        ShowWindow(window, SW_SHOWNA);
    }
    return uiActivate ? activateUserInterface() : S_OK;
}

HRESULT OleControl::activateUserInterface()
{
    if (uiActive || !inPlaceSite)
        return S_OK;
    inPlaceSite->OnUIActivate();
    RECT position;
    RECT clip;
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof frameInfo;
    if (SUCCEEDED(inPlaceSite->GetWindowContext(frame.put(), document.put(), &position, &clip, &frameInfo))) {
        if (frame)
            frame->SetActiveObject(this, nullptr);
        if (document)
            document->SetActiveObject(this, nullptr);
    }
    uiActive = true;
    return S_OK;
}

HRESULT OleControl::showPropertyPages(HWND parent)
{
    CLSID page = controlClass.propertyPage;
    IUnknown* self = static_cast<IDispatch*>(this);
    std::wstring caption = moduleString(controlClass.typeNameString);
    return OleCreatePropertyFrame(parent, 0, 0, caption.c_str(), 1, &self, 1, &page, LOCALE_USER_DEFAULT, 0,
                                  nullptr);
}

HRESULT OleControl::EnumVerbs(IEnumOLEVERB** verbs)
{
    return OleRegEnumVerbs(controlClass.classId, verbs);
}

HRESULT OleControl::GetUserClassID(CLSID* clsid)
{
    return GetClassID(clsid);
}

HRESULT OleControl::GetUserType(DWORD, LPOLESTR* name)
{
    if (!name)
        return E_POINTER;
    *name = nullptr;
    try {
        std::wstring typeName = moduleString(controlClass.typeNameString);
        if (typeName.empty())
            return OLE_S_USEREG;
        *name = taskMemCopy(typeName.c_str());
    } catch (const std::bad_alloc&) {
    }
    return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT OleControl::SetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (changeExtent(*size))
        dirty = true;
    return S_OK;
}

bool OleControl::changeExtent(const SIZEL& size)
{
    if (size.cx == extent.cx && size.cy == extent.cy)
        return false;
    extent = size;
    viewChanged();
    return true;
}

HRESULT OleControl::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = extent;
    return S_OK;
}

HRESULT OleControl::Advise(IAdviseSink* sink, DWORD* connection)
{
    if (!connection)
        return E_POINTER;
    *connection = 0;
    if (!adviseHolder) {
        HRESULT result = CreateOleAdviseHolder(adviseHolder.put());
        if (FAILED(result))
            return result;
    }
    return adviseHolder->Advise(sink, connection);
}

HRESULT OleControl::Unadvise(DWORD connection)
{
    if (!adviseHolder)
        return OLE_E_NOCONNECTION;
    return adviseHolder->Unadvise(connection);
}

HRESULT OleControl::EnumAdvise(IEnumSTATDATA** advises)
{
    if (!advises)
        return E_POINTER;
    *advises = nullptr;
    if (!adviseHolder)
        return E_FAIL;
    return adviseHolder->EnumAdvise(advises);
}

HRESULT OleControl::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = controlClass.miscStatus;
    return S_OK;
}

// --- IOleWindow, IOleInPlaceObject ---

HRESULT OleControl::GetWindow(HWND* result)
{
    if (!result)
        return E_POINTER;
    *result = window;
    return window ? S_OK : E_FAIL;
}

HRESULT OleControl::InPlaceDeactivate()
{
    UIDeactivate();
    if (window) {
        DestroyWindow(window);
        window = nullptr;
        viewChanged();
    }
    // Released before the call reaches the site, which may call back in.
    ComPtr<IOleInPlaceSite> leaving = std::move(inPlaceSite);
    if (leaving)
        leaving->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT OleControl::UIDeactivate()
{
    if (!uiActive)
        return S_OK;
    uiActive = false;
    if (frame)
        frame->SetActiveObject(nullptr, nullptr);
    if (document)
        document->SetActiveObject(nullptr, nullptr);
    frame.reset();
    document.reset();
    if (inPlaceSite)
        inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT OleControl::SetObjectRects(LPCRECT position, LPCRECT)
{
    if (!position)
        return E_POINTER;
    if (window)
        MoveWindow(window, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    return S_OK;
}

// --- IQuickActivate ---

HRESULT OleControl::QuickActivate(QACONTAINER* container, QACONTROL* control)
{
    if (!container || !control)
        return E_POINTER;
    // Each container passes the QACONTAINER of its own time, which cbSize measures: the members read
    // here are in all of them. QACONTROL has never grown, and all of it is filled in.
    if (container->cbSize < offsetof(QACONTAINER, dwAmbientFlags) || control->cbSize < sizeof(QACONTROL))
        return E_FAIL;
    SetClientSite(container->pClientSite);
    if (container->pAdviseSink)
        SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    DWORD eventCookie = 0;
    // A sink that takes neither the event interface nor IDispatch stays unconnected (cookie 0).
    if (container->pUnkEventSink)
        events.Advise(container->pUnkEventSink, &eventCookie);
    control->dwMiscStatus = controlClass.miscStatus;
    control->dwViewStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;  // the placeholder fills its bounds
    control->dwEventCookie = eventCookie;
    control->dwPropNotifyCookie = 0;  // no properties, so no property notifications
    control->dwPointerActivationPolicy = 0;
    return S_OK;
}

HRESULT OleControl::SetContentExtent(LPSIZEL size)
{
    return SetExtent(DVASPECT_CONTENT, size);
}

HRESULT OleControl::GetContentExtent(LPSIZEL size)
{
    return GetExtent(DVASPECT_CONTENT, size);
}
