// Registry helpers for the tests, written on the plain registry functions so that they check the
// system's own registry classes independently: scratch keys, raw values, name lists, and the
// output of an outside program such as Wine's reg.exe.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// A fresh, absent key path "Software\VogTests\<prefix>-<pid>-<n>" below HKEY_LOCAL_MACHINE (a
// leftover of an earlier run is deleted). Delete it again with deleteKey.
std::string freshTestKey(const std::string& prefix);

// Deletes root\path with everything below it; true when it is gone afterwards.
bool deleteKey(HKEY root, const std::string& path);
bool keyExists(HKEY root, const std::string& path, REGSAM view = 0);

// Creates root\path when needed and writes one value of any type; `view` may name a registry view
// (KEY_WOW64_32KEY).
bool putValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size,
              REGSAM view = 0);
bool putText(HKEY root, const std::string& path, const std::string& name, const std::string& text,
             DWORD type = REG_SZ, REGSAM view = 0);
bool putNumber(HKEY root, const std::string& path, const std::string& name, DWORD value);

struct RawValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::string data;  // the stored bytes
};
RawValue rawValue(HKEY root, const std::string& path, const std::string& name);

// Names below root\path in the registry's order; names of any length.
std::vector<std::string> valueNamesOf(HKEY root, const std::string& path);
std::vector<std::string> subkeysOf(HKEY root, const std::string& path);

// A registry link at root\path (HKEY_LOCAL_MACHINE only) to a key that does not exist: it is
// listed by enumeration, but every attempt to open or delete it by name fails. removeBrokenLink
// deletes the link itself.
bool makeBrokenLink(const std::string& path);
bool removeBrokenLink(const std::string& path);

// While it lives, root\<path> and every key below it that exists give everyone read access only, as
// a standard user sees HKEY_LOCAL_MACHINE\Software\Vog and a process at low integrity its own
// HKEY_CURRENT_USER\Software\Vog (Wine enforces key DACLs for its administrator token too). The keys' own security comes back at the end, through handles opened beforehand.
class ReadOnlyKeys {
public:
    explicit ReadOnlyKeys(const std::string& path = "Software\\Vog", HKEY root = HKEY_LOCAL_MACHINE);
    ~ReadOnlyKeys();
    ReadOnlyKeys(const ReadOnlyKeys&) = delete;
    ReadOnlyKeys& operator=(const ReadOnlyKeys&) = delete;
    bool applied() const { return !keys.empty(); }

private:
    struct Kept { HKEY key; std::vector<char> security; };
    void keep(HKEY parent, const std::string& name, int depth);
    std::vector<Kept> keys;
};

}  // namespace testing_support
