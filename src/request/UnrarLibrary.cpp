#include "request/UnrarLibrary.h"

#include "winsys/ErrorMode.h"
#include "winsys/Module.h"
#include "winsys/Text.h"

#include <cstring>

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

std::vector<std::string> unrarSearchFolders()
{
    std::vector<std::string> candidates = {
        moduleFolder(moduleInstance()),
        moduleFolder(nullptr),
        systemFolder(GetSystemDirectoryA),
        systemFolder(GetWindowsDirectoryA),
    };
    for (std::string& entry : pathEntries()) {
        if (!isNetworkFolder(entry))
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
