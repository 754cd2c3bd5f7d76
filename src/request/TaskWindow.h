// The hidden window that carries out one request on its worker thread. Its first messages drive
// the whole request, nested inside the window's creation: WM_CREATE sends WM_USER, whose handler
// locates the file (possibly showing the File Loader dialog until it ends) and sends WM_DESTROY,
// whose handler posts the quit message and opens what was found, waiting for the started viewer.
// Device-change broadcasts reach the theme while the dialog waits for a medium.
//
// A document that runs script with the machine's rights (OpeningPolicy.h) opens only when it was
// found in a folder of the theme and the page named it by a plain relative name; an archive member
// counts by where its archive was found. Otherwise the request tells the user why in a "Vog Error" box,
// or leaves the text to a front end that reports for itself.
#pragma once

#include "request/ShellExecution.h"
#include "theme/Theme.h"
#include "winsys/Window.h"

#include <string>

class StopSignal;

// How a request ended, for a front end that reports it (the command line's exit codes).
enum class RequestOutcome {
    Pending,         // not ended, or ended by an error that run raised
    Opened,          // handed to the shell, and the program it started (if any) has ended
    NotFound,        // the file was not found (the user closed the File Loader dialog)
    MemberNotFound,  // the archive could not be read, or holds no member of that name
    Refused,         // what was found, or the member's name, may not be opened
    NoProgram,       // the shell could not start anything for it (shellError() says why)
    Stopped,         // the stop signal ended the request
};

class TaskWindow : public Window {
public:
    // Loads the theme's folder list (raising the registry wrapper's error when the registry root
    // cannot be opened). stop, when given, is the request's stop signal: a stop ends the dialog,
    // breaks off an extraction, skips the opening and ends the wait for a viewer, which keeps
    // running.
    TaskWindow(HINSTANCE instance, const std::string& themeName, StopSignal* stop = nullptr);

    // Carries out the request; returns when its work is done. Raises "Window::create" when the
    // window is not created, and every error raised while the request runs.
    void run(const std::string& file, const std::string& intFile);

    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override;

    // Set as the request goes; final once run has returned normally.
    RequestOutcome outcome() const noexcept { return result; }

    // A front end that reports for itself (the command line writes to standard error) takes the
    // text of a refusal from refusal() instead of the "Vog Error" box, empty when none was made,
    // and the shell's reason for NoProgram from shellError() instead of the shell's own box.
    void reportInBoxes(bool inBoxes) noexcept { refusalsInBox = inBoxes; }
    const std::string& refusal() const noexcept { return refusalReason; }
    DWORD shellError() const noexcept { return shellFailure; }

    Theme theme;
    std::string target;   // the requested name, then the located full path, or empty
    std::string intFile;  // the requested archive member, or empty

private:
    void locateStep(HWND hwnd);
    void openStep();
    OpenOutcome open(const std::string& path, ProgramRun* run = nullptr);
    Origin origin() const;
    std::string refusalText() const;
    // Ends the request as Refused for reason, shown in the "Vog Error" box unless the front end
    // reports it itself.
    void refuse(const std::string& reason);

    StopSignal* stop;
    std::string requested;  // the file as the request named it
    FoundIn foundIn = FoundIn::Nowhere;
    RequestOutcome result = RequestOutcome::Pending;
    bool refusalsInBox = true;
    std::string refusalReason;
    DWORD shellFailure = 0;
};
