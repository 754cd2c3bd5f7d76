// vog theme list | show THEME | add THEME FOLDER | remove THEME FOLDER | delete THEME
#pragma once

#include "app/Report.h"

#include <string>
#include <vector>

// Carries out the theme command that arguments ("theme" and what follows) give; returns the exit code.
int themeCommand(const std::vector<std::string>& arguments, Report& report);
