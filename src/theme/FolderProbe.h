// The first look at a theme's folders, each on a thread of its own, so that a folder on a server
// that does not answer holds up none of the others.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// How one folder answered the question "do you hold the file, complete?".
enum class FolderAnswer : LONG { Pending, Absent, Incomplete, Complete };

// The answers of every folder in folders' order to whether it holds name, complete. A folder that
// has not answered within boundMs stays Pending: it counts as unreachable for now, and its thread
// runs on by itself until the file system answers. Returns early once the answers decide: a folder
// holds the file complete and every folder before it has answered.
std::vector<FolderAnswer> probeFolders(const std::vector<std::string>& folders, const std::string& name,
                                       DWORD boundMs);

// The index of the first folder whose answer is Complete; answers.size() when there is none.
size_t firstComplete(const std::vector<FolderAnswer>& answers);
