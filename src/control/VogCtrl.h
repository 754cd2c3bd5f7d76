// CVogCtrl: the scriptable control. Its one method, open(theme, file, intFile, info), checks its
// arguments and hands the request to a worker of its own, so the container's thread never waits for
// a search, a dialog or a viewer. The rest is the least of the OLE control protocol that containers
// and script hosts use: dispatch, class information, an (empty) event connection point, in-place
// activation in a child window, drawing, persistence of the version stamp, property pages, and the
// safety interface script engines ask for.
//
// No IObjectWithSite: a control gets its site through IOleObject::SetClientSite, and Wine's VBScript
// refuses to create (CreateObject) any object that has IObjectWithSite when its host, such as Wine's
// cscript, offers no service provider.
//
// Threads: every method runs on the container's thread (the class is registered apartment-threaded).
// The control takes no lock.
#pragma once

#include "control/ComSupport.h"
#include "control/ConnectionPoint.h"
#include "request/Task.h"
#include "winsys/Module.h"

#include <objsafe.h>
#include <ocidl.h>
#include <oleidl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CVogCtrl final : public IDispatch,
                       public IProvideClassInfo2,
                       public IConnectionPointContainer,
                       public IOleObject,
                       public IOleInPlaceObject,
                       public IOleInPlaceActiveObject,
                       public IViewObject2,
                       public IPersistStreamInit,
                       public IPersistPropertyBag,
                       public IOleControl,
                       public ISpecifyPropertyPages,
                       public IObjectSafety {
public:
    // Starts at reference count 1 (see createObject).
    CVogCtrl();
    CVogCtrl(const CVogCtrl&) = delete;
    CVogCtrl& operator=(const CVogCtrl&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch (_DVog): one method, open, dispatch id 1.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    // Calls open when given exactly four positional arguments: fewer give DISP_E_PARAMNOTOPTIONAL,
    // more DISP_E_BADPARAMCOUNT, and an argument without text DISP_E_TYPEMISMATCH (with its index in
    // *argError), all without entering the method.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer: the one point, for _DVogEvents.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** result) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** result) override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR application, LPCOLESTR document) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
    // The showing verbs activate the control in place: its child window is created in the
    // rectangle the in-place site gives (or, without such a site, in parent at position).
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index,
                                     HWND parent, LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* name) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advises) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow (of both in-place interfaces)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;

    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

    // IViewObject2: Draw paints the placeholder (see drawPlaceholder) into the given bounds.
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                   HDC targetDevice, HDC dc, LPCRECTL bounds, LPCRECTL metafileBounds,
                                   BOOL(STDMETHODCALLTYPE* shouldContinue)(ULONG_PTR), ULONG_PTR argument) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                          HDC targetDevice, LOGPALETTE** colors) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

    // IPersist (of both persistence interfaces)
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

    // IPersistStreamInit: the stream holds the version stamp, four bytes, and nothing else.
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;

    // IPersistPropertyBag: the property "_Version" holds the version stamp.
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // IOleControl: no mnemonics, no ambient properties of interest, no events to freeze.
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* message) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

    // ISpecifyPropertyPages: the one page CVogPropPage.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // IObjectSafety: safe for untrusted callers and untrusted data on every interface it has.
    HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
    HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

    // Fills bounds with the stock white brush, then draws the inscribed ellipse with the pen and
    // brush currently selected into dc.
    static void drawPlaceholder(HDC dc, const RECT& bounds);

private:
    ~CVogCtrl();

    // The scriptable method. theme and file are required (else the box "Illegal call"); a standard
    // error while the request is prepared is shown in the box "Vog Error"; anything else is dropped.
    void open(const std::string& theme, const std::string& file, const std::string& intFile,
              const std::string& info);
    // Hands an accepted request to the request layer.
    void startRequest(const std::string& file, const std::string& intFile, const std::string& theme,
                      const std::string& info);

    HRESULT dispatchTypeInfo(ComPtr<ITypeInfo>& info);
    HRESULT activateInPlace(IOleClientSite* site, HWND parent, LPCRECT position, bool uiActivate);
    HRESULT activateUserInterface();
    HRESULT showPropertyPages(HWND parent);
    bool hasInterface(REFIID iid);

    // Declared first, destroyed last: the module stays loaded until the object is wholly gone.
    ModuleLock moduleLock;
    std::atomic<ULONG> references{1};
    // One record per accepted request, in the order of the calls. A record stays until the control
    // goes, also after its worker has ended; destruction stops the workers that still run.
    std::vector<std::unique_ptr<TaskThread>> tasks;
    EventConnectionPoint events;
    ComPtr<ITypeInfo> typeInfo;  // of _DVog, loaded on first use

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

// The window class of the control's in-place window; the module unregisters it when it unloads.
void unregisterControlWindowClass() noexcept;
