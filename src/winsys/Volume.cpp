#include "winsys/Volume.h"

#include "winsys/ErrorMode.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstring>

namespace {

bool isDriveDesignator(const std::string& text)
{
    return text.size() == 2 && text[1] == ':';
}

}  // namespace

bool volumeReady(const std::string& root)
{
    std::string probe = isDriveDesignator(root) ? root + "\\" : root;
    QuietErrorMode quiet;
    return GetVolumeInformationA(probe.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0)
        && GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string rootOf(const std::string& path)
{
    char buffer[MAX_PATH];
    size_t length = std::min(path.size(), static_cast<size_t>(MAX_PATH - 1));
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    PathStripToRootA(buffer);
    std::string root = buffer;
    return isDriveDesignator(root) ? root + "\\" : root;
}
