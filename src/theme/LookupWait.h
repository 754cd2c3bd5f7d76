// The wait of a lookup whose file is missing: the watchers of the theme's folders, the dialog they
// end, and a re-look thread for the folders that could not be watched when the wait began.
//
// How the threads meet: the lookup's thread makes the Wait, starts it and runs the dialog. Watcher
// threads, the dialog (Add, recheck), device changes and the re-look thread call onChange at any
// time; onChange records a complete file and ends the dialog under the lock. The re-look thread
// owns lateWatchers (parents of missing folders, and folders that turned up) and the `direct`
// flags; it is woken by its wake event (a parent's change, a file seen still being written while it
// sleeps without a time limit) and ends on its stop event, which destruction signals and waits for.
#pragma once

#include "theme/Theme.h"
#include "winsys/ChangeWatcher.h"
#include "winsys/Handle.h"
#include "winsys/Thread.h"

#include <string>
#include <vector>

class FileLoaderDialog;

// folder + a backslash unless it ends with one + name. Empty when the result would not fit the
// platform's path limit: such a candidate cannot be tested with the ANSI file functions.
std::string candidatePath(const std::string& folder, const std::string& name);

class Theme::Wait : public WatchCallback {
public:
    // folders: the theme's folders in its order. unreachable: per folder, it did not answer the
    // first search in time; only the re-look thread asks it again, until it answers. incomplete:
    // the first search found the file still being written, so it is looked at again soon.
    Wait(std::string file, std::vector<std::string> folders, std::vector<bool> unreachable, bool incomplete);
    ~Wait() override;
    Wait(const Wait&) = delete;
    Wait& operator=(const Wait&) = delete;

    // Starts the re-look thread; the theme folders' own watchers go into `watchers` before.
    void start();
    // Tells the watchers and the re-look thread to stop, without waiting for them.
    void signalStop() noexcept;

    // A change seen in folder: a theme folder, a folder added through the dialog, or a root or
    // parent watched in place of theme folders. Looks at the reachable theme folders at or below
    // folder in theme order (at folder itself when none is), and records the first complete file found and
    // ends the dialog with 1. Safe to call from several threads at once.
    void onChange(const std::string& folder) override;

    // The last path recorded; empty when none was.
    std::string found() const;
    // The dialog a found file ends; null forgets it, under the same lock as onChange ends it.
    void show(FileLoaderDialog* shown) noexcept;

    const std::string wantedFile;
    WatcherList watchers;

private:
    // Wakes the re-look thread on a change in a parent of a missing folder.
    struct ParentCallback : WatchCallback {
        explicit ParentCallback(Wait& wait) : wait(wait) {}
        void onChange(const std::string&) override { SetEvent(wait.wake.get()); }
        Wait& wait;
    };

    bool lookIn(const std::string& folder);
    static unsigned __stdcall relookProc(void* self);
    void relook();
    // Watches theme folders that now exist, and the nearest existing parent of those that do not.
    // True while some folder is still missing.
    bool watchLateFolders();
    // The folder has answered a call of the re-look thread: the other threads may ask it again.
    void answered(size_t folder);

    const std::vector<std::string> themeFolders;
    mutable CRITICAL_SECTION lock;
    std::string foundPath;
    FileLoaderDialog* dialog = nullptr;
    std::vector<bool> unreachable;  // under lock
    bool incompleteSeen;          // under lock: a file was seen still being written
    bool relookSleeps = false;    // under lock: the re-look thread waits without a time limit
    KernelHandle wake;
    KernelHandle stopRelook;
    ParentCallback parentCallback{*this};
    std::vector<bool> direct;     // re-look thread: the folder has a watcher of its own
    WatcherList lateWatchers;     // re-look thread
    Thread relookThread;
};
