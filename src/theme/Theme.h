// A theme: a name under which the user keeps an ordered list of folders to look for files in. The
// list lives in the machine-wide registry, one key per theme below
//   HKEY_LOCAL_MACHINE\Software\Vog\2000.08.04\Themes\<name>\data
// as a settings tree whose root holds the string array "paths": one folder is the value
// "string.paths", two or more are the values "string.0", "string.1", ... of the key "paths".
// The constructor reads the list; the destructor writes it back when it was changed.
//
// The same object carries one file lookup at a time (locate): see ThemeLookup.cpp for how the
// worker thread, the watcher threads and the File Loader dialog meet.
#pragma once

#include "winsys/WatchSpec.h"

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FileLoaderDialog;
class StopSignal;
class WatcherList;

class Theme : public WatchCallback {
public:
    // Reads the theme's folders. Raises std::invalid_argument ("class Vantor::Register") when the
    // name is not empty and HKEY_LOCAL_MACHINE cannot be opened with full access, and (with a text
    // for the user) when a backslash-separated part after the first is "data" or "subs": such a
    // name would reach into another theme's stored folders. A missing theme gives an empty list;
    // an empty name reads nothing (and never saves). A name with backslashes is a nested theme,
    // which a save of the theme above it leaves alone.
    explicit Theme(const std::string& name);
    // Writes the list back when `changed`. Never raises: a failing save is dropped, and the changes
    // of this theme object are then lost.
    ~Theme() override;

    Theme(const Theme&) = delete;
    Theme& operator=(const Theme&) = delete;

    std::string name;
    // Folders as read from the registry, then as the user added them; never normalised.
    std::vector<std::string> paths;
    // Set by whoever adds or removes a folder; false after loading and after saving.
    bool changed = false;

    // The request's stop signal, handed over before the lookup: a stop ends the File Loader
    // dialog, and one asked before the dialog shows keeps it from showing. Null (the default): the
    // lookup cannot be stopped.
    void setStopSignal(StopSignal* stop) noexcept { this->stop = stop; }

    // Finds file: on the search path, then in each folder of `paths` (the first holding it wins).
    // When it is in none, watches every folder and, when instance is given, asks the user with the
    // File Loader dialog (template 101 of instance, owned by owner), which ends by itself when the
    // file turns up. Returns the full path, or nothing when the file was not found. Without an
    // instance the watchers keep running until the theme goes or another lookup ends.
    std::optional<std::string> locate(const std::string& file, HINSTANCE instance, HWND owner);

    // A change in a watched folder (from a watcher thread, the dialog's Add, or a device change):
    // when the folder's volume is ready and the wanted file is in it, records the path and ends the
    // dialog with 1. Safe to call from several threads at once.
    void onChange(const std::string& folder) override;

    // WM_DEVICECHANGE as the request's window receives it: a medium that arrived in (or left) a
    // drive makes every watched folder on that drive be checked.
    void onDeviceChange(WPARAM event, LPARAM broadcast);

    // The text of the File Loader dialog for a missing file.
    std::string loaderMessage(const std::string& file) const;

    // The file a lookup that found nothing waits for (empty before the first such lookup).
    std::string waitingFor() const;
    // How many folders the waiting lookup watches; 0 when no lookup waits. Read on the thread that
    // runs the lookup, or after the lookup.
    size_t watcherCount() const noexcept;

private:
    // The lookup state shared with the watcher threads (foundPath, wantedFile, dialog) is read and
    // written only through these, each under lookupLock.
    // setFoundPath also ends the File Loader dialog with 1 when one runs, which only a waiting
    // lookup's onChange finds. The dialog cannot go away meanwhile: the lookup forgets it under the
    // same lock before the dialog object ends.
    void setFoundPath(const std::string& path);
    std::string currentFoundPath() const;
    void setWantedFile(const std::string& file);
    void setDialog(FileLoaderDialog* shown);

    // Forgets the dialog and tells every watcher to stop, without waiting for their threads: under
    // Wine a watcher takes about 13 ms to close its notification, which the request need not wait
    // for. The watchers move to `stopping`, which the next lookup and the destructor wait for.
    void retireWatchers();
    // Stops every watcher (waiting for their threads, the retired ones too) and forgets the dialog.
    void endLookup();

    // Run only by the constructor and the destructor. load appends the stored folders to `paths`;
    // save replaces everything stored under the theme's key with `paths` (raises like the
    // constructor when the registry root cannot be opened).
    void load();
    void save();

    // Lookup state. foundPath: the result of the last lookup, written by the lookup and by watcher
    // threads. wantedFile: what a waiting lookup waits for, read by watcher threads. watchers: from
    // a failed search until the end of the lookup's dialog, touched only on the lookup's thread, as
    // are `stopping` and `stop`. dialog: the File Loader dialog while it runs.
    std::string foundPath;
    std::string wantedFile;
    std::unique_ptr<WatcherList> watchers;
    FileLoaderDialog* dialog = nullptr;
    std::unique_ptr<WatcherList> stopping;
    StopSignal* stop = nullptr;
    mutable CRITICAL_SECTION lookupLock;
};
