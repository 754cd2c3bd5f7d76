#include "request/UnrarLibrary.h"

#include "winsys/ErrorMode.h"
#include "winsys/Module.h"
#include "winsys/Text.h"

#include <aclapi.h>

#include <cstring>
#include <iterator>

namespace {

// A path that names the same place whatever the current folder and drive: "X:\..." or a UNC path.
bool isFullyQualified(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':' && isPathSeparator(path[2]))
        return true;
    return path.size() >= 3 && startsWithTwoSeparators(path);
}

// A network location: a UNC path ("\\server\share", "\\?\UNC\...", or any other path that starts
// with two separators) or a drive letter mapped to a share. A library there could be replaced by
// whoever controls the server, and a share that does not answer would stall the request.
bool isNetworkFolder(const std::string& path)
{
    if (startsWithTwoSeparators(path))
        return true;
    return path.size() >= 3 && path[1] == ':' && GetDriveTypeA(path.substr(0, 3).c_str()) == DRIVE_REMOTE;
}

// Why a non-administrator could put a library into folder; empty when the folder's DACL lets none
// of Everyone, INTERACTIVE, Authenticated Users and Users create files in it (or change the DACL or
// owner, which would let them). A folder whose security cannot be read for another reason than that
// it does not exist, and one without a DACL (no
// DACL grants everybody everything), counts as writable. Deny entries are not weighed: a folder
// they would make safe is still skipped.
std::string writableByUsers(const std::string& folder)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &dacl, nullptr, &descriptor);
    // A missing folder holds no library; should it appear later, the next search judges it.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return {};
    if (error != ERROR_SUCCESS)
        return "its permissions cannot be read";
    std::string reason = dacl ? "" : "it has no access control list: everybody may write there";
    const WELL_KNOWN_SID_TYPE groups[] = {WinWorldSid, WinInteractiveSid, WinAuthenticatedUserSid,
                                          WinBuiltinUsersSid};
    const char* const names[] = {"Everyone", "INTERACTIVE", "Authenticated Users", "Users"};
    const ACCESS_MASK writing = FILE_ADD_FILE | GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;
    for (DWORD i = 0; dacl && reason.empty() && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        for (size_t g = 0; g < std::size(groups) && (ace->Mask & writing); ++g) {
            if (IsWellKnownSid(reinterpret_cast<PSID>(&ace->SidStart), groups[g])) {
                reason = std::string(names[g]) + " may create files in it";
                break;
            }
        }
    }
    LocalFree(descriptor);
    return reason;
}

std::string withoutTrailingSeparators(std::string folder)
{
    while (folder.size() > 3 && isPathSeparator(folder.back()))
        folder.pop_back();
    return folder;
}

// The folder part of a module's path; empty when the path does not fit the buffer.
std::string moduleFolder(HMODULE module)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    char* lastSeparator = std::strrchr(path, '\\');
    if (!lastSeparator)
        return {};
    return std::string(path, lastSeparator);
}

template <typename Query>
std::string systemFolder(Query query)
{
    char path[MAX_PATH];
    UINT length = query(path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::vector<std::string> pathEntries()
{
    DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0)
        return {};
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA("PATH", value.data(), size));

    std::vector<std::string> entries = splitList(value);
    for (std::string& entry : entries) {
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
            entry = entry.substr(1, entry.size() - 2);
    }
    return entries;
}

bool sameFolder(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

}  // namespace

std::vector<std::string> unrarSearchFolders(std::vector<SkippedFolder>* skipped)
{
    std::vector<std::string> candidates = {
        moduleFolder(moduleInstance()),
        moduleFolder(nullptr),
        systemFolder(GetSystemDirectoryA),
        systemFolder(GetWindowsDirectoryA),
    };
    for (std::string& entry : pathEntries()) {
        if (isNetworkFolder(entry) || !isFullyQualified(entry))
            continue;
        std::string reason = writableByUsers(entry);
        if (!reason.empty()) {
            if (skipped)
                skipped->push_back({withoutTrailingSeparators(entry), reason});
            continue;
        }
        candidates.push_back(std::move(entry));
    }

    std::vector<std::string> folders;
    for (const std::string& candidate : candidates) {
        if (!isFullyQualified(candidate))
            continue;
        std::string folder = withoutTrailingSeparators(candidate);
        bool seen = false;
        for (const std::string& known : folders)
            seen = seen || sameFolder(known, folder);
        if (!seen)
            folders.push_back(folder);
    }
    return folders;
}

std::vector<std::string> unrarLibraryNames()
{
#ifdef _WIN64
    return {"unrar.dll", "unrar64.dll"};
#else
    return {"unrar.dll"};
#endif
}

namespace {

// Loads the library at path (a full path) so that its own imports are resolved only from its folder and
// System32, never from the current folder or PATH (LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR with
// LOAD_LIBRARY_SEARCH_SYSTEM32). Windows 7 and Vista know these flags only with update KB2533623, and
// without it refuse them with ERROR_INVALID_PARAMETER; kernel32's export AddDllDirectory is the
// documented sign of the update. There, and only there, the library is loaded with
// LOAD_WITH_ALTERED_SEARCH_PATH: its imports come from its own folder first, then the system folders,
// which come before the current folder whenever safe DLL search mode is on (the default since
// Windows XP SP2); the vendor's library imports only system libraries, so they are found there. A
// process-wide change such as SetDllDirectory is no option inside a host's process.
HMODULE loadWithOwnImports(const std::string& path)
{
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel && GetProcAddress(kernel, "AddDllDirectory"))
        return nullptr;  // the flags are known: the refusal was about this library
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

LoadedModule loadUnrarLibrary()
{
    // No "insert a disk" box for a PATH entry on an empty removable drive.
    QuietErrorMode quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    LoadedModule library;
    const std::vector<std::string> names = unrarLibraryNames();
    for (const std::string& folder : unrarSearchFolders()) {
        const char* separator = isPathSeparator(folder.back()) ? "" : "\\";
        for (const std::string& name : names) {
            std::string path = folder + separator + name;
            if (path.size() < MAX_PATH)
                library.reset(loadWithOwnImports(path));
            if (library)
                return library;
        }
    }
    return library;
}
