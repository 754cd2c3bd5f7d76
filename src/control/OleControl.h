// OleControl: the generic part of our controls, the least of the OLE control protocol that containers
// and script hosts use: class information, an (empty) event connection point, in-place activation in
// a child window and quick activation, drawing a placeholder, persistence of the version stamp (and
// in streams and storages of the extent), property pages, and the safety interface script engines
// ask for. A control describes itself in a ControlClass and adds its dispatch interface:
// GetTypeInfoCount, GetTypeInfo, GetIDsOfNames and Invoke are its own.
//
// No IObjectWithSite: a control gets its site through IOleObject::SetClientSite, and Wine's VBScript
// refuses to create (CreateObject) any object that has IObjectWithSite when its host, such as Wine's
// cscript, offers no service provider.
//
// Threads: every method runs on the container's thread (the classes are registered
// apartment-threaded). The control takes no lock.
#pragma once

#include "control/ComSupport.h"
#include "control/ConnectionPoint.h"

#include <objsafe.h>
#include <ocidl.h>
#include <oleidl.h>

// What the base reports about the control class that derives from it.
struct ControlClass {
    CLSID classId;          // also the coclass in the module's type library
    IID dispatchInterface;  // answered by QueryInterface like IDispatch
    IID eventInterface;     // of the one connection point, the default source interface
    CLSID propertyPage;     // the one property page
    UINT typeNameString;    // string resource: the user type name and the property frame's caption
    DWORD miscStatus;
    DWORD versionStamp;  // persisted, with the extent
};

class OleControl : public RefCounted<IDispatch, IProvideClassInfo2, IConnectionPointContainer, IOleObject,
                                      IOleInPlaceObject, IOleInPlaceActiveObject, IViewObject2,
                                      IPersistStreamInit, IPersistStorage, IPersistPropertyBag, IOleControl,
                                      ISpecifyPropertyPages, IObjectSafety, IQuickActivate> {
public:
    // IUnknown: IUnknown, IDispatch and the dispatch interface lead to the IDispatch part.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    // IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer: the one point, for the event interface.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** result) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** result) override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
    // The showing verbs activate the control in place: its child window is created in the
    // rectangle the in-place site gives (or, without such a site, in parent at position).
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index,
                                     HWND parent, LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
    // The type name string of the class in every form; OLE_S_USEREG (look in the registry) when the
    // module has no such string.
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* name) override;
    // A new extent changes the look (see SetAdvise) and makes the control dirty.
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advises) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow (of both in-place interfaces)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }

    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    // IViewObject2: Draw paints the placeholder (see drawPlaceholder) into the given bounds.
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                   HDC targetDevice, HDC dc, LPCRECTL bounds, LPCRECTL metafileBounds,
                                   BOOL(STDMETHODCALLTYPE* shouldContinue)(ULONG_PTR), ULONG_PTR argument) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                          HDC targetDevice, LOGPALETTE** colors) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override { return E_NOTIMPL; }
    // The sink hears OnViewChange for the content aspect when the look changes: the child window
    // comes or goes, or the extent changes. ADVF_PRIMEFIRST tells it at once, ADVF_ONLYONCE only once.
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // IPersist (of every persistence interface)
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

    // IPersistStreamInit, also answered for IPersistStream (whose methods are its first ones): the
    // stream holds the version stamp, then the extent. Load leaves the stream just after what Save
    // wrote; a stream saved with the stamp alone still loads. The control is dirty from a change of
    // its extent until it is saved (with clearDirty) or loaded.
    HRESULT STDMETHODCALLTYPE IsDirty() override { return dirty ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

    // IPersistStorage: the same data in the storage's stream "Contents". The control reads all of it
    // in Load and keeps no storage, so it has nothing to let go of or to take up again.
    HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE HandsOffStorage() override { return S_OK; }

    // IPersistPropertyBag: the property "_Version" holds the version stamp.
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // IOleControl: no mnemonics, no ambient properties of interest, no events to freeze.
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL) override { return S_OK; }

    // ISpecifyPropertyPages: the one page of the class.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // IObjectSafety: safe for untrusted callers and untrusted data on every interface it has.
    HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
    HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

    // IQuickActivate: the client site, the view sink and the event sink in one call, and the content
    // extent.
    HRESULT STDMETHODCALLTYPE QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    HRESULT STDMETHODCALLTYPE SetContentExtent(LPSIZEL size) override;
    HRESULT STDMETHODCALLTYPE GetContentExtent(LPSIZEL size) override;

    // Fills bounds with the stock white brush, then draws the inscribed ellipse with the pen and
    // brush currently selected into dc.
    static void drawPlaceholder(HDC dc, const RECT& bounds);

protected:
    // Starts at reference count 1 (see createObject).
    explicit OleControl(const ControlClass& controlClass) noexcept;
    // Destroys the in-place window and lets go of the container's objects and the sinks; the derived
    // control has ended its own work by then.
    ~OleControl() override;

private:
    // Takes size as the extent; true when it differs from the one before, which the view sink hears.
    bool changeExtent(const SIZEL& size);
    // Tells the view sink that the look has changed.
    void viewChanged();
    HRESULT activateInPlace(IOleClientSite* site, HWND parent, LPCRECT position, bool uiActivate);
    HRESULT activateUserInterface();
    HRESULT showPropertyPages(HWND parent);
    bool hasInterface(REFIID iid);
    // The control's child window in parent at placement, hidden; null with the last error set on failure.
    static HWND createWindow(HWND parent, const RECT& placement);

    const ControlClass controlClass;
    EventConnectionPoint events;

    ComPtr<IOleClientSite> clientSite;
    ComPtr<IOleAdviseHolder> adviseHolder;
    ComPtr<IAdviseSink> viewSink;
    DWORD viewAspects = 0;
    DWORD viewAdviseFlags = 0;
    ComPtr<IOleInPlaceSite> inPlaceSite;  // held while active in place
    ComPtr<IOleInPlaceFrame> frame;       // held while UI-active
    ComPtr<IOleInPlaceUIWindow> document;
    HWND window = nullptr;  // the control's child window while active in place
    bool uiActive = false;
    SIZEL extent;  // HIMETRIC
    bool dirty = false;
    DWORD safetyOptions = 0;
};

// The window class of the controls' in-place windows; the module unregisters it when it unloads.
void unregisterControlWindowClass() noexcept;
