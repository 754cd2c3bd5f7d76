#include "request/TaskWindow.h"

#include "request/OpeningPolicy.h"
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
    std::optional<std::string> located = theme.locate(target, hinstance(), hwnd);
    target = located ? *located : std::string();
    // Triggers the quit and the open step; the window itself stays until the thread ends.
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
}

void TaskWindow::openStep()
{
    if (stop && stop->stopRequested())
        return;
    if (intFile.empty() || documentKind(target) != DocumentKind::Archive) {
        open(target);
        return;
    }
    // The extractor holds its buffers inside itself, on this worker's stack. Its destruction
    // deletes the extracted copy once the viewer has ended, unless the viewer may still need it: the
    // wait was stopped, or the program may have handed the copy on (ExtractionFolder.h: a later
    // extraction sweeps it).
    RarExtractor extractor;
    extractor.openArchive(target);
    if (std::optional<std::string> extracted = extractor.extract(intFile)) {
        ProgramRun run;
        OpenOutcome outcome = open(*extracted, &run);
        if (outcome == OpenOutcome::Stopped || (outcome == OpenOutcome::Finished && run.mayHaveHandedOn()))
            extractor.keepExtracted();
    }
}

OpenOutcome TaskWindow::open(const std::string& path, ProgramRun* run)
{
    return openDocument(path, stop ? stop->event() : nullptr, run);
}
