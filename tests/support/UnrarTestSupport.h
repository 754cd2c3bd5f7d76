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

// Read by the stand-in at each extraction: a number n > 0 in unrarStepVariable makes it write a
// member one byte at a time, n ms apart (a long extraction); 1 in unrarDeafVariable keeps the
// callback unheard (a library busy in a call that does not look at the stop).
constexpr const char* unrarStepVariable = "VOG_UNRAR_STEP_MS";
constexpr const char* unrarDeafVariable = "VOG_UNRAR_DEAF";

// Sets both for the scope's lifetime, for this process and the programs it starts.
class SlowExtractionScope {
public:
    SlowExtractionScope(unsigned stepMs, bool deaf);
    ~SlowExtractionScope();
    SlowExtractionScope(const SlowExtractionScope&) = delete;
    SlowExtractionScope& operator=(const SlowExtractionScope&) = delete;
};

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
