// Opening documents for real under Wine: which program the shell starts, with what command line and
// working folder, how long openDocument waits, and that programs and scripts are never started.
#include "request/ShellExecution.h"

#include "support/TestSupport.h"
#include "support/ViewerFixture.h"
#include "winsys/Handle.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

using namespace testing_support;

namespace {

// openDocument on a thread of its own. On the way out it ends whatever still keeps the call
// waiting (viewers, the shell's message boxes), so that a failed test cannot hang.
class Opening {
public:
    Opening(ViewerFixture& viewers, const std::string& path, HANDLE stop = nullptr,
            std::function<void()> before = {}, std::function<void()> after = {}, Origin origin = Origin::Elsewhere)
        : viewers(viewers),
          worker([=] {
              threadId = GetCurrentThreadId();
              if (before)
                  before();
              outcome = openDocument(path, stop, origin);
              if (after)
                  after();
              finished = true;
          })
    {
        waitUntil([&] { return threadId.load() != 0; }, 5000);
    }

    ~Opening()
    {
        waitUntil([&] {
            if (finished)
                return true;
            viewers.closeAll(0);
            EnumThreadWindows(threadId, postClose, 0);
            return false;
        }, 20000, 50);
        worker.join();
    }

    bool waitFinished(DWORD timeoutMs) const
    {
        return waitUntil([&] { return finished.load(); }, timeoutMs);
    }

    static BOOL CALLBACK postClose(HWND window, LPARAM)
    {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }

    ViewerFixture& viewers;
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> finished{false};
    std::atomic<OpenOutcome> outcome{OpenOutcome::Refused};
    std::thread worker;
};

std::atomic<int> postedSeenDuringWait{0};

// Answers WM_APP with 42 and counts WM_APP + 1.
LRESULT CALLBACK answeringWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        return 42;
    if (message == WM_APP + 1)
        ++postedSeenDuringWait;
    return DefWindowProcA(window, message, wParam, lParam);
}

class OpenDocumentTest : public ::testing::Test {
protected:
    ~OpenDocumentTest() override { deleteTree(folder); }

    std::string file(const std::string& name, size_t size = 100)
    {
        std::string content;
        for (size_t line = 0; content.size() < size; ++line)
            content += "Line " + std::to_string(line + 1) + " of " + name + "\r\n";
        content.resize(size);
        std::string path = folder + "\\" + name;
        EXPECT_TRUE(writeFile(path, content)) << path;
        return path;
    }

    // Opens path, waits for the viewer it starts, closes that viewer and expects the call to end.
    ViewerStart openAndClose(const std::string& path, Origin origin = Origin::Elsewhere)
    {
        Opening opening(viewers, path, nullptr, {}, {}, origin);
        std::optional<ViewerStart> start = viewers.waitForStart();
        EXPECT_TRUE(start) << "no viewer started for " << path;
        if (!start)
            return {};
        EXPECT_TRUE(ViewerFixture::closeViewer(start->processId));
        EXPECT_TRUE(opening.waitFinished(15000)) << path;
        EXPECT_EQ(OpenOutcome::Finished, opening.outcome.load()) << path;
        return *start;
    }

    ViewerFixture viewers;
    std::string folder = scratchFolder(uniqueName("open"));
};

}  // namespace

TEST_F(OpenDocumentTest, ADocumentStartsItsViewerAndTheCallReturnsOnlyAfterTheViewerClosed)
{
    std::string path = file("report.vogdoc");
    Opening opening(viewers, path);
    std::optional<ViewerStart> start = viewers.waitForStart();
    ASSERT_TRUE(start);
    EXPECT_EQ(std::vector<std::string>{path}, start->arguments);
    HWND window = ViewerFixture::viewerWindow(start->processId);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("Vog Viewer - report.vogdoc", windowText(window));

    EXPECT_FALSE(opening.waitFinished(300)) << "returned while the viewer still runs";
    PostMessageA(window, WM_CLOSE, 0, 0);  // the user closes the viewer
    EXPECT_TRUE(opening.waitFinished(15000));
    EXPECT_EQ(OpenOutcome::Finished, opening.outcome.load());
    EXPECT_FALSE(ViewerFixture::isRunning(start->processId));
}

TEST_F(OpenDocumentTest, TextFilesOf24000BytesAndMoreGoToWordpadWithTheBareNameInTheirFolder)
{
    // The default program gets the full path; "wordpad" the bare name, in the file's folder.
    std::string small = file("report.txt", 23999);
    EXPECT_EQ(std::vector<std::string>{small}, openAndClose(small).arguments);
    std::string smallMixedCase = file("Notes.Txt", 23999);
    EXPECT_EQ(std::vector<std::string>{smallMixedCase}, openAndClose(smallMixedCase).arguments);

    // WordPad goes by its full path: programs planted beside the text under its name never run.
    ASSERT_TRUE(CopyFileA(ViewerFixture::viewerPath().c_str(), (folder + "\\wordpad.exe").c_str(), FALSE));
    ASSERT_TRUE(writeFile(folder + "\\wordpad.bat", "echo planted> planted.log\r\n"));
    ViewerStart large = openAndClose(file("report2.txt", 24000));
    EXPECT_EQ(std::vector<std::string>{"report2.txt"}, large.arguments);
    EXPECT_EQ(folder, large.workingDirectory);
    EXPECT_NE(std::string::npos, large.commandLine.find(" report2.txt")) << large.commandLine;
    EXPECT_EQ(std::string::npos, large.commandLine.find(folder + "\\wordpad")) << large.commandLine;
    EXPECT_FALSE(fileExists(folder + "\\planted.log"));

    ViewerStart upper = openAndClose(file("LARGE.TXT", 30000));
    EXPECT_EQ(std::vector<std::string>{"LARGE.TXT"}, upper.arguments);
    EXPECT_EQ(folder, upper.workingDirectory);

    // A name with a blank still arrives as one argument.
    ViewerStart blank = openAndClose(file("big report.Txt", 24000));
    EXPECT_EQ(std::vector<std::string>{"big report.Txt"}, blank.arguments);
    EXPECT_EQ(folder, blank.workingDirectory);
}

TEST_F(OpenDocumentTest, AFailedWordpadStartIsNotRetriedWithTheDefaultProgram)
{
    std::string broken = file("wordpad.exe", 100);  // there, but no program
    for (const char* program : {"wordpad", "wordpad.exe"}) {
        std::string key = std::string("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + program;
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_LOCAL_MACHINE, key.c_str(), REG_SZ, broken.c_str(), 0));
    }
    Opening opening(viewers, file("report.txt", 24000));
    HWND box = waitForDialogOf(opening.threadId, 15000);
    ASSERT_NE(nullptr, box) << "the shell did not report the missing program";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(opening.waitFinished(15000));
    EXPECT_EQ(OpenOutcome::Finished, opening.outcome.load());
    EXPECT_TRUE(viewers.noStartWithin(500)) << "the text went to its default program after all";
}

TEST_F(OpenDocumentTest, WhereWordpadCannotBeStartedALargeTextGoesToItsDefaultProgram)
{
    // As on current Windows 11: no App Paths entry (or one whose program is gone), no wordpad.exe
    // on the path.
    std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, (key + "wordpad.exe").c_str()));
    std::string gone = folder + "\\gone\\wordpad.exe";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_LOCAL_MACHINE, (key + "wordpad").c_str(), REG_SZ, gone.c_str(), 0));
    // Wine, like Windows 10, has a WordPad in the Accessories folder below Program Files.
    char programFiles[MAX_PATH] = {};
    GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH);
    SetEnvironmentVariableA("ProgramFiles", (folder + "\\gone").c_str());
    std::string large = file("report.txt", 24000);
    std::vector<std::string> arguments = openAndClose(large).arguments;
    SetEnvironmentVariableA("ProgramFiles", programFiles);
    EXPECT_EQ(std::vector<std::string>{large}, arguments);
}

TEST_F(OpenDocumentTest, ALargeTextInADriveRootRunsWordpadInTheRootItself)
{
    std::string name = uniqueName("vog-root") + ".txt";
    std::string path = "C:\\" + name;
    ASSERT_TRUE(writeFile(path, std::string(24000, 'x')));
    // With the current folder elsewhere on C:, a bare "C:" would mean that folder, not the root.
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    ViewerStart start = openAndClose(path);
    SetCurrentDirectoryA(previous);
    DeleteFileA(path.c_str());
    EXPECT_EQ(std::vector<std::string>{name}, start.arguments);
    EXPECT_EQ("C:\\", start.workingDirectory);
}

TEST_F(OpenDocumentTest, HelpFilesAndFilesWithoutExtensionGoThroughTheShell)
{
    // A help file runs script with the machine's rights: only one from a chosen folder opens.
    std::string help = file("manual.chm");
    EXPECT_EQ(std::vector<std::string>{help}, openAndClose(help, Origin::ChosenFolder).arguments);
    {
        Opening refused(viewers, help);
        EXPECT_TRUE(refused.waitFinished(5000));
        EXPECT_EQ(OpenOutcome::NotFromChosenFolder, refused.outcome.load());
    }

    // No program for these: the shell says so itself, in a message box on the calling thread, and
    // the call returns once the user has answered it.
    for (const std::string& path : {file("readme"), file("data.vognone")}) {
        Opening opening(viewers, path);
        HWND box = waitForDialogOf(opening.threadId, 15000);
        ASSERT_NE(nullptr, box) << "no message from the shell for " << path;
        EXPECT_FALSE(opening.waitFinished(100));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(opening.waitFinished(15000)) << path;
        EXPECT_EQ(OpenOutcome::Finished, opening.outcome.load());
    }
    EXPECT_TRUE(viewers.noStartWithin(300));
}

TEST_F(OpenDocumentTest, AStopEndsTheWaitAndLeavesTheViewerRunning)
{
    KernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::string path = file("report.vogdoc");
    Opening opening(viewers, path, stop.get());
    std::optional<ViewerStart> start = viewers.waitForStart();
    ASSERT_TRUE(start);
    EXPECT_FALSE(opening.waitFinished(100));
    SetEvent(stop.get());
    EXPECT_TRUE(opening.waitFinished(5000));
    EXPECT_EQ(OpenOutcome::Stopped, opening.outcome.load());
    EXPECT_TRUE(ViewerFixture::isRunning(start->processId));
    EXPECT_TRUE(ViewerFixture::closeViewer(start->processId));

    // Already stopped: nothing starts.
    EXPECT_EQ(OpenOutcome::Stopped, openDocument(path, stop.get()));
    EXPECT_TRUE(viewers.noStartWithin(500));
}

TEST_F(OpenDocumentTest, AStopAlsoClosesTheShellsOwnMessageBox)
{
    KernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Opening opening(viewers, file("data.vognone"), stop.get());
    HWND box = waitForDialogOf(opening.threadId, 15000);
    ASSERT_NE(nullptr, box);
    SetEvent(stop.get());
    EXPECT_TRUE(opening.waitFinished(5000));
    EXPECT_EQ(OpenOutcome::Stopped, opening.outcome.load());
    EXPECT_FALSE(IsWindow(box));
}

TEST_F(OpenDocumentTest, ProgramsScriptsAndShortcutsStartNothing)
{
    std::string viewer = ViewerFixture::viewerPath();
    std::string copy = folder + "\\tool.exe";
    ASSERT_TRUE(CopyFileA(viewer.c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(viewer.c_str(), (folder + "\\viewer copy.exe").c_str(), FALSE));
    std::string command = "\"" + viewer + "\" started-by-a-script";
    std::string batch = file("run.bat", 0), script = file("run.cmd", 0), jscript = file("run.js", 0);
    ASSERT_TRUE(writeFile(batch, "@" + command + "\r\n"));
    ASSERT_TRUE(writeFile(script, "@" + command + "\r\n"));
    ASSERT_TRUE(writeFile(jscript, "new ActiveXObject(\"WScript.Shell\").Run('" + command + "');\r\n"));

    // A working shortcut to the viewer.
    std::string shortcut = folder + "\\viewer.lnk";
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    IShellLinkA* link = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                     reinterpret_cast<void**>(&link)));
    link->SetPath(viewer.c_str());
    IPersistFile* persist = nullptr;
    ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)));
    std::wstring wideShortcut(shortcut.begin(), shortcut.end());
    EXPECT_EQ(S_OK, persist->Save(wideShortcut.c_str(), TRUE));
    persist->Release();
    link->Release();
    CoUninitialize();

    std::set<DWORD> childrenBefore = childProcessIds();
    for (const std::string& path :
         {copy, folder + "\\viewer copy.exe", batch, script, jscript, shortcut, copy + ".", copy + " ",
          folder + "\\tool", folder + "\\report.vogdoc:evil.exe"}) {
        Opening opening(viewers, path);  // ends whatever a faulty opening would start
        EXPECT_TRUE(opening.waitFinished(5000)) << path;
        EXPECT_EQ(OpenOutcome::Refused, opening.outcome.load()) << path;
    }
    EXPECT_TRUE(viewers.noStartWithin(1000));
    // (Saving the shortcut may have started a helper of Wine's own, which may end meanwhile.)
    for (DWORD child : childProcessIds())
        EXPECT_EQ(1u, childrenBefore.count(child)) << "process " << child << " was started";
}

TEST_F(OpenDocumentTest, TheWaitAnswersMessagesSentToTheThreadAndKeepsPostedOnes)
{
    // While the viewer runs, the opening thread's window answers sent messages at once; posted
    // ones wait for the thread's own message loop.
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> postedStillQueued{false};
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = answeringWindowProc;
    windowClass.hInstance = testInstance();
    windowClass.lpszClassName = "VogOpeningTestWindow";
    RegisterClassA(&windowClass);

    Opening opening(
        viewers, file("report.vogdoc"), nullptr,
        [&] {
            window = CreateWindowExA(0, "VogOpeningTestWindow", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                     nullptr, testInstance(), nullptr);
        },
        [&] {
            MSG message;
            postedStillQueued = PeekMessageA(&message, window, WM_APP + 1, WM_APP + 1, PM_REMOVE) != FALSE;
            DestroyWindow(window);
        });
    std::optional<ViewerStart> start = viewers.waitForStart();
    ASSERT_TRUE(start);
    ASSERT_NE(nullptr, window.load());
    PostMessageA(window, WM_APP + 1, 0, 0);
    DWORD_PTR answer = 0;
    EXPECT_NE(0, SendMessageTimeoutA(window, WM_APP, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(42u, answer);
    EXPECT_FALSE(opening.finished.load());

    EXPECT_TRUE(ViewerFixture::closeViewer(start->processId));
    EXPECT_TRUE(opening.waitFinished(15000));
    EXPECT_EQ(0, postedSeenDuringWait.load());
    EXPECT_TRUE(postedStillQueued.load());
}

TEST_F(OpenDocumentTest, WorksInEitherApartmentAndLeavesTheThreadAsItWas)
{
    std::string path = file("report.vogdoc");
    HRESULT afterwards = E_FAIL;
    {
        // No COM on the thread before: none after.
        Opening opening(viewers, path, nullptr, {}, [&] {
            afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoUninitialize();
        });
        std::optional<ViewerStart> start = viewers.waitForStart();
        ASSERT_TRUE(start);
        ViewerFixture::closeViewer(start->processId);
    }
    EXPECT_EQ(S_OK, afterwards);
    {
        // A multithreaded apartment stays one.
        Opening opening(viewers, path, nullptr, [] { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }, [&] {
            afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoUninitialize();
            CoUninitialize();
        });
        std::optional<ViewerStart> start = viewers.waitForStart();
        ASSERT_TRUE(start);
        ViewerFixture::closeViewer(start->processId);
    }
    EXPECT_EQ(S_FALSE, afterwards);
}
