#include "control/VogPropPage.h"

#include "resources/resource.h"
#include "winsys/Module.h"

#include <new>

namespace {

INT_PTR CALLBACK pageDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

HWND createPageDialog(HWND parent)
{
    return CreateDialogParamA(moduleInstance(), MAKEINTRESOURCEA(IDD_PROPPAGE_VOG), parent, pageDialogProc, 0);
}

// The dialog's size in pixels, as the dialog manager lays it out with the template's font: a child
// dialog needs a parent, so it is made once inside a hidden window of its own.
bool pageSize(SIZE& size)
{
    HWND host = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, moduleInstance(), nullptr);
    if (!host)
        return false;
    HWND page = createPageDialog(host);
    RECT rect = {};
    bool measured = page && GetWindowRect(page, &rect);
    DestroyWindow(host);  // and the page with it
    size.cx = rect.right - rect.left;
    size.cy = rect.bottom - rect.top;
    return measured;
}

}  // namespace

CVogPropPage::~CVogPropPage()
{
    if (dialog)
        DestroyWindow(dialog);
}

HRESULT CVogPropPage::QueryInterface(REFIID iid, void** object)
{
    return querySingle(static_cast<IPropertyPage*>(this), IID_IPropertyPage, iid, object);
}

HRESULT CVogPropPage::SetPageSite(IPropertyPageSite* site)
{
    pageSite = ComPtr<IPropertyPageSite>(site);
    return S_OK;
}

HRESULT CVogPropPage::Activate(HWND parent, LPCRECT rect, BOOL)
{
    if (!rect)
        return E_POINTER;
    if (dialog)
        return E_UNEXPECTED;
    dialog = createPageDialog(parent);
    if (!dialog)
        return lastErrorResult();
    MoveWindow(dialog, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, FALSE);
    return S_OK;
}

HRESULT CVogPropPage::Deactivate()
{
    if (dialog) {
        DestroyWindow(dialog);
        dialog = nullptr;
    }
    return S_OK;
}

HRESULT CVogPropPage::GetPageInfo(PROPPAGEINFO* info)
{
    if (!info)
        return E_POINTER;
    SIZE size;
    if (!pageSize(size))
        return E_FAIL;
    std::wstring title = moduleString(IDS_PROPPAGE_CAPTION);
    LPOLESTR titleCopy = taskMemCopy(title.c_str());
    if (!titleCopy)
        return E_OUTOFMEMORY;
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = titleCopy;
    info->size = size;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

HRESULT CVogPropPage::SetObjects(ULONG count, IUnknown** newObjects)
{
    if (count > 0 && !newObjects)
        return E_POINTER;
    try {
        std::vector<ComPtr<IUnknown>> held;
        held.reserve(count);
        for (ULONG i = 0; i < count; ++i)
            held.emplace_back(newObjects[i]);
        objects.swap(held);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CVogPropPage::Show(UINT command)
{
    if (!dialog)
        return E_UNEXPECTED;
    ShowWindow(dialog, static_cast<int>(command));
    return S_OK;
}

HRESULT CVogPropPage::Move(LPCRECT rect)
{
    if (!rect)
        return E_POINTER;
    if (!dialog)
        return E_UNEXPECTED;
    MoveWindow(dialog, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT CVogPropPage::TranslateAccelerator(MSG* message)
{
    if (!message)
        return E_POINTER;
    return dialog && IsDialogMessageA(dialog, message) ? S_OK : S_FALSE;
}
