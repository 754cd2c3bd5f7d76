#include "request/Task.h"

#include "winsys/Module.h"

#include <objbase.h>

namespace {

void releaseTask(Task* task) noexcept
{
    // The theme saves a changed folder list here; its destructor contains its own errors.
    delete task;
}

// In VOG.OCX a worker holds a reference to the module and leaves through
// FreeLibraryAndExitThread, so that the module cannot be unloaded under the worker's last
// instructions. A program that links the code itself has nothing to hold.
HMODULE holdModule()
{
    HINSTANCE module = moduleInstance();
    if (module == GetModuleHandleA(nullptr))
        return nullptr;
    HMODULE held = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&holdModule), &held);
    return held;
}

}  // namespace

Task::Task(const Request& request, HINSTANCE instance, StopSignal* stop)
    : file(request.file), intFile(request.intFile), theme(request.theme), info(request.info),
      window(instance, request.theme, stop)
{
}

TaskThread::TaskThread() = default;

TaskThread::~TaskThread()
{
    bool terminated = false;
    if (task.load()) {
        stopSignal.requestStop();
        waitFor(cooperativeStopMs);
        terminated = stop(2) != 0;
    }
    if (Task* left = task.exchange(nullptr)) {
        releaseTask(left);
        // A worker ended by force before it took its task back never reached its own unlock
        // either; without this the module would count a lock for ever. (Its reference to the
        // module stays: that only keeps the module loaded, which is the safe side.)
        if (terminated)
            unlockModule();
    }
}

void TaskThread::startTask(const Request& request, HINSTANCE instance)
{
    task.store(new Task(request, instance, &stopSignal));
    lockModule();
    start(runTask, this);
    if (!handle)
        unlockModule();  // no worker: the task stays with the record until its destruction
}

void TaskThread::requestStop()
{
    if (task.load())
        stopSignal.requestStop();
}

unsigned __stdcall runTask(void* param)
{
    auto* record = static_cast<TaskThread*>(param);
    HMODULE held = holdModule();
    unsigned exitCode = 3;
    // The folder browser and the shell's execution need a single-threaded apartment.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    try {
        Task* task = record->task.load();
        task->window.run(task->file, task->intFile);
        exitCode = 0;
    } catch (...) {
        // Errors inside a running request end it silently.
    }
    if (record->stopSignal.stopRequested())
        exitCode = 2;
    // Taken before it is released: a record that has to end this thread by force meanwhile then
    // finds nothing to release a second time.
    if (Task* task = record->task.exchange(nullptr))
        releaseTask(task);
    if (SUCCEEDED(com))
        CoUninitialize();
    unlockModule();
    if (held)
        FreeLibraryAndExitThread(held, exitCode);
    return exitCode;
}
