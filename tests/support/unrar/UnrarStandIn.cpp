// A stand-in for the external RAR extraction library, built as "unrar.dll" for the tests. It
// exports the library's entry points under their undecorated names and behaves as the vendor's
// library does for archives whose members are stored: open results, end of archive reported again
// and again, DestName overriding DestPath, parent folders created, existing files overwritten, a CRC
// error removing the broken output, and list mode skipping every operation. Compressed members are
// listed but refused with ERAR_UNKNOWN_FORMAT. The callback set with RARSetCallback hears of every
// piece of data written or tested (UCM_PROCESSDATA); answering -1 breaks the operation off with
// ERAR_UNKNOWN and leaves what was written. Tests of stopping make extraction slow and the callback
// unheard through the environment (see UnrarTestSupport.h).
//
// The extended entry points (RAROpenArchiveEx, RARReadHeaderEx) exist so that the export table is
// complete; their records are not part of what the tests rely on, and they report failure without
// touching them.
#include "request/UnrarApi.h"
#include "support/UnrarTestSupport.h"
#include "unrar/RarReader.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

// Exported through unrar.def, which gives the undecorated names on x86 too.
#define UNRAR_EXPORT extern "C"

namespace {

constexpr int standInVersion = 9;

struct Archive {
    RarReader reader;
    unsigned int mode = RAR_OM_LIST;
    std::string name;
    RarEntry current;
    bool haveCurrent = false;
    RARCallback callback = nullptr;
    LPARAM userData = 0;
};

DWORD environmentNumber(const char* name)
{
    char value[16] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? static_cast<DWORD>(std::strtoul(value, nullptr, 10)) : 0;
}

// Copies the current member's data to sink (when it is not INVALID_HANDLE_VALUE) as the environment
// asks: at once, or a byte every stepMs; each piece is reported to the callback unless it is deaf.
int copyMember(Archive& archive, const RarEntry& entry, HANDLE sink)
{
    DWORD stepMs = environmentNumber(testing_support::unrarStepVariable);
    bool deaf = environmentNumber(testing_support::unrarDeafVariable) != 0;
    return archive.reader.copyData(entry, stepMs ? 1 : SIZE_MAX, [&](const unsigned char* data, size_t size) {
        if (stepMs)
            Sleep(stepMs);
        DWORD written = 0;
        if (sink != INVALID_HANDLE_VALUE &&
            (!WriteFile(sink, data, static_cast<DWORD>(size), &written, nullptr) || written != size))
            return ERAR_EWRITE;
        bool cancelled = archive.callback && !deaf &&
                         archive.callback(UCM_PROCESSDATA, archive.userData, reinterpret_cast<LPARAM>(data),
                                          static_cast<LPARAM>(size)) == -1;
        return cancelled ? ERAR_UNKNOWN : ERAR_SUCCESS;
    });
}

std::wstring widen(const char* text, UINT codePage)
{
    if (!text)
        return {};
    int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

void copyText(char* target, size_t size, const std::string& text)
{
    size_t length = text.size() < size ? text.size() : size - 1;
    text.copy(target, length);
    target[length] = '\0';
}

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A stored name joined to DestPath must stay below it: no root, drive or ".." part.
bool isSafeStoredName(const std::wstring& name)
{
    if (name.empty() || isSeparator(name[0]) || name.find(L':') != std::wstring::npos)
        return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find_first_of(L"\\/", start);
        if (name.compare(start, end == std::wstring::npos ? std::wstring::npos : end - start, L"..") == 0)
            return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}

// Creates every missing folder above path (and path itself when withLast).
bool createFolders(const std::wstring& path, bool withLast)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i]))
            continue;
        if (i == path.size() && !withLast)
            break;
        std::wstring folder = path.substr(0, i);
        if (folder.size() == 2 && folder[1] == L':')
            continue;  // a drive
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

int writeEntry(Archive& archive, const RarEntry& entry, const std::wstring& path)
{
    if (entry.directory)
        return createFolders(path, true) ? ERAR_SUCCESS : ERAR_ECREATE;
    if (!createFolders(path, false))
        return ERAR_ECREATE;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // overwrite read-only copies too
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return ERAR_ECREATE;
    int result = copyMember(archive, entry, out);
    if (result == ERAR_SUCCESS) {
        FILETIME local;
        FILETIME utc;
        if (DosDateTimeToFileTime(HIWORD(entry.dosTime), LOWORD(entry.dosTime), &local) &&
            LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(out, nullptr, nullptr, &utc);
    }
    CloseHandle(out);
    if (result != ERAR_SUCCESS) {
        if (result != ERAR_UNKNOWN)  // broken off by the callback: what was written stays
            DeleteFileW(path.c_str());
        return result;
    }
    if (entry.hostOs <= 2) {
        DWORD kept = entry.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                         FILE_ATTRIBUTE_ARCHIVE);
        SetFileAttributesW(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    return ERAR_SUCCESS;
}

int processFile(HANDLE handle, int operation, const std::wstring& destPath, const std::wstring& destName)
{
    auto* archive = static_cast<Archive*>(handle);
    if (!archive)
        return ERAR_ECLOSE;
    if (!archive->haveCurrent)
        return ERAR_UNKNOWN;  // no header was read for this call
    archive->haveCurrent = false;
    const RarEntry& entry = archive->current;
    // The reader stands at the next header already: skipping needs nothing more.
    if (archive->mode != RAR_OM_EXTRACT || operation == RAR_SKIP)
        return ERAR_SUCCESS;
    if (operation != RAR_TEST && operation != RAR_EXTRACT)
        return ERAR_UNKNOWN;
    if (entry.encrypted)
        return ERAR_MISSING_PASSWORD;
    if (entry.split || (!entry.directory && !entry.stored()))
        return ERAR_UNKNOWN_FORMAT;
    if (operation == RAR_TEST)
        return entry.directory ? ERAR_SUCCESS : copyMember(*archive, entry, INVALID_HANDLE_VALUE);

    std::wstring path = destName;
    if (path.empty()) {
        std::wstring stored = widen(entry.name.c_str(), CP_OEMCP);
        if (!isSafeStoredName(stored))
            return ERAR_ECREATE;
        path = destPath.empty() ? stored : destPath + (isSeparator(destPath.back()) ? L"" : L"\\") + stored;
    }
    return writeEntry(*archive, entry, path);
}

}  // namespace

UNRAR_EXPORT HANDLE PASCAL RAROpenArchive(RAROpenArchiveData* data)
{
    if (!data)
        return nullptr;
    data->CmtSize = 0;
    data->CmtState = 0;
    auto* archive = new (std::nothrow) Archive;
    if (!archive) {
        data->OpenResult = ERAR_NO_MEMORY;
        return nullptr;
    }
    archive->mode = data->OpenMode;
    archive->name = data->ArcName ? data->ArcName : "";
    data->OpenResult = static_cast<unsigned int>(archive->reader.open(widen(data->ArcName, CP_ACP)));
    if (data->OpenResult != ERAR_SUCCESS) {
        delete archive;
        return nullptr;
    }
    return archive;
}

UNRAR_EXPORT HANDLE PASCAL RAROpenArchiveEx(void*)
{
    return nullptr;
}

UNRAR_EXPORT int PASCAL RARCloseArchive(HANDLE handle)
{
    if (!handle)
        return ERAR_ECLOSE;
    delete static_cast<Archive*>(handle);
    return ERAR_SUCCESS;
}

UNRAR_EXPORT int PASCAL RARReadHeader(HANDLE handle, RARHeaderData* header)
{
    auto* archive = static_cast<Archive*>(handle);
    if (!archive || !header)
        return ERAR_ECLOSE;
    archive->haveCurrent = false;
    int result = archive->reader.next(archive->current);
    if (result != ERAR_SUCCESS)
        return result;
    archive->haveCurrent = true;
    const RarEntry& entry = archive->current;
    copyText(header->ArcName, sizeof header->ArcName, archive->name);
    copyText(header->FileName, sizeof header->FileName, entry.name);
    header->Flags = entry.flags;
    header->PackSize = static_cast<unsigned int>(entry.packSize);
    header->UnpSize = static_cast<unsigned int>(entry.unpSize);
    header->HostOS = entry.hostOs;
    header->FileCRC = entry.crc;
    header->FileTime = entry.dosTime;
    header->UnpVer = entry.unpVer;
    header->Method = entry.method;
    header->FileAttr = entry.attributes;
    header->CmtSize = 0;
    header->CmtState = 0;
    return ERAR_SUCCESS;
}

UNRAR_EXPORT int PASCAL RARReadHeaderEx(HANDLE, void*)
{
    return ERAR_UNKNOWN;
}

UNRAR_EXPORT int PASCAL RARProcessFile(HANDLE handle, int operation, char* destPath, char* destName)
{
    return processFile(handle, operation, widen(destPath, CP_OEMCP), widen(destName, CP_OEMCP));
}

UNRAR_EXPORT int PASCAL RARProcessFileW(HANDLE handle, int operation, wchar_t* destPath, wchar_t* destName)
{
    return processFile(handle, operation, destPath ? destPath : L"", destName ? destName : L"");
}

UNRAR_EXPORT void PASCAL RARSetCallback(HANDLE handle, RARCallback callback, LPARAM userData)
{
    if (auto* archive = static_cast<Archive*>(handle)) {
        archive->callback = callback;
        archive->userData = userData;
    }
}

// The older callbacks and passwords are kept by the vendor's library; the stand-in accepts and
// ignores them.
UNRAR_EXPORT void PASCAL RARSetChangeVolProc(HANDLE, RARChangeVolCallback) {}

UNRAR_EXPORT void PASCAL RARSetProcessDataProc(HANDLE, int(PASCAL*)(unsigned char*, int)) {}

UNRAR_EXPORT void PASCAL RARSetPassword(HANDLE, char*) {}

UNRAR_EXPORT int PASCAL RARGetDllVersion()
{
    return standInVersion;
}
