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

// A folder opened without following a link in its place; while it is open nobody else can delete
// or rename it (no FILE_SHARE_DELETE), so no link can take its place. With access (DELETE) it is
// opened for its own deletion. Invalid when it cannot be opened so, or what the path names now is a
// link or no folder.
FileHandle openFolder(const std::string& folder, DWORD access = 0)
{
    FileHandle handle(CreateFileA(folder.c_str(), access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(handle.get(), &info) || !isPlainFolder(info.dwFileAttributes))
        return {};
    return handle;
}

// The volume and file ID of what handle is open on; 0 when they cannot be read.
unsigned long long fileIdOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return 0;
    return (static_cast<unsigned long long>(info.dwVolumeSerialNumber) << 48) ^
           (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) ^ info.nFileIndexLow;
}

// Whether path, opened now without following a link, is the folder of that file ID: a path that
// leads elsewhere than the folder that was made is never deleted through.
bool pathLeadsTo(const std::string& path, unsigned long long id)
{
    FileHandle now(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return now && GetFileInformationByHandle(now.get(), &info) && isPlainFolder(info.dwFileAttributes) &&
           id != 0 && fileIdOf(now.get()) == id;
}

bool markForDeletion(HANDLE handle)
{
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// The name of the event that marks the extraction folder (ending in "\") as in use.
std::string inUseName(const std::string& folder)
{
    size_t end = folder.find_last_not_of("\\/");
    size_t start = folder.find_last_of("\\/", end);
    return "Local\\VogExtraction-" + folder.substr(start + 1, end - start);
}

bool heldByARequest(const std::string& folder)
{
    KernelHandle event(OpenEventA(SYNCHRONIZE, FALSE, inUseName(folder).c_str()));
    return event || GetLastError() == ERROR_ACCESS_DENIED;
}

unsigned long long ticksOf(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::string createExtractionFolder(const std::string& cacheFolder, ExtractionHold* hold)
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
        if (CreateDirectoryA(folder.c_str(), nullptr)) {
            ExtractionHold held;
            held.folder = openFolder(folder);
            if (!held.folder)
                return {};
            if (hold) {
                held.inUse.reset(CreateEventA(nullptr, TRUE, FALSE, inUseName(folder).c_str()));
                *hold = std::move(held);
            }
            return folder + "\\";
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

bool removeExtractionFolder(const std::string& folder, ExtractionHold hold)
{
    FileHandle held = std::move(hold.folder);
    hold.inUse.reset();
    if (!held) {
        // A running request's folder is left alone whole.
        if (heldByARequest(folder))
            return false;
        held = openFolder(folder);
        if (!held)
            return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    // The folder cannot be renamed while held, but a folder above it could: its path must still
    // lead to it, before and after its files are opened, or nothing is deleted through that path.
    const unsigned long long id = fileIdOf(held.get());
    std::vector<std::string> files, folders;
    if (!pathLeadsTo(folder, id) || !collect(folder, files, folders))
        return false;
    // Opened without sharing, a file that anybody holds open fails here; while all are held, nobody
    // can open one. Only then is each marked for deletion, read-only or not. Every handle is opened
    // without following a link, so a link put in meanwhile goes itself, never its target.
    std::vector<FileHandle> openFiles;
    for (const std::string& file : files) {
        FileHandle handle(CreateFileA(file.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle)
            return false;
        openFiles.push_back(std::move(handle));
    }
    if (!pathLeadsTo(folder, id))
        return false;
    for (FileHandle& handle : openFiles)
        markForDeletion(handle.get());
    openFiles.clear();
    for (auto inner = folders.rbegin(); inner != folders.rend(); ++inner) {
        FileHandle handle = openFolder(*inner, DELETE);
        if (handle)
            markForDeletion(handle.get());
    }
    // The folder itself goes through a handle opened for deletion, once it is checked to be the same.
    held.reset();
    FileHandle own = openFolder(folder, DELETE);
    bool marked = own && fileIdOf(own.get()) == id && markForDeletion(own.get());
    own.reset();
    return marked || GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
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
