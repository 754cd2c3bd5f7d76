#include "request/Task.h"

#include "winsys/ComApartment.h"
#include "winsys/Module.h"

#include <algorithm>

namespace {

void releaseTask(Task* task) noexcept
{
    // The theme saves a changed folder list here; its destructor contains its own errors.
    delete task;
}

// In VOG.OCX a worker holds a reference to the module and leaves through
// FreeLibraryAndExitThread, so that the module cannot be unloaded under the worker's last
// instructions, also when the control that started it is long gone. The reference is taken by the
// starting thread before the worker exists: CoUninitialize frees in-process servers without asking
// DllCanUnloadNow, and a host may call FreeLibrary, so a worker that took it itself could start in
// unmapped code. A program that links the code itself has nothing to hold.
HMODULE holdModule()
{
    HINSTANCE module = moduleInstance();
    if (module == GetModuleHandleA(nullptr))
        return nullptr;
    HMODULE held = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&holdModule), &held);
    return held;
}

// A test's start gate: while the environment variable VOG_WORKER_START_GATE names an event, a new
// worker waits for that event as its first act, before it has touched anything. The test releases
// the control and the module meanwhile and sees that the reference taken for the worker keeps the
// module mapped. Without the variable (as everywhere but in that test) the worker goes straight on.
void passStartGate() noexcept
{
    wchar_t name[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"VOG_WORKER_START_GATE", name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    if (HANDLE gate = OpenEventW(SYNCHRONIZE, FALSE, name)) {
        WaitForSingleObject(gate, INFINITE);
        CloseHandle(gate);
    }
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
    requestStop();
    if (share && handle && share->handedOver.exchange(handle) != TaskShare::workerEnded)
        handle = nullptr;  // the worker closes it
}

void TaskThread::startTask(const Request& request, HINSTANCE instance)
{
    auto built = std::make_shared<TaskShare>();
    built->task.store(new Task(request, instance, &built->stopSignal));
    share = built;
    auto* start = new WorkerStart{share, holdModule()};
    // Taken here rather than by the worker: DllCanUnloadNow says no from the moment a worker may run.
    lockModule();
    Thread::start(runTask, start);
    if (!handle) {
        // No worker: the task stays in the share until the record goes; the module is given back.
        if (start->held)
            FreeLibrary(start->held);
        delete start;
        unlockModule();
    }
}

void TaskThread::requestStop()
{
    if (share)
        share->stopSignal.requestStop();
}

bool TaskThread::holdsTask() const
{
    return share && share->task.load();
}

bool TaskThread::stopAll(const std::vector<std::unique_ptr<TaskThread>>& records, DWORD withinMs)
{
    // GetTickCount64 counts in steps of 10 to 16 ms on Windows: the wait may end up to one step late.
    const ULONGLONG deadline = GetTickCount64() + withinMs;
    for (const auto& record : records)
        record->requestStop();
    // One wait for as many workers as the platform waits for at once, rather than one per worker:
    // each wait is a call into the kernel (under Wine a round trip to its server, which is busy
    // with the workers' own ending).
    std::vector<HANDLE> running;
    for (const auto& record : records) {
        if (record->handle)
            running.push_back(record->handle);
    }
    for (size_t first = 0; first < running.size(); first += MAXIMUM_WAIT_OBJECTS) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        DWORD count = static_cast<DWORD>(std::min<size_t>(running.size() - first, MAXIMUM_WAIT_OBJECTS));
        if (WaitForMultipleObjects(count, running.data() + first, TRUE, static_cast<DWORD>(deadline - now)) >=
            WAIT_OBJECT_0 + count)
            return false;
    }
    return true;
}

unsigned __stdcall runTask(void* param)
{
    passStartGate();
    std::shared_ptr<TaskShare> share;
    HMODULE held = nullptr;
    {
        std::unique_ptr<WorkerStart> given(static_cast<WorkerStart*>(param));
        share = std::move(given->share);
        held = given->held;
    }
    unsigned exitCode = 3;
    {
        // The folder browser and the shell's execution need a single-threaded apartment; it is left
        // once the task, with its window, is gone.
        ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        try {
            Task* task = share->task.load();
            task->window.run(task->file, task->intFile);
            exitCode = 0;
        } catch (...) {
            // Errors inside a running request end it silently.
        }
        if (share->stopSignal.stopRequested())
            exitCode = 2;
        releaseTask(share->task.exchange(nullptr));
        if (HANDLE recordHandle = share->handedOver.exchange(TaskShare::workerEnded))
            CloseHandle(recordHandle);
        // The last reference when the record went first; FreeLibraryAndExitThread runs no destructors.
        share.reset();
    }
    unlockModule();
    if (held)
        FreeLibraryAndExitThread(held, exitCode);
    return exitCode;
}
