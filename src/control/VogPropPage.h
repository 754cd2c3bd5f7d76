// CVogPropPage: the control's property page. It shows dialog template 200 with its placeholder text
// and edits nothing; containers that show property frames expect every control to name one.
#pragma once

#include "control/ComSupport.h"

#include <ocidl.h>

#include <vector>

class CVogPropPage final : public RefCounted<IPropertyPage> {
public:
    // Starts at reference count 1 (see createObject).
    CVogPropPage() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
    // Creates the page's dialog as a child of parent in rect (hidden until Show).
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    HRESULT STDMETHODCALLTYPE Deactivate() override;
    // Title "General" (string 200) and the dialog's size in pixels.
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT STDMETHODCALLTYPE Show(UINT command) override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

private:
    ~CVogPropPage() override;

    ComPtr<IPropertyPageSite> pageSite;
    std::vector<ComPtr<IUnknown>> objects;
    HWND dialog = nullptr;  // while active
};
