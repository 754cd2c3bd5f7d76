#include "winsys/Thread.h"

#include <process.h>

namespace {

// Initial commitment of a new thread's stack, not its reservation: the stack still grows on demand
// up to the process default, which a request's worker needs for extraction.
constexpr unsigned initialStackSize = 4096;

}  // namespace

Thread::~Thread()
{
    if (handle)
        CloseHandle(handle);
}

void Thread::start(ThreadProc proc, void* arg) noexcept
{
    if (handle || id)
        return;
    unsigned threadId = 0;
    uintptr_t started = _beginthreadex(nullptr, initialStackSize, proc, arg, 0, &threadId);
    if (!started)
        return;
    handle = reinterpret_cast<HANDLE>(started);
    id = threadId;
}

void Thread::join() noexcept
{
    if (handle)
        WaitForSingleObject(handle, INFINITE);
}

bool Thread::waitFor(DWORD timeoutMs) const noexcept
{
    return !handle || WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
}

std::optional<DWORD> Thread::exitCode() const noexcept
{
    DWORD code = 0;
    if (!handle || WaitForSingleObject(handle, 0) != WAIT_OBJECT_0 || !GetExitCodeThread(handle, &code))
        return std::nullopt;
    return code;
}
