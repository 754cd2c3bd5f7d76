#include "winsys/Window.h"

#include "resources/resource.h"

#include <cstdint>
#include <exception>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>

namespace {

// Process-wide state shared by every window and dialog of the module, statically initialised so
// that it exists whenever a creation starts, whichever thread's object was constructed first.
// None of it has a destructor. At process exit the module's detach code runs after Windows has
// ended every other thread, perhaps inside one of these locks, the heap or the window manager,
// and DllMain's contract is then to clean up nothing: an unregistration there hung the script host
// at exit. The module's unload through FreeLibrary calls releaseWindowSupport() instead.
CRITICAL_SECTION creationSection;
INIT_ONCE creationOnce = INIT_ONCE_STATIC_INIT;
bool creationSectionMade = false;

BOOL CALLBACK makeCreationSection(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&creationSection);
    creationSectionMade = true;
    return TRUE;
}

CRITICAL_SECTION& creationLock()
{
    InitOnceExecuteOnce(&creationOnce, makeCreationSection, nullptr, nullptr);
    return creationSection;
}

SRWLOCK mapLock = SRWLOCK_INIT;
// Created with the first binding.
struct WindowMap {
    std::map<std::uint32_t, WindowBase*>* entries;
} windowMap;

// Written under creationLock just before each creation call. creatingThread tells a first message
// from a stale one: only the thread that holds creationLock binds, and it clears both on binding.
WindowBase* pendingWindow;
std::atomic<DWORD> creatingThread{0};

std::uint32_t mapKey(HWND hwnd)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd));
}

WindowBase* lookup(HWND hwnd)
{
    AcquireSRWLockShared(&mapLock);
    WindowBase* object = nullptr;
    if (windowMap.entries) {
        auto it = windowMap.entries->find(mapKey(hwnd));
        if (it != windowMap.entries->end())
            object = it->second;
    }
    ReleaseSRWLockShared(&mapLock);
    return object;
}

void insert(HWND hwnd, WindowBase* object)
{
    AcquireSRWLockExclusive(&mapLock);
    if (!windowMap.entries)
        windowMap.entries = new std::map<std::uint32_t, WindowBase*>;
    (*windowMap.entries)[mapKey(hwnd)] = object;
    ReleaseSRWLockExclusive(&mapLock);
}

void removeObject(HWND hwnd, WindowBase* object)
{
    AcquireSRWLockExclusive(&mapLock);
    if (windowMap.entries) {
        auto it = windowMap.entries->find(mapKey(hwnd));
        if (it != windowMap.entries->end() && it->second == object)
            windowMap.entries->erase(it);
    }
    ReleaseSRWLockExclusive(&mapLock);
}

bool isDialogWindow(HWND hwnd)
{
    const ULONG_PTR dialogClassAtom = 32770;  // WC_DIALOG
    return GetClassLongPtrA(hwnd, GCW_ATOM) == dialogClassAtom;
}

// The message through which another thread asks a dialog's own thread to end it; lParam is the result.
UINT endDialogMessage()
{
    static const UINT message = RegisterWindowMessageA("VogEndDialog");
    return message;
}

// The instances whose "Vog" class this module registered, unregistered when the module is unloaded:
// a class left behind would point at a window procedure of an unloaded module.
struct RegisteredClasses {
    SRWLOCK lock;
    std::set<HINSTANCE>* instances;
} registeredClasses = {SRWLOCK_INIT, nullptr};

// No thread_local here: a worker may leave through FreeLibraryAndExitThread, after which no
// destructor of this module may run on its thread.

}  // namespace

WindowBase::WindowBase(HINSTANCE instance) : instance(instance)
{
    creationLock();
}

WindowBase::~WindowBase()
{
    if (HWND bound = handle.load())
        removeObject(bound, this);
}

void WindowBase::raisePendingError()
{
    if (pendingError)
        std::rethrow_exception(std::exchange(pendingError, nullptr));
}

void WindowBase::beginCreation()
{
    EnterCriticalSection(&creationLock());
    pendingWindow = this;
    creatingThread.store(GetCurrentThreadId());
}

void WindowBase::endCreation()
{
    if (pendingWindow == this && creatingThread.load() == GetCurrentThreadId()) {
        pendingWindow = nullptr;
        creatingThread.store(0);
        LeaveCriticalSection(&creationLock());
    }
}

LRESULT CALLBACK sharedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowBase* object = lookup(hwnd);
    if (!object && creatingThread.load() == GetCurrentThreadId() && pendingWindow) {
        // The first message of the window being created on this thread: bind it.
        object = pendingWindow;
        insert(hwnd, object);
        object->handle.store(hwnd);
        pendingWindow = nullptr;
        creatingThread.store(0);
        LeaveCriticalSection(&creationLock());
    }
    if (!object) {
        // A window whose object is gone (or was never ours): default processing only.
        return isDialogWindow(hwnd) ? FALSE : DefWindowProcA(hwnd, message, wParam, lParam);
    }
    if (message == endDialogMessage() && isDialogWindow(hwnd)) {
        EndDialog(hwnd, static_cast<INT_PTR>(lParam));
        return TRUE;
    }
    try {
        return object->windowProc(message, wParam, lParam, hwnd);
    } catch (...) {
        if (!object->pendingError)
            object->pendingError = std::current_exception();
        if (isDialogWindow(hwnd))
            EndDialog(hwnd, -1);
        else
            PostQuitMessage(0);
        return 0;
    }
}

void releaseWindowSupport() noexcept
{
    if (registeredClasses.instances) {
        for (HINSTANCE instance : *registeredClasses.instances)
            UnregisterClassA(Window::className, instance);
        delete registeredClasses.instances;
        registeredClasses.instances = nullptr;
    }
    delete windowMap.entries;
    windowMap.entries = nullptr;
    if (creationSectionMade)
        DeleteCriticalSection(&creationSection);
}

std::size_t boundWindowCount()
{
    AcquireSRWLockShared(&mapLock);
    std::size_t count = windowMap.entries ? windowMap.entries->size() : 0;
    ReleaseSRWLockShared(&mapLock);
    return count;
}

Window::Window(HINSTANCE instance) : WindowBase(instance)
{
    // Every request builds a window on the container's thread: once this module has registered
    // the class for the instance, and it is still there, the icon, cursor and registration calls
    // (each a round trip to the window server) are not repeated.
    AcquireSRWLockShared(&registeredClasses.lock);
    WNDCLASSA existing;
    bool registered = registeredClasses.instances && registeredClasses.instances->count(instance) &&
                      GetClassInfoA(instance, className, &existing);
    ReleaseSRWLockShared(&registeredClasses.lock);
    if (registered)
        return;

    HLOCAL block = LocalAlloc(LMEM_ZEROINIT, sizeof(WNDCLASSA));
    auto* record = block ? static_cast<WNDCLASSA*>(LocalLock(block)) : nullptr;
    if (!record) {
        if (block)
            LocalFree(block);
        throw std::overflow_error("Window::Window");
    }
    record->style = 0;
    record->lpfnWndProc = sharedWindowProc;
    record->hInstance = instance;
    record->hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VOG));
    record->hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    record->hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    record->lpszClassName = className;
    // Fails when the class exists already: the first registration serves every later window.
    // Registrations are serialised: under Wine a registration that fails because another thread's
    // is under way can return before that class is usable, and the window creation that follows
    // then finds no class.
    AcquireSRWLockExclusive(&registeredClasses.lock);
    if (RegisterClassA(record)) {
        if (!registeredClasses.instances)
            registeredClasses.instances = new std::set<HINSTANCE>;
        registeredClasses.instances->insert(instance);
    }
    ReleaseSRWLockExclusive(&registeredClasses.lock);
    LocalUnlock(block);
    LocalFree(block);
}

int Window::create(bool show)
{
    beginCreation();
    CreateWindowExA(0, className, nullptr, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, hinstance(), nullptr);
    endCreation();
    HWND window = hwnd();
    if (!window)
        throw std::runtime_error("Window::create");
    if (show)
        ShowWindow(window, SW_SHOW);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    raisePendingError();
    return 0;
}

LRESULT Window::windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    HWND target = this->hwnd() ? this->hwnd() : hwnd;
    return DefWindowProcA(target, message, wParam, lParam);
}

Dialog::Dialog(HINSTANCE instance) : WindowBase(instance) {}

INT_PTR Dialog::runModal(WORD templateId, HWND owner)
{
    beginCreation();
    INT_PTR result = DialogBoxParamA(hinstance(), MAKEINTRESOURCEA(templateId), owner,
                                     reinterpret_cast<DLGPROC>(sharedWindowProc), 0);
    endCreation();
    raisePendingError();
    return result;
}

void Dialog::endDialog(INT_PTR result)
{
    HWND dialog = hwnd();
    if (!dialog)
        return;
    if (GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId())
        EndDialog(dialog, result);
    else
        PostMessageA(dialog, endDialogMessage(), 0, static_cast<LPARAM>(result));
}

LRESULT Dialog::windowProc(UINT message, WPARAM wParam, LPARAM, HWND hwnd)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(hwnd, 2);
        return TRUE;
    }
    return FALSE;
}
