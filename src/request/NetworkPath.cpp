#include "request/NetworkPath.h"

#include "winsys/Text.h"

#include <algorithm>

namespace {

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The part of text from start up to the next separator.
std::string partAt(const std::string& text, size_t start)
{
    size_t end = start;
    while (end < text.size() && !isSeparator(text[end]))
        ++end;
    return text.substr(start, end - start);
}

// "\\server\share..." with rest starting after the two leading separators.
NetworkShare shareAt(const std::string& path, size_t start)
{
    NetworkShare share;
    share.server = partAt(path, start);
    size_t next = start + share.server.size();
    if (next < path.size())
        share.share = partAt(path, next + 1);
    return share;
}

bool isDriveLetter(const std::string& part)
{
    return part.size() == 2 && part[1] == ':' && ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'));
}

bool sameShare(const NetworkShare& a, const NetworkShare& b)
{
    return !a.server.empty() && !a.share.empty() && equalsIgnoringCase(a.server, b.server) &&
           equalsIgnoringCase(a.share, b.share);
}

}  // namespace

std::optional<NetworkShare> networkShareOf(const std::string& path)
{
    // The platform turns "/" into "\" before it reads the prefixes: "//?/UNC/" and "\/server" count.
    // "\??\" is handed to the object manager as it is.
    bool twoSeparators = path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
    bool objectPrefix = path.compare(0, 4, "\\??\\") == 0;
    if (!twoSeparators && !objectPrefix)
        return std::nullopt;
    bool devicePrefix = objectPrefix || (path.size() >= 4 && (path[2] == '?' || path[2] == '.') &&
                                         isSeparator(path[3]));
    if (!devicePrefix)
        return shareAt(path, 2);
    std::string first = partAt(path, 4);
    if (equalsIgnoringCase(first, "UNC"))
        return shareAt(path, 8);
    if (isDriveLetter(first) || (first.size() > 7 && equalsIgnoringCase(first.substr(0, 7), "Volume{")))
        return std::nullopt;
    // GLOBALROOT, Mup, named devices: the object manager may route any of them to a redirector.
    return NetworkShare{};
}

bool reachesForeignShare(const std::string& file, const std::vector<std::string>& folders)
{
    std::optional<NetworkShare> reached = networkShareOf(file);
    if (!reached)
        return false;
    return std::none_of(folders.begin(), folders.end(), [&](const std::string& folder) {
        std::optional<NetworkShare> own = networkShareOf(folder);
        return own && sameShare(*own, *reached);
    });
}
