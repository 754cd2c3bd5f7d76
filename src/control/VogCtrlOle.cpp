// CVogCtrl: the container protocol. In-place activation creates the control's child window, which
// paints the placeholder; IViewObject2 paints the same placeholder into any drawing context.
#include "control/VogCtrl.h"

#include "control/Identifiers.h"
#include "resources/resource.h"
#include "winsys/Errors.h"

#include <olectl.h>

static_assert(vogMiscStatus == (OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_INSIDEOUT |
                                OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE));

namespace {

const char controlWindowClass[] = "VogControl";

// The window keeps no pointer to the control: it only paints, so it can never reach a control that
// is already gone.
LRESULT CALLBACK controlWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        CVogCtrl::drawPlaceholder(dc, client);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(hwnd, &client);
        CVogCtrl::drawPlaceholder(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;  // the placeholder fills the whole window itself
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

bool registerControlWindowClass()
{
    HINSTANCE instance = moduleInstance();
    WNDCLASSA existing;
    if (GetClassInfoA(instance, controlWindowClass, &existing))
        return true;
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = controlWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = controlWindowClass;
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

void unregisterControlWindowClass() noexcept
{
    UnregisterClassA(controlWindowClass, moduleInstance());
}

void CVogCtrl::drawPlaceholder(HDC dc, const RECT& bounds)
{
    FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

// --- IOleObject ---

HRESULT CVogCtrl::SetClientSite(IOleClientSite* site)
{
    clientSite = ComPtr<IOleClientSite>(site);
    return S_OK;
}

HRESULT CVogCtrl::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = ComPtr<IOleClientSite>(clientSite).detach();
    return S_OK;
}

HRESULT CVogCtrl::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

HRESULT CVogCtrl::Close(DWORD)
{
    InPlaceDeactivate();
    if (adviseHolder)
        adviseHolder->SendOnClose();
    events.disconnectAll();
    return S_OK;
}

HRESULT CVogCtrl::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

HRESULT CVogCtrl::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (!moniker)
        return E_POINTER;
    *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT CVogCtrl::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

HRESULT CVogCtrl::GetClipboardData(DWORD, IDataObject** data)
{
    if (!data)
        return E_POINTER;
    *data = nullptr;
    return E_NOTIMPL;
}

HRESULT CVogCtrl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent, LPCRECT position)
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

HRESULT CVogCtrl::activateInPlace(IOleClientSite* verbSite, HWND parent, LPCRECT position, bool uiActivate)
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
        if (!registerControlWindowClass()) {
            HRESULT failure = lastErrorResult();
            if (newSite)
                newSite->OnInPlaceDeactivate();
            return failure;
        }
        window = CreateWindowExA(0, controlWindowClass, "", WS_CHILD | WS_CLIPSIBLINGS, placement.left,
                                 placement.top, placement.right - placement.left, placement.bottom - placement.top,
                                 parentWindow, nullptr, moduleInstance(), nullptr);
        if (!window) {
            HRESULT failure = lastErrorResult();
            if (newSite)
                newSite->OnInPlaceDeactivate();
            return failure;
        }
        inPlaceSite = newSite;
    }
    ShowWindow(window, SW_SHOWNA);
    return uiActivate ? activateUserInterface() : S_OK;
}

HRESULT CVogCtrl::activateUserInterface()
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

HRESULT CVogCtrl::showPropertyPages(HWND parent)
{
    CLSID page = CLSID_VogPropPage;
    IUnknown* self = static_cast<IDispatch*>(this);
    std::wstring caption = moduleString(IDS_VOG_CONTROL);
    return OleCreatePropertyFrame(parent, 0, 0, caption.c_str(), 1, &self, 1, &page, LOCALE_USER_DEFAULT, 0,
                                  nullptr);
}

HRESULT CVogCtrl::EnumVerbs(IEnumOLEVERB** verbs)
{
    return OleRegEnumVerbs(CLSID_VogCtrl, verbs);
}

HRESULT CVogCtrl::Update()
{
    return S_OK;
}

HRESULT CVogCtrl::IsUpToDate()
{
    return S_OK;
}

HRESULT CVogCtrl::GetUserClassID(CLSID* clsid)
{
    return GetClassID(clsid);
}

HRESULT CVogCtrl::GetUserType(DWORD, LPOLESTR* name)
{
    if (!name)
        return E_POINTER;
    std::wstring typeName = moduleString(IDS_VOG_CONTROL);
    *name = typeName.empty() ? nullptr : taskMemCopy(typeName.c_str());
    return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT CVogCtrl::SetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    extent = *size;
    return S_OK;
}

HRESULT CVogCtrl::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = extent;
    return S_OK;
}

HRESULT CVogCtrl::Advise(IAdviseSink* sink, DWORD* connection)
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

HRESULT CVogCtrl::Unadvise(DWORD connection)
{
    if (!adviseHolder)
        return OLE_E_NOCONNECTION;
    return adviseHolder->Unadvise(connection);
}

HRESULT CVogCtrl::EnumAdvise(IEnumSTATDATA** advises)
{
    if (!advises)
        return E_POINTER;
    *advises = nullptr;
    if (!adviseHolder)
        return E_FAIL;
    return adviseHolder->EnumAdvise(advises);
}

HRESULT CVogCtrl::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = vogMiscStatus;
    return S_OK;
}

HRESULT CVogCtrl::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

// --- IOleWindow, IOleInPlaceObject ---

HRESULT CVogCtrl::GetWindow(HWND* result)
{
    if (!result)
        return E_POINTER;
    *result = window;
    return window ? S_OK : E_FAIL;
}

HRESULT CVogCtrl::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

HRESULT CVogCtrl::InPlaceDeactivate()
{
    UIDeactivate();
    if (window) {
        DestroyWindow(window);
        window = nullptr;
    }
    // Released before the call reaches the site, which may call back in.
    ComPtr<IOleInPlaceSite> leaving = std::move(inPlaceSite);
    if (leaving)
        leaving->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT CVogCtrl::UIDeactivate()
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

HRESULT CVogCtrl::SetObjectRects(LPCRECT position, LPCRECT)
{
    if (!position)
        return E_POINTER;
    if (window)
        MoveWindow(window, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    return S_OK;
}

HRESULT CVogCtrl::ReactivateAndUndo()
{
    return INPLACE_E_NOTUNDOABLE;
}

// --- IOleInPlaceActiveObject ---

HRESULT CVogCtrl::TranslateAccelerator(LPMSG)
{
    return S_FALSE;
}

HRESULT CVogCtrl::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

HRESULT CVogCtrl::OnDocWindowActivate(BOOL)
{
    return S_OK;
}

HRESULT CVogCtrl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

HRESULT CVogCtrl::EnableModeless(BOOL)
{
    return S_OK;
}

// --- IViewObject2 ---

HRESULT CVogCtrl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                       BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!dc || !bounds)
        return E_INVALIDARG;
    RECT area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    drawPlaceholder(dc, area);
    return S_OK;
}

HRESULT CVogCtrl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors)
{
    if (!colors)
        return E_POINTER;
    *colors = nullptr;
    return S_FALSE;  // no particular palette
}

HRESULT CVogCtrl::Freeze(DWORD, LONG, void*, DWORD* freeze)
{
    if (freeze)
        *freeze = 0;
    return E_NOTIMPL;
}

HRESULT CVogCtrl::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

HRESULT CVogCtrl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    viewSink = ComPtr<IAdviseSink>(sink);
    viewAspects = sink ? aspects : 0;
    viewAdviseFlags = sink ? flags : 0;
    return S_OK;
}

HRESULT CVogCtrl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = viewAspects;
    if (flags)
        *flags = viewAdviseFlags;
    if (sink)
        *sink = ComPtr<IAdviseSink>(viewSink).detach();
    return S_OK;
}

HRESULT CVogCtrl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}
