// Helpers of the control tests: VOG.OCX of this build loaded or registered, child processes with
// their output (regsvr32, reg, cscript), and a watch that reads and dismisses the control's message
// boxes from another thread, since a box blocks the thread (or process) that shows it.
#pragma once

#include "control/ComSupport.h"
#include "support/Process.h"
#include "winsys/Handle.h"

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace control_tests {

// A path of the Linux machine (the source or build tree) as the Windows programs see it.
std::string hostPath(const std::string& linuxPath);

// VOG.OCX of this build, as a Windows path.
std::string vogModulePath();
std::wstring vogModulePathW();

using testing_support::outputLines;
using testing_support::ProcessResult;
using testing_support::runProcess;

// regsvr32 /s, or regsvr32 /u /s, on this build's VOG.OCX; returns regsvr32's exit code.
DWORD runRegsvr32(bool unregister);

// Registers VOG.OCX for its lifetime: registration in the constructor, unregistration in the
// destructor, so that every test leaves the prefix's registry as it found it.
class ServerRegistration {
public:
    ServerRegistration() : exitCode(runRegsvr32(false)) {}
    ~ServerRegistration() { runRegsvr32(true); }
    ServerRegistration(const ServerRegistration&) = delete;
    ServerRegistration& operator=(const ServerRegistration&) = delete;
    const DWORD exitCode;
};

// VOG.OCX loaded into the test process, with its four exports.
class VogModule {
public:
    VogModule();
    bool loaded() const { return module.valid() && getClassObject && canUnloadNow; }
    HMODULE handle() const { return module.get(); }

    HRESULT (STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT (STDAPICALLTYPE* canUnloadNow)() = nullptr;
    HRESULT (STDAPICALLTYPE* registerServer)() = nullptr;
    HRESULT (STDAPICALLTYPE* unregisterServer)() = nullptr;

    // A new object of clsid through its class object, asked for iid.
    template <typename T>
    HRESULT create(REFCLSID clsid, REFIID iid, ComPtr<T>& object) const
    {
        ComPtr<IClassFactory> factory;
        HRESULT result = getClassObject(clsid, IID_IClassFactory, factory.putVoid());
        if (FAILED(result))
            return result;
        return factory->CreateInstance(nullptr, iid, object.putVoid());
    }

private:
    LoadedModule module;
};

struct SeenBox {
    std::string caption;
    std::string text;
    bool errorIcon = false;
};

// Watches, on a thread of its own, for message boxes captioned "Vog Control" or "Vog Error" in any
// process on the desktop; records caption and text, and presses OK (at once, or from when
// pressOk is called).
class MessageBoxWatch {
public:
    explicit MessageBoxWatch(bool pressAtOnce = true);
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    std::vector<SeenBox> seen() const;
    // Waits until at least count boxes were seen.
    bool waitForCount(size_t count, DWORD timeoutMs) const;
    void pressOk() { pressing = true; }

private:
    void watch();

    mutable std::mutex lock;
    std::vector<SeenBox> boxes;
    std::set<HWND> handled;
    std::atomic<bool> pressing;
    KernelHandle stopEvent;
    std::thread watcher;
};

// Single-threaded OLE for one test (OleInitialize / OleUninitialize).
class OleScope {
public:
    OleScope() : result(OleInitialize(nullptr)) {}
    ~OleScope()
    {
        if (SUCCEEDED(result))
            OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;
    const HRESULT result;
};

// A BSTR owned for one test.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : value(SysAllocString(text)) {}
    Bstr(const wchar_t* text, UINT length) : value(SysAllocStringLen(text, length)) {}
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return value; }

private:
    BSTR value;
};

// Calls IDispatch::Invoke as a script engine calls a method: arguments given first to last. With
// error, an EXCEPINFO is passed and the script error's description stored there.
HRESULT invokeMethod(IDispatch* object, DISPID id, std::vector<VARIANT> arguments, UINT* argError = nullptr,
                     std::wstring* error = nullptr);

VARIANT bstrArgument(BSTR text);
VARIANT typedArgument(VARTYPE type);

// A visible top-level window of 300 by 200 pixels at the screen's corner, for a control to live in.
HWND containerWindow(const char* title);

// A container's site of our own for one control: client site, in-place site and frame in one object
// that counts the calls it gets. references counts what the control holds; onRelease, when set, runs
// once when the control lets go of its last one.
class TestSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit TestSite(HWND window) : window(window) {}
    HWND window;                        // the parent of the control's window
    RECT position = {10, 10, 110, 60};  // where the control's window goes
    bool allowInPlace = true;
    int inPlaceActivations = 0, inPlaceDeactivations = 0, uiActivations = 0, uiDeactivations = 0;
    IOleInPlaceActiveObject* activeObject = nullptr;  // as SetActiveObject last gave it (not held)
    LONG references = 1;
    std::function<void()> onRelease;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* result) override { return *result = window, S_OK; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return allowInPlace ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return ++inPlaceActivations, S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return ++uiActivations, S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT place,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return ++uiDeactivations, S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return ++inPlaceDeactivations, S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override
    {
        return activeObject = object, S_OK;
    }
    // The rest: no moniker, container, undo, tools, menus or accelerators.
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override { return *moniker = nullptr, E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** result) override { return *result = nullptr, E_NOINTERFACE; }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

// A 32-bit top-down DIB section selected into a memory DC, for reading back drawn pixels.
class PixelCanvas {
public:
    PixelCanvas(int width, int height);
    ~PixelCanvas();
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;
    HDC dc() const { return memoryDc; }
    // 0x00RRGGBB of one pixel.
    DWORD pixel(int x, int y) const;

private:
    int width;
    HDC memoryDc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    DWORD* bits = nullptr;
};

constexpr DWORD white = 0xFFFFFF;
constexpr DWORD black = 0x000000;

}  // namespace control_tests
