#include "winsys/WatchSpec.h"

#include "winsys/Text.h"

#include <shlwapi.h>

namespace {

DWORD filterFromFlags(unsigned char flags)
{
    DWORD filter = 0;
    if (flags & WatchSpec::watchFileNames)
        filter |= FILE_NOTIFY_CHANGE_FILE_NAME;
    if (flags & WatchSpec::watchDirectoryNames)
        filter |= FILE_NOTIFY_CHANGE_DIR_NAME;
    return filter;
}

}  // namespace

WatchSpec::WatchSpec(const std::string& path, WatchCallback* callback, unsigned char flags, bool subtree)
    : path(path), changeFilter(filterFromFlags(flags)), subtree(subtree), callback(callback)
{
}

bool WatchSpec::matches(const WatchSpec& other) const
{
    const std::string& a = path;
    const std::string& b = other.path;
    size_t common = 0;
    while (common < a.size() && common < b.size() && upperAscii(a[common]) == upperAscii(b[common]))
        ++common;
    if (common == a.size() && common == b.size())
        return true;
    if (!subtree || common != a.size())
        return false;
    // a is a proper prefix of b: b must go on with a separator.
    return PathGetCharTypeA(static_cast<unsigned char>(b[common])) == GCT_SEPARATOR;
}
