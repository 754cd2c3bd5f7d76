// Directory change watchers on real folders under Wine: reports of changes, folders and drives that
// can't be watched, the root of a drive without a medium, errors from the callback, and destruction
// while the callback runs.
#include "winsys/ChangeWatcher.h"

#include "support/TestSupport.h"
#include "winsys/WatchRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace testing_support;

namespace {

// A volume probe that records the roots it is asked about and answers as volumeReady does, or "not
// ready" when told to.
std::mutex probeMutex;
std::vector<std::string> probedRoots;
bool probeSaysNotReady = false;

bool recordingProbe(const std::string& root)
{
    std::lock_guard<std::mutex> lock(probeMutex);
    probedRoots.push_back(root);
    return !probeSaysNotReady && volumeReady(root);
}

std::vector<std::string> takeProbedRoots(bool nextSaysNotReady = false)
{
    std::lock_guard<std::mutex> lock(probeMutex);
    probeSaysNotReady = nextSaysNotReady;
    return std::exchange(probedRoots, {});
}

// Starts a watcher; returns a second handle to its thread, for the exit code after the watcher is gone.
KernelHandle startWatcher(ChangeWatcher& watcher)
{
    watcher.start();
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), watcher.handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return KernelHandle(copy);
}

DWORD exitCodeOf(const KernelHandle& thread)
{
    DWORD code = STILL_ACTIVE;
    WaitForSingleObject(thread.get(), reportTimeoutMs);
    GetExitCodeThread(thread.get(), &code);
    return code;
}

// Starts the watcher unless it runs already; its exit code once it has ended by itself, or STILL_ACTIVE.
DWORD endsWith(ChangeWatcher& watcher)
{
    watcher.start();
    return watcher.waitFor(reportTimeoutMs) ? watcher.exitCode().value_or(STILL_ACTIVE) : STILL_ACTIVE;
}

// The folder behind the test prefix's drive M: as a Windows path: the drive has no medium while the
// folder is missing. Empty when the test bench did not set the drive up.
std::string mediaFolder()
{
    char value[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VOG_TEST_MEDIA_DIR", value, MAX_PATH);
    std::string folder = length && length < MAX_PATH ? std::string("Z:") + value : "";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

// A medium in drive M: for its lifetime.
struct InsertedMedium {
    InsertedMedium() { CreateDirectoryA(mediaFolder().c_str(), nullptr); }
    ~InsertedMedium() { deleteTree(mediaFolder()); }
};

#define REQUIRE_EMPTY_MEDIA_DRIVE()                                   \
    if (mediaFolder().empty() || fileExists(mediaFolder()))           \
        GTEST_SKIP() << "drive M: of the test bench is not set up (run through scripts/test)"

WatchSpec specFor(const std::string& path, WatchCallback* callback)
{
    return WatchSpec(path, callback, WatchSpec::watchAll, false);
}

}  // namespace

TEST(ChangeWatcher, ReportsEachNewFileWithTheWatchedFolderPath)
{
    std::string folder = scratchFolder("watch-new-file");
    Recorder recorder;
    KernelHandle thread;
    {
        ChangeWatcher watcher(specFor(folder, &recorder));
        thread = startWatcher(watcher);
        ASSERT_TRUE(recorder.touchUntilReported(folder)) << "no report for a new file";
        EXPECT_EQ(recorder.seen().front(), folder);
        Sleep(50);
        recorder.clear();
        EXPECT_TRUE(recorder.touchUntilReported(folder)) << "no report after the first";
    }
    EXPECT_EQ(exitCodeOf(thread), ChangeWatcher::exitStopped);
    deleteTree(folder);
}

TEST(ChangeWatcher, WithoutCallbackKeepsWatchingQuietly)
{
    std::string folder = scratchFolder("watch-no-callback");
    KernelHandle thread;
    {
        ChangeWatcher watcher(specFor(folder, nullptr));
        thread = startWatcher(watcher);
        Sleep(100);
        ASSERT_TRUE(writeFile(folder + "\\a.txt", "x") && writeFile(folder + "\\b.txt", "x"));
        EXPECT_FALSE(watcher.waitFor(quietMs)) << "exit code " << watcher.exitCode().value_or(STILL_ACTIVE);
    }
    EXPECT_EQ(exitCodeOf(thread), ChangeWatcher::exitStopped);
    deleteTree(folder);
}

TEST(ChangeWatcher, MissingFolderOnAReadyVolumeEndsWithCode1AfterTwoTries)
{
    takeProbedRoots();
    Recorder recorder;
    ChangeWatcher missing(specFor(scratchFolder("watch-missing") + "\\not-there", &recorder), recordingProbe);
    EXPECT_EQ(endsWith(missing), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"C:\\"}) << "the volume is asked once, between the tries";

    // Paths too long for a path buffer: the root comes from the leading characters that fit.
    ChangeWatcher longFolder(specFor("C:\\" + std::string(300, 'a') + "\\b", &recorder), recordingProbe);
    EXPECT_EQ(endsWith(longFolder), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"C:\\"});
    std::string longShare = "\\\\" + std::string(400, 's') + "\\share";
    ChangeWatcher onShare(specFor(longShare, &recorder), recordingProbe);
    EXPECT_EQ(endsWith(onShare), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{longShare + "\\"});
    EXPECT_TRUE(recorder.seen().empty());
}

TEST(ChangeWatcher, RootsOfDrivesAndSharesEndWithTheBackslashTheVolumeQueryNeeds)
{
    const std::pair<const char*, const char*> roots[] = {
        {"E:\\docs\\old", "E:\\"}, {"e:", "e:\\"}, {"\\\\server\\share\\docs", "\\\\server\\share\\"},
        {"\\\\server\\share", "\\\\server\\share\\"}, {"\\\\?\\UNC\\server\\share\\docs", "\\\\?\\UNC\\server\\share\\"}};
    for (const auto& [path, root] : roots)
        EXPECT_EQ(rootOf(path), root) << path;
}

TEST(ChangeWatcher, DriveWithoutMediumIsNotReadyAndItsFoldersCantBeWatched)
{
    REQUIRE_EMPTY_MEDIA_DRIVE();
    // Under Wine the volume query succeeds for a drive whose folder is missing; the root test decides.
    EXPECT_FALSE(volumeReady("M:\\"));
    EXPECT_FALSE(volumeReady("M:"));
    EXPECT_TRUE(volumeReady("c:"));
    EXPECT_FALSE(volumeReady("\\\\nowhere\\share"));

    // Without a medium the root can't be watched either: the fallback fails too.
    takeProbedRoots();
    Recorder recorder;
    ChangeWatcher noMedium(specFor("M:\\docs", &recorder), recordingProbe);
    EXPECT_EQ(endsWith(noMedium), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"M:\\"});

    // With a medium the volume is ready: a missing folder on it gets its second try, not the root.
    InsertedMedium medium;
    EXPECT_TRUE(volumeReady("M:\\"));
    ChangeWatcher withMedium(specFor("M:\\docs", &recorder), recordingProbe);
    EXPECT_EQ(endsWith(withMedium), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"M:\\"});
    EXPECT_TRUE(recorder.seen().empty());
}

TEST(ChangeWatcher, WatchesTheRootWhenTheVolumeIsNotReadyButTheRootCanBeWatched)
{
    REQUIRE_EMPTY_MEDIA_DRIVE();
    // Under Wine a root can be watched only when its volume is ready, so the probe stands for a
    // medium that is present but not ready yet.
    InsertedMedium medium;
    takeProbedRoots(true);
    Recorder recorder;
    {
        ChangeWatcher watcher(specFor("M:\\docs", &recorder), recordingProbe);
        watcher.start();
        EXPECT_FALSE(watcher.waitFor(quietMs)) << "exit code " << watcher.exitCode().value_or(STILL_ACTIVE);
        EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"M:\\"});
        ASSERT_TRUE(CreateDirectoryA("M:\\docs", nullptr));
        ASSERT_TRUE(recorder.waitForReport()) << "no report for the folder's arrival";
        Sleep(50);
        recorder.waitForReport(0);
        ASSERT_TRUE(recorder.touchUntilReported("M:")) << "no report for a file on the root";
    }
    for (const std::string& folder : recorder.seen())
        EXPECT_EQ(folder, "M:\\") << "changes of the root are reported with the root's path";
}

TEST(ChangeWatcher, AFolderThatGoesAwayIsReportedNoMoreAndItsWatcherEndsOrWatchesTheRoot)
{
    // Moved away with its handle open: Windows signals such a handle (also of a deleted folder)
    // once more, then for ever; Wine signals a change inside it at its new place.
    for (bool ready : {true, false}) {
        std::string base = scratchFolder(ready ? "watch-gone" : "watch-gone-medium"), folder = base + "\\watched";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        Recorder recorder;
        ChangeWatcher watcher(specFor(folder, &recorder), recordingProbe);
        watcher.start();
        ASSERT_TRUE(recorder.touchUntilReported(folder));
        Sleep(quietMs);
        recorder.clear();
        takeProbedRoots(!ready);
        ASSERT_TRUE(MoveFileA(folder.c_str(), (base + "\\moved").c_str()));
        ASSERT_TRUE(writeFile(base + "\\moved\\late.txt", "x") && recorder.waitForReport());
        Sleep(quietMs);
        EXPECT_EQ(recorder.seen(), std::vector<std::string>{folder}) << "reported again after it went";
        EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"C:\\"});
        if (ready)  // gone from a ready volume: it can't be watched again
            EXPECT_EQ(endsWith(watcher), ChangeWatcher::exitUnwatchable);
        else  // a medium taken out: the drive's root is watched for its return
            EXPECT_FALSE(watcher.exitCode()) << "exit code " << *watcher.exitCode();
        deleteTree(base);
    }
}

TEST(ChangeWatcher, ExceptionFromTheCallbackEndsTheThreadWithCode3)
{
    std::string folder = scratchFolder("watch-throw");
    Recorder recorder;
    recorder.throwing = true;
    ChangeWatcher watcher(specFor(folder, &recorder));
    watcher.start();
    ASSERT_TRUE(recorder.touchUntilReported(folder));
    EXPECT_EQ(endsWith(watcher), ChangeWatcher::exitFailed);
    EXPECT_EQ(recorder.seen().size(), 1u);
    deleteTree(folder);
}

TEST(ChangeWatcher, DestructionWaitsForARunningCallback)
{
    std::string folder = scratchFolder("watch-destroy-busy");
    Recorder recorder;
    recorder.blocking = true;
    auto watcher = std::make_unique<ChangeWatcher>(specFor(folder, &recorder));
    KernelHandle thread = startWatcher(*watcher);
    ASSERT_TRUE(recorder.touchUntilReported(folder));  // onChange now blocks

    std::atomic<bool> destroyed{false}, callbackReturnedFirst{false};
    std::thread destroyer([&] {
        watcher.reset();
        callbackReturnedFirst = recorder.returned.load();
        destroyed = true;
    });
    EXPECT_FALSE(waitUntil([&] { return destroyed.load(); }, quietMs)) << "destruction did not wait for onChange";
    SetEvent(recorder.release.get());
    destroyer.join();
    EXPECT_TRUE(callbackReturnedFirst);
    // The stop signalled during the call was kept: the thread ended by it, not by an error.
    EXPECT_EQ(exitCodeOf(thread), ChangeWatcher::exitStopped);
    deleteTree(folder);
}
