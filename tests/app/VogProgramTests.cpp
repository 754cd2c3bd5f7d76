// vog.exe and vogw.exe as programs: open waits for the viewer and gives the outcome as its exit
// code, where lists the places in order, theme add/remove write the layout the control reads, and
// links are held to their rules (refusals on standard error from vog.exe, in one box from vogw.exe).
#include "support/Process.h"
#include "support/RegistrySupport.h"
#include "support/TestSupport.h"
#include "support/ViewerFixture.h"
#include "theme/Theme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <tuple>

using namespace testing_support;

namespace {

const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes";

std::string hostPath(std::string linuxPath)
{
    std::replace(linuxPath.begin(), linuxPath.end(), '/', '\\');
    return "Z:" + linuxPath;
}

// Adds to *found whether window is a visible dialog box (window class "#32770") of another process.
BOOL CALLBACK noteOthersDialog(HWND window, LPARAM found)
{
    char className[16] = {};
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, className, sizeof className);
    bool dialog = process != GetCurrentProcessId() && IsWindowVisible(window) && !std::strcmp(className, "#32770");
    *reinterpret_cast<bool*>(found) |= dialog;
    return TRUE;
}

bool otherProcessShowsDialog()
{
    bool found = false;
    EnumWindows(noteOthersDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void expectOutcome(const ProcessResult& result, DWORD exitCode, const std::string& words)
{
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(exitCode, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(words)) << result.output;
}

class VogProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        theme = uniqueName("cli");
        ASSERT_TRUE(deleteKey(HKEY_LOCAL_MACHINE, themesKey + "\\" + theme));
        folder = scratchFolder(theme);
        ASSERT_TRUE(writeFile(folder + "\\guide.vogdoc", "the guide"));
    }
    void TearDown() override
    {
        deleteKey(HKEY_LOCAL_MACHINE, themesKey + "\\" + theme);
        deleteTree(folder);
    }

    // Registers the theme with the scratch folder as its one folder.
    void registerTheme() { ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, dataKey(), "string.paths", folder)); }
    std::string dataKey() const { return themesKey + "\\" + theme + "\\data"; }

    static ProcessResult run(const char* program, const std::string& arguments)
    {
        return runProcess("\"" + hostPath(program) + "\" " + arguments, 60000);
    }
    static ProcessResult vog(const std::string& arguments) { return run(VOG_EXE_PATH, arguments); }
    static std::future<ProcessResult> vogInBackground(const std::string& arguments)
    {
        return std::async(std::launch::async, [arguments] { return vog(arguments); });
    }

    // vog with arguments that open guide.vogdoc of the scratch folder: its viewer starts, vog waits
    // for it and ends with 0 once it is closed.
    void expectGuideOpenedAndWaitedFor(ViewerFixture& viewers, const std::string& arguments)
    {
        auto opening = vogInBackground(arguments);
        auto start = viewers.waitForStart();
        ASSERT_TRUE(start);
        EXPECT_EQ(folder + "\\guide.vogdoc", start->document());
        EXPECT_EQ(std::future_status::timeout, opening.wait_for(std::chrono::milliseconds(500)));
        ViewerFixture::closeViewer(start->processId);
        expectOutcome(opening.get(), 0, "");
    }

    std::string theme;
    std::string folder;
};

}  // namespace

TEST_F(VogProgramTest, OpenWaitsForTheViewerAndGivesTheOutcomeAsItsExitCode)
{
    registerTheme();
    ViewerFixture viewers;
    expectGuideOpenedAndWaitedFor(viewers, "open " + theme + " guide.vogdoc");

    // Not found: the File Loader dialog shows until the user closes it.
    auto missing = vogInBackground("open " + theme + " absent.vogdoc");
    HWND loader = waitForWindow("Vog File Loader", 20000);
    ASSERT_TRUE(loader);
    SendMessageA(loader, WM_COMMAND, IDCANCEL, 0);
    expectOutcome(missing.get(), 1, "vog where");

    ASSERT_TRUE(writeFile(folder + "\\tool.exe", "MZ"));
    expectOutcome(vog("open " + theme + " tool.exe"), 2, "documents only");
    // No program for the type: the shell's reason goes to standard error, and the shell shows no box
    // of its own (under Wine it would close at once, so it is looked for while vog runs).
    ASSERT_TRUE(writeFile(folder + "\\data.vognone", "data"));
    auto noProgram = vogInBackground("open " + theme + " data.vognone");
    bool boxShown = false;
    while (noProgram.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        boxShown = boxShown || otherProcessShowsDialog();
    expectOutcome(noProgram.get(), 4, "no program could open it: No ");
    EXPECT_FALSE(boxShown);
    // A help file named by its full path: the reason goes to standard error, and no box holds vog up.
    ASSERT_TRUE(writeFile(folder + "\\help.chm", "ITSF"));
    expectOutcome(vog("open " + theme + " \"" + folder + "\\help.chm\""), 2, "run script");
    // No unrar.dll beside vog.exe, in the system folders or on PATH.
    ASSERT_TRUE(writeFile(folder + "\\book.rar", "Rar!"));
    expectOutcome(vog("open " + theme + " book.rar chapter1.txt"), 3, "unrar.dll");
    expectOutcome(vog("open " + theme), 64, "Usage:");
    expectOutcome(vog("open " + theme + "\\data guide.vogdoc"), 2, "not allowed");
    EXPECT_TRUE(viewers.noStartWithin(300));
}

TEST_F(VogProgramTest, ThemeAddAndRemoveWriteTheLayoutTheControlReadsAndWhereListsThePlaces)
{
    const std::string missing = folder + "\\gone", empty = folder + "\\empty";
    ASSERT_TRUE(CreateDirectoryA(empty.c_str(), nullptr));
    expectOutcome(vog("theme add " + theme + " \"" + missing + "\""), 0, "");
    EXPECT_EQ(missing, rawValue(HKEY_LOCAL_MACHINE, dataKey(), "string.paths").data.c_str());
    for (const std::string& added : {std::string("M:\\docs"), empty, folder})
        expectOutcome(vog("theme add " + theme + " \"" + added + "\""), 0, "");
    expectOutcome(vog("theme add " + theme + " M:\\DOCS"), 0, "already has");
    EXPECT_EQ(Theme(theme).paths, (std::vector<std::string>{missing, "M:\\docs", empty, folder}));
    EXPECT_FALSE(rawValue(HKEY_LOCAL_MACHINE, dataKey(), "string.paths").found);
    EXPECT_EQ(REG_SZ, rawValue(HKEY_LOCAL_MACHINE, dataKey() + "\\paths", "string.3").type);

    ProcessResult where = vog("where " + theme + " guide.vogdoc");
    EXPECT_EQ(0u, where.exitCode) << where.output;
    EXPECT_EQ(outputLines(where.output),
              (std::vector<std::string>{"search path: no such file", missing + ": folder missing",
                                        "M:\\docs: volume not ready", empty + ": no such file", folder + ": found",
                                        folder + "\\guide.vogdoc"}));
    expectOutcome(vog("where " + theme + " absent.vogdoc"), 1, "File Loader");

    for (const std::string& removed : {std::string("M:\\Docs"), empty, missing})
        expectOutcome(vog("theme remove " + theme + " \"" + removed + "\""), 0, "");
    EXPECT_EQ(folder, rawValue(HKEY_LOCAL_MACHINE, dataKey(), "string.paths").data.c_str());
    EXPECT_EQ(std::vector<std::string>{}, subkeysOf(HKEY_LOCAL_MACHINE, dataKey()));
    expectOutcome(vog("theme remove " + theme + " C:\\Other"), 1, "has no folder");
    expectOutcome(vog("theme add " + theme + " relative\\folder"), 64, "not a full path");
    expectOutcome(vog("theme add " + theme + "\\subs C:\\x"), 2, "not allowed");

    // A nested theme outlives the deletion of the theme above it.
    expectOutcome(vog("theme add " + theme + "\\2024 C:\\Nested"), 0, "");
    expectOutcome(vog("theme show " + theme), 0, folder);
    ProcessResult list = vog("theme list");
    EXPECT_NE(std::string::npos, list.output.find(theme + "\\2024\r\n")) << list.output;
    expectOutcome(vog("theme delete " + theme), 0, "");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, dataKey()));
    EXPECT_EQ(std::vector<std::string>{"C:\\Nested"}, Theme(theme + "\\2024").paths);
    expectOutcome(vog("theme show " + theme), 1, "no folders");

    // A theme that an older 32-bit installation registered in the 32-bit view only is found; its
    // first save writes it to the 64-bit view, and a deletion takes it from both.
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, dataKey(), "string.paths", folder, REG_SZ, KEY_WOW64_32KEY));
    ProcessResult legacy = vog("where " + theme + " guide.vogdoc");
    EXPECT_EQ(0u, legacy.exitCode) << legacy.output;
    EXPECT_EQ(folder + "\\guide.vogdoc", outputLines(legacy.output).back());
    expectOutcome(vog("theme add " + theme + " C:\\Later"), 0, "");
    EXPECT_EQ(std::string("C:\\Later"), rawValue(HKEY_LOCAL_MACHINE, dataKey() + "\\paths", "string.1").data.c_str());
    expectOutcome(vog("theme delete " + theme), 0, "");
    expectOutcome(vog("theme show " + theme), 1, "no folders");
}

TEST_F(VogProgramTest, AStandardUserFindsAndOpensButChangesOnlyTheirOwnFolders)
{
    registerTheme();
    ReadOnlyKeys standardUser;
    expectOutcome(vog("where " + theme + " guide.vogdoc"), 0, folder + ": found\r\n" + folder + "\\guide.vogdoc");
    ViewerFixture viewers;
    expectGuideOpenedAndWaitedFor(viewers, "open " + theme + " guide.vogdoc");
    expectOutcome(vog("theme add " + theme + " D:\\Mine"), 2, "vog theme add --user");
    expectOutcome(vog("theme add --user " + theme + " D:\\Mine"), 0, "");
    ProcessResult show = vog("theme show " + theme);
    deleteKey(HKEY_CURRENT_USER, themesKey + "\\" + theme);
    EXPECT_EQ(outputLines(show.output), (std::vector<std::string>{folder, "D:\\Mine  (your own folder)"}));
    EXPECT_EQ(std::vector<std::string>{folder}, Theme(theme).paths);
}

TEST_F(VogProgramTest, LinksOpenOnlyFromTheFoldersOfARegisteredThemeAndHostileOnesOpenNothing)
{
    registerTheme();
    ViewerFixture viewers;
    expectGuideOpenedAndWaitedFor(viewers, "\"vog://open/?theme=" + theme + "&file=guide.vogdoc\"");

    // On the search path, where open finds it, but in none of the theme's folders.
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string onPath = theme + ".vogdoc";
    ASSERT_TRUE(writeFile(std::string(windows) + "\\" + onPath, "on the search path"));
    const std::string link = "\"vog:open?theme=" + theme + "&file=";
    expectOutcome(vog(link + onPath + "\""), 1, "in none of the folders");
    DeleteFileA((std::string(windows) + "\\" + onPath).c_str());
    ASSERT_TRUE(writeFile(folder + "\\tool.exe", "MZ"));
    expectOutcome(vog(link + "tool.exe\""), 2, "documents only");
    expectOutcome(vog(link + "..%5Cguide.vogdoc\""), 2, "part");
    expectOutcome(vog(link + "%E4%B8%AD.vogdoc\""), 2, "code page");
    expectOutcome(vog(link + "guide.vogdoc\" theme delete " + theme), 2, "several arguments");
    expectOutcome(vog("\"vog:open?theme=" + theme + "x&file=guide.vogdoc\""), 2, "not registered");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, themesKey + "\\" + theme + "x"));
    EXPECT_EQ(std::vector<std::string>{folder}, Theme(theme).paths);
    EXPECT_TRUE(viewers.noStartWithin(300));
}

TEST_F(VogProgramTest, ARefusedOrUnopenableLinkShowsOneBoxTitledVogAndOpensNothing)
{
    registerTheme();
    ASSERT_TRUE(writeFile(folder + "\\data.vognone", "data"));
    ViewerFixture viewers;
    // For a type without a program the shell's reason is shown in the same box.
    const std::tuple<std::string, DWORD, std::string> links[] = {
        {"C:%5Cguide.vogdoc", 2, "did not open the link"}, {"data.vognone", 4, "no program could open it"}};
    for (const auto& [file, exitCode, words] : links) {
        auto handling = std::async(std::launch::async, [this, file = file] {
            return run(VOGW_EXE_PATH, "--link \"vog:open?theme=" + theme + "&file=" + file + "\"");
        });
        HWND box = waitForWindow("Vog", 20000);
        ASSERT_TRUE(box) << file;
        EXPECT_NE(std::string::npos, windowText(GetDlgItem(box, 0xFFFF)).find(words));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        ASSERT_EQ(std::future_status::ready, handling.wait_for(std::chrono::seconds(20)));
        expectOutcome(handling.get(), exitCode, words);
        EXPECT_FALSE(waitForWindow("Vog", 0));
    }
    EXPECT_TRUE(viewers.noStartWithin(300));
}
