// Whether a drive's volume or a share can be used: a medium is present and its root can be reached,
// or the share's server answers.
#pragma once

#include <string>

// root: a root such as "E:\" or "\\server\share\" (without its trailing backslash it gets one, as
// GetVolumeInformationA requires). A drive is ready when its volume answers GetVolumeInformationA
// and its root exists; the second test is needed under Wine, where a drive letter whose target
// folder is missing still answers the volume query. A share is ready when its server answers
// either. The system's "insert a disk" box is suppressed on this thread while asking.
bool volumeReady(const std::string& root);

// The root of path, always with its trailing backslash: "E:\docs" and "E:" give "E:\",
// "\\server\share\docs" and "\\server\share" give "\\server\share\", "\\?\UNC\server\share\docs"
// gives "\\?\UNC\server\share\". Shares are taken apart here; other paths go to PathStripToRootA
// in a buffer of MAX_PATH characters, of a path too long for it only the leading characters that
// fit, which still hold the root of any path the platform accepts. A path without a root, and a
// server without a share, give what PathStripToRootA leaves of them.
std::string rootOf(const std::string& path);
