#include "winsys/CompleteFile.h"

#include "winsys/ErrorMode.h"
#include "winsys/Handle.h"

#include <windows.h>

namespace {

// Long enough for a writer that shares nothing (another system's, outside the sharing rules) to
// show a new size between two reads, short enough not to be felt when the dialog closes.
constexpr DWORD settleMs = 50;

bool sizeOf(HANDLE file, LONGLONG& size)
{
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(file, &value))
        return false;
    size = value.QuadPart;
    return true;
}

}  // namespace

namespace {

// The file's size when it can be opened with writers shut out: no one holds it for writing now.
// The file is closed again at once, so that a writer that comes next is not refused.
bool sizeWithoutWriters(const std::string& path, LONGLONG& size)
{
    // FILE_SHARE_READ only: the open fails while anyone holds the file with write access.
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && sizeOf(file.get(), size);
}

}  // namespace

bool fileComplete(const std::string& path)
{
    QuietErrorMode quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    LONGLONG before = 0, after = 0;
    if (!sizeWithoutWriters(path, before))
        return false;
    Sleep(settleMs);
    return sizeWithoutWriters(path, after) && before == after;
}
