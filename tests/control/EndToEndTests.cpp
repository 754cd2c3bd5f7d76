// The control doing its whole job for real clients: a script in Wine's cscript opens a theme's
// document (found in a folder, after waiting in the File Loader dialog, or extracted from an
// archive) in the tests' viewer program; destroying the control stops a worker that still waits.
#include "ControlHarness.h"

#include "control/Identifiers.h"
#include "support/RarWriter.h"
#include "support/RegistrySupport.h"
#include "support/TestSupport.h"
#include "support/UnrarTestSupport.h"
#include "support/ViewerFixture.h"
#include "winsys/Text.h"

#include <gtest/gtest.h>

using namespace control_tests;
using namespace testing_support;

namespace {

const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes\\";

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(registration.exitCode, 0u);
        // A theme with one folder, stored as the control reads it.
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (themesKey + theme + "\\data").c_str(), 0,
                                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegSetValueExA(key, "string.paths", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
        RegCloseKey(key);
    }
    void TearDown() override
    {
        viewers.closeAll();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (themesKey + theme).c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (themesKey + theme).c_str());
    }

    // Starts cscript on a JScript that calls open and then stays alive until `until` (a script
    // expression) holds or 20 s have passed, as a page that stays open would.
    HANDLE startScript(const std::string& call, const std::string& until)
    {
        std::string path = folder + "\\page.js";
        writeFile(path, "var vog = new ActiveXObject(\"VOG.VogCtrl.1\");\n" + call +
                            "\nvar fso = new ActiveXObject(\"Scripting.FileSystemObject\");\n"
                            "var start = new Date();\n"
                            "while (new Date() - start < 20000 && !(" + until + ")) {}\n"
                            "WScript.Echo(\"end\");\n");
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::string command = "cscript.exe //nologo \"" + path + "\"";
        EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        CloseHandle(process.hThread);
        return process.hProcess;
    }
    static void finish(HANDLE script)
    {
        if (WaitForSingleObject(script, 30000) != WAIT_OBJECT_0)
            TerminateProcess(script, 1);
        CloseHandle(script);
    }
    static std::string jsString(const std::string& text)
    {
        std::string quoted = "\"";
        for (char c : text)
            quoted += (c == '\\' ? std::string("\\\\") : std::string(1, c));
        return quoted + "\"";
    }
    std::string viewerLogNonEmpty() const
    {
        return "fso.GetFolder(" + jsString(viewers.logFolder()) + ").Files.Count > 0";
    }

    ServerRegistration registration;
    ViewerFixture viewers;
    std::string theme = uniqueName("EndToEnd");
    std::string folder = scratchFolder("end-to-end");
};

}  // namespace

TEST_F(EndToEndTest, ScriptOpensADocumentFoundInTheThemesFolder)
{
    ASSERT_TRUE(writeFile(folder + "\\manual.vogdoc", "the manual"));
    HANDLE script = startScript("vog.open(\"" + theme + "\", \"manual.vogdoc\", \"\", \"\");", viewerLogNonEmpty());
    std::optional<ViewerStart> viewer = viewers.waitForStart();
    finish(script);
    ASSERT_TRUE(viewer);
    EXPECT_EQ(folder + "\\manual.vogdoc", viewer->document());
}

TEST_F(EndToEndTest, AStandardUserOpensADocumentAndAnArchiveMemberOfTheThemesFolder)
{
    ReadOnlyKeys standardUser;
    ASSERT_TRUE(standardUser.applied());
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));
    ASSERT_TRUE(writeFile(folder + "\\manual.vogdoc", "the manual"));
    ASSERT_TRUE(RarWriter(RarFormat::Rar5).file("inside.vogdoc", "packed").save(folder + "\\pack.rar"));
    HANDLE script = startScript("vog.open(\"" + theme + "\", \"manual.vogdoc\", \"\", \"\");"
                                "vog.open(\"" + theme + "\", \"pack.rar\", \"inside.vogdoc\", \"\");",
                                "fso.GetFolder(" + jsString(viewers.logFolder()) + ").Files.Count > 1");
    std::optional<ViewerStart> first = viewers.waitForStart(), second = viewers.waitForStart();
    EXPECT_EQ(nullptr, FindWindowA(nullptr, "Vog Error"));
    finish(script);
    ASSERT_TRUE(first && second) << "a document did not open";
    std::string found = first->document(), copy = second->document();
    if (copy == folder + "\\manual.vogdoc")
        std::swap(found, copy);
    EXPECT_EQ(folder + "\\manual.vogdoc", found);
    ASSERT_NE(std::string::npos, copy.find("inside.vogdoc")) << copy;
    viewers.closeAll();
    deleteTree(copy.substr(0, copy.rfind('\\')));
}

TEST_F(EndToEndTest, ScriptWaitsInTheLoaderDialogUntilTheFileArrivesThenOpensIt)
{
    HANDLE script = startScript("vog.open(" + jsString(theme) + ", \"late.vogdoc\", null, undefined);",
                                viewerLogNonEmpty());
    HWND dialog = waitForWindow("Vog File Loader", 15000);
    ASSERT_NE(nullptr, dialog) << "the File Loader dialog did not show";
    EXPECT_NE(std::string::npos, windowText(GetDlgItem(dialog, 101)).find("late.vogdoc"));
    ASSERT_TRUE(writeFile(folder + "\\late.vogdoc", "arrived"));
    std::optional<ViewerStart> viewer = viewers.waitForStart();
    finish(script);
    ASSERT_TRUE(viewer);
    EXPECT_EQ(folder + "\\late.vogdoc", viewer->document());
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(EndToEndTest, ScriptOpensAMemberOfAnArchive)
{
    PathScope library(unrarStandInFolder(UnrarStandIn::Full));  // inherited by cscript
    ASSERT_TRUE(RarWriter(RarFormat::Rar5).file("docs\\inside.vogdoc", "packed").save(folder + "\\pack.rar"));
    HANDLE script = startScript("vog.open(\"" + theme + "\", \"pack.rar\", " + jsString("docs\\inside.vogdoc") + ", \"\");",
                                viewerLogNonEmpty());
    std::optional<ViewerStart> viewer = viewers.waitForStart();
    ASSERT_TRUE(viewer);
    EXPECT_NE(std::string::npos, viewer->document().find("inside.vogdoc")) << viewer->document();
    EXPECT_TRUE(fileExists(viewer->document()));
    ViewerFixture::closeViewer(viewer->processId);
    finish(script);
    // The script ended while the viewer ran: the copy, in a folder of its own, was left to the viewer.
    std::string copy = viewer->document();
    EXPECT_TRUE(deleteTree(copy.substr(0, copy.find("\\docs\\inside.vogdoc"))));
}

TEST_F(EndToEndTest, DestroyingTheControlClosesTheDialogOfItsWorker)
{
    OleScope ole;
    VogModule vog;
    ASSERT_TRUE(vog.loaded());
    ComPtr<IDispatch> control;
    ASSERT_EQ(S_OK, vog.create(CLSID_VogCtrl, IID_IDispatch, control));
    BSTR themeText = SysAllocString(std::wstring(theme.begin(), theme.end()).c_str());
    BSTR fileText = SysAllocString(L"never-arrives.vogdoc");
    ASSERT_EQ(S_OK, invokeMethod(control.get(), 1, {bstrArgument(themeText), bstrArgument(fileText),
                                                      typedArgument(VT_NULL), typedArgument(VT_EMPTY)}));
    SysFreeString(themeText);
    SysFreeString(fileText);
    HWND dialog = waitForWindow("Vog File Loader", 10000, 0);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(S_FALSE, vog.canUnloadNow()) << "a running worker keeps the module";

    DWORD start = GetTickCount();
    control.reset();
    DWORD took = GetTickCount() - start;
    std::printf("control destroyed %lu ms after release; dialog %s\n", took, IsWindow(dialog) ? "still there" : "gone");
    EXPECT_FALSE(IsWindow(dialog) && IsWindowVisible(dialog));
    EXPECT_EQ(S_OK, vog.canUnloadNow());
}
