#include "winsys/ChangeWatcher.h"

#include "winsys/ErrorMode.h"
#include "winsys/Text.h"

#include <algorithm>

ChangeWatcher::ChangeWatcher(const WatchSpec& spec, VolumeProbe volumeProbe)
    : watchSpec(spec), volumeProbe(volumeProbe)
{
}

ChangeWatcher::~ChangeWatcher()
{
    // Signal, wait, close: the event and the WatchSpec copy outlive the thread that reads them (members go in
    // reverse order of declaration, the thread handle last with the Thread base).
    signalStop();
    join();
}

void ChangeWatcher::start()
{
    if (stopEvent || id)
        return;
    stopEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    Thread::start(threadProc, this);
}

void ChangeWatcher::signalStop() noexcept
{
    if (stopEvent)
        SetEvent(stopEvent.get());
}

unsigned __stdcall ChangeWatcher::threadProc(void* self)
{
    // The top of a watcher's thread: every error ends it with its own exit code.
    DWORD code = exitFailed;
    try {
        code = static_cast<ChangeWatcher*>(self)->watch() ? exitStopped : exitUnwatchable;
    } catch (...) {
    }
    return code;
}

// Returns true when the wait loop ended, false when no notification could be set up or the watched
// folder went away. The notification handle is owned here, so it is closed however the loop is left.
bool ChangeWatcher::watch()
{
    // The folder, its root and the volume are probed here, possibly on an empty removable drive.
    QuietErrorMode quiet;
    std::string watched = watchSpec.path;
    ChangeNotification change = notification(watched);
    if (!change) {
        // A folder on a drive without a medium can't be watched, but the drive's root may be: then a
        // medium's arrival is seen as a change of the root. A ready volume gets a second try at the
        // folder itself.
        change = fallbackNotification(watched);
        if (!change)
            return false;
    }

    // Lower index first: a change pending together with the stop is reported before the loop ends.
    HANDLE handles[2] = {change.get(), stopEvent.get()};
    while (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
        if (watchSpec.callback)
            watchSpec.callback->onChange(watched);
        // On Windows the handle of a folder that was deleted, or whose medium or share went away,
        // stays signalled: re-arming it fails, or succeeds and fires at once for ever. Either way
        // the folder is gone, and the loop must not go on reporting it.
        if (FindNextChangeNotification(change.get()) && GetFileAttributesA(watched.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        // The old handle goes first: while it is open a deleted folder stays delete-pending, and a
        // folder made again under the same name could not be watched.
        change.reset();
        change = fallbackNotification(watched);
        if (!change)
            return false;
        handles[0] = change.get();
    }
    return true;
}

ChangeNotification ChangeWatcher::notification(const std::string& path) const
{
    return ChangeNotification(FindFirstChangeNotificationA(path.c_str(), watchSpec.subtree, watchSpec.changeFilter));
}

ChangeNotification ChangeWatcher::fallbackNotification(std::string& watched) const
{
    std::string root = rootOf(watched);
    if (equalsIgnoringCase(root, watched))
        return {};
    if (!volumeProbe(root))
        watched = root;
    return notification(watched);
}

WatcherList::~WatcherList()
{
    stopAll();
}

void WatcherList::add(const WatchSpec& spec)
{
    for (const auto& watcher : watchers)
        if (watcher->spec().matches(spec))
            return;
    auto watcher = std::make_unique<ChangeWatcher>(spec);
    watcher->start();
    watchers.push_back(std::move(watcher));
}

void WatcherList::remove(const WatchSpec& spec)
{
    // spec may be a watcher's own, which goes away with it.
    const WatchSpec probe = spec;
    auto removed = [&](const std::unique_ptr<ChangeWatcher>& watcher) { return probe.matches(watcher->spec()); };
    // All stops are signalled first, so the threads end together rather than one after another.
    for (const auto& watcher : watchers)
        if (removed(watcher))
            watcher->signalStop();
    watchers.erase(std::remove_if(watchers.begin(), watchers.end(), removed), watchers.end());
}

void WatcherList::stopAll()
{
    signalStopAll();
    watchers.clear();
}

void WatcherList::signalStopAll() noexcept
{
    for (const auto& watcher : watchers)
        watcher->signalStop();
}
