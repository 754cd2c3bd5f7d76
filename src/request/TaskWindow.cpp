#include "request/TaskWindow.h"

#include "request/NetworkPath.h"
#include "request/OpeningPolicy.h"
#include "request/PlainName.h"
#include "request/RarExtractor.h"
#include "winsys/StopSignal.h"

TaskWindow::TaskWindow(HINSTANCE instance, const std::string& themeName, StopSignal* stop)
    : Window(instance), theme(themeName), stop(stop)
{
    theme.setStopSignal(stop);
}

void TaskWindow::run(const std::string& file, const std::string& requestedMember)
{
    target = file;
    intFile = requestedMember;
    create(false);
}

LRESULT TaskWindow::windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd)
{
    switch (message) {
    case WM_CREATE:
        SendMessageA(hwnd, WM_USER, 0, 0);
        break;
    case WM_USER:
        locateStep(hwnd);
        return 1;
    case WM_DEVICECHANGE:
        theme.onDeviceChange(wParam, lParam);
        break;
    case WM_DESTROY: {
        LRESULT result = Window::windowProc(message, wParam, lParam, hwnd);
        if (!target.empty())
            openStep();
        return result;
    }
    default:
        break;
    }
    return Window::windowProc(message, wParam, lParam, hwnd);
}

void TaskWindow::locateStep(HWND hwnd)
{
    requested = target;
    // Before anything touches the path: a share the theme does not name is a server of the page's
    // choice, which the lookup would log in to with the user's credentials.
    if (reachesForeignShare(target, theme.paths)) {
        refuse("File \"" + requested + "\" (theme \"" + theme.name + "\") was not opened. It is on a network share "
               "that none of the theme's folders is on, and looking for it there would log in to that server with "
               "your credentials.");
        target.clear();
        SendMessageA(hwnd, WM_DESTROY, 0, 0);
        return;
    }
    std::optional<std::string> located = theme.locate(target, hinstance(), hwnd, &foundIn);
    target = located ? *located : std::string();
    if (!located)
        result = RequestOutcome::NotFound;
    // Triggers the quit and the open step; the window itself stays until the thread ends.
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
}

void TaskWindow::openStep()
{
    if (stop && stop->stopRequested()) {
        result = RequestOutcome::Stopped;
        return;
    }
    if (intFile.empty() || documentKind(target) != DocumentKind::Archive) {
        open(target);
        return;
    }
    // The extractor holds its buffers inside itself, on this worker's stack. Its destruction
    // deletes the extracted copy once the viewer has ended, unless the viewer may still need it: the
    // wait was stopped, or the program may have handed the copy on (ExtractionFolder.h: a later
    // extraction sweeps it).
    RarExtractor extractor;
    extractor.setStopSignal(stop);
    extractor.openArchive(target);
    // Until a copy is opened: the extractor refuses a name that is no plain relative one, and
    // finds nothing for any other.
    result = isPlainRelativeName(intFile) ? RequestOutcome::MemberNotFound : RequestOutcome::Refused;
    if (std::optional<std::string> extracted = extractor.extract(intFile)) {
        // A stop during an extraction that ran to its end anyway: nothing opens, the copy goes.
        if (stop && stop->stopRequested())
            return;
        ProgramRun run;
        OpenOutcome outcome = open(*extracted, &run);
        if (outcome == OpenOutcome::Stopped || (outcome == OpenOutcome::Finished && run.mayHaveHandedOn()))
            extractor.keepExtracted();
    }
}

OpenOutcome TaskWindow::open(const std::string& path, ProgramRun* run)
{
    HANDLE stopEvent = stop ? stop->event() : nullptr;
    ProgramRun ran;
    ShellMessages messages = refusalsInBox ? ShellMessages::Shown : ShellMessages::Suppressed;
    OpenOutcome outcome = openDocument(path, stopEvent, origin(), &ran, messages);
    if (run)
        *run = ran;
    shellFailure = ran.shellError;
    bool started = ran.shellSucceeded;
    result = outcome == OpenOutcome::Finished  ? (started ? RequestOutcome::Opened : RequestOutcome::NoProgram)
             : outcome == OpenOutcome::Stopped ? RequestOutcome::Stopped
                                               : RequestOutcome::Refused;
    if (outcome == OpenOutcome::NotFromChosenFolder)
        refuse(refusalText());
    return outcome;
}

void TaskWindow::refuse(const std::string& reason)
{
    result = RequestOutcome::Refused;
    refusalReason = reason;
    if (refusalsInBox)
        showRefusal(refusalReason, stop ? stop->event() : nullptr);
}

// A name with a drive, a root, a UNC start or a ".." part reaches beyond the theme's folders even
// when the search found it there.
Origin TaskWindow::origin() const
{
    return foundIn == FoundIn::ThemeFolder && isPlainRelativeName(requested) ? Origin::ChosenFolder : Origin::Elsewhere;
}

std::string TaskWindow::refusalText() const
{
    std::string text = "File \"" + requested + "\" (theme \"" + theme.name +
                       "\") was not opened. Documents of this type run script with the rights of this computer, so "
                       "they open only from the theme's folders, named without a drive, root, network path or "
                       "\"..\". ";
    if (const char* fault = plainNameFault(requested))
        return text + "This name " + fault + ".";
    return text + "This one was found only at \"" + target + "\", on the search path.";
}
