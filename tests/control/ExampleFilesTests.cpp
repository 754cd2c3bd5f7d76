// The files in examples/ used as their readers would: the theme's .reg file imported with Wine's
// reg.exe and read back by the control's Theme, the JScript sample opening a document of that theme
// in cscript, and the .reg file that removes the theme again.
#include "ControlHarness.h"

#include "support/RegistrySupport.h"
#include "support/TestSupport.h"
#include "support/ViewerFixture.h"
#include "theme/Theme.h"

#include <gtest/gtest.h>

#include <future>

using namespace control_tests;
using namespace testing_support;

namespace {

const char* const manualsKey = "Software\\Vog\\2000.08.04\\Themes\\Manuals";

std::string examplePath(const std::string& name)
{
    return hostPath(std::string(VOG_EXAMPLES_DIR) + "/" + name);
}

ProcessResult importRegFile(const std::string& name)
{
    return runProcess("reg.exe import \"" + examplePath(name) + "\"");
}

void deleteManualsTheme()
{
    deleteKey(HKEY_LOCAL_MACHINE, manualsKey);
}

const std::vector<std::string> manualsFolders = {"C:\\Manuals", "D:\\Manuals", "\\\\fileserver\\public\\manuals"};

class ExampleFilesTest : public ::testing::Test {
protected:
    void SetUp() override { deleteManualsTheme(); }
    void TearDown() override { deleteManualsTheme(); }
};

}  // namespace

TEST_F(ExampleFilesTest, ThemeFileRegistersThreeFoldersInOrderAndReplacesALongerListAndTheRemovalDeletesIt)
{
    ProcessResult imported = importRegFile("theme-manuals.reg");
    ASSERT_TRUE(imported.finished && imported.exitCode == 0) << imported.output;
    EXPECT_EQ(manualsFolders, Theme("Manuals").paths);

    // A list that has grown in the File Loader dialog is replaced, not merged.
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, std::string(manualsKey) + "\\data\\paths", "string.3", "E:\\More"));
    ASSERT_EQ(4u, Theme("Manuals").paths.size());
    imported = importRegFile("theme-manuals.reg");
    ASSERT_EQ(0u, imported.exitCode) << imported.output;
    EXPECT_EQ(manualsFolders, Theme("Manuals").paths);

    ProcessResult removed = importRegFile("theme-manuals-remove.reg");
    ASSERT_TRUE(removed.finished && removed.exitCode == 0) << removed.output;
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, manualsKey));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Vog\\2000.08.04\\Themes")) << "only the theme goes";
    EXPECT_TRUE(Theme("Manuals").paths.empty());
}

TEST_F(ExampleFilesTest, JScriptSampleOpensADocumentFromTheFirstFolderOfTheImportedTheme)
{
    ServerRegistration registration;
    ASSERT_EQ(0u, registration.exitCode);
    ASSERT_EQ(0u, importRegFile("theme-manuals.reg").exitCode);
    bool madeFolder = CreateDirectoryA("C:\\Manuals", nullptr) != 0;  // false: it was there already
    std::string name = uniqueName("sample") + ".vogdoc";
    std::string document = "C:\\Manuals\\" + name;
    ASSERT_TRUE(writeFile(document, "a manual"));

    std::optional<ViewerStart> viewer;
    ProcessResult script;
    {
        ViewerFixture viewers;
        std::future<ProcessResult> running = std::async(std::launch::async, [&] {
            return runProcess("cscript.exe //nologo \"" + examplePath("open-document.js") + "\" Manuals " + name);
        });
        viewer = viewers.waitForStart();
        // The sample stays, with its box, until the user is done.
        HWND box = waitForWindow("VOG example", 15000);
        EXPECT_NE(nullptr, box) << "the sample's box did not show";
        viewers.closeAll();
        if (box)
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        script = running.get();
    }
    DeleteFileA(document.c_str());
    if (madeFolder)
        RemoveDirectoryA("C:\\Manuals");

    ASSERT_TRUE(viewer);
    EXPECT_EQ(document, viewer->document());
    EXPECT_TRUE(script.finished) << script.output;
    EXPECT_NE(std::string::npos, script.output.find("Asked for " + name + " of the theme Manuals.")) << script.output;
}
