#include "winsys/ChangeWatcher.h"

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

// Returns true when the wait loop ended, false when no notification could be set up. The
// notification handle is owned here, so it is closed however the loop is left.
bool ChangeWatcher::watch()
{
    std::string watched = watchSpec.path;
    auto notify = [&] {
        return ChangeNotification(
            FindFirstChangeNotificationA(watched.c_str(), watchSpec.subtree, watchSpec.changeFilter));
    };
    ChangeNotification change = notify();
    if (!change) {
        // A folder on a drive without a medium can't be watched, but the drive's root may be: then a
        // medium's arrival is seen as a change of the root. A ready volume gets a second try at the
        // folder itself.
        std::string root = rootOf(watched);
        if (!volumeProbe(root))
            watched = root;
        change = notify();
    }
    if (!change)
        return false;

    // Lower index first: a change pending together with the stop is reported before the loop ends.
    const HANDLE handles[2] = {change.get(), stopEvent.get()};
    while (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
        if (watchSpec.callback)
            watchSpec.callback->onChange(watched);
        FindNextChangeNotification(change.get());
    }
    return true;
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
