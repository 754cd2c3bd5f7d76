// A request to stop a worker that may be blocked for a long time: in a modal dialog or in a wait
// for a viewer program. The controlling thread calls requestStop; the worker checks stopRequested
// at its steps, waits on event() together with whatever it waits for, and registers the modal
// dialog it runs so that a stop ends that dialog through its own thread (Dialog::endDialog), which
// never waits for the worker.
//
// The signal is owned by the controlling side and outlives the worker's use of it.
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

private:
    mutable CRITICAL_SECTION lock;
    KernelHandle stopEvent;
    Dialog* dialog = nullptr;
    bool stopped = false;
};
