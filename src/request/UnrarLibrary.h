// Finding the external RAR extraction library. An installer puts it beside VOG.OCX, so that folder
// comes first; then the folders the platform's own search would use, except the process's current
// folder: a DLL planted next to a document the user opened must never be loaded into the host.
// Every candidate is loaded by its full path, and the library's own imports come only from its
// folder and System32.
#pragma once

#include "winsys/Handle.h"

#include <string>
#include <vector>

// The folders searched, in order, without trailing separators and without duplicates: the folder of
// the module holding this code, the program's folder, the system folder, the Windows folder, then
// every fully qualified folder on PATH (relative entries such as "." are left out, and so are network
// folders: UNC paths and drive letters mapped to a share). A PATH folder that a non-administrator
// can write is left out too: one whose DACL lets Everyone, INTERACTIVE, Authenticated Users or Users
// create files (a folder made below "C:\" inherits "Authenticated Users: Modify"), has no DACL, or
// whose security cannot be read; any user could plant a library there that would then run in every
// other user's host. skipped (may be null) receives those, each with the reason.
struct SkippedFolder {
    std::string folder;
    std::string reason;
};
std::vector<std::string> unrarSearchFolders(std::vector<SkippedFolder>* skipped = nullptr);

// The file names tried in each folder: "unrar.dll", and on x64 then "unrar64.dll" (the vendor's
// name for its 64-bit build; a 64-bit process cannot load the 32-bit "unrar.dll").
std::vector<std::string> unrarLibraryNames();

// The first candidate that loads, or an empty owner when none does.
LoadedModule loadUnrarLibrary();
