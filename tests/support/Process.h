// Running a program of the prefix (reg, regsvr32, cscript, ...) from a test and collecting its output.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
    bool finished = false;  // false: not started, or still running after the timeout and then ended
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error together
};

// Runs a command line and collects its output; ends it after timeoutMs.
ProcessResult runProcess(const std::string& commandLine, DWORD timeoutMs = 30000);

// The lines of a program's output, without their line ends; empty lines are left out.
std::vector<std::string> outputLines(const std::string& output);

}  // namespace testing_support
