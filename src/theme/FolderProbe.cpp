#include "theme/FolderProbe.h"

#include "theme/LookupWait.h"
#include "winsys/CompleteFile.h"
#include "winsys/ErrorMode.h"
#include "winsys/Handle.h"
#include "winsys/Thread.h"

#include <shlwapi.h>

#include <memory>

namespace {

// Shared by the prober and its threads; the last owner frees it, so a thread whose file system
// answers long after the prober gave up still writes into live memory.
struct Answers {
    explicit Answers(size_t count)
        : count(count), answers(new LONG[count]()), arrived(CreateEventA(nullptr, FALSE, FALSE, nullptr))
    {
    }
    size_t count;
    std::unique_ptr<LONG[]> answers;  // FolderAnswer values, written and read with interlocked calls
    KernelHandle arrived;
};

struct Job {
    std::shared_ptr<Answers> shared;
    size_t index;
    std::string candidate;
};

unsigned __stdcall probeOne(void* argument)
{
    std::unique_ptr<Job> job(static_cast<Job*>(argument));
    FolderAnswer answer = FolderAnswer::Absent;
    {
        QuietErrorMode quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        if (!job->candidate.empty() && PathFileExistsA(job->candidate.c_str()))
            answer = fileComplete(job->candidate) ? FolderAnswer::Complete : FolderAnswer::Incomplete;
    }
    InterlockedExchange(&job->shared->answers[job->index], static_cast<LONG>(answer));
    SetEvent(job->shared->arrived.get());
    return 0;
}

// Decided: a complete file whose earlier folders all answered, or every folder answered.
bool decided(const std::vector<FolderAnswer>& answers)
{
    for (FolderAnswer answer : answers) {
        if (answer == FolderAnswer::Pending)
            return false;
        if (answer == FolderAnswer::Complete)
            return true;
    }
    return true;
}

std::vector<FolderAnswer> snapshot(const Answers& shared)
{
    std::vector<FolderAnswer> answers;
    for (size_t i = 0; i < shared.count; ++i)
        answers.push_back(static_cast<FolderAnswer>(InterlockedCompareExchange(&shared.answers[i], 0, 0)));
    return answers;
}

}  // namespace

std::vector<FolderAnswer> probeFolders(const std::vector<std::string>& folders, const std::string& name,
                                       DWORD boundMs)
{
    auto shared = std::make_shared<Answers>(folders.size());
    for (size_t i = 0; i < folders.size(); ++i) {
        auto job = std::make_unique<Job>(Job{shared, i, candidatePath(folders[i], name)});
        Thread thread;
        thread.start(probeOne, job.get());
        if (thread.handle)
            job.release();  // the thread owns it now; the wrapper lets the thread run on
        else
            probeOne(job.release());  // no thread to spare: this folder is asked here
    }
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<FolderAnswer> answers = snapshot(*shared);
        DWORD spent = GetTickCount() - start;
        if (decided(answers) || spent >= boundMs || !shared->arrived)
            return answers;
        WaitForSingleObject(shared->arrived.get(), boundMs - spent);
    }
}

size_t firstComplete(const std::vector<FolderAnswer>& answers)
{
    for (size_t i = 0; i < answers.size(); ++i)
        if (answers[i] == FolderAnswer::Complete)
            return i;
    return answers.size();
}
