#include "ControlHarness.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <utility>

namespace control_tests {

std::string hostPath(const std::string& linuxPath)
{
    // Wine shows the Linux root as drive Z:.
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string vogModulePath()
{
    return hostPath(VOG_OCX_PATH);
}

std::wstring vogModulePathW()
{
    std::string path = vogModulePath();
    return std::wstring(path.begin(), path.end());
}

DWORD runRegsvr32(bool unregister)
{
    std::string command = std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + vogModulePath() + "\"";
    ProcessResult result = runProcess(command);
    return result.finished ? result.exitCode : WAIT_TIMEOUT;
}

namespace {

template <typename F>
void resolve(HMODULE module, const char* name, F& function)
{
    // Through a plain function pointer type, which GCC lets us cast from FARPROC without warning.
    function = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

VogModule::VogModule() : module(LoadLibraryA(vogModulePath().c_str()))
{
    if (!module)
        return;
    resolve(module.get(), "DllGetClassObject", getClassObject);
    resolve(module.get(), "DllCanUnloadNow", canUnloadNow);
    resolve(module.get(), "DllRegisterServer", registerServer);
    resolve(module.get(), "DllUnregisterServer", unregisterServer);
}

MessageBoxWatch::MessageBoxWatch(bool pressAtOnce)
    : pressing(pressAtOnce), stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)), watcher([this] { watch(); })
{
}

MessageBoxWatch::~MessageBoxWatch()
{
    SetEvent(stopEvent.get());
    watcher.join();
}

std::vector<SeenBox> MessageBoxWatch::seen() const
{
    std::lock_guard<std::mutex> guard(lock);
    return boxes;
}

bool MessageBoxWatch::waitForCount(size_t count, DWORD timeoutMs) const
{
    return testing_support::waitUntil([&] { return seen().size() >= count; }, timeoutMs, 10);
}

void MessageBoxWatch::watch()
{
    static const char* const captions[] = {"Vog Control", "Vog Error"};
    while (WaitForSingleObject(stopEvent.get(), 10) == WAIT_TIMEOUT) {
        for (const char* caption : captions) {
            for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", caption); box;
                 box = FindWindowExA(nullptr, box, "#32770", caption)) {
                if (!IsWindowVisible(box) || handled.count(box))
                    continue;
                // The message box's text is the static control 0xFFFF; an icon, when it has one,
                // is shown by another static control.
                SeenBox seenBox{caption, testing_support::windowText(GetDlgItem(box, 0xFFFF)), false};
                for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                    if (SendMessageA(child, STM_GETICON, 0, 0) != 0)
                        seenBox.errorIcon = true;
                }
                handled.insert(box);
                std::lock_guard<std::mutex> guard(lock);
                boxes.push_back(seenBox);
            }
        }
        if (pressing) {
            for (auto box = handled.begin(); box != handled.end();) {
                if (IsWindow(*box)) {
                    PostMessageA(*box, WM_COMMAND, IDOK, 0);
                    ++box;
                } else {
                    box = handled.erase(box);
                }
            }
        }
    }
}

HRESULT invokeMethod(IDispatch* object, DISPID id, std::vector<VARIANT> arguments, UINT* argError, std::wstring* error)
{
    std::reverse(arguments.begin(), arguments.end());  // rgvarg holds the last argument first
    DISPPARAMS params = {arguments.empty() ? nullptr : arguments.data(), nullptr,
                         static_cast<UINT>(arguments.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                                error ? &exception : nullptr, argError);
    VariantClear(&result);
    if (error)
        *error = exception.bstrDescription ? exception.bstrDescription : L"";
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

VARIANT bstrArgument(BSTR text)
{
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = text;
    return argument;
}

VARIANT typedArgument(VARTYPE type)
{
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = type;
    if (type == VT_ERROR)
        V_ERROR(&argument) = DISP_E_PARAMNOTFOUND;
    return argument;
}

HWND containerWindow(const char* title)
{
    return CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                           nullptr);
}

HRESULT TestSite::QueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
        *object = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
        *object = static_cast<IOleInPlaceFrame*>(this);
    else
        return *object = nullptr, E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG TestSite::Release()
{
    ULONG left = --references;
    if (left == 1 && onRelease)
        std::exchange(onRelease, nullptr)();
    return left;
}

HRESULT TestSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT place,
                                   LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    *frame = this;
    AddRef();
    *document = nullptr;
    *place = *clip = position;
    *info = {sizeof *info, FALSE, window, nullptr, 0};
    return S_OK;
}

PixelCanvas::PixelCanvas(int width, int height) : width(width), memoryDc(CreateCompatibleDC(nullptr))
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    bitmap = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    bits = static_cast<DWORD*>(pixels);
    previous = SelectObject(memoryDc, bitmap);
    // Something that is neither white nor black, so that every pixel drawn shows.
    RECT all = {0, 0, width, height};
    HBRUSH grey = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
    FillRect(memoryDc, &all, grey);
    DeleteObject(grey);
}

PixelCanvas::~PixelCanvas()
{
    SelectObject(memoryDc, previous);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
}

DWORD PixelCanvas::pixel(int x, int y) const
{
    GdiFlush();
    return bits[y * width + x] & 0xFFFFFF;
}

}  // namespace control_tests
