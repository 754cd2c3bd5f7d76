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

bool StopSignal::enterDialog(Dialog* running)
{
    EnterCriticalSection(&lock);
    bool allowed = !stopped;
    if (allowed)
        dialog = running;
    LeaveCriticalSection(&lock);
    return allowed;
}

void StopSignal::leaveDialog()
{
    EnterCriticalSection(&lock);
    dialog = nullptr;
    LeaveCriticalSection(&lock);
}

bool StopSignal::inDialog() const
{
    EnterCriticalSection(&lock);
    bool result = dialog != nullptr;
    LeaveCriticalSection(&lock);
    return result;
}
