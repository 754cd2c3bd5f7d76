// One request in execution, and the control's record of the worker thread that runs it.
//
// How the threads meet: the container's thread builds the Task (the theme's folder list is read
// there), stores it in the record and starts the worker. The worker runs the task's window and
// finally releases the task. The only datum the two sides share is the record's `task` pointer;
// each side takes it with an atomic exchange, so exactly one of them releases the task: the worker
// when it ends, or the record's destruction when the worker never ran or had to be ended by force.
//
// Destroying a record whose worker still runs asks the worker to stop (its File Loader dialog
// closes, its wait for a viewer ends and the viewer keeps running) and waits for it; forcing the
// thread to end is left as the last resort for a worker that does not answer.
#pragma once

#include "request/TaskWindow.h"
#include "winsys/StopSignal.h"
#include "winsys/Thread.h"

#include <atomic>
#include <string>

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

class TaskThread : public Thread {
public:
    TaskThread();
    // Stops a worker that still holds its task (exit code 2), then releases a task nobody released.
    ~TaskThread();

    // Builds the task on the calling thread, stores it and starts the worker. Raises what the
    // task's construction raises; the record then holds neither task nor thread.
    void startTask(const Request& request, HINSTANCE instance);

    // Asks a running worker to stop (its dialog closes, its wait for a viewer ends) without
    // waiting; the destruction then waits. Lets an owner stop many workers at once.
    void requestStop();

    std::atomic<Task*> task{nullptr};

    // How long the destruction waits for a worker that was asked to stop before forcing it.
    static constexpr DWORD cooperativeStopMs = 3000;

private:
    // Owned by the record, so it outlives the worker's every use of it.
    StopSignal stopSignal;

    friend unsigned __stdcall runTask(void* record);
};

// The worker's thread procedure; its argument is the TaskThread record. Exit codes: 0 the request
// ran to its end, 3 it ended with an error (dropped), 2 it was stopped by the control's destruction.
unsigned __stdcall runTask(void* record);
