// A cursor over the registry: one open key at a time, remembered as a path below a root key that it
// does not own. It moves down by name (openSub, createSub) and back up by path (toParent, which
// reopens the parent from the root), reads and writes typed values of the current key, lists
// names, and deletes recursively.
//
// Only the constructor raises. Every other operation answers with a bool that is true exactly when
// the registry said ERROR_SUCCESS, and keeps no error code.
//
// After a failed descent the cursor holds no key: every operation on the current key fails, lists
// nothing and classifies every value as absent, until toParent or reopen positions it again. The
// path is left at the key the descent started from, so toParent then lands one level above that.
//
// All calls are the ANSI registry functions. Every key the cursor opens or creates is opened with
// the access its owner chose at construction: reading, or changing (which includes reading). A
// standard user may read HKEY_LOCAL_MACHINE\Software but not change it, so only a caller that
// writes asks for change. A null name is passed to the registry as the empty string, except where
// an operation says otherwise.
#pragma once

#include "winsys/Handle.h"

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace Vantor {

// What a value holds, by its registry type.
enum class ValueKind {
    absent = 0,  // no such value, or the cursor holds no key
    text = 1,    // REG_SZ, REG_EXPAND_SZ
    number = 2,  // REG_DWORD
    binary = 3,  // REG_BINARY
    other = 4,   // anything else (REG_MULTI_SZ, REG_QWORD, REG_NONE, ...)
};

// What a cursor may do with the keys it opens.
enum class Access {
    read,    // query values, enumerate, be notified
    change,  // read, and create keys, set and delete values, delete keys
};

// The registry refused the access asked for (ERROR_ACCESS_DENIED): an expected outcome for a user
// without an administrator's rights, with a text that says which key.
class AccessRefused : public std::runtime_error {
public:
    AccessRefused(Access access, const std::string& path);
    Access access;
};

// Which of 64-bit Windows' two registry views a cursor works in. 32-bit Windows has one view and
// ignores the flags, so both name the same keys there.
enum class View {
    // The 64-bit view (KEY_WOW64_64KEY): 32-bit and 64-bit code alike share one set of settings.
    shared,
    // The 32-bit view (KEY_WOW64_32KEY, HKLM\Software\WOW6432Node on 64-bit Windows), where a 32-bit
    // installation of old kept its settings.
    legacy32,
};

class Register {
public:
    // Opens root\path (a null path opens root itself) with `access`. Raises AccessRefused when the
    // registry refuses that access, and std::invalid_argument with the text "class Vantor::Register"
    // when the key cannot be opened for another reason (it is missing). The root is not owned.
    // Every key the cursor opens, creates or deletes is in `view`.
    Register(HKEY root, const char* path, Access access, View view = View::shared);
    ~Register() = default;

    Register(const Register&) = delete;
    Register& operator=(const Register&) = delete;

    // Descends into the existing subkey `name`. A null or empty name fails and changes nothing.
    bool openSub(const char* name);
    // Descends into `name`, creating it (non-volatile) when absent. An empty name gives the current
    // key again, with a trailing backslash added to a non-empty path.
    bool createSub(const char* name);
    // A position the cursor left by `descend`, with its key kept open for `ascend`.
    struct Mark {
        RegistryKey key;
        std::string path;
    };
    // Descends into the subkey `name` (creating it, non-volatile, when `create`) and keeps the key
    // it leaves in `mark`, so that a walk over a tree returns without opening keys again. A null or
    // empty name, a cursor without a key, or a failed open or creation changes nothing.
    bool descend(const char* name, bool create, Mark& mark);
    // Closes the current key and returns to the position kept in `mark` by `descend`.
    void ascend(Mark& mark);
    // Reopens the key one path component up from the root; at the root it reopens the root. A name
    // with backslashes that was descended into in one step is still climbed one component at a time.
    bool toParent();
    // Closes the current key and opens root\path (null taken as empty). On failure the path becomes
    // empty and the cursor holds no key.
    bool reopen(HKEY root, const char* path);

    // Deletes every value of the current key and none of its subkeys. Always ends: a value that
    // cannot be deleted, or whose name does not fit the 255-character name buffer, is passed over
    // and the sweep goes on with the next one.
    void clearValues();
    // Deletes the subkey `name` with everything below it, depth first; the result is that of the
    // key's deletion. Ends as clearValues does: what cannot be deleted is passed over, and a key
    // that then cannot go keeps it (and loses its values). The cursor stays on the current key.
    bool deleteSub(const char* name);
    bool deleteValue(const char* name);

    // The names of the current key's subkeys (values), in the order the registry enumerates them.
    // The list ends at the first failing call: the end of the list, a missing key, or a name longer
    // than 255 characters (later names are then not listed).
    void subNames(std::vector<std::string>& names) const;
    void valueNames(std::vector<std::string>& names) const;

    ValueKind valueKind(const char* name) const;

    // Typed reads: each fails when the value's kind does not match, and then leaves `out` as it was
    // (readBinary: the buffer's content is undefined after a failure on size).
    // readText gives the data up to its first NUL; REG_EXPAND_SZ comes back unexpanded.
    bool readText(const char* name, std::string& out) const;
    bool readNumber(const char* name, std::uint32_t& out) const;
    // Fails when the stored data is larger than `size`; shorter data fills only its own bytes.
    bool readBinary(const char* name, void* buffer, DWORD size) const;

    // A REG_BINARY value of any size, its bytes as they are. Fails (out as it was) for another type.
    bool readBytes(const char* name, std::string& out) const;
    // When the current key or one of its values was last changed (RegQueryInfoKey's last write
    // time). Two changes within one tick of the system clock may give the same time.
    bool lastWritten(FILETIME& out) const;

    // REG_SZ: the text and its terminating NUL.
    bool writeText(const char* name, const std::string& text);
    bool writeNumber(const char* name, std::uint32_t value);
    bool writeBinary(const char* name, const void* data, DWORD size);

    HKEY currentKey() const { return key.get(); }
    bool atKey() const { return key.valid(); }
    // The current key's path below the root; empty at the root itself.
    const std::string& path() const { return keyPath; }
    Access access() const { return chosen; }

private:
    // The access mask of every open and creation: the one place it is formed.
    REGSAM mask() const;

    // The key whose path is relative to: not owned.
    HKEY root;
    Access chosen;
    View view;
    // The key at the cursor's position; null after a failed descent.
    RegistryKey key;
    std::string keyPath;
};

}  // namespace Vantor
