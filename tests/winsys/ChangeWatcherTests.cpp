// Directory change watchers on real folders under Wine: reports of changes, folders and drives that
// can't be watched, the root of a drive without a medium, errors from the callback, and destruction
// while the callback runs.
#include "winsys/ChangeWatcher.h"

#include "support/TestSupport.h"
#include "winsys/WatchRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

// A volume probe that records the roots it was asked about; it answers as volumeReady does, or "not
// ready" when told to.
std::mutex probeMutex;
std::vector<std::string> probedRoots;
bool probeSaysNotReady = false;

bool recordingProbe(const std::string& root)
{
    std::lock_guard<std::mutex> lock(probeMutex);
    probedRoots.push_back(root);
    return probeSaysNotReady ? false : volumeReady(root);
}

std::vector<std::string> takeProbedRoots(bool nextSaysNotReady = false)
{
    std::lock_guard<std::mutex> lock(probeMutex);
    probeSaysNotReady = nextSaysNotReady;
    return std::exchange(probedRoots, {});
}

// A second handle to a watcher's thread, to read its exit code after the watcher is gone.
KernelHandle threadOf(const ChangeWatcher& watcher)
{
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), watcher.handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return KernelHandle(copy);
}

DWORD exitCodeOf(const KernelHandle& thread)
{
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread.get(), &code);
    return code;
}

DWORD finishedCode(ChangeWatcher& watcher)
{
    return watcher.waitFor(reportTimeoutMs) ? watcher.exitCode().value_or(STILL_ACTIVE) : STILL_ACTIVE;
}

// The folder behind the test prefix's removable drive M:, as a Windows path; the drive has no medium
// while the folder is missing. Empty when the test bench did not set the drive up.
std::string mediaFolder()
{
    char value[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VOG_TEST_MEDIA_DIR", value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::string folder = std::string("Z:") + value;
    for (char& c : folder)
        if (c == '/')
            c = '\\';
    return folder;
}

// Inserts a medium into M: for its lifetime, and takes it out again.
class InsertedMedium {
public:
    InsertedMedium() : folder(mediaFolder()) { CreateDirectoryA(folder.c_str(), nullptr); }
    ~InsertedMedium() { deleteTree(folder); }
    InsertedMedium(const InsertedMedium&) = delete;
    InsertedMedium& operator=(const InsertedMedium&) = delete;
    const std::string folder;
};

#define REQUIRE_MEDIA_DRIVE()                                                              \
    if (mediaFolder().empty() || fileExists(mediaFolder()))                                \
        GTEST_SKIP() << "drive M: of the test bench is not set up (run through scripts/test)"

WatchSpec specFor(const std::string& path, WatchCallback* callback, bool subtree = false)
{
    return WatchSpec(path, callback, WatchSpec::watchAll, subtree);
}

}  // namespace

TEST(ChangeWatcher, ReportsANewFileWithTheWatchedFolderPath)
{
    std::string folder = scratchFolder("watch-new-file");
    Recorder recorder;
    KernelHandle thread;
    {
        ChangeWatcher watcher(specFor(folder, &recorder));
        EXPECT_EQ(watcher.handle, nullptr) << "no thread before start";
        watcher.start();
        ASSERT_NE(watcher.handle, nullptr);
        thread = threadOf(watcher);
        ASSERT_TRUE(recorder.touchUntilReported(folder)) << "no report for a new file";
        EXPECT_EQ(recorder.seen().front(), folder);
        EXPECT_FALSE(watcher.exitCode()) << "the watcher goes on after a report";

        // Reported again after the notification was re-armed.
        Sleep(50);
        recorder.waitForReport(0);
        EXPECT_TRUE(recorder.touchUntilReported(folder)) << "no report after the first";
    }
    EXPECT_EQ(exitCodeOf(thread), ChangeWatcher::exitStopped);
    deleteTree(folder);
}

// Wine 8 reports no changes inside existing subfolders even with the subtree flag, so only the
// change filter's way to the platform is checked here.
TEST(ChangeWatcher, ChangeFilterChoosesWhatIsReported)
{
    std::string folder = scratchFolder("watch-filter");
    Recorder files, folders;
    ChangeWatcher filesWatcher(WatchSpec(folder, &files, WatchSpec::watchFileNames, false));
    ChangeWatcher foldersWatcher(WatchSpec(folder, &folders, WatchSpec::watchDirectoryNames, false));
    filesWatcher.start();
    foldersWatcher.start();
    Sleep(50);
    ASSERT_TRUE(folders.touchUntilReported(folder, true));
    EXPECT_FALSE(files.waitForReport(quietMs)) << "a new folder reached a watcher of file names";
    deleteTree(folder);
}

TEST(ChangeWatcher, WithoutCallbackKeepsWatchingQuietly)
{
    std::string folder = scratchFolder("watch-no-callback");
    KernelHandle thread;
    {
        ChangeWatcher watcher(specFor(folder, nullptr));
        watcher.start();
        thread = threadOf(watcher);
        Sleep(50);
        ASSERT_TRUE(writeFile(folder + "\\a.txt", "x"));
        ASSERT_TRUE(writeFile(folder + "\\b.txt", "x"));
        EXPECT_FALSE(watcher.waitFor(quietMs)) << "exit code " << watcher.exitCode().value_or(STILL_ACTIVE);
    }
    EXPECT_EQ(exitCodeOf(thread), ChangeWatcher::exitStopped);
    deleteTree(folder);
}

TEST(ChangeWatcher, MissingFolderOnAReadyVolumeEndsWithCode1AfterTwoTries)
{
    takeProbedRoots();
    std::string folder = scratchFolder("watch-missing") + "\\not-there";
    Recorder recorder;
    ChangeWatcher watcher(specFor(folder, &recorder), recordingProbe);
    watcher.start();
    EXPECT_EQ(finishedCode(watcher), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"C:\\"}) << "the volume is asked once, between the tries";
    EXPECT_TRUE(recorder.seen().empty());
}

TEST(ChangeWatcher, PathsTooLongForAPathBufferAreNotWatchedAndOverflowNothing)
{
    takeProbedRoots();
    Recorder recorder;
    std::string longFolder = "C:\\" + std::string(300, 'a') + "\\b";
    ChangeWatcher onReadyVolume(specFor(longFolder, &recorder), recordingProbe);
    onReadyVolume.start();
    EXPECT_EQ(finishedCode(onReadyVolume), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"C:\\"});

    // A root long enough to fill the whole buffer: its leading part is probed.
    std::string longShare = "\\\\" + std::string(400, 's') + "\\share";
    ChangeWatcher onShare(specFor(longShare, &recorder), recordingProbe);
    onShare.start();
    EXPECT_EQ(finishedCode(onShare), ChangeWatcher::exitUnwatchable);
    std::vector<std::string> roots = takeProbedRoots();
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0], longShare.substr(0, MAX_PATH - 1));
    EXPECT_TRUE(recorder.seen().empty());
}

TEST(ChangeWatcher, DriveWithoutMediumIsNotReadyAndItsFoldersCantBeWatched)
{
    REQUIRE_MEDIA_DRIVE();
    // Under Wine the volume query succeeds for a drive whose folder is missing; the root test decides.
    EXPECT_FALSE(volumeReady("M:\\"));
    EXPECT_FALSE(volumeReady("M:"));
    EXPECT_TRUE(volumeReady("C:\\"));
    EXPECT_TRUE(volumeReady("c:"));
    EXPECT_FALSE(volumeReady("\\\\nowhere\\share"));

    // Without a medium the root can't be watched either: the fallback fails too.
    takeProbedRoots();
    Recorder recorder;
    ChangeWatcher watcher(specFor("M:\\docs", &recorder), recordingProbe);
    watcher.start();
    EXPECT_EQ(finishedCode(watcher), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"M:\\"});

    // With a medium the volume is ready, so a missing folder on it gets its second try, not the root.
    InsertedMedium medium;
    EXPECT_TRUE(volumeReady("M:\\"));
    ChangeWatcher onMedium(specFor("M:\\docs", &recorder), recordingProbe);
    onMedium.start();
    EXPECT_EQ(finishedCode(onMedium), ChangeWatcher::exitUnwatchable);
    EXPECT_EQ(takeProbedRoots(), std::vector<std::string>{"M:\\"});
    EXPECT_TRUE(recorder.seen().empty());
}

TEST(ChangeWatcher, WatchesTheRootWhenTheVolumeIsNotReadyButTheRootCanBeWatched)
{
    REQUIRE_MEDIA_DRIVE();
    // Under Wine a drive's root can be watched only when the volume is ready, so the probe reports a
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

TEST(ChangeWatcher, ExceptionFromTheCallbackEndsTheThreadWithCode3)
{
    std::string folder = scratchFolder("watch-throw");
    Recorder recorder;
    recorder.throwing = true;
    ChangeWatcher watcher(specFor(folder, &recorder));
    watcher.start();
    ASSERT_TRUE(recorder.touchUntilReported(folder));
    EXPECT_EQ(finishedCode(watcher), ChangeWatcher::exitFailed);
    EXPECT_EQ(recorder.seen().size(), 1u);
}

TEST(ChangeWatcher, DestructionWaitsForARunningCallback)
{
    std::string folder = scratchFolder("watch-destroy-busy");
    Recorder recorder;
    recorder.blocking = true;
    auto watcher = std::make_unique<ChangeWatcher>(specFor(folder, &recorder));
    watcher->start();
    KernelHandle thread = threadOf(*watcher);
    ASSERT_TRUE(recorder.touchUntilReported(folder));
    ASSERT_EQ(WaitForSingleObject(recorder.entered.get(), reportTimeoutMs), WAIT_OBJECT_0);

    std::atomic<bool> destroyed{false};
    std::atomic<bool> callbackReturnedFirst{false};
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
