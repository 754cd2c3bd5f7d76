#include "winsys/StopSignal.h"

#include "winsys/Window.h"

StopSignal::StopSignal() : stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr))
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
