// Text at the edges of the command line and of `vog:` links. The platform hands a program its
// arguments in UTF-16; links are read in UTF-8 (VogLink.h); the engine names files, folders and
// themes in the system code page (ANSI), as the control does.
//
// A name is converted exactly or not at all: a character the code page cannot hold must not
// become "?" or a best-fit look-alike (a fullwidth solidus written as "\"), which would name
// another file than the one asked for or checked.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// text in codePage; nothing when a character has no exact equivalent there. With the UTF-8 code
// page (the system's ANSI code page may be UTF-8) only a lone surrogate has none: that code page
// takes no best-fit flag and no default character, so it is asked with WC_ERR_INVALID_CHARS.
std::optional<std::string> narrowExactly(std::wstring_view text, UINT codePage = CP_ACP);

// UTF-8 text in codePage, exactly; nothing when it is not valid UTF-8 or has no exact equivalent.
std::optional<std::string> recodeUtf8(std::string_view utf8, UINT codePage = CP_ACP);

// text of codePage in UTF-16 (invalid bytes become U+FFFD: for showing, never for naming).
std::wstring widen(std::string_view text, UINT codePage = CP_ACP);

// UTF-8 text in the system code page for a message: what it cannot hold becomes "?".
std::string shownText(std::string_view utf8);

// The program's arguments after its name, split as CommandLineToArgvW splits them.
std::vector<std::wstring> commandLineArguments();
