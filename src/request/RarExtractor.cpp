#include "request/RarExtractor.h"

#include "request/ExtractionFolder.h"
#include "request/PlainName.h"
#include "request/UnrarLibrary.h"
#include "winsys/StopSignal.h"
#include "winsys/Text.h"

#include <shlobj.h>

#include <cstring>
#include <stdexcept>

namespace {

template <typename Proc>
Proc lookup(HMODULE library, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

template <typename Proc>
void resolve(HMODULE library, Proc& proc, const char* name)
{
    proc = lookup<Proc>(library, name);
    if (!proc)
        throw std::runtime_error("unrar.dll");
}

// What the platform makes of path, resolved against the current folder; empty when over MAX_PATH.
std::string fullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : std::string();
}

// folder ends in a separator.
bool staysInside(const std::string& folder, const std::string& path)
{
    std::string fullFolder = fullPath(folder);
    std::string full = fullPath(path);
    return !fullFolder.empty() && full.size() > fullFolder.size() &&
           full.compare(0, fullFolder.size(), fullFolder) == 0;
}

// Converts text from the system code page into the library's OEM code page, into a buffer of
// MAX_PATH bytes. Fails (leaving the buffer empty) unless every character has an exact OEM
// equivalent that converts back to the same character and the result fits: a name mapped to "?" or
// to a look-alike would be written to a different file than the one later opened and deleted.
bool toOem(const std::string& text, char (&buffer)[MAX_PATH])
{
    buffer[0] = '\0';
    std::optional<std::string> oem = recodeExactly(text, CP_ACP, GetOEMCP());
    if (!oem || oem->size() >= MAX_PATH)
        return false;
    std::memcpy(buffer, oem->c_str(), oem->size() + 1);
    return true;
}

}  // namespace

RarExtractor::RarExtractor() : RarExtractor(internetCacheFolder()) {}

RarExtractor::RarExtractor(const std::string& folderGiven) : library(loadUnrarLibrary())
{
    if (!library)
        throw std::runtime_error("unrar.dll");
    HMODULE module = library.get();
    resolve(module, rarOpenArchive, "RAROpenArchive");
    resolve(module, rarCloseArchive, "RARCloseArchive");
    resolve(module, rarReadHeader, "RARReadHeader");
    resolve(module, rarProcessFile, "RARProcessFile");
    resolve(module, rarSetChangeVolProc, "RARSetChangeVolProc");
    resolve(module, rarSetCallback, "RARSetCallback");
    if (auto version = lookup<RARGetDllVersionProc>(module, "RARGetDllVersion"))
        libraryVersion = version();

    commentBuffer[0] = archiveName[0] = destName[0] = '\0';
    destFolder[0] = destFolderOem[0] = '\0';
    std::string folder = folderGiven;
    if (!folder.empty() && !isPathSeparator(folder.back()))
        folder += '/';
    char folderOem[MAX_PATH];
    if (folder.size() < MAX_PATH && toOem(folder, folderOem))
        cacheFolder = folder;
}

RarExtractor::~RarExtractor()
{
    closeArchive();
}

std::string RarExtractor::internetCacheFolder()
{
    char folder[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_INTERNET_CACHE, TRUE))
        return {};
    return folder;
}

bool RarExtractor::openArchive(const std::string& path)
{
    closeArchive();
    if (path.size() >= sizeof archiveName || path.find('\0') != std::string::npos)
        return false;
    std::memcpy(archiveName, path.c_str(), path.size() + 1);

    RAROpenArchiveData data{};
    data.ArcName = archiveName;
    data.OpenMode = RAR_OM_EXTRACT;
    data.CmtBuf = commentBuffer;
    data.CmtBufSize = sizeof commentBuffer;
    archive = rarOpenArchive(&data);
    if (archive) {
        rarSetCallback(archive, libraryCallback, reinterpret_cast<LPARAM>(this));
        archiveMark = zoneMarkOf(path);
    } else {
        archiveMark = ZoneMark{};
    }
    return archive && data.OpenResult == ERAR_SUCCESS;
}

int CALLBACK RarExtractor::libraryCallback(UINT message, LPARAM userData, LPARAM, LPARAM p2)
{
    const StopSignal* stop = reinterpret_cast<const RarExtractor*>(userData)->stop;
    bool stopped = stop && stop->stopRequested();
    switch (message) {
    case UCM_PROCESSDATA:
        return stopped ? -1 : 1;
    case UCM_CHANGEVOLUME:
    case UCM_CHANGEVOLUMEW:
        // Nobody can bring a missing volume: 1 would only have the library look again.
        return stopped || p2 == RAR_VOL_ASK ? -1 : 1;
    case UCM_NEEDPASSWORD:
    case UCM_NEEDPASSWORDW:
        return -1;
    default:
        return 0;
    }
}

bool RarExtractor::isDirectory(const RARHeaderData& header) const
{
    bool flagged = libraryVersion >= RAR_DLL_VERSION_DIRECTORY_FLAG
                       ? (header.Flags & RAR_HEADER_DIRECTORY) != 0
                       : (header.Flags & RAR4_DIRECTORY_MASK) == RAR4_DIRECTORY_MASK;
    bool windowsHost = header.HostOS == RAR_HOST_MSDOS || header.HostOS == RAR_HOST_WIN32;
    return flagged || (windowsHost && (header.FileAttr & FILE_ATTRIBUTE_DIRECTORY));
}

std::optional<std::string> RarExtractor::extract(const std::string& member)
{
    if (!archive)
        return std::nullopt;
    removeExtracted();

    // The length is checked again once the copy's folder is known.
    char memberOem[MAX_PATH];
    if (cacheFolder.empty() || !isPlainRelativeName(member) ||
        cacheFolder.size() + member.size() >= MAX_PATH || !toOem(member, memberOem))
        return std::nullopt;

    RARHeaderData header;
    for (;;) {
        header = RARHeaderData{};
        if (rarReadHeader(archive, &header) != ERAR_SUCCESS)
            return std::nullopt;
        header.FileName[sizeof header.FileName - 1] = '\0';
        if (equalsIgnoringCase(header.FileName, memberOem))
            break;
        rarProcessFile(archive, RAR_SKIP, nullptr, nullptr);
    }
    // A folder member has nothing to show, and its copy could not be deleted as a file.
    if (isDirectory(header)) {
        rarProcessFile(archive, RAR_SKIP, nullptr, nullptr);
        return std::nullopt;
    }

    sweepExtractionFolders(cacheFolder);
    std::string folder = createExtractionFolder(cacheFolder, &heldFolder);
    if (folder.empty() || folder.size() >= MAX_PATH) {
        rarProcessFile(archive, RAR_SKIP, nullptr, nullptr);
        return std::nullopt;
    }
    // Kept before the library writes anything, so that whatever it leaves there is removed later.
    std::memcpy(destFolder, folder.c_str(), folder.size() + 1);
    std::string destination = folder + member;
    if (destination.size() >= MAX_PATH || !toOem(folder, destFolderOem) || !toOem(destination, destName) ||
        !staysInside(folder, destination)) {
        rarProcessFile(archive, RAR_SKIP, nullptr, nullptr);
        removeExtracted();
        return std::nullopt;
    }
    extractedPath = destination;
    if (rarProcessFile(archive, RAR_EXTRACT, destFolderOem, destName) != ERAR_SUCCESS ||
        (!writeZoneMark(extractedPath, archiveMark) && archiveMark.required)) {
        removeExtracted();
        return std::nullopt;
    }
    return extractedPath;
}

void RarExtractor::removeExtracted()
{
    if (destFolder[0])
        removeExtractionFolder(destFolder, std::move(heldFolder));
    heldFolder.reset();
    destFolder[0] = '\0';
    extractedPath.clear();
}

void RarExtractor::closeArchive()
{
    removeExtracted();
    if (archive) {
        rarCloseArchive(archive);
        archive = nullptr;
    }
}
