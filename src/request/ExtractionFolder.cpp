#include "request/ExtractionFolder.h"

#include "winsys/Handle.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <vector>

namespace {

const char* const rootName = "Vog";

bool isPlainFolder(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool isPlainFolder(const std::string& path)
{
    return isPlainFolder(GetFileAttributesA(path.c_str()));
}

bool isDotEntry(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Calls visit(path, found) for each entry of folder (ending in "\") but "." and "..", until it
// returns false. False when visit did, or folder cannot be listed.
template <typename Visit>
bool forEachEntry(const std::string& folder, Visit visit)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool complete = true;
    do {
        if (!isDotEntry(found.cFileName) && !visit(folder + found.cFileName, found)) {
            complete = false;
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return complete;
}

// The files and folders below folder, parents before their children; false when a link or junction
// is among them or a folder cannot be listed.
bool collect(const std::string& folder, std::vector<std::string>& files, std::vector<std::string>& folders)
{
    return forEachEntry(folder, [&](const std::string& path, const WIN32_FIND_DATAA& found) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return false;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            files.push_back(path);
            return true;
        }
        folders.push_back(path + "\\");
        return collect(folders.back(), files, folders);
    });
}

unsigned long long ticksOf(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::string createExtractionFolder(const std::string& cacheFolder)
{
    std::string root = cacheFolder + rootName;
    CreateDirectoryA(root.c_str(), nullptr);  // there already, but for the first extraction
    if (!isPlainFolder(root))
        return {};
    for (int attempt = 0; attempt < 16; ++attempt) {
        GUID random;
        if (FAILED(CoCreateGuid(&random)))
            return {};
        char name[16];
        std::snprintf(name, sizeof name, "\\%08lx", static_cast<unsigned long>(random.Data1));
        std::string folder = root + name;
        if (CreateDirectoryA(folder.c_str(), nullptr))
            return isPlainFolder(folder) ? folder + "\\" : std::string();
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

bool removeExtractionFolder(const std::string& folder)
{
    std::vector<std::string> files, folders;
    if (!collect(folder, files, folders))
        return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
    // Opened without sharing, a file that anybody holds open fails here; while all are held, nobody
    // can open one. Only then is each marked for deletion, read-only or not.
    std::vector<FileHandle> held;
    for (const std::string& file : files) {
        FileHandle handle(CreateFileA(file.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle)
            return false;
        held.push_back(std::move(handle));
    }
    for (FileHandle& handle : held) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(handle.get(), FileBasicInfo, &basic, sizeof basic);
        FILE_DISPOSITION_INFO disposition{TRUE};
        SetFileInformationByHandle(handle.get(), FileDispositionInfo, &disposition, sizeof disposition);
    }
    held.clear();
    for (auto inner = folders.rbegin(); inner != folders.rend(); ++inner)
        RemoveDirectoryA(inner->c_str());
    return RemoveDirectoryA(folder.c_str()) || GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void sweepExtractionFolders(const std::string& cacheFolder)
{
    std::string root = cacheFolder + rootName + "\\";
    if (!isPlainFolder(root))
        return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    std::vector<std::string> stale;
    forEachEntry(root, [&](const std::string& path, const WIN32_FIND_DATAA& found) {
        unsigned long long written = ticksOf(found.ftLastWriteTime);
        if (isPlainFolder(found.dwFileAttributes) && written < ticksOf(now) &&
            ticksOf(now) - written > staleExtractionFolderAge)
            stale.push_back(path + "\\");
        return true;
    });
    for (const std::string& folder : stale)
        removeExtractionFolder(folder);
}
