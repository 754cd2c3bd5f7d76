// The control under load: many requests on one control, and controls created and destroyed again
// and again while their workers wait in the dialog or for a viewer. Every worker ends, nothing
// crashes, no thread or handle is left behind, and the module may unload afterwards.
#include "ControlHarness.h"

#include "control/Identifiers.h"
#include "support/LeakCheck.h"
#include "support/TestSupport.h"
#include "support/ViewerFixture.h"

#include <gtest/gtest.h>

#include <string>

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
        before = processCounts();
    }

    ComPtr<IDispatch> newControl()
    {
        ComPtr<IDispatch> control;
        EXPECT_EQ(S_OK, vog.create(CLSID_VogCtrl, IID_IDispatch, control));
        return control;
    }

    void open(IDispatch* control, const std::string& file)
    {
        Bstr theme(themeName.c_str());
        std::wstring wideFile(file.begin(), file.end());
        Bstr fileText(wideFile.c_str());
        EXPECT_EQ(S_OK, invokeMethod(control, dispidOpen, {bstrArgument(theme.get()), bstrArgument(fileText.get()),
                                                            typedArgument(VT_NULL), typedArgument(VT_EMPTY)}));
    }

    void expectNothingLeft()
    {
        EXPECT_EQ(0, loaderDialogCount());
        EXPECT_EQ(S_OK, vog.canUnloadNow()) << "a worker still holds the module";
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

}  // namespace

TEST_F(LoadTest, TwoHundredConcurrentOpensOnOneControlThenItsDestructionEndEveryWorker)
{
    ComPtr<IDispatch> control = newControl();
    for (int i = 0; i < 200; ++i)
        open(control.get(), i % 2 ? program : "missing-" + std::to_string(i) + ".vogdoc");
    EXPECT_TRUE(waitUntil([] { return loaderDialogCount() == 100; }, 60000, 50))
        << loaderDialogCount() << " of 100 dialogs shown";
    control.reset();
    expectNothingLeft();
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
