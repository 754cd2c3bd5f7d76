// Where the tests find the stand-in for the external RAR library, and scopes that steer the
// library search: RarExtractor looks beside the module holding its code (the test program, which
// has no unrar.dll beside it), in the system folders, then on PATH.
#pragma once

#include <string>

namespace testing_support {

enum class UnrarStandIn {
    Full,                // every entry point
    LackingEntryPoint,   // without RARSetChangeVolProc
};

// The folder holding that build of the stand-in, named "unrar.dll"; no trailing backslash.
std::string unrarStandInFolder(UnrarStandIn which);

// Puts a folder first on the process's PATH for the scope's lifetime.
class PathScope {
public:
    explicit PathScope(const std::string& folder);
    ~PathScope();
    PathScope(const PathScope&) = delete;
    PathScope& operator=(const PathScope&) = delete;

private:
    std::string saved;
    bool hadPath;
};

// Makes a folder the process's current folder for the scope's lifetime.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::string& folder);
    ~CurrentFolderScope();
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

private:
    std::string saved;
};

}  // namespace testing_support
