#include "winsys/Volume.h"

#include "winsys/ErrorMode.h"
#include "winsys/Text.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

const std::string_view longShare = "\\\\?\\UNC\\";

bool startsWith(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() && equalsIgnoringCase(text.substr(0, start.size()), start);
}

// A share path ("\\server\share...", also in its long form "\\?\UNC\server\share..."), as
// opposed to a drive path in either form ("E:\...", "\\?\E:\...").
bool isShare(std::string_view path)
{
    return startsWith(path, "\\\\") && !(startsWith(path, "\\\\?\\") && !startsWith(path, longShare));
}

// "server\share\" from the start of text ("server\share\docs" or "server\share"); empty when
// text names no share.
std::string serverAndShare(std::string_view text)
{
    size_t server = text.find('\\');
    if (server == 0 || server == std::string_view::npos)
        return {};
    size_t share = std::min(text.find('\\', server + 1), text.size());
    if (share == server + 1)
        return {};
    return std::string(text.substr(0, share)) + '\\';
}

}  // namespace

bool volumeReady(const std::string& root)
{
    std::string probe = root;
    if (!probe.empty() && probe.back() != '\\')
        probe += '\\';
    QuietErrorMode quiet;
    bool volumeAnswers = GetVolumeInformationA(probe.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0);
    bool rootAnswers = GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES;
    // Wine answers no volume query for a share (ERROR_DIR_NOT_ROOT), but its root's attributes.
    return isShare(probe) ? volumeAnswers || rootAnswers : volumeAnswers && rootAnswers;
}

std::string rootOf(const std::string& path)
{
    if (isShare(path)) {
        std::string_view start = startsWith(path, longShare) ? longShare : std::string_view("\\\\");
        std::string share = serverAndShare(std::string_view(path).substr(start.size()));
        if (!share.empty())
            return std::string(start) + share;
    }
    char buffer[MAX_PATH];
    size_t length = std::min(path.size(), static_cast<size_t>(MAX_PATH - 1));
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    PathStripToRootA(buffer);
    std::string root = buffer;
    // PathStripToRootA leaves a bare drive designator ("E:") as it is.
    if (root.size() == 2 && root[1] == ':')
        root += '\\';
    return root;
}
