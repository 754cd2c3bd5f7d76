// Our declarations of the external RAR extraction library's published interface: its records,
// constants and the types of the entry points we look up by name. The library is loaded at run time
// and is not part of this project.
//
// The records are byte-packed in the library's own build. On x64 that moves every field after the
// first pointer, so the sizes are checked below for both targets.
#pragma once

#include <windows.h>

#pragma pack(push, 1)

struct RAROpenArchiveData {
    char* ArcName;            // in: the archive's path
    unsigned int OpenMode;    // in: RAR_OM_*
    unsigned int OpenResult;  // out: 0 or an ERAR_* code, also when NULL is returned
    char* CmtBuf;             // in: receives the archive comment (may be NULL)
    unsigned int CmtBufSize;  // in
    unsigned int CmtSize;     // out
    unsigned int CmtState;    // out
};

struct RARHeaderData {
    char ArcName[260];
    char FileName[260];       // OEM code page; "\" separates folders, for RAR 5 archives too
    unsigned int Flags;       // RAR_HEADER_DIRECTORY from library version 6 on, raw RAR 4 flags before
    unsigned int PackSize;
    unsigned int UnpSize;
    unsigned int HostOS;      // RAR_HOST_*
    unsigned int FileCRC;
    unsigned int FileTime;    // MS-DOS date << 16 | time
    unsigned int UnpVer;
    unsigned int Method;
    unsigned int FileAttr;
    char* CmtBuf;             // file comments are not implemented: NULL and 0
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
};

#pragma pack(pop)

#ifdef _WIN64
static_assert(sizeof(RAROpenArchiveData) == 36, "RAROpenArchiveData must be byte-packed");
static_assert(sizeof(RARHeaderData) == 576, "RARHeaderData must be byte-packed");
#else
static_assert(sizeof(RAROpenArchiveData) == 28, "RAROpenArchiveData must be byte-packed");
static_assert(sizeof(RARHeaderData) == 572, "RARHeaderData must be byte-packed");
#endif

// Open modes.
constexpr unsigned int RAR_OM_LIST = 0;
constexpr unsigned int RAR_OM_EXTRACT = 1;
constexpr unsigned int RAR_OM_LIST_INCSPLIT = 2;

// RARProcessFile operations.
constexpr int RAR_SKIP = 0;
constexpr int RAR_TEST = 1;
constexpr int RAR_EXTRACT = 2;

// Results.
constexpr int ERAR_SUCCESS = 0;
constexpr int ERAR_END_ARCHIVE = 10;
constexpr int ERAR_NO_MEMORY = 11;
constexpr int ERAR_BAD_DATA = 12;
constexpr int ERAR_BAD_ARCHIVE = 13;
constexpr int ERAR_UNKNOWN_FORMAT = 14;
constexpr int ERAR_EOPEN = 15;
constexpr int ERAR_ECREATE = 16;
constexpr int ERAR_ECLOSE = 17;
constexpr int ERAR_EREAD = 18;
constexpr int ERAR_EWRITE = 19;
constexpr int ERAR_SMALL_BUF = 20;
constexpr int ERAR_UNKNOWN = 21;
constexpr int ERAR_MISSING_PASSWORD = 22;
constexpr int ERAR_EREFERENCE = 23;
constexpr int ERAR_BAD_PASSWORD = 24;
constexpr int ERAR_LARGE_DICT = 25;

// RARHeaderData::Flags. Libraries older than version 6 report the RAR 4 block flags instead, where a
// directory has all of RAR4_DIRECTORY_MASK set.
constexpr unsigned int RAR_HEADER_DIRECTORY = 0x20;
constexpr unsigned int RAR4_DIRECTORY_MASK = 0xE0;
constexpr int RAR_DLL_VERSION_DIRECTORY_FLAG = 6;

// RARHeaderData::HostOS values for which FileAttr holds Windows attributes.
constexpr unsigned int RAR_HOST_MSDOS = 0;
constexpr unsigned int RAR_HOST_WIN32 = 2;

// The messages of the callback set with RARSetCallback, and the modes of a volume change. The
// callback answers 1 to go on and -1 to cancel the operation (RARProcessFile then fails), and 0 to
// a message it does not handle.
constexpr UINT UCM_CHANGEVOLUME = 0;   // P1: the next volume's name, P2: RAR_VOL_ASK or RAR_VOL_NOTIFY
constexpr UINT UCM_PROCESSDATA = 1;    // P1: unpacked data, P2: its size
constexpr UINT UCM_NEEDPASSWORD = 2;   // P1: a buffer for the password, P2: its size
constexpr UINT UCM_CHANGEVOLUMEW = 3;
constexpr UINT UCM_NEEDPASSWORDW = 4;
constexpr LPARAM RAR_VOL_ASK = 0;      // the volume is missing: 1 has the library look for it again
constexpr LPARAM RAR_VOL_NOTIFY = 1;

// Entry points, in the library's calling convention (__stdcall; ignored on x64).
using RAROpenArchiveProc = HANDLE(PASCAL*)(RAROpenArchiveData* data);
using RARCloseArchiveProc = int(PASCAL*)(HANDLE archive);
using RARReadHeaderProc = int(PASCAL*)(HANDLE archive, RARHeaderData* header);
using RARProcessFileProc = int(PASCAL*)(HANDLE archive, int operation, char* destPath, char* destName);
using RARChangeVolCallback = int(PASCAL*)(char* archiveName, int mode);
using RARSetChangeVolProcProc = void(PASCAL*)(HANDLE archive, RARChangeVolCallback callback);
using RARGetDllVersionProc = int(PASCAL*)();
using RARCallback = int(CALLBACK*)(UINT message, LPARAM userData, LPARAM p1, LPARAM p2);
using RARSetCallbackProc = void(PASCAL*)(HANDLE archive, RARCallback callback, LPARAM userData);
