// Thread: owner of one platform thread started through the C runtime. It starts the thread, waits for
// it, and stops it with a bounded wait followed by forced termination.
//
// The wrapper belongs to the thread that starts it: start, join, stop and destruction all run there,
// and the started thread never touches the wrapper's fields. Destruction closes the handle only; an
// owner that needs the thread gone calls join or stop first.
#pragma once

#include <windows.h>

#include <optional>

using ThreadProc = unsigned(__stdcall*)(void*);

class Thread {
public:
    // Time a thread gets to end by itself in stop before it is terminated.
    static constexpr DWORD gracePeriodMs = 100;

    Thread() noexcept = default;
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts proc(arg) through _beginthreadex with 4096 bytes of initially committed stack; the stack
    // still grows on demand up to the process default. A failed start is not reported: handle stays
    // null. A Thread starts at most once; later calls do nothing.
    void start(ThreadProc proc, void* arg) noexcept;

    // Waits without a time limit for the thread to end; returns at once when there is no thread.
    void join() noexcept;

    // Ends the thread: waits up to gracePeriodMs for it to end by itself, and terminates it with
    // exitCode when it has not. Returns 0 when there was no thread or it ended in time (the handle then
    // stays open for the destructor); otherwise the result of closing the terminated thread's handle
    // (non-zero on success), with handle null afterwards. Forced termination is meant for threads
    // blocked in plain waits: a thread terminated inside a modal loop or while holding a lock leaves
    // that state behind.
    int stop(DWORD exitCode) noexcept;

    // The two halves of stop, for owners that try something of their own between them (for example
    // asking a thread to end before it is terminated).
    // waitFor: true when there is no thread or it has ended within timeoutMs.
    bool waitFor(DWORD timeoutMs) const noexcept;
    // terminate: when there is a thread, terminates it with exitCode (if it still runs), waits for it,
    // closes and clears the handle and returns the result of the close; 0 when there was none.
    int terminate(DWORD exitCode) noexcept;

    // The thread's exit code; none while there is no thread or while it still runs.
    std::optional<DWORD> exitCode() const noexcept;

    // Thread identifier given by the platform at start; 0 before and after a failed start.
    DWORD id = 0;
    // Owned thread handle; null when no thread was started, after a failed start, and after stop or
    // terminate closed it.
    HANDLE handle = nullptr;
};
