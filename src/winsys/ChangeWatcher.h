// Directory change watchers: one thread per watched folder that reports every change notification
// of the folder through the callback of its WatchSpec.
//
// How the threads meet: the owner (a request's worker, or the container's thread when a control goes
// away under a running request) builds, starts and destroys watchers. Each watcher's thread blocks on
// two handles, the folder's change notification and the watcher's stop event, and calls onChange on
// itself after each change. Destruction signals the stop event and waits without a time limit for
// the thread, so a watcher is never destroyed while its onChange still runs. The thread that destroys
// watchers must therefore not be one that onChange waits for, and a watcher must not be destroyed
// from its own onChange.
#pragma once

#include "winsys/Handle.h"
#include "winsys/Thread.h"
#include "winsys/Volume.h"
#include "winsys/WatchSpec.h"

#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

// A watcher whose folder can't be watched tries once more; when the folder's volume is not ready
// (a drive without a medium) that second try is made at the drive's root, and every change of the
// root is then reported with the root's path, so a medium's arrival is noticed. A folder that goes
// away while watched (deleted, its medium taken out, its share gone) is treated the same way after
// its last report: watched again when it is back at once, else its root when the volume is not
// ready, else the watcher ends. It never reports a gone folder over and over.
//
// Exit codes of a watcher's thread:
//   0  the stop event was signalled (or the wait itself failed, e.g. without a stop event)
//   1  no change notification could be set up for the folder, nor for the fallback, or the
//      watched folder went away and neither it nor the fallback could be watched again
//   3  an exception left the watch loop, for example one raised by onChange; no further reports
class ChangeWatcher : public Thread {
public:
    static constexpr DWORD exitStopped = 0;
    static constexpr DWORD exitUnwatchable = 1;
    static constexpr DWORD exitFailed = 3;

    // Tells whether the volume of a root such as "E:\" is ready (volumeReady by default).
    using VolumeProbe = bool (*)(const std::string& root);

    // volumeProbe decides, when the folder can't be watched, whether its volume lacks a medium so that
    // the root is watched instead; it runs on the watcher's thread.
    explicit ChangeWatcher(const WatchSpec& spec, VolumeProbe volumeProbe = volumeReady);
    // Signals the stop event, waits for the thread (when there is one) and closes the handles.
    ~ChangeWatcher() override;

    // Creates the stop event and starts the thread. Failures are not reported: without an event the
    // thread ends at its first wait with code 0; without a thread the watcher reports nothing. Only
    // the first call does anything.
    void start();

    // Asks the thread to end without waiting for it; destruction then waits. Lets a list stop many
    // watchers at once.
    void signalStop() noexcept;

    const WatchSpec& spec() const noexcept { return watchSpec; }

private:
    static unsigned __stdcall threadProc(void* self);
    bool watch();
    ChangeNotification notification(const std::string& path) const;
    // The second try for watched, which could not be watched or went away: the drive's root when
    // its volume is not ready (watched then names the root), else watched itself. No handle when
    // watched is a root already, or the try fails.
    ChangeNotification fallbackNotification(std::string& watched) const;

    // Read by the thread while it runs; written before it starts.
    const WatchSpec watchSpec;
    const VolumeProbe volumeProbe;
    // Auto-reset: a stop signalled while onChange runs stays pending until the next wait takes it.
    KernelHandle stopEvent;
};

// An ordered list of watchers that owns them; destroying it stops them all.
class WatcherList {
public:
    // Yields each watcher's WatchSpec, in list order.
    class const_iterator {
    public:
        using Base = std::vector<std::unique_ptr<ChangeWatcher>>::const_iterator;
        using iterator_category = std::forward_iterator_tag;
        using value_type = WatchSpec;
        using difference_type = std::ptrdiff_t;
        using pointer = const WatchSpec*;
        using reference = const WatchSpec&;
        explicit const_iterator(Base position) : position(position) {}
        const WatchSpec& operator*() const { return (*position)->spec(); }
        const WatchSpec* operator->() const { return &(*position)->spec(); }
        const_iterator& operator++() { ++position; return *this; }
        bool operator==(const const_iterator& other) const { return position == other.position; }
        bool operator!=(const const_iterator& other) const { return position != other.position; }

    private:
        Base position;
    };

    WatcherList() = default;
    ~WatcherList();
    WatcherList(const WatcherList&) = delete;
    WatcherList& operator=(const WatcherList&) = delete;

    // Starts a watcher for a copy of spec and appends it, unless some watcher's spec W already has
    // W.matches(spec).
    void add(const WatchSpec& spec);
    // Stops and removes every watcher whose spec W has spec.matches(W); the rest keep their order.
    void remove(const WatchSpec& spec);
    // Stops and removes every watcher.
    void stopAll();
    // Asks every watcher to stop without waiting for any; stopAll or the list's destruction then
    // waits for their threads, which by then have mostly ended.
    void signalStopAll() noexcept;

    size_t size() const noexcept { return watchers.size(); }
    bool empty() const noexcept { return watchers.empty(); }
    const_iterator begin() const { return const_iterator(watchers.begin()); }
    const_iterator end() const { return const_iterator(watchers.end()); }

private:
    std::vector<std::unique_ptr<ChangeWatcher>> watchers;
};
