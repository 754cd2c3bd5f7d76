// A theme's list of folders as stored below one registry root, read without waiting for a writer
// and written so that a writer ended at any instant leaves the old list or the new one.
//
// Below the theme's key, "data" holds the list in the settings-tree layout (see Theme.h). A save
// first writes the whole new list as one value of the theme's key, "saving" (REG_BINARY: each
// folder followed by a NUL), which one registry call sets at once; then it replaces the tree and
// deletes "saving". A reader that finds "saving" takes the list from it: a save runs, or one was
// ended before it had finished, and the next save completes it. Programs that read only the tree
// see a complete list except while a save runs and after an unfinished one.
#pragma once

#include "regtree/Register.h"

#include <windows.h>

#include <string>
#include <vector>

namespace stored_list {

extern const char* const themesKey;

// Places the cursor on the theme's key below root. False, on no key, when it is missing.
bool openThemeKey(Vantor::Register& cursor, HKEY root, const std::string& name);

// The theme's list as stored below root now, in view; empty when it is missing. Never waits: a
// save that changes the list while it is read is recognised by its record or by the key's time
// of change, and the list is read again.
std::vector<std::string> read(HKEY root, const std::string& name, Vantor::View view = Vantor::View::shared);

// Replaces what the theme stored below root with list (its "data" and "subs" keys and its own
// values; keys of nested themes stay). False when its key cannot be created or the record of the
// new list cannot be written, and nothing was changed then.
bool write(HKEY root, const std::string& name, const std::vector<std::string>& list);

}  // namespace stored_list
