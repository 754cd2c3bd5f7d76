// A theme: a name under which the user keeps an ordered list of folders to look for files in. The
// list lives in the machine-wide registry, one key per theme below
//   HKEY_LOCAL_MACHINE\Software\Vog\2000.08.04\Themes\<name>\data
// as a settings tree whose root holds the string array "paths": one folder is the value
// "string.paths", two or more are the values "string.0", "string.1", ... of the key "paths".
// Each user may keep folders of their own in the same layout below
//   HKEY_CURRENT_USER\Software\Vog\2000.08.04\Themes\<name>\data
// which are looked at after the machine's, for that user only. The machine's list is kept in the
// 64-bit registry view for code of either architecture (a theme found in the 32-bit view only, from
// an older 32-bit installation, is read from there and saved to the 64-bit view). The machine list is read with read
// access only, so a user without an administrator's rights reads it as well.
// The constructor reads both lists; the destructor writes back what was changed.
//
// The same object carries one file lookup at a time (locate): see ThemeLookup.cpp for how the
// worker thread, the watcher threads and the File Loader dialog meet.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class StopSignal;

// One place a lookup looks at before it asks the user, and what it holds there.
struct LookupPlace {
    enum class State {
        Found,           // the file is there
        NoSuchFile,      // the folder is there, the file is not
        FolderMissing,   // the drive or share answers, the folder is not there (or is a file)
        VolumeNotReady,  // no readable medium in the folder's drive
        NotReachable,    // the folder's share or server does not answer, or access is denied
        TooLong,         // the folder joined with the file name exceeds the platform's path limit
    };
    std::string folder;  // empty for the platform's search path
    State state = State::NoSuchFile;
    std::string path;    // the file's full path when Found
};

// The state as an administrator reads it: "found", "no such file", "folder missing", ...
const char* describe(LookupPlace::State state);

// Where locate found a file. A file on the search path counts as in a theme folder when it is the
// file that folder's candidate names (the folder is on the search path, too).
enum class FoundIn { Nowhere, SearchPath, ThemeFolder };

class Theme {
public:
    // Reads the theme's folders. Raises std::invalid_argument ("class Vantor::Register") when the
    // name is not empty and HKEY_LOCAL_MACHINE cannot be opened for reading, and (with a text
    // for the user) when a backslash-separated part after the first is "data" or "subs": such a
    // name would reach into another theme's stored folders. A missing theme gives an empty list;
    // an empty name reads nothing (and never saves). A name with backslashes is a nested theme,
    // which a save of the theme above it leaves alone.
    explicit Theme(const std::string& name);
    // Writes the list back when `changed`. Never raises: a failing save is dropped, and the changes
    // of this theme object are then lost.
    ~Theme();

    Theme(const Theme&) = delete;
    Theme& operator=(const Theme&) = delete;

    std::string name;
    // Folders as read from the registry (the machine's, then the user's own), then as the user
    // added them; never normalised.
    std::vector<std::string> paths;
    // Set by whoever adds or removes a folder; false after loading and after saving.
    bool changed = false;

    // Whether folder is in the machine list as this object last read or wrote it.
    bool isMachineFolder(const std::string& folder) const;
    // Whether this user may change the theme's machine list: the deepest existing key of the
    // theme's machine path opens for changing. False for a standard user, a filtered
    // administrator's token and a process at low integrity. Folders this user adds go to the
    // machine list when true, to the user's own list otherwise.
    bool mayChangeMachineList() const;

    // Whether folders this user adds can be kept at all: in the machine list, or else in the user's
    // own. False for an unnamed theme and for a process at low integrity, whose additions are used
    // by this object only.
    bool mayKeepFolders() const;

    // Where the last save kept the changes: in the machine list, in the user's own list, or nowhere
    // (a key could not be created: not even the user's own list may be written, so the folders
    // added are used by this object only).
    enum class Kept { machine, user, nowhere };
    // Set to keep this object's changes in the user's own list even where the machine list may be
    // changed (an administrator's own folders); a machine folder is then never removed.
    bool keepForUser = false;
    Kept lastKept() const noexcept { return kept; }

    // How the File Loader dialog's Add asks the user for a folder (an empty answer: the user
    // cancelled). Empty (the default): the platform's folder browser.
    std::function<std::string(HWND owner)> chooseFolder;

    // The request's stop signal, handed over before the lookup: a stop ends the File Loader
    // dialog, and one asked before the dialog shows keeps it from showing. Null (the default): the
    // lookup cannot be stopped.
    void setStopSignal(StopSignal* stop) noexcept { this->stop = stop; }

    // Where a lookup looks and whether it may ask: `open` searches the platform's search path
    // first and asks the user with the File Loader dialog when the file is missing; a `vog:` link
    // looks only in the theme's folders and asks nothing, so it never changes the theme.
    struct LookupScope {
        bool searchPath = true;
        bool askUser = true;
    };
    void setLookupScope(LookupScope lookupScope) noexcept { scope = lookupScope; }

    // The places locate looks at for file before it would ask, in its order, each with what it
    // holds, up to and including the first that has the file. Shows nothing and watches nothing.
    std::vector<LookupPlace> places(const std::string& file) const;

    // Finds file: on the search path, then in each folder of `paths` (the first holding it wins).
    // When it is in none, watches every folder and, when instance is given, asks the user with the
    // File Loader dialog (template 101 of instance, owned by owner), which ends by itself when the
    // file turns up. Returns the full path, or nothing when the file was not found. Without an
    // instance the watchers keep running until the theme goes or the next lookup starts. However
    // the lookup ends, an error raised in the dialog included, the dialog is forgotten by the stop
    // signal and by the watchers, and the watchers are told to stop. where, when given, receives
    // where the file was found (a file found through the dialog is in a theme folder: one the user
    // added there counts, too). The search path and the dialog only as the lookup scope allows.
    std::optional<std::string> locate(const std::string& file, HINSTANCE instance, HWND owner,
                                      FoundIn* where = nullptr);

    // WM_DEVICECHANGE as the request's window receives it: a medium that arrived in (or left) a
    // drive makes every watched folder on that drive be checked.
    void onDeviceChange(WPARAM event, LPARAM broadcast);

    // The text of the File Loader dialog for a missing file. The folders that did not answer the
    // first look in time are named at its end: the list shows them like every other folder, and the
    // lookup keeps looking at them.
    std::string loaderMessage(const std::string& file, const std::vector<std::string>& notAnswering = {}) const;

    // The file a waiting lookup waits for; empty when no lookup waits. Read on the thread that runs
    // the lookups, as is watcherCount.
    std::string waitingFor() const;
    // How many folders the waiting lookup watches; 0 when no lookup waits.
    size_t watcherCount() const noexcept;

    // Writes a changed list now instead of at the destruction, and lets an error out (raises like
    // the constructor when the registry root cannot be opened). A key that cannot be created is
    // passed over without an error, as at the destruction: a caller that must know reads the list
    // back with a Theme of its own.
    void saveNow() { save(); }

    // Deletes what the theme stored (its "data" and "subs" keys and its own values), and its key
    // when no nested theme is left below it; the list in this object becomes empty and unchanged.
    // False when the theme has no key. Raises like the constructor when the registry root cannot
    // be opened.
    bool deleteStored();

    // The names of the themes that have a key of their own with a stored list ("data"), nested
    // ones as "Manuals\2024", in the registry's order, depth first.
    static std::vector<std::string> registeredNames();

private:
    // One lookup's wait: what its watchers report to (the wanted file, fixed for the wait's life,
    // the path found and the dialog shown) and the watchers themselves. See ThemeLookup.cpp.
    class Wait;
    struct WaitDeleter {
        void operator()(Wait* wait) const noexcept;
    };
    using WaitPointer = std::unique_ptr<Wait, WaitDeleter>;

    // Forgets the dialog and tells the waiting lookup's watchers to stop, without waiting for their
    // threads: under Wine a watcher takes about 13 ms to close its notification, which the request
    // need not wait for. The wait moves to `retired`, which the next lookup and the destructor end.
    void retireWait() noexcept;
    // Ends every wait: stops its watchers, waiting for their threads, the retired ones too.
    void endWaits() noexcept;

    // load runs only in the constructor, save at the destruction and in saveNow. load sets
    // `paths` to the stored folders and never waits for another process; save applies this object's edits (folders added and removed
    // since the load) to each list as stored now, so that another editor's folders stay.
    void load();
    void save();

    // The lists as last read or written: machine-wide and the user's own.
    std::vector<std::string> machinePaths;
    std::vector<std::string> userPaths;
    Kept kept = Kept::machine;

    // Lookup state, touched only on the thread that runs the lookups. waiting: from a failed
    // search until the end of the lookup's dialog (without a dialog: until the next lookup or the
    // theme's end). retired: the wait of the last lookup whose watchers are still stopping.
    WaitPointer waiting;
    WaitPointer retired;
    StopSignal* stop = nullptr;
    LookupScope scope;
};
