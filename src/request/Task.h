// One request in execution, and the control's record of the worker thread that runs it.
//
// How the threads meet: the container's thread builds the Task (the theme's folder list is read
// there), puts it into a TaskShare together with the request's stop signal, and starts the worker.
// The record and the worker each hold a reference to the share, so either may go first: the share
// and the task live as long as the worker uses them, and the worker never touches the record. The
// worker takes the task out of the share and releases it when it ends; a task whose worker never
// started is released with the share. A task is thus released exactly once, and only by the thread
// that last used it.
//
// Stopping: requestStop asks the worker to stop (its File Loader dialog and the folder browser
// close, an extraction breaks off, its wait for a viewer ends and the viewer keeps running).
// stopAll asks every worker of a list at once and waits for them together, at most
// gracePeriodMs in all. A worker busy in a call that does not look at the stop (a share that does
// not answer, a slow shell) is not killed: destroying its record lets it go. It keeps its
// reference to the module, so the module stays loaded, and when its call returns it sees the stop,
// opens nothing, releases its task and ends with exit code 2.
#pragma once

#include "request/TaskWindow.h"
#include "winsys/StopSignal.h"
#include "winsys/Thread.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// The four texts of one open call.
struct Request {
    std::string file;
    std::string intFile;
    std::string theme;
    std::string info;
};

class Task {
public:
    // Raises what loading the theme raises (the registry wrapper's std::invalid_argument).
    Task(const Request& request, HINSTANCE instance, StopSignal* stop);

    std::string file;
    std::string intFile;
    std::string theme;
    std::string info;  // travels with the request; nothing reads it
    TaskWindow window;
};

// What a record and its worker own together. The task refers to the stop signal: the destructor
// releases a task nobody took before the signal goes.
struct TaskShare {
    TaskShare() = default;
    ~TaskShare() { delete task.exchange(nullptr); }
    TaskShare(const TaskShare&) = delete;
    TaskShare& operator=(const TaskShare&) = delete;

    StopSignal stopSignal;
    std::atomic<Task*> task{nullptr};  // taken by the worker as it ends
    // The record's handle of its worker, handed over by a record that goes while the worker still
    // runs: the worker closes it as it ends, so that letting many workers go costs the container's
    // thread no call into the kernel per worker (under Wine each is a round trip to a server busy
    // with the workers). workerEnded once the worker takes nothing any more.
    std::atomic<HANDLE> handedOver{nullptr};
    static inline const HANDLE workerEnded = INVALID_HANDLE_VALUE;  // never a thread's handle
};

class TaskThread : public Thread {
public:
    // The time the container's thread gives all workers together to end when the control goes.
    static constexpr DWORD gracePeriodMs = 100;

    TaskThread();
    // Asks a worker that still runs to stop and lets it go without waiting for it; releases the
    // task when no worker was started. Closes the thread handle, or leaves it to a worker that
    // still runs.
    ~TaskThread() override;

    // Builds the task on the calling thread, stores it and starts the worker. Raises what the
    // task's construction raises; the record then holds neither task nor thread.
    void startTask(const Request& request, HINSTANCE instance);

    // Asks a running worker to stop without waiting for it.
    void requestStop();

    // True while the task has not been released: the worker still runs, or never started.
    bool holdsTask() const;

    // Asks every worker of records to stop, then waits for them together until withinMs have
    // passed from the call, however many there are. True when all have ended by then; destroying
    // the records of the others lets them go.
    static bool stopAll(const std::vector<std::unique_ptr<TaskThread>>& records, DWORD withinMs);

private:
    std::shared_ptr<TaskShare> share;  // null until startTask has built the task
};

// What the starting thread hands to a new worker, on the heap: the share and the reference to the
// module taken for it (null in a program that links the code itself). The worker takes both over
// and gives the module back as its last act.
struct WorkerStart {
    std::shared_ptr<TaskShare> share;
    HMODULE held;
};

// The worker's thread procedure; its argument is a WorkerStart, which the worker takes over. Exit codes: 0 the request ran to its end, 3 it ended with
// an error (dropped), 2 it was asked to stop.
unsigned __stdcall runTask(void* share);
