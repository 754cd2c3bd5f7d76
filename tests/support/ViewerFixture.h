// The test viewer vogviewer.exe (tests/support/viewer) as a fixture: it becomes the program of test
// document types and of "wordpad" in the test prefix, its start records are read back, and viewers
// are closed again.
//
//     ViewerFixture viewers;                       // registers, sets VOG_VIEWER_LOG
//     ... something opens C:\...\report.vogdoc ...
//     auto start = viewers.waitForStart();         // the next viewer that started
//     ASSERT_TRUE(start);
//     EXPECT_EQ("C:\\...\\report.vogdoc", start->document());
//     ViewerFixture::closeViewer(start->processId);
//
// Use one fixture at a time: file type associations are machine-wide in the prefix. The destructor
// closes every viewer that recorded into the fixture's log folder and puts the registry back. The
// previous registry state is kept under HKCU\Software\VogTests\ViewerFixture until it is restored, so
// a test that crashed is repaired by the next fixture.
#pragma once

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// One start of the viewer, as it recorded it.
struct ViewerStart {
    DWORD processId = 0;
    std::string workingDirectory;
    std::string commandLine;
    std::vector<std::string> arguments;  // after the program name, as the viewer's C runtime split them
    std::string read;                    // the document's first line as the viewer read it, or "read-failed"

    // The first argument: the document it was asked to show ("" when none).
    std::string document() const { return arguments.empty() ? std::string() : arguments.front(); }
};

class ViewerFixture {
public:
    // Makes the viewer the open command of each extension (with its dot, e.g. ".vogdoc") and the
    // program "wordpad" (App Paths), and points VOG_VIEWER_LOG of this process, and so of the
    // programs it starts, at a fresh log folder.
    explicit ViewerFixture(const std::vector<std::string>& extensions = defaultExtensions());
    ~ViewerFixture();

    ViewerFixture(const ViewerFixture&) = delete;
    ViewerFixture& operator=(const ViewerFixture&) = delete;

    // .vogdoc (a type of the tests' own), .txt, .chm, .rar and .zip.
    static std::vector<std::string> defaultExtensions();
    // The viewer beside the test program.
    static std::string viewerPath();

    const std::string& logFolder() const { return log; }

    // From now on (until the fixture goes) every viewer started hands its document to a second
    // viewer and ends at once; the second reads it a second after the first has ended.
    void handOffDocuments() { SetEnvironmentVariableA("VOG_VIEWER_HAND_OFF", "1"); }

    // Every start recorded so far, oldest first.
    std::vector<ViewerStart> starts() const;
    // Waits for a start that no earlier waitForStart returned; nothing when none came in time.
    std::optional<ViewerStart> waitForStart(DWORD timeoutMs = 15000);
    // True when no viewer recorded a start within ms (to show that nothing was started).
    bool noStartWithin(DWORD ms) const;

    // Closes every viewer that recorded into this log; true when all of them have ended.
    bool closeAll(DWORD timeoutMs = 15000) const;

    static bool isRunning(DWORD processId);
    // Sets the viewer's own close event and waits until the process has ended; true when it has.
    static bool closeViewer(DWORD processId, DWORD timeoutMs = 15000);
    // The viewer's visible window; null when it shows none within the time.
    static HWND viewerWindow(DWORD processId, DWORD timeoutMs = 15000);
    // Closes every viewer in the session, whoever started it, through the event "VogViewerCloseAll";
    // true when no viewer window is left.
    static bool closeEveryViewer(DWORD timeoutMs = 15000);

private:
    std::string log;
    std::string previousLogVariable;
    bool hadLogVariable = false;
    std::set<DWORD> returned;  // processes already handed out by waitForStart
};

// The processes whose parent is this process (to show that nothing was started), but for Wine's
// desktop process, which the platform starts on demand.
std::set<DWORD> childProcessIds();

}  // namespace testing_support
