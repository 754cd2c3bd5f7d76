// Objects that own a platform window or a modal dialog and receive its messages.
//
// How the threads meet: every window and dialog of the module has the one window procedure
// sharedWindowProc, which finds the receiving object in a process-wide map from window handle to
// object. A new window is bound to its object by its first message, which the platform sends on the
// creating thread before the creation call returns. The creating code holds creationLock from just
// before the creation call until that first message has bound the object, so that concurrent
// creations on several request threads never bind the wrong object. Messages for bound windows take
// no creation lock; the map itself has a small lock of its own for lookups, insertions and removals.
//
// Errors raised by a windowProc leave the platform's frames through no C++ unwinding: the shared
// procedure keeps the first one in the receiving object, ends the modal dialog (result -1) or posts
// the quit message, and that object's Window::create or Dialog::runModal raises it again on the
// way out.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <exception>

class WindowBase {
public:
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    // The object's message handler; hwnd is the handle the message was sent to. For a dialog the
    // result is the dialog procedure's TRUE/FALSE.
    virtual LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) = 0;

    HINSTANCE hinstance() const noexcept { return instance; }
    // Null until the first message for the object's window has bound it; never reset afterwards.
    HWND hwnd() const noexcept { return handle.load(); }

protected:
    explicit WindowBase(HINSTANCE instance);
    // Not virtual: objects are destroyed through their own type. Removes the object's map entry.
    ~WindowBase();

    // Enters creationLock and makes this object the one the next new window binds to.
    void beginCreation();
    // Leaves creationLock when no message bound this object (the creation failed outright).
    void endCreation();
    // Raises the error a windowProc of this object raised, if any, and forgets it.
    void raisePendingError();

private:
    friend LRESULT CALLBACK sharedWindowProc(HWND, UINT, WPARAM, LPARAM);

    HINSTANCE instance;
    std::atomic<HWND> handle{nullptr};
    std::exception_ptr pendingError;
};

class Window : public WindowBase {
public:
    // Registers the window class "Vog" of this instance (a second registration fails silently and
    // the class of the first is used). Raises std::overflow_error "Window::Window" when the class
    // record cannot be allocated.
    explicit Window(HINSTANCE instance);
    ~Window() = default;

    // Creates the window (shown only when show is true) and runs the thread's message loop until
    // WM_QUIT; returns 0. Raises std::runtime_error "Window::create" when no window was created,
    // and raises again any error that a windowProc raised meanwhile.
    int create(bool show);

    // Default handling: WM_DESTROY posts the quit message; everything else goes to DefWindowProcA.
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override;

    static constexpr const char* className = "Vog";
};

class Dialog : public WindowBase {
public:
    explicit Dialog(HINSTANCE instance);
    ~Dialog() = default;

    // Shows dialog template templateId of the instance modally, owned by owner; returns the value
    // given to the ending call, or -1 when the dialog could not be created. Raises again any error
    // that a windowProc raised while the dialog ran.
    INT_PTR runModal(WORD templateId, HWND owner);

    // Ends the running dialog with result. Callable from any thread, and it never waits for the
    // dialog's thread: from another thread it posts the request, and the dialog's own thread makes
    // the EndDialog call. Does nothing before the dialog's window exists.
    void endDialog(INT_PTR result);

    // Default handling: IDCANCEL ends the dialog with 2; everything else is left to the dialog manager.
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override;
};

// The window procedure of the class "Vog", and the dialog procedure of every Dialog.
LRESULT CALLBACK sharedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Number of objects currently bound to a window (for diagnostics and tests).
std::size_t boundWindowCount();

// For the module's unload through FreeLibrary, never at process exit: unregisters the "Vog" classes
// and frees the window map and the creation lock. No window of the module may exist any more.
void releaseWindowSupport() noexcept;
