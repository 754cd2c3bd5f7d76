// What one directory watcher watches, and the interface through which it reports changes. The
// watchers' user fills both in (a theme: one spec per folder, itself as the callback); what a change
// means is the callback's business, not the watcher's.
#pragma once

#include <windows.h>

#include <string>

// Told of changes in a watched folder. onChange runs on the watcher's own thread, possibly at the same
// time as other watchers' calls and the owner's own work; an exception from it ends that watcher.
class WatchCallback {
public:
    // folder: the path the watcher actually watches (the watched folder, or its root when the folder's
    // volume was not ready, see ChangeWatcher).
    virtual void onChange(const std::string& folder) = 0;

protected:
    virtual ~WatchCallback() = default;
};

// A value: folder (or drive designator such as "E:"), change filter, subtree flag and a non-owning
// callback pointer, which may be null.
class WatchSpec {
public:
    // Flag bits: 2 watches file-name changes, 4 directory-name changes; other bits add nothing.
    static constexpr unsigned char watchFileNames = 2;
    static constexpr unsigned char watchDirectoryNames = 4;
    static constexpr unsigned char watchAll = 255;

    WatchSpec(const std::string& path, WatchCallback* callback, unsigned char flags, bool subtree);

    // Whether other is covered by this spec: the paths are equal when the letters A to Z are compared
    // without regard to case, or (only when this spec has the subtree flag) other's path goes on after
    // all of this path with a path separator ('\\' or ':', as PathGetCharTypeA classes them). Not
    // symmetric: "E:" with subtree matches "E:\docs", but "E:\docs" never matches "E:".
    bool matches(const WatchSpec& other) const;

    std::string path;
    DWORD changeFilter;            // FILE_NOTIFY_CHANGE_FILE_NAME and/or FILE_NOTIFY_CHANGE_DIR_NAME
    bool subtree;                  // also watch subfolders; widens matches
    WatchCallback* callback;
};
