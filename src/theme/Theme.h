// A theme: a name under which the user keeps an ordered list of folders to look for files in. The
// list lives in the machine-wide registry, one key per theme below
//   HKEY_LOCAL_MACHINE\Software\Vog\2000.08.04\Themes\<name>\data
// as a settings tree whose root holds the string array "paths": one folder is the value
// "string.paths", two or more are the values "string.0", "string.1", ... of the key "paths".
// The constructor reads the list; the destructor writes it back when it was changed.
#pragma once

#include <string>
#include <vector>

class Theme {
public:
    // Reads the theme's folders. Raises std::invalid_argument ("class Vantor::Register") when the
    // name is not empty and HKEY_LOCAL_MACHINE cannot be opened with full access. A missing theme
    // gives an empty list; an empty name reads nothing (and never saves).
    explicit Theme(const std::string& name);
    // Writes the list back when `changed`. Never raises: a failing save is dropped, and the changes
    // of this theme object are then lost.
    ~Theme();

    Theme(const Theme&) = delete;
    Theme& operator=(const Theme&) = delete;

    std::string name;
    // Folders as read from the registry, then as the user added them; never normalised.
    std::vector<std::string> paths;
    // Set by whoever adds or removes a folder; false after loading and after saving.
    bool changed = false;

    // The lookup state and its operations (foundPath, wantedFile, the watchers, the dialog,
    // locate, onChange, onDeviceChange) join this class with the file lookup.

private:
    // Run only by the constructor and the destructor. load appends the stored folders to `paths`;
    // save replaces everything stored under the theme's key with `paths` (raises like the
    // constructor when the registry root cannot be opened).
    void load();
    void save();
};
