// Extracts one member of a RAR archive through the external library "unrar.dll" (see
// UnrarLibrary.h for where it is looked for) into a folder of its own below the internet cache
// folder (ExtractionFolder.h), gives the copy the archive's Mark of the Web (ZoneMark.h), and
// deletes the copy and its folder again when the extractor is closed or destroyed.
//
// An extractor is used by one thread. It carries its comment and path buffers inside itself, so it
// is meant to live on the worker's stack. Given a stop signal, it breaks an extraction off as soon
// as a stop is asked for (the library reports its progress through a callback) and deletes what
// was written of the copy. Several extractors may live at once; each loads the library for itself
// and writes into folders of its own.
//
// Member names come from the caller, and the extracted file is deleted later, so a name is only ever
// turned into a path when that path stays inside its folder: a name that is no plain relative name
// (request/PlainName.h: no drive, root, UNC start, "." or ".." part, part ending in a dot or a
// space, device name, stream or character that Windows does not allow in file names), or whose
// result is longer than the buffers, is refused.
#pragma once

#include "request/ExtractionFolder.h"
#include "request/UnrarApi.h"
#include "request/ZoneMark.h"
#include "winsys/Handle.h"

#include <optional>
#include <string>

class StopSignal;

class RarExtractor {
public:
    // Loads the library and resolves its entry points; raises std::runtime_error("unrar.dll") when
    // no library can be loaded or one of the entry points is missing. Extracts below the internet
    // cache folder.
    RarExtractor();

    // The same, extracting below cacheFolder as if the platform had named it as the cache folder:
    // a "/" is appended unless it already ends in "\" or "/". With an empty folder, one too long for
    // the destination buffer, or one the library's OEM code page cannot spell exactly, nothing can
    // be extracted.
    explicit RarExtractor(const std::string& cacheFolder);

    // closeArchive, then the library is unloaded.
    ~RarExtractor();

    RarExtractor(const RarExtractor&) = delete;
    RarExtractor& operator=(const RarExtractor&) = delete;

    // The request's stop signal, for the archives opened from now on; null (the default): an
    // extraction runs to its end.
    void setStopSignal(const StopSignal* stop) noexcept { this->stop = stop; }

    // Closes the current archive, then opens this one for extraction and learns the Mark of the Web
    // its copies will carry. True when the library reported success; a path longer than 511
    // characters is refused without asking the library.
    bool openArchive(const std::string& path);

    // Looks for the first member whose stored name, folder part included, equals member without
    // regard to the case of A to Z, and extracts it into a new folder of its own followed by member,
    // in the caller's case; the copy gets the archive's mark. Returns that path, or nothing when no
    // archive is open, the name is refused (see above), the member is missing or a folder, a header
    // cannot be read, no folder could be made, the extraction failed or was stopped (what it wrote
    // is deleted), or the mark of an archive from the Internet zone (or a less trusted one) could not
    // be written. The previous copy is removed first, and stale folders of earlier extractions are
    // swept (ExtractionFolder.h).
    std::optional<std::string> extract(const std::string& member);

    // removeExtracted, then the archive is closed.
    void closeArchive();

    // Deletes the copy extracted last and the folder made for it, with everything in it, read-only
    // or not. When a viewer still holds the copy, all of it stays for a later sweep.
    void removeExtracted();
    // Forgets the last copy without deleting it: a viewer that outlives the request (the control went
    // away while it ran, or it may have handed the copy on to another process) keeps its document.
    // Its folder is swept once it is a day old and no longer in use.
    void keepExtracted() noexcept
    {
        extractedPath.clear();
        destFolder[0] = '\0';
        heldFolder.reset();
    }

    // The platform's internet cache folder, created when missing; empty when the platform names none.
    static std::string internetCacheFolder();

private:
    bool isDirectory(const RARHeaderData& header) const;
    // The library's callback; userData is the extractor. Cancels once a stop is asked for, and
    // answers no to every question (a missing volume, a password): there is nobody to ask.
    static int CALLBACK libraryCallback(UINT message, LPARAM userData, LPARAM p1, LPARAM p2);

    // Declared first so that it is released last, after the archive has been closed through it.
    LoadedModule library;
    RAROpenArchiveProc rarOpenArchive = nullptr;
    RARCloseArchiveProc rarCloseArchive = nullptr;
    RARReadHeaderProc rarReadHeader = nullptr;
    RARProcessFileProc rarProcessFile = nullptr;
    RARSetChangeVolProcProc rarSetChangeVolProc = nullptr;  // required, never called
    RARSetCallbackProc rarSetCallback = nullptr;
    int libraryVersion = 0;  // RARGetDllVersion when the library has it, else 0

    const StopSignal* stop = nullptr;
    HANDLE archive = nullptr;
    ZoneMark archiveMark;  // what copies of the open archive carry
    char commentBuffer[16384];
    char archiveName[512];
    std::string cacheFolder;    // empty (nothing can be extracted), or ends in "\" or "/"
    char destFolder[MAX_PATH];  // the folder made for the last copy, ending in "\"; empty when none
    ExtractionHold heldFolder;  // keeps destFolder from the sweep while it is in use
    char destFolderOem[MAX_PATH];
    char destName[MAX_PATH];    // the destination in the library's OEM code page
    std::string extractedPath;  // empty when nothing is extracted
};
