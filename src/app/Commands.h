// The commands of vog.exe and vogw.exe, on top of the engine (request/ and theme/), as the control
// uses it but without COM:
//
//   vog open THEME FILE [MEMBER]     one request as open() carries it out, waited for to its end
//   vog where THEME FILE             where open would look, and what each place holds
//   vog theme list | show THEME | add THEME FOLDER | remove THEME FOLDER | delete THEME
//   vog --link LINK, or vog LINK     a `vog:` link (see VogLink.h), as a browser hands it over
//   vog --help, vog COMMAND --help
//
// A request runs on the calling thread, which becomes the request's worker: it must not be a
// thread with windows of its own (the programs' main threads have none).
#pragma once

#include "app/Report.h"

#include <string>
#include <vector>

// Exit codes.
enum ExitCode : int {
    exitSuccess = 0,      // opened and its program ended; found; done
    exitNotFound = 1,     // the file, member, theme or folder was not found
    exitRefused = 2,      // refused or failed, with the reason reported
    exitNoLibrary = 3,    // the RAR library (unrar.dll) is missing or unusable
    exitNoProgram = 4,    // found, but the shell could start no program for it
    exitUsage = 64,       // the command line was not understood
    exitStopped = 130,    // Ctrl+C or Ctrl+Break stopped the request
};

// Carries out the command that arguments (after the program's name) give, reporting to report;
// returns the exit code.
int runVog(const std::vector<std::wstring>& arguments, Report& report);
