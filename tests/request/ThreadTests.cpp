// The thread wrapper: start with its identifier, join, and stop on ended, never-started and blocked
// threads.
#include "request/Thread.h"

#include "winsys/Handle.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

struct Probe {
    // blocking: the thread waits for release before it ends.
    explicit Probe(bool blocking = false)
        : release(blocking ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr) {}
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

unsigned __stdcall setEventSoon(void* event)
{
    Sleep(5);
    SetEvent(static_cast<HANDLE>(event));
    return 0;
}

// A second handle to the same thread, to read its exit code after the wrapper closed its own.
KernelHandle duplicateOf(HANDLE thread)
{
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return KernelHandle(copy);
}

DWORD exitCodeOf(HANDLE thread)
{
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    return code;
}

}  // namespace

TEST(Thread, StartsWithItsIdentifierAndJoinWaitsForTheEnd)
{
    Probe probe(true);
    Thread thread(recordAndExit, &probe);
    ASSERT_NE(thread.handle, nullptr);
    EXPECT_NE(thread.id, 0u);
    EXPECT_FALSE(thread.exitCode()) << "still running";

    SetEvent(probe.release.get());
    thread.join();
    EXPECT_EQ(probe.seenId.load(), thread.id);
    ASSERT_TRUE(thread.exitCode());
    EXPECT_EQ(*thread.exitCode(), 7u);
}

TEST(Thread, StartsOnlyOnce)
{
    Probe first, second;
    Thread thread;
    thread.start(recordAndExit, &first);
    thread.join();
    HANDLE handle = thread.handle;
    DWORD id = thread.id;
    thread.start(recordAndExit, &second);
    thread.join();
    EXPECT_EQ(thread.handle, handle);
    EXPECT_EQ(thread.id, id);
    EXPECT_EQ(second.seenId.load(), 0u) << "a second start ran the procedure again";
}

TEST(Thread, StackGrowsBeyondTheInitialCommitment)
{
    Thread thread(deepStack, nullptr);
    ASSERT_NE(thread.handle, nullptr);
    ASSERT_TRUE(thread.waitFor(10000));
    EXPECT_EQ(thread.exitCode().value_or(0), 5u);
}

TEST(Thread, NeverStartedHasNothingToJoinOrStop)
{
    Thread thread;
    EXPECT_EQ(thread.id, 0u);
    EXPECT_EQ(thread.handle, nullptr);
    thread.join();
    EXPECT_EQ(thread.stop(2), 0);
    EXPECT_EQ(thread.terminate(2), 0);
    EXPECT_TRUE(thread.waitFor(0));
    EXPECT_FALSE(thread.exitCode());
}

TEST(Thread, StopOfAnEndedThreadKeepsItsHandleAndExitCode)
{
    Probe probe;
    probe.exitCode = 4;
    Thread thread(recordAndExit, &probe);
    thread.join();
    HANDLE handle = thread.handle;
    EXPECT_EQ(thread.stop(2), 0);
    EXPECT_EQ(thread.handle, handle) << "the handle is left for the destructor";
    EXPECT_EQ(exitCodeOf(thread.handle), 4u) << "the ended thread was not terminated";
}

TEST(Thread, StopTerminatesABlockedThreadAfterTheGracePeriod)
{
    Probe probe(true);  // never released
    Thread thread(recordAndExit, &probe);
    ASSERT_NE(thread.handle, nullptr);
    KernelHandle copy = duplicateOf(thread.handle);
    ASSERT_TRUE(copy);

    EXPECT_NE(thread.stop(2), 0);
    EXPECT_EQ(thread.handle, nullptr);
    EXPECT_EQ(WaitForSingleObject(copy.get(), 0), WAIT_OBJECT_0) << "stop returned before the thread ended";
    EXPECT_EQ(exitCodeOf(copy.get()), 2u);
    EXPECT_EQ(thread.stop(2), 0) << "nothing left to stop";
}

TEST(Thread, ThreadEndingWithinTheGracePeriodIsNotTerminated)
{
    Probe probe(true);
    Thread thread(recordAndExit, &probe);
    ASSERT_NE(thread.handle, nullptr);
    // Ends the thread a moment after stop has begun its wait.
    Thread releaser(setEventSoon, probe.release.get());

    EXPECT_EQ(thread.stop(2), 0);
    ASSERT_NE(thread.handle, nullptr);
    EXPECT_EQ(exitCodeOf(thread.handle), 7u);
    releaser.join();
}
