#include "request/ZoneMark.h"

#include "winsys/Handle.h"
#include "winsys/Text.h"

#include <windows.h>

#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

const char* const streamSuffix = ":Zone.Identifier";
// A Zone.Identifier holds a few hundred bytes; a larger one is not taken for one.
constexpr DWORD largestStream = 65536;

// The rest of the line that starts with key ("ReferrerUrl=", "ZoneId="); empty when there is none.
std::string lineValue(const std::string& content, const std::string& key)
{
    size_t at = content.find(key);
    while (at != std::string::npos && at > 0 && content[at - 1] != '\n' && content[at - 1] != '\r')
        at = content.find(key, at + 1);
    if (at == std::string::npos)
        return {};
    size_t start = at + key.size();
    return content.substr(start, content.find_first_of("\r\n", start) - start);
}

ZoneMark markOfZone(DWORD zone)
{
    if (zone == URLZONE_LOCAL_MACHINE)
        return {};
    return {"[ZoneTransfer]\r\nZoneId=" + std::to_string(zone) + "\r\n", zone > URLZONE_TRUSTED};
}

// The ZoneId a stream names on a line of its own; nothing when it names none that can be read or
// names no zone (above Restricted).
std::optional<DWORD> zoneIdIn(const std::string& content)
{
    std::string value = lineValue(content, "ZoneId=");
    char* end = nullptr;
    unsigned long zone = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || value[0] < '0' || value[0] > '9' || zone > URLZONE_UNTRUSTED)
        return std::nullopt;
    return static_cast<DWORD>(zone);
}

enum class StreamState { Read, Absent, Unreadable };

StreamState readStream(const std::string& path, std::string& content)
{
    FileHandle stream(CreateFileA((path + streamSuffix).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    if (!stream) {
        // No stream, or a volume that keeps none (FAT, some file servers).
        DWORD error = GetLastError();
        bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
                      error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED;
        return absent ? StreamState::Absent : StreamState::Unreadable;
    }
    content.assign(largestStream + 1, '\0');
    DWORD read = 0;
    if (!ReadFile(stream.get(), content.data(), largestStream + 1, &read, nullptr) || read > largestStream)
        return StreamState::Unreadable;
    content.resize(read);
    return StreamState::Read;
}

// The zone the platform's zone manager gives the file URL of path: the Intranet or the Internet for
// a file server, as the shell's settings say; the Internet zone when it cannot tell.
DWORD zoneOfLocation(const std::string& path)
{
    std::wstring wide = widen(path);
    if (wide.empty())
        return URLZONE_INTERNET;
    wchar_t url[INTERNET_MAX_URL_LENGTH];
    DWORD urlLength = INTERNET_MAX_URL_LENGTH;
    if (UrlCreateFromPathW(wide.c_str(), url, &urlLength, 0) != S_OK)
        return URLZONE_INTERNET;

    IInternetSecurityManager* manager = nullptr;
    if (FAILED(CoInternetCreateSecurityManager(nullptr, &manager, 0)) || !manager)
        return URLZONE_INTERNET;
    DWORD zone = URLZONE_INTERNET;
    if (FAILED(manager->MapUrlToZone(url, &zone, 0)))
        zone = URLZONE_INTERNET;
    manager->Release();
    return zone;
}

}  // namespace

ZoneMark zoneMarkOf(const std::string& path)
{
    std::string content;
    switch (readStream(path, content)) {
    case StreamState::Read:
        break;
    case StreamState::Absent:
        return markOfZone(zoneOfLocation(path));
    case StreamState::Unreadable:
        return markOfZone(std::max<DWORD>(URLZONE_INTERNET, zoneOfLocation(path)));
    }
    // The most careful of the stream's zone and the location's: a file server keeps streams, so an
    // archive there may carry ZoneId=0 of its own. A stream without a usable ZoneId is the Internet's.
    std::optional<DWORD> own = zoneIdIn(content);
    DWORD zone = std::max<DWORD>(own.value_or(URLZONE_INTERNET), zoneOfLocation(path));
    if (own && *own == zone)
        return {content, zone > URLZONE_TRUSTED};
    ZoneMark mark = markOfZone(zone);
    for (const char* key : {"ReferrerUrl=", "HostUrl="}) {
        std::string url = lineValue(content, key);
        if (!url.empty())
            mark.content += key + url + "\r\n";
    }
    return mark;
}

bool writeZoneMark(const std::string& path, const ZoneMark& mark)
{
    if (mark.content.empty())
        return true;
    // Windows refuses to write any stream of a read-only file; the copy keeps the member's attributes.
    DWORD attributes = GetFileAttributesA(path.c_str());
    bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    bool written = false;
    {
        FileHandle stream(CreateFileA((path + streamSuffix).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD count = 0;
        written = stream &&
                  WriteFile(stream.get(), mark.content.data(), static_cast<DWORD>(mark.content.size()), &count,
                            nullptr) &&
                  count == mark.content.size();
    }
    if (readOnly)
        SetFileAttributesA(path.c_str(), attributes);
    return written;
}
