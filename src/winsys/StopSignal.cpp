#include "winsys/StopSignal.h"

#include "winsys/Window.h"

StopSignal::StopSignal()
{
    InitializeCriticalSection(&lock);
}

StopSignal::~StopSignal()
{
    DeleteCriticalSection(&lock);
}

void StopSignal::requestStop()
{
    EnterCriticalSection(&lock);
    stopped = true;
    if (stopEvent)
        SetEvent(stopEvent.get());
    if (dialog)
        dialog->endDialog(2);
    // Posted, never sent: the dialog's thread is the worker, which this thread must not wait for.
    if (platformDialog)
        PostMessageA(platformDialog, WM_COMMAND, IDCANCEL, 0);
    LeaveCriticalSection(&lock);
}

HANDLE StopSignal::event() noexcept
{
    EnterCriticalSection(&lock);
    if (!stopEvent)
        stopEvent.reset(CreateEventA(nullptr, TRUE, stopped, nullptr));
    HANDLE result = stopEvent.get();
    LeaveCriticalSection(&lock);
    return result;
}

bool StopSignal::stopRequested() const
{
    EnterCriticalSection(&lock);
    bool result = stopped;
    LeaveCriticalSection(&lock);
    return result;
}

template <typename Target>
bool StopSignal::setTarget(Target& slot, Target target)
{
    EnterCriticalSection(&lock);
    bool allowed = !stopped || !target;
    if (allowed)
        slot = target;
    LeaveCriticalSection(&lock);
    return allowed;
}

bool StopSignal::enterDialog(Dialog* running)
{
    return setTarget(dialog, running);
}

void StopSignal::leaveDialog()
{
    setTarget(dialog, static_cast<Dialog*>(nullptr));
}

bool StopSignal::enterPlatformDialog(HWND window)
{
    return setTarget(platformDialog, window);
}

void StopSignal::leavePlatformDialog()
{
    setTarget(platformDialog, static_cast<HWND>(nullptr));
}

bool StopSignal::inDialog() const
{
    EnterCriticalSection(&lock);
    bool result = dialog != nullptr;
    LeaveCriticalSection(&lock);
    return result;
}
