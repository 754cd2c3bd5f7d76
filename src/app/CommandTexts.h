// The texts the commands share: the usage, the registry key that holds the themes, and what an
// engine error means for the user.
#pragma once

#include "app/Report.h"

#include <exception>
#include <string>

// The themes' registry key as the user sees it, and the advice to run as an administrator.
extern const char* const themesKeyShown;
extern const char* const userThemesKeyShown;
extern const char* const elevate;

// The usage of one command ("" for all), as lines, to standard error when asError.
void showUsage(Report& report, const std::string& command, bool asError);

// Reports "vog: what" and the usage of command; returns exitUsage.
int usageError(Report& report, const std::string& what, const std::string& command);

// text in double quotes.
std::string quoted(const std::string& text);

// The system's text for a system error code and the code, such as "No application is associated
// with the specified file for this operation. (error 1155)".
std::string systemReason(unsigned long error);

// What an error of the engine means for the user, and what to do.
std::string explained(const std::exception& error);
