// Whether a file that has appeared is whole, or still being written by a copy.
#pragma once

#include <string>

// True when path can be opened for reading with writers shut out (a copy that still holds the file
// open for writing makes that open fail with a sharing violation, under Windows' sharing rules) and
// it is so again, with the same size, after a short settle. The file is not held in between, so a
// writer that opens it meanwhile is never refused. False for a missing file, a file that cannot be
// read, and a file still being written.
bool fileComplete(const std::string& path);
