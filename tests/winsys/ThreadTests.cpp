// The thread wrapper: start, join, bounded waits, and letting a running thread go.
#include "winsys/Thread.h"

#include "winsys/Handle.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// What a test thread does: records its identifier, waits for release when blocking, ends with exitCode.
struct Probe {
    explicit Probe(bool blocking = false) : release(blocking ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr) {}
    std::atomic<DWORD> seenId{0};
    KernelHandle release;
    DWORD exitCode = 7;
};

unsigned __stdcall recordAndExit(void* arg)
{
    auto* probe = static_cast<Probe*>(arg);
    probe->seenId = GetCurrentThreadId();
    if (probe->release)
        WaitForSingleObject(probe->release.get(), INFINITE);
    return probe->exitCode;
}

// Uses far more stack than the 4096 bytes committed at start: the stack must grow on demand.
unsigned __stdcall deepStack(void*)
{
    volatile char block[256 * 1024];
    for (size_t i = 0; i < sizeof block; i += 512)
        block[i] = static_cast<char>(i);
    return block[512] == static_cast<char>(512) ? 5 : 6;
}

unsigned __stdcall releaseSoon(void* probe)
{
    Sleep(5);
    SetEvent(static_cast<Probe*>(probe)->release.get());
    return 0;
}

// The exit code through a second handle, which stays usable after the wrapper closed its own.
DWORD exitCodeThroughCopy(const KernelHandle& copy)
{
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(copy.get(), &code);
    return code;
}

// A Thread started as soon as it is made.
struct StartedThread : Thread {
    StartedThread(ThreadProc proc, void* arg) noexcept { start(proc, arg); }
};

KernelHandle copyOf(HANDLE thread)
{
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return KernelHandle(copy);
}

}  // namespace

TEST(Thread, StartsOnceWithItsIdentifierAndJoinWaitsForTheEnd)
{
    Probe probe(true), second;
    StartedThread thread(recordAndExit, &probe);
    ASSERT_NE(thread.handle, nullptr);
    EXPECT_FALSE(thread.exitCode()) << "still running";
    SetEvent(probe.release.get());
    thread.join();
    EXPECT_EQ(probe.seenId.load(), thread.id);
    EXPECT_EQ(thread.exitCode().value_or(0), 7u);

    HANDLE handle = thread.handle;
    thread.start(recordAndExit, &second);
    EXPECT_EQ(thread.handle, handle);
    EXPECT_EQ(second.seenId.load(), 0u) << "a second start ran the procedure again";
}

TEST(Thread, StackGrowsBeyondTheInitialCommitment)
{
    StartedThread thread(deepStack, nullptr);
    ASSERT_TRUE(thread.handle && thread.waitFor(10000));
    EXPECT_EQ(thread.exitCode().value_or(0), 5u);
}

TEST(Thread, NeverStartedHasNothingToJoinOrWaitFor)
{
    Thread thread;
    EXPECT_EQ(thread.id, 0u);
    thread.join();
    EXPECT_TRUE(thread.waitFor(0));
    EXPECT_EQ(thread.handle, nullptr);
    EXPECT_FALSE(thread.exitCode());
}

TEST(Thread, BoundedWaitSeesAThreadEndingMeanwhileAndKeepsTheHandle)
{
    // Still running when the wait begins, ended a moment later.
    Probe ending(true);
    StartedThread late(recordAndExit, &ending);
    StartedThread releaser(releaseSoon, &ending);
    EXPECT_TRUE(late.waitFor(5000));
    EXPECT_NE(late.handle, nullptr);
    EXPECT_EQ(late.exitCode().value_or(0), 7u);
    releaser.join();
}

TEST(Thread, DestroyingTheWrapperLetsARunningThreadGoOnToItsOwnEnd)
{
    Probe probe(true);
    KernelHandle copy;
    {
        StartedThread thread(recordAndExit, &probe);
        copy = copyOf(thread.handle);
        ASSERT_TRUE(copy);
        EXPECT_FALSE(thread.waitFor(50));
    }
    EXPECT_EQ(WaitForSingleObject(copy.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "the thread was ended";
    SetEvent(probe.release.get());
    ASSERT_EQ(WaitForSingleObject(copy.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCodeThroughCopy(copy), 7u) << "not terminated: its own exit code";
}
