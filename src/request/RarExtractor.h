// Extracts one member of a RAR archive into the internet cache folder through the external library
// "unrar.dll" (see UnrarLibrary.h for where it is looked for), and deletes the copy again when the
// extractor is closed or destroyed.
//
// An extractor is used by one thread. It carries its comment and path buffers inside itself, so it
// is meant to live on the worker's stack. Several extractors may live at once; each loads the library
// for itself, and all of them write into the same cache folder.
//
// Member names come from the caller, and the extracted file is deleted later, so a name is only ever
// turned into a path when that path stays inside the cache folder: a name with a drive, a root, a
// UNC start, a "." or ".." part, a device name (CON, NUL, COM1...), a stream (":"), a character
// that Windows does not allow in file names, or a result longer than the buffers is refused.
#pragma once

#include "request/UnrarApi.h"
#include "winsys/Handle.h"

#include <optional>
#include <string>

class RarExtractor {
public:
    // Loads the library and resolves its entry points; raises std::runtime_error("unrar.dll") when
    // no library can be loaded or one of the entry points is missing. Extracts into the internet
    // cache folder.
    RarExtractor();

    // The same, extracting into cacheFolder as if the platform had named it as the cache folder:
    // a separator is appended unless it already ends in "\" or "/". With an empty folder, one too
    // long for the destination buffer, or one the library's OEM code page cannot spell exactly,
    // nothing can be extracted.
    explicit RarExtractor(const std::string& cacheFolder);

    // closeArchive, then the library is unloaded.
    ~RarExtractor();

    RarExtractor(const RarExtractor&) = delete;
    RarExtractor& operator=(const RarExtractor&) = delete;

    // Closes the current archive, then opens this one for extraction. True when the library reported
    // success; a path longer than 511 characters is refused without asking the library.
    bool openArchive(const std::string& path);

    // Looks for the first member whose stored name, folder part included, equals member without
    // regard to the case of A to Z, and extracts it to the cache folder followed by member, in the
    // caller's case. Returns that path, or nothing when no archive is open, the name is refused (see
    // above), the member is missing or a folder, a header cannot be read, or the extraction failed.
    // The previously extracted file is deleted first.
    std::optional<std::string> extract(const std::string& member);

    // removeExtracted, then the archive is closed.
    void closeArchive();

    // Deletes the file extracted last, read-only or not. A file that cannot be deleted, for example
    // because a viewer still holds it, stays behind. Folders created for it stay: another extractor
    // may be writing into them.
    void removeExtracted();
    // Forgets the last extracted file without deleting it: a viewer that outlives the request (the
    // control went away while it ran) keeps its document.
    void keepExtracted() noexcept { extractedPath.clear(); }

    // The platform's internet cache folder, created when missing; empty when the platform names none.
    static std::string internetCacheFolder();

private:
    bool isDirectory(const RARHeaderData& header) const;

    // Declared first so that it is released last, after the archive has been closed through it.
    LoadedModule library;
    RAROpenArchiveProc rarOpenArchive = nullptr;
    RARCloseArchiveProc rarCloseArchive = nullptr;
    RARReadHeaderProc rarReadHeader = nullptr;
    RARProcessFileProc rarProcessFile = nullptr;
    RARSetChangeVolProcProc rarSetChangeVolProc = nullptr;  // required, never called
    int libraryVersion = 0;  // RARGetDllVersion when the library has it, else 0

    HANDLE archive = nullptr;
    char commentBuffer[16384];
    char archiveName[512];
    char destFolder[MAX_PATH];  // empty, or ends in "\" or "/"
    char destFolderOem[MAX_PATH];
    char destName[MAX_PATH];    // the destination in the library's OEM code page
    std::string extractedPath;  // empty when nothing is extracted
};
