// The folders extracted copies live in. Every extraction gets a folder of its own, made new below
// "<internet cache folder>\Vog\" under a random name: creating a folder fails when the name exists,
// so no folder is ever reused. Two requests for members of the same name get two folders and never
// overwrite or delete each other's copy, and no file that was there before, whatever its name, is
// overwritten or deleted. Neither "Vog" nor a new folder is used unless it is a plain folder: a link
// or junction in its place could lead the copy, and its later deletion, anywhere.
//
// A copy normally goes with its folder when its viewer has ended. Copies a viewer may have handed
// on to another process stay; the sweep at the start of later extractions removes their folders
// once they are a day old and nothing in them is in use any more.
#pragma once

#include "winsys/Handle.h"

#include <string>

// Extraction folders last written longer ago than this (a day, in the platform's 100 ns units) are
// left over from earlier requests.
constexpr unsigned long long staleExtractionFolderAge = 24ULL * 60 * 60 * 10000000;

// What a running request holds on its extraction folder: a handle on the folder (on Windows nobody
// else can then delete or rename it, so no link can be put in its place) and a named event that
// tells the sweep of every other request in the session that the folder is in use.
struct ExtractionHold {
    FileHandle folder;
    KernelHandle inUse;
    void reset() noexcept
    {
        folder.reset();
        inUse.reset();
    }
};

// Makes a new folder below "<cacheFolder>Vog\" (cacheFolder ends in "\" or "/"), making "Vog"
// itself when it is missing. Returns the new folder's path ending in "\"; empty when it cannot be
// made or "Vog" or the new folder is no plain folder. hold (may be null) receives what keeps the
// folder from the sweep and from being swapped while the request runs.
std::string createExtractionFolder(const std::string& cacheFolder, ExtractionHold* hold = nullptr);

// Deletes folder (ending in "\") and everything in it, all or nothing: when any file in it is in use
// (it cannot be opened for deletion without sharing) or a link or junction is inside, nothing is
// deleted. Read-only files go too. Everything is deleted through handles opened without following
// links, and only when the path still leads, by its file ID, to the folder held (when nothing is
// held, the folder as opened first; one that another request holds is left alone). True
// when the folder is gone.
bool removeExtractionFolder(const std::string& folder, ExtractionHold held = {});

// Removes every extraction folder below "<cacheFolder>Vog\" last written more than
// staleExtractionFolderAge ago, each as removeExtractionFolder does. Fresh folders, folders in use
// (a running request's is held), and whatever is no plain folder stay.
void sweepExtractionFolders(const std::string& cacheFolder);
