// The control under load: many requests on one control, controls created and destroyed again and
// again while their workers wait in the dialog or for a viewer, and a control destroyed while its
// workers are in long extractions. Every worker ends, nothing crashes, no thread or handle is left
// behind, and the module may unload afterwards.
#include "ControlHarness.h"

#include "control/Identifiers.h"
#include "request/RarExtractor.h"
#include "support/LeakCheck.h"
#include "support/RarWriter.h"
#include "support/TestSupport.h"
#include "support/UnrarTestSupport.h"
#include "support/ViewerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace control_tests;
using namespace testing_support;

namespace {

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vog.loaded());
        ASSERT_TRUE(writeFile(program, "MZ"));
        ASSERT_TRUE(writeFile(document, "a document"));
        // One request of each kind first, so that what the platform sets up once (COM, the shell,
        // the window class) is in place before the counts are taken.
        ComPtr<IDispatch> warm = newControl();
        open(warm.get(), "missing.vogdoc");
        open(warm.get(), program);
        waitForWindow("Vog File Loader", 10000, 0);
        warm.reset();
        waitUntil([this] { return vog.canUnloadNow() == S_OK; }, 10000);  // its workers have ended
        before = processCounts();
    }

    ComPtr<IDispatch> newControl()
    {
        ComPtr<IDispatch> control;
        EXPECT_EQ(S_OK, vog.create(CLSID_VogCtrl, IID_IDispatch, control));
        return control;
    }

    void open(IDispatch* control, const std::string& file, const std::string& member = "")
    {
        Bstr theme(themeName.c_str());
        std::wstring wideFile(file.begin(), file.end()), wideMember(member.begin(), member.end());
        Bstr fileText(wideFile.c_str()), memberText(wideMember.c_str());
        EXPECT_EQ(S_OK, invokeMethod(control, dispidOpen, {bstrArgument(theme.get()), bstrArgument(fileText.get()),
                                                            member.empty() ? typedArgument(VT_NULL)
                                                                           : bstrArgument(memberText.get()),
                                                            typedArgument(VT_EMPTY)}));
    }

    // A worker that has not ended within the control's grace period ends by itself soon after.
    void expectNothingLeft()
    {
        EXPECT_TRUE(waitUntil([] { return loaderDialogCount() == 0; }, 10000)) << loaderDialogCount();
        EXPECT_TRUE(waitUntil([this] { return vog.canUnloadNow() == S_OK; }, 10000)) << "a worker holds the module";
        EXPECT_TRUE(countsSettle(before, 0, 16)) << countsText(processCounts(), before);
    }

    OleScope ole;
    VogModule vog;
    std::string folder = scratchFolder("load");
    std::string program = folder + "\\tool.exe";       // found and refused: the worker ends at once
    std::string document = folder + "\\doc.vogdoc";    // found and opened in the test viewer
    std::wstring themeName = L"LoadTheme";             // never saved: no folder is ever added
    ProcessCounts before;
};

// The request workers of this process: the threads of the hidden "Vog" windows.
BOOL CALLBACK collectWorker(HWND window, LPARAM threads)
{
    char className[8] = {};
    GetClassNameA(window, className, sizeof className);
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId() && std::string(className) == "Vog")
        reinterpret_cast<std::vector<KernelHandle>*>(threads)->emplace_back(
            OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, threadId));
    return TRUE;
}

std::vector<KernelHandle> workerThreads()
{
    std::vector<KernelHandle> threads;
    EnumWindows(collectWorker, reinterpret_cast<LPARAM>(&threads));
    return threads;
}

}  // namespace

TEST_F(LoadTest, ControlWhoseWorkersAreInLongExtractionsGoesWithinTheDeadlineAndNothingOpens)
{
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    ViewerFixture viewers;
    RarWriter writer(RarFormat::Rar5);
    std::vector<std::string> members;
    for (int i = 0; i < 5; ++i) {
        members.push_back(uniqueName("member") + ".vogdoc");
        writer.file(members.back(), std::string(300, 'm'));
    }
    std::string archive = folder + "\\long.rar";
    ASSERT_TRUE(writer.save(archive));
    std::string cache = RarExtractor::internetCacheFolder();
    auto extracting = [&](bool all) {
        return std::all_of(members.begin(), members.end(),
                           [&](const std::string& member) { return findFileBelow(cache, member).empty() != all; });
    };

    // The extraction listens for the stop, then it does not: three seconds a member.
    for (bool deaf : {false, true}) {
        const char* mode = deaf ? "deaf to the stop" : "listening";
        SlowExtractionScope slow(10, deaf);
        ComPtr<IDispatch> control = newControl();
        for (const std::string& member : members)
            open(control.get(), archive, member);
        ASSERT_TRUE(waitUntil([&] { return extracting(true); }, 20000, 10)) << mode;
        std::vector<KernelHandle> workers = workerThreads();
        ASSERT_EQ(members.size(), workers.size()) << mode;

        DWORD start = GetTickCount();
        control.reset();
        DWORD took = GetTickCount() - start;
        // The grace period and slack for a busy machine, but less than the grace period once per worker.
        EXPECT_LT(took, 400u) << mode;
        if (deaf) {
            EXPECT_EQ(S_FALSE, vog.canUnloadNow()) << "let-go workers keep the module";
            EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(workers[0].get(), 0)) << "let go, not ended";
        }
        for (const KernelHandle& worker : workers) {
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.get(), 10000)) << mode;
            DWORD code = 99;
            GetExitCodeThread(worker.get(), &code);
            EXPECT_EQ(2u, code) << mode << ": a worker was not stopped but terminated or ran to its end";
        }
        EXPECT_TRUE(extracting(false)) << mode << ": a copy stayed";
    }
    EXPECT_TRUE(viewers.noStartWithin(300));
    expectNothingLeft();
}

// Each control at its limit of 16 running requests; none waits for its workers one by one.
TEST_F(LoadTest, TwoHundredConcurrentOpensOnControlsAtTheirLimitThenTheirDestructionEndsEveryWorker)
{
    std::vector<ComPtr<IDispatch>> controls;
    for (int i = 0; i < 200; ++i) {
        if (i % 16 == 0)
            controls.push_back(newControl());
        open(controls.back().get(), i % 2 ? program : "missing-" + std::to_string(i) + ".vogdoc");
    }
    EXPECT_TRUE(waitUntil([] { return loaderDialogCount() == 100; }, 60000, 50))
        << loaderDialogCount() << " of 100 dialogs shown";
    DWORD slowest = 0;
    for (ComPtr<IDispatch>& control : controls) {
        DWORD start = GetTickCount();
        control.reset();
        slowest = std::max(slowest, GetTickCount() - start);
    }
    EXPECT_LT(slowest, 1000u) << "a control waited for its workers one by one";
    expectNothingLeft();
}

// One request after another, each ended before the next: the records of ended workers go, so a
// control that lives on is never at its limit and keeps no thread or handle of theirs.
TEST_F(LoadTest, AThousandRequestsOneAfterAnotherOnOneControlLeaveNoThreadOrHandleBehind)
{
    ComPtr<IDispatch> control = newControl();
    for (int i = 0; i < 1000; ++i) {
        open(control.get(), program);
        ASSERT_TRUE(waitUntil([this] { return processCounts().threads <= before.threads; }, 10000, 1)) << i;
    }
    EXPECT_TRUE(countsSettle(before, 0, 16)) << countsText(processCounts(), before);
}

TEST_F(LoadTest, FiveHundredControlsDestroyedWhileTheirWorkersShowTheDialogOrWaitForAViewer)
{
    ViewerFixture viewers;
    int viewerCycles = 0;
    for (int cycle = 0; cycle < 500; ++cycle) {
        ComPtr<IDispatch> control = newControl();
        open(control.get(), "missing.vogdoc");
        if (cycle % 25 == 0) {
            open(control.get(), document);
            ASSERT_TRUE(viewers.waitForStart()) << "cycle " << cycle;
            ++viewerCycles;
        }
        // Mostly once the dialog shows; every fifth control goes while its worker is still
        // starting up.
        if (cycle % 5 != 0) {
            ASSERT_TRUE(waitUntil([] { return loaderDialogCount() == 1; }, 10000, 1)) << "cycle " << cycle;
        }
        control.reset();
        ASSERT_EQ(0, loaderDialogCount()) << "cycle " << cycle;
    }
    EXPECT_EQ(20, viewerCycles);
    EXPECT_EQ(20u, viewers.starts().size()) << "each viewer started once, and stays after its control went";
    EXPECT_TRUE(viewers.closeAll());
    expectNothingLeft();
}
