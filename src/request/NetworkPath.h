// Which paths make the machine connect to a server, and which servers a theme names. A file system
// call on a network path logs the user in to its server with the user's credentials (NTLM), which
// hands that server a hash it can crack or relay: a page's file may reach only the servers the
// theme's own folders are on.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The server and share a network path names, compared without regard to the case of A to Z.
// Either may be empty when the path reaches the network without naming both (a device namespace
// path such as "\\?\GLOBALROOT\..."): such a path matches no folder.
struct NetworkShare {
    std::string server;
    std::string share;
};

// Where path reaches the network: "\\server\share", the same with "/" or mixed separators, and
// "\\?\UNC\", "\\.\UNC\" and "\??\UNC\". Every other device-namespace path ("\\?\", "\\.\", "\??\")
// except a drive letter or volume counts as reaching an unknown share. A drive letter is local here,
// a mapped one included: the user mapped it. Nothing for a local or relative path. Looks at the text
// only: nothing here touches the file system.
std::optional<NetworkShare> networkShareOf(const std::string& path);

// True when file reaches a network share that no folder of folders is on (same server and share):
// the request must not touch it.
bool reachesForeignShare(const std::string& file, const std::vector<std::string>& folders);
