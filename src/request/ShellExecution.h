// Opening a located document through the shell with the program the user has for it, and waiting
// until that program ends. What may be opened, and with which program, is OpeningPolicy's decision.
//
// Threads: openDocument runs on a request's worker thread and blocks it for as long as the viewer
// runs, which may be hours. While it waits it still answers messages that other threads and
// processes send to the thread's windows (broadcasts must not hang on a busy worker), and it returns
// early when its stop event is set: then the viewer keeps running and only the wait ends. A stop
// also closes a message box that the shell itself put up on the worker (for example "no program is
// configured for this type") instead of waiting for the user to answer it. A caller that tells the
// user itself (the command line) has the shell keep its boxes to itself and reads why it failed.
#pragma once

#include "request/OpeningPolicy.h"

#include <windows.h>

#include <string>

enum class OpenOutcome {
    Finished,  // handed to the shell, and the program it started (if it returned one) has ended
    Stopped,   // the stop event was set; a program already started keeps running
    Refused,   // runsCode(path), or path names a folder: nothing was started
    NotFromChosenFolder,  // a document that runs local script (typeRisk), from elsewhere: nothing was started
};

// A program that ends within this time of its start may have handed the document on rather than
// shown it: a launcher that passes the path to a running instance of its program (a browser that
// shows PDFs, a single-instance viewer) exits within a second, and that instance reads the file later.
constexpr DWORD handOffWindowMs = 10000;

// How the program the shell started ran, as far as the wait saw it.
struct ProgramRun {
    bool shellSucceeded = false;   // the shell reported that it handed the document on
    bool processReturned = false;  // the shell gave a process to wait for
    DWORD shellError = 0;          // why the shell handed nothing on (a system error code); 0 when it did
    DWORD ranMs = 0;               // from the shell's return until that process ended

    // True when the document may have been handed on to another process that still reads it: the
    // shell succeeded and gave no process (DDE, a packaged app, a running instance), or the process
    // ended within handOffWindowMs. Meaningful after OpenOutcome::Finished.
    bool mayHaveHandedOn() const;
};

// Test seam: while one lives, mayHaveHandedOn uses ms in place of handOffWindowMs, so that tests
// need not keep a viewer open for ten seconds. Production code never makes one.
class HandOffWindowForTests {
public:
    explicit HandOffWindowForTests(DWORD ms);
    ~HandOffWindowForTests();
    HandOffWindowForTests(const HandOffWindowForTests&) = delete;
    HandOffWindowForTests& operator=(const HandOffWindowForTests&) = delete;

private:
    DWORD previous;
};

// Whether the shell tells the user itself when it cannot hand a document on (no program for the
// type and the like), in a box on the calling thread that waits for an answer, or says nothing
// (SEE_MASK_FLAG_NO_UI) and leaves ProgramRun::shellError to the caller.
enum class ShellMessages { Shown, Suppressed };

// Opens path as openingCall (OpeningPolicy.h) says, or refuses it, and waits for the started
// program. The text is taken only up to a NUL, as the platform sees it. A failed shell call still
// counts as Finished (ProgramRun says it failed and why): with ShellMessages::Shown the shell has
// told the user, and a failed WordPad start is not retried with the default action. The wait covers the process handle the shell returns; when it returns none (the
// document went to a program that was already running, or nothing started) there is nothing to
// wait for. stopEvent (may be null) ends the wait early; when it is already set nothing is started.
// origin is where the document was found (see openingCall); run (may be null) receives how the
// program ran.
OpenOutcome openDocument(const std::string& path, HANDLE stopEvent = nullptr, Origin origin = Origin::Elsewhere,
                         ProgramRun* run = nullptr, ShellMessages messages = ShellMessages::Shown);

// Tells the user why a request opened nothing: a box captioned "Vog Error" with the error icon, on the
// calling thread, until the user answers it or stopEvent (may be null) is set, which closes it as it
// closes the shell's own boxes. Nothing is shown when stopEvent is already set.
void showRefusal(const std::string& text, HANDLE stopEvent = nullptr);
