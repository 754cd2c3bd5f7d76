// Thread: owner of one platform thread started through the C runtime. It starts the thread and waits
// for it, with or without a time limit. It never ends a thread by force: a forced end can leave the
// heap, the loader lock or a half-written state behind, so a thread that has to go is asked to, by
// whatever means its owner has, and ends itself.
//
// The wrapper belongs to the thread that starts it: start, join, waitFor and destruction all run
// there, and the started thread never touches the wrapper's fields. Destruction closes the handle
// only: a thread still running then runs on by itself (it is let go), so it must own everything it
// uses. An owner that needs the thread gone calls join first.
#pragma once

#include <windows.h>

#include <optional>

using ThreadProc = unsigned(__stdcall*)(void*);

class Thread {
public:
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

    // True when there is no thread or it has ended within timeoutMs; the handle stays open.
    bool waitFor(DWORD timeoutMs) const noexcept;

    // The thread's exit code; none while there is no thread or while it still runs.
    std::optional<DWORD> exitCode() const noexcept;

    // Thread identifier given by the platform at start; 0 before and after a failed start.
    DWORD id = 0;
    // Owned thread handle; null when no thread was started and after a failed start.
    HANDLE handle = nullptr;
};
