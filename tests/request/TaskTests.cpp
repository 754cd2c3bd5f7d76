// A request carried out on its worker thread: locating, opening by kind with a real viewer program,
// extraction from an archive, errors dropped, and stopping a worker that is still busy or letting it go.
#include "request/Task.h"

#include "request/RarExtractor.h"
#include "resources/resource.h"
#include "support/RarWriter.h"
#include "support/TestSupport.h"
#include "support/UnrarTestSupport.h"
#include "support/ViewerFixture.h"
#include "winsys/Handle.h"
#include "winsys/Module.h"
#include "winsys/Text.h"
#include "winsys/Window.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::string folderOf(const std::string& copy)
{
    return copy.substr(0, copy.find_last_of('\\'));
}

class TaskTest : public ::testing::Test {
protected:
    // Starts a request for file (a full path is found at once) in a theme nobody saved.
    std::unique_ptr<TaskThread> start(const std::string& file, const std::string& intFile = "")
    {
        auto record = std::make_unique<TaskThread>();
        record->startTask(Request{file, intFile, uniqueName("TaskTest"), "info"}, testInstance());
        EXPECT_NE(nullptr, record->handle);
        return record;
    }
    static bool ended(TaskThread& record, DWORD ms = 15000) { return record.waitFor(ms); }
    // Asks the worker to stop; it must end within a second, with exit code 2.
    static ::testing::AssertionResult stopsWithCodeTwo(TaskThread& record)
    {
        record.requestStop();
        if (!record.waitFor(1000))
            return ::testing::AssertionFailure() << "still running a second after the stop";
        DWORD code = record.exitCode().value_or(99);
        return code == 2 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "exit code " << code;
    }

    ViewerFixture viewers;
    std::string folder = scratchFolder("task");
};

}  // namespace

TEST_F(TaskTest, FoundDocumentOpensInItsViewerAndTheWorkerEndsAfterTheViewer)
{
    std::string document = folder + "\\report.vogdoc";
    ASSERT_TRUE(writeFile(document, "report"));
    long locksBefore = moduleLockCount();
    auto record = start(document);
    std::optional<ViewerStart> viewer = viewers.waitForStart();
    ASSERT_TRUE(viewer);
    EXPECT_EQ(document, viewer->document());
    EXPECT_FALSE(ended(*record, 300)) << "the worker waits for the viewer";
    EXPECT_EQ(locksBefore + 1, moduleLockCount()) << "a running worker keeps the module";

    ASSERT_TRUE(ViewerFixture::closeViewer(viewer->processId));
    ASSERT_TRUE(ended(*record));
    EXPECT_EQ(0u, record->exitCode().value_or(99));
    EXPECT_FALSE(record->holdsTask()) << "the worker released its task";
    EXPECT_NE(nullptr, record->handle) << "the handle stays open until the record goes";
    EXPECT_EQ(locksBefore, moduleLockCount());
}

TEST_F(TaskTest, LargeTextGoesToWordpadWithTheBareNameAndItsFolder)
{
    std::string document = folder + "\\Big.TXT";
    ASSERT_TRUE(writeFile(document, std::string(24000, 'x')));
    auto record = start(document);
    std::optional<ViewerStart> viewer = viewers.waitForStart();
    ASSERT_TRUE(viewer);
    EXPECT_EQ("Big.TXT", viewer->document());
    EXPECT_TRUE(equalsIgnoringCase(folder, viewer->workingDirectory)) << viewer->workingDirectory;
    ViewerFixture::closeViewer(viewer->processId);
    ASSERT_TRUE(ended(*record));
}

TEST_F(TaskTest, ArchiveMemberIsExtractedOpenedAndDeletedAfterTheViewer)
{
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    HandOffWindowForTests viewerRanLongEnough(0);
    std::string archive = folder + "\\bundle.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar4).file("notes.vogdoc", "inside").file("other.vogdoc", "x").save(archive));
    auto record = start(archive, "Notes.vogdoc");
    std::optional<ViewerStart> viewer = viewers.waitForStart();
    ASSERT_TRUE(viewer);
    std::string extracted = viewer->document();
    EXPECT_EQ(RarExtractor::internetCacheFolder().substr(0, 8), extracted.substr(0, 8));
    EXPECT_NE(std::string::npos, extracted.find("Notes.vogdoc")) << extracted;
    EXPECT_TRUE(fileExists(extracted)) << "the copy exists while the viewer runs";
    ViewerFixture::closeViewer(viewer->processId);
    ASSERT_TRUE(ended(*record));
    EXPECT_EQ(0u, record->exitCode().value_or(99));
    EXPECT_FALSE(fileExists(extracted)) << "the copy is deleted after the viewer closed";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folderOf(extracted).c_str())) << "and its folder";
}

TEST_F(TaskTest, TwoRequestsForTheSameMemberOpenCopiesOfTheirOwn)
{
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    HandOffWindowForTests viewersRanLongEnough(0);
    std::string archive = folder + "\\bundle.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar5).file("notes.vogdoc", "inside").save(archive));
    auto first = start(archive, "notes.vogdoc");
    auto second = start(archive, "notes.vogdoc");
    std::optional<ViewerStart> one = viewers.waitForStart(), other = viewers.waitForStart();
    ASSERT_TRUE(one && other);
    EXPECT_NE(one->document(), other->document());

    ViewerFixture::closeViewer(one->processId);
    EXPECT_TRUE(waitUntil([&] { return !fileExists(one->document()); }, 15000));
    EXPECT_EQ("inside", other->read);
    EXPECT_TRUE(fileExists(other->document())) << "the other request's copy stays while its viewer runs";
    ViewerFixture::closeViewer(other->processId);
    ASSERT_TRUE(ended(*first) && ended(*second));
    EXPECT_FALSE(fileExists(other->document()));
}

// A launcher that passes the document to its program's running instance ends at once; that
// instance reads the copy later.
TEST_F(TaskTest, ACopyHandedOnByAViewerThatEndsAtOnceStaysForTheProgramItWentTo)
{
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    std::string archive = folder + "\\bundle.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar4).file("notes.vogdoc", "handed on").save(archive));
    viewers.handOffDocuments();
    auto record = start(archive, "notes.vogdoc");
    std::optional<ViewerStart> launcher = viewers.waitForStart();
    ASSERT_TRUE(launcher);
    ASSERT_TRUE(ended(*record)) << "the worker does not wait for the instance it was handed to";

    std::optional<ViewerStart> instance = viewers.waitForStart();
    ASSERT_TRUE(instance);
    EXPECT_EQ(launcher->document(), instance->document());
    EXPECT_EQ("handed on", instance->read);
    ViewerFixture::closeViewer(instance->processId);
    EXPECT_TRUE(deleteTree(folderOf(instance->document())));
}

TEST_F(TaskTest, MemberIsIgnoredForAnArchiveWithoutOneOrAFileThatIsNoRar)
{
    std::string archive = folder + "\\plain.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar5).file("a.vogdoc", "a").save(archive));
    std::string zip = folder + "\\pack.zip";
    ASSERT_TRUE(writeFile(zip, "PK\x05\x06" + std::string(18, '\0')));
    for (auto request : {std::make_pair(archive, std::string()), std::make_pair(zip, std::string("a.vogdoc"))}) {
        auto record = start(request.first, request.second);
        std::optional<ViewerStart> viewer = viewers.waitForStart();
        ASSERT_TRUE(viewer) << request.first;
        EXPECT_EQ(request.first, viewer->document());
        ViewerFixture::closeViewer(viewer->processId);
        ASSERT_TRUE(ended(*record));
    }
}

TEST_F(TaskTest, MissingMemberOpensNothingAndEndsNormally)
{
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    std::string archive = folder + "\\bundle.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar4).file("a.vogdoc", "a").save(archive));
    auto record = start(archive, "absent.vogdoc");
    ASSERT_TRUE(ended(*record));
    EXPECT_EQ(0u, record->exitCode().value_or(99));
    EXPECT_TRUE(viewers.noStartWithin(200));
}

TEST_F(TaskTest, AnErrorInsideTheRunIsDroppedWithExitCodeThree)
{
    // No extraction library anywhere on the search: the extractor raises "unrar.dll".
    std::string archive = folder + "\\bundle.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar4).file("a.vogdoc", "a").save(archive));
    auto record = start(archive, "a.vogdoc");
    ASSERT_TRUE(ended(*record));
    EXPECT_EQ(3u, record->exitCode().value_or(99));
    EXPECT_FALSE(record->holdsTask());
    EXPECT_TRUE(viewers.noStartWithin(200));
}

TEST_F(TaskTest, ProgramsNamedByARequestAreNeverStarted)
{
    for (const char* name : {"setup.exe", "run.bat", "page.hta", "script.js", "link.lnk"}) {
        std::string path = folder + "\\" + name;
        ASSERT_TRUE(writeFile(path, "MZ"));
        auto record = start(path);
        ASSERT_TRUE(ended(*record)) << name;
    }
    EXPECT_TRUE(viewers.noStartWithin(300));
    EXPECT_TRUE(childProcessIds().empty());
}

TEST_F(TaskTest, TheShellsOwnBoxForADocumentWithoutAProgramWaitsForTheUsersAnswer)
{
    // The open step runs with the worker's quit already posted; the box must not take it as its end.
    std::string document = folder + "\\data.vognone";
    ASSERT_TRUE(writeFile(document, "data"));
    auto record = start(document);
    HWND box = waitForDialogOf(record->id, 15000);
    ASSERT_NE(nullptr, box) << "no box, or one that closed by itself at once";
    EXPECT_FALSE(ended(*record, 500)) << "the box closed without an answer";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(ended(*record));
    EXPECT_TRUE(viewers.noStartWithin(200));
}

TEST_F(TaskTest, StoppingAWorkerThatWaitsForItsViewerLeavesTheViewerRunning)
{
    std::string document = folder + "\\long.vogdoc";
    ASSERT_TRUE(writeFile(document, "read for long"));
    auto record = start(document);
    std::optional<ViewerStart> viewer = viewers.waitForStart();
    ASSERT_TRUE(viewer);
    EXPECT_TRUE(stopsWithCodeTwo(*record));
    EXPECT_TRUE(ViewerFixture::isRunning(viewer->processId)) << "the viewer keeps running";
    ViewerFixture::closeViewer(viewer->processId);
}

TEST_F(TaskTest, StoppingAWorkerThatShowsTheLoaderDialogClosesItAndTheFolderBrowserOpenedFromIt)
{
    auto record = start("nowhere-to-be-found.vogdoc");
    HWND dialog = waitForWindow("Vog File Loader", 10000, record->id);
    ASSERT_NE(nullptr, dialog);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_LOADER_ADD, BN_CLICKED), 0);
    ASSERT_NE(nullptr, waitForWindow("Browse for Folder", 10000, record->id));
    // The worker is inside the browser's modal loop: it ends only when the browser has closed.
    EXPECT_TRUE(stopsWithCodeTwo(*record));
}

TEST_F(TaskTest, AWorkerInACallThatIgnoresTheStopIsLetGoAndReleasesItsTaskItselfWhenTheCallReturns)
{
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    SlowExtractionScope slow(10, true);  // 300 bytes: three seconds, deaf to the stop
    std::string member = uniqueName("slow") + ".vogdoc";
    std::string archive = folder + "\\slow.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar4).file(member, std::string(300, 's')).save(archive));
    size_t windowsBefore = boundWindowCount();
    long locksBefore = moduleLockCount();
    auto record = start(archive, member);
    KernelHandle worker(OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, record->id));
    std::string copy;
    ASSERT_TRUE(waitUntil([&] { return !(copy = findFileBelow(RarExtractor::internetCacheFolder(), member)).empty(); },
                          10000));

    record.reset();  // does not wait
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(worker.get(), 0)) << "let go, not ended";
    EXPECT_EQ(windowsBefore + 1, boundWindowCount()) << "its task was released under it";
    EXPECT_EQ(locksBefore + 1, moduleLockCount()) << "a let-go worker keeps the module";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.get(), 10000));
    DWORD code = 99;
    GetExitCodeThread(worker.get(), &code);
    EXPECT_EQ(2u, code);
    EXPECT_EQ(windowsBefore, boundWindowCount()) << "the worker did not release its task";
    EXPECT_EQ(locksBefore, moduleLockCount());
    EXPECT_FALSE(fileExists(copy)) << "a stopped worker keeps no copy";
    EXPECT_TRUE(viewers.noStartWithin(200)) << "a stopped worker opens nothing";
}

TEST_F(TaskTest, FinishedRecordKeepsNoTaskAndGoesQuietly)
{
    std::string archive = folder + "\\empty.rar";
    ASSERT_TRUE(RarWriter(RarFormat::Rar4).save(archive));
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    auto record = start(archive, "nothing.vogdoc");
    ASSERT_TRUE(ended(*record));
    EXPECT_EQ(0u, record->exitCode().value_or(99));
    EXPECT_FALSE(record->holdsTask());
    record.reset();  // releases nothing a second time, closes the handle
}
