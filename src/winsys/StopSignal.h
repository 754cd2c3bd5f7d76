// A request to stop a worker that may be blocked for a long time: in a modal dialog, in the
// platform's folder browser, in an extraction or in a wait for a viewer program. The controlling
// thread calls requestStop; the worker checks stopRequested at its steps (and in the callbacks of
// long calls), waits on event() together with whatever it waits for, and registers the modal
// dialogs it runs so that a stop ends them through their own thread: its own dialog through
// Dialog::endDialog, a platform dialog by a posted cancel. Neither waits for the worker.
//
// The signal lives as long as both sides use it: the controlling side and the worker own it
// together, so a worker that outlives its controller still finds it.
#pragma once

#include "winsys/Handle.h"

#include <windows.h>

class Dialog;

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Sets the event and ends the registered dialog, if any, with result 2 (as a user's close would).
    void requestStop();
    bool stopRequested() const;
    // A manual-reset event, set by requestStop (and created set when the stop came first); null
    // only if it could not be created. Made by the first call, on the worker: a request that never
    // waits for anything costs its starter no event.
    HANDLE event() noexcept;

    // Registers the modal dialog the worker is about to run; false (and nothing registered) when a
    // stop was requested already, so the dialog should not be shown at all. A stop requested
    // before the dialog's window exists is seen by the dialog itself through stopRequested.
    bool enterDialog(Dialog* dialog);
    void leaveDialog();
    // Whether a dialog is registered now (for diagnostics and tests).
    bool inDialog() const;

    // The same for a modal dialog of the platform's own that the worker runs from inside its dialog
    // (the folder browser), once its window exists: a stop posts IDCANCEL to it. False (and nothing
    // registered) when a stop was requested already: the caller cancels it itself.
    bool enterPlatformDialog(HWND window);
    void leavePlatformDialog();

private:
    // Stores target (a window to end on a stop) under the lock, unless a stop was requested already
    // and target is not null; true when stored.
    template <typename Target>
    bool setTarget(Target& slot, Target target);

    mutable CRITICAL_SECTION lock;
    KernelHandle stopEvent;
    Dialog* dialog = nullptr;
    HWND platformDialog = nullptr;
    bool stopped = false;
};
