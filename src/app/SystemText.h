// Text at the edges of the command line and of `vog:` links. The platform hands a program its
// arguments in UTF-16; links are read in UTF-8 (VogLink.h); the engine names files, folders and
// themes in the system code page (ANSI), as the control does. Names are converted exactly
// (winsys/Text.h: narrowExactly, recodeExactly); what is only shown may lose characters.
#pragma once

#include "winsys/Text.h"

#include <string>
#include <string_view>
#include <vector>

// UTF-8 text in the system code page for a message: what it cannot hold becomes "?".
std::string shownText(std::string_view utf8);

// The program's arguments after its name, split as CommandLineToArgvW splits them.
std::vector<std::wstring> commandLineArguments();
