// What the load and fault tests compare before and after: the process's threads and handles, the
// File Loader dialogs on the screen, and a registry subtree as text.
//
//     ProcessCounts before = processCounts();
//     ... many requests, then the control goes ...
//     EXPECT_TRUE(countsSettle(before)) << countsText(processCounts(), before);
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct ProcessCounts {
    int threads = 0;      // from a Toolhelp thread snapshot
    DWORD handles = 0;    // GetProcessHandleCount
};

ProcessCounts processCounts();

// Waits (up to timeoutMs) until the process has no more threads and handles than `before` allows
// with the given slack: threads of other parts of the system (the shell's, COM's) may end a little
// after the work that started them. True when the counts came down.
bool countsSettle(const ProcessCounts& before, int threadSlack = 0, DWORD handleSlack = 8, DWORD timeoutMs = 15000);

// "threads 12 (before 10), handles 80 (before 77)".
std::string countsText(const ProcessCounts& now, const ProcessCounts& before);

// Visible "Vog File Loader" dialogs of this process.
int loaderDialogCount();

// Every key and value below root\path, one line each ("key\subkey" and "key\subkey | name | type |
// data in hex"), names of any length and in any script (UTF-8), sorted. Empty when the key is missing.
std::vector<std::string> registrySnapshot(HKEY root, const std::string& path);

// The lines of `after` that `before` does not have, and those of `before` that are gone.
std::vector<std::string> linesAdded(const std::vector<std::string>& before, const std::vector<std::string>& after);
std::vector<std::string> linesRemoved(const std::vector<std::string>& before, const std::vector<std::string>& after);

}  // namespace testing_support
