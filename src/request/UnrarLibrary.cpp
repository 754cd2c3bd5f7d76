#include "request/UnrarLibrary.h"

#include "winsys/ErrorMode.h"
#include "winsys/Module.h"
#include "winsys/Text.h"

#include <cstring>

namespace {

// A path that names the same place whatever the current folder and drive: "X:\..." or a UNC path.
bool isFullyQualified(const std::string& path)
{
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && path[1] == ':' && separator(path[2]))
        return true;
    return path.size() >= 3 && separator(path[0]) && separator(path[1]);
}

std::string withoutTrailingSeparators(std::string folder)
{
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
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
    for (std::string& entry : pathEntries())
        candidates.push_back(std::move(entry));

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

LoadedModule loadUnrarLibrary()
{
    // No "insert a disk" box for a PATH entry on an empty removable drive.
    QuietErrorMode quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    LoadedModule library;
    const std::vector<std::string> names = unrarLibraryNames();
    for (const std::string& folder : unrarSearchFolders()) {
        const char* separator = folder.back() == '\\' || folder.back() == '/' ? "" : "\\";
        for (const std::string& name : names) {
            std::string path = folder + separator + name;
            // With a full path, the library's own imports are looked up from its folder first.
            if (path.size() < MAX_PATH)
                library.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
            if (library)
                return library;
        }
    }
    return library;
}
