#include "support/UnrarTestSupport.h"

#include <windows.h>

#include <vector>

namespace testing_support {

namespace {

std::string programFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string program(path, length);
    return program.substr(0, program.find_last_of('\\'));
}

std::string environment(const char* name, bool& present)
{
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    present = size > 0;
    std::vector<char> value(size + 1, '\0');
    if (present)
        GetEnvironmentVariableA(name, value.data(), size);
    return value.data();
}

}  // namespace

// tests/support/CMakeLists.txt builds the stand-ins into support/unrar/ beside the test programs.
std::string unrarStandInFolder(UnrarStandIn which)
{
    return programFolder() + "\\support\\unrar\\" + (which == UnrarStandIn::Full ? "full" : "lacking");
}

SlowExtractionScope::SlowExtractionScope(unsigned stepMs, bool deaf)
{
    SetEnvironmentVariableA(unrarStepVariable, std::to_string(stepMs).c_str());
    SetEnvironmentVariableA(unrarDeafVariable, deaf ? "1" : nullptr);
}

SlowExtractionScope::~SlowExtractionScope()
{
    SetEnvironmentVariableA(unrarStepVariable, nullptr);
    SetEnvironmentVariableA(unrarDeafVariable, nullptr);
}

PathScope::PathScope(const std::string& folder)
{
    saved = environment("PATH", hadPath);
    std::string value = hadPath ? folder + ";" + saved : folder;
    SetEnvironmentVariableA("PATH", value.c_str());
}

PathScope::~PathScope()
{
    SetEnvironmentVariableA("PATH", hadPath ? saved.c_str() : nullptr);
}

CurrentFolderScope::CurrentFolderScope(const std::string& folder)
{
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    saved.assign(current, length < MAX_PATH ? length : 0);
    SetCurrentDirectoryA(folder.c_str());
}

CurrentFolderScope::~CurrentFolderScope()
{
    if (!saved.empty())
        SetCurrentDirectoryA(saved.c_str());
}

}  // namespace testing_support
