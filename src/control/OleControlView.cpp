// OleControl: the control's window and drawing. The in-place window and IViewObject2 paint the same
// placeholder.
#include "control/OleControl.h"

#include "winsys/Module.h"

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
        OleControl::drawPlaceholder(dc, client);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(hwnd, &client);
        OleControl::drawPlaceholder(reinterpret_cast<HDC>(wParam), client);
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

void OleControl::drawPlaceholder(HDC dc, const RECT& bounds)
{
    FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

HWND OleControl::createWindow(HWND parent, const RECT& placement)
{
    if (!registerControlWindowClass())
        return nullptr;
    return CreateWindowExA(0, controlWindowClass, "", WS_CHILD | WS_CLIPSIBLINGS, placement.left, placement.top,
                           placement.right - placement.left, placement.bottom - placement.top, parent, nullptr,
                           moduleInstance(), nullptr);
}

// --- IViewObject2 ---

HRESULT OleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
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

HRESULT OleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors)
{
    if (!colors)
        return E_POINTER;
    *colors = nullptr;
    return S_FALSE;  // no particular palette
}

HRESULT OleControl::Freeze(DWORD, LONG, void*, DWORD* freeze)
{
    if (freeze)
        *freeze = 0;
    return E_NOTIMPL;
}

HRESULT OleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    viewSink = ComPtr<IAdviseSink>(sink);
    viewAspects = sink ? aspects : 0;
    viewAdviseFlags = sink ? flags : 0;
    if (flags & ADVF_PRIMEFIRST)
        viewChanged();
    return S_OK;
}

void OleControl::viewChanged()
{
    if (!viewSink || !(viewAspects & DVASPECT_CONTENT))
        return;
    // Held here: the sink may call SetAdvise from OnViewChange.
    ComPtr<IAdviseSink> sink = viewSink;
    if (viewAdviseFlags & ADVF_ONLYONCE)
        SetAdvise(0, 0, nullptr);
    sink->OnViewChange(DVASPECT_CONTENT, -1);
}

HRESULT OleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = viewAspects;
    if (flags)
        *flags = viewAdviseFlags;
    if (sink)
        *sink = ComPtr<IAdviseSink>(viewSink).detach();
    return S_OK;
}

HRESULT OleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}
