#include "request/ShellExecution.h"

#include "request/OpeningPolicy.h"
#include "winsys/ComApartment.h"
#include "winsys/Handle.h"

#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <optional>

namespace {

std::atomic<DWORD> handOffWindow{handOffWindowMs};

bool isSet(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Closes the shell's own message boxes on one thread once a stop is requested, for as long as a shell
// call runs there. The shell puts them up modally on the calling thread (under Wine: "There is no
// Windows program configured to open this type of file.") and waits for the user; a stop must not.
class ShellDialogCloser {
public:
    explicit ShellDialogCloser(HANDLE stopEvent) : stop(stopEvent), thread(GetCurrentThreadId())
    {
        if (!stop)
            return;
        done.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (done)
            helper.reset(CreateThread(nullptr, 0, &ShellDialogCloser::run, this, 0, nullptr));
    }

    ~ShellDialogCloser()
    {
        if (helper) {
            SetEvent(done.get());
            WaitForSingleObject(helper.get(), INFINITE);
        }
    }

    ShellDialogCloser(const ShellDialogCloser&) = delete;
    ShellDialogCloser& operator=(const ShellDialogCloser&) = delete;

private:
    static DWORD WINAPI run(void* argument)
    {
        auto* self = static_cast<ShellDialogCloser*>(argument);
        HANDLE handles[] = {self->done.get(), self->stop};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        // A box may appear only after the stop, so keep looking until the shell call is over.
        do {
            EnumThreadWindows(self->thread, &ShellDialogCloser::closeDialog, 0);
        } while (WaitForSingleObject(self->done.get(), 20) == WAIT_TIMEOUT);
        return 0;
    }

    static BOOL CALLBACK closeDialog(HWND window, LPARAM)
    {
        char className[16] = {};
        GetClassNameA(window, className, sizeof className);
        if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window))
            PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }

    HANDLE stop;
    DWORD thread;
    KernelHandle done;
    KernelHandle helper;  // joined in the destructor while done is still open
};


// Waits for the process, or for the stop event when there is one. Messages sent to the thread's
// windows meanwhile are answered (a window that never answers hangs every broadcast in the session);
// posted ones, the task window's quit message among them, stay queued.
OpenOutcome waitForProcess(HANDLE process, HANDLE stopEvent)
{
    HANDLE handles[] = {process, stopEvent};
    DWORD count = stopEvent ? 2 : 1;
    for (;;) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0 + count)
            continue;
        if (count == 2 && result == WAIT_OBJECT_0 + 1)
            return OpenOutcome::Stopped;
        return OpenOutcome::Finished;  // the process ended (or the wait failed: nothing to wait for)
    }
}

// The system error code for a failed ShellExecuteEx. Its contract sets hInstApp to an SE_ERR_ value
// that gives the cause, and GetLastError the extended information: the cause wins where it names
// one that has a system code of its own (Wine leaves the last error of an inner attempt, such as
// ERROR_BAD_EXE_FORMAT, when there is no program for the type). The small SE_ERR_ values are system
// codes already.
DWORD shellFailure(const SHELLEXECUTEINFOA& execution, DWORD lastError)
{
    auto code = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(execution.hInstApp));
    switch (code) {
    case SE_ERR_NOASSOC:
    case SE_ERR_ASSOCINCOMPLETE:
        return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
        return ERROR_DDE_FAIL;
    case SE_ERR_SHARE:
        return ERROR_SHARING_VIOLATION;
    case SE_ERR_DLLNOTFOUND:
        return ERROR_DLL_NOT_FOUND;
    default:
        break;
    }
    return lastError ? lastError : code > 0 && code < 32 ? code : ERROR_NO_ASSOCIATION;
}

OpenOutcome executeAndWait(const ShellCall& call, HANDLE stopEvent, ShellMessages messages, ProgramRun& run)
{
    SHELLEXECUTEINFOA execution{};
    execution.cbSize = sizeof execution;
    execution.fMask = SEE_MASK_NOCLOSEPROCESS | (messages == ShellMessages::Suppressed ? SEE_MASK_FLAG_NO_UI : 0);
    execution.lpFile = call.file.c_str();
    execution.lpParameters = call.parameters.empty() ? nullptr : call.parameters.c_str();
    execution.lpDirectory = call.directory.empty() ? nullptr : call.directory.c_str();
    execution.nShow = SW_SHOWNORMAL;
    {
        // ShellExecuteEx may hand the document to shell extensions and DDE servers that are COM
        // objects needing a single-threaded apartment. A request's worker already is one, and then
        // this only counts one more initialisation.
        ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        // The shell's own box (no program for the type) is a modal loop, and one ends at once while
        // the thread's quit message is pending, as it is in a request's open step: hold the quit back
        // until the shell has returned, as a refusal's box does.
        MSG quit;
        bool quitting = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        ShellDialogCloser closer(stopEvent);
        // Without SEE_MASK_FLAG_NO_UI the shell has already told the user what went wrong.
        SetLastError(0);
        run.shellSucceeded = ShellExecuteExA(&execution) != FALSE;
        if (!run.shellSucceeded)
            run.shellError = shellFailure(execution, GetLastError());
        if (quitting)
            PostQuitMessage(static_cast<int>(quit.wParam));
    }
    KernelHandle process(execution.hProcess);
    if (isSet(stopEvent))
        return OpenOutcome::Stopped;
    if (!process)
        return OpenOutcome::Finished;
    run.processReturned = true;
    ULONGLONG started = GetTickCount64();
    OpenOutcome outcome = waitForProcess(process.get(), stopEvent);
    run.ranMs = static_cast<DWORD>(GetTickCount64() - started);
    return outcome;
}

}  // namespace

bool ProgramRun::mayHaveHandedOn() const
{
    return shellSucceeded && (!processReturned || ranMs < handOffWindow.load());
}

HandOffWindowForTests::HandOffWindowForTests(DWORD ms) : previous(handOffWindow.exchange(ms)) {}

HandOffWindowForTests::~HandOffWindowForTests()
{
    handOffWindow = previous;
}

OpenOutcome openDocument(const std::string& path, HANDLE stopEvent, Origin origin, ProgramRun* run,
                         ShellMessages messages)
{
    ProgramRun ignored;
    ProgramRun& result = run ? *run : ignored;
    result = ProgramRun{};
    std::optional<ShellCall> call = openingCall(path.c_str(), origin);
    if (!call) {
        bool needsChosenFolder = origin != Origin::ChosenFolder && typeRisk(path) == TypeRisk::RunsLocalScript;
        return needsChosenFolder ? OpenOutcome::NotFromChosenFolder : OpenOutcome::Refused;
    }
    if (isSet(stopEvent))
        return OpenOutcome::Stopped;
    return executeAndWait(*call, stopEvent, messages, result);
}

void showRefusal(const std::string& text, HANDLE stopEvent)
{
    if (isSet(stopEvent))
        return;
    // A modal loop ends at once while the thread's quit message is pending, as it is in a request's
    // open step: hold the quit back until the user has answered.
    MSG quit;
    bool quitting = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    {
        ShellDialogCloser closer(stopEvent);
        MessageBoxA(nullptr, text.c_str(), "Vog Error", MB_OK | MB_ICONERROR);
    }
    if (quitting)
        PostQuitMessage(static_cast<int>(quit.wParam));
}
