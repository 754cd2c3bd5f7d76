// Whether a drive's volume can be used: a medium is present and its root can be reached.
#pragma once

#include <string>

// root: a root such as "E:\" (a bare "E:" is taken as its root "E:\"). True when the volume answers
// GetVolumeInformationA and its root exists. The second test is needed under Wine, where a drive
// letter whose target folder is missing still answers the volume query. The system's "insert a disk"
// box is suppressed on this thread while asking.
bool volumeReady(const std::string& root);

// The root of path ("E:\docs" gives "E:\", "\\server\share\docs" gives "\\server\share"), found by
// PathStripToRootA in a buffer of MAX_PATH characters. Of a path too long for that buffer only the
// leading characters that fit are used, which still hold the root of any path the platform accepts.
// A bare drive designator gets its backslash: "E:" gives "E:\".
std::string rootOf(const std::string& path);
