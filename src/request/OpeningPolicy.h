// Which located documents may be opened, and with what: the kind of a document by its extension,
// the types that are never handed to the shell, and the rule that sends large text files to
// "wordpad". Nothing here starts anything; ShellExecution.h carries out what openingCall decides.
//
// Safety: a web page can name the file through the control, so nothing that would run code is ever
// handed to the shell (see runsCode).
#pragma once

#include <optional>
#include <string>

enum class DocumentKind { Archive, Text, Other };

// The kind of a path by its extension, found as PathFindExtensionA finds it (the text after the last
// ".", provided no "\" and no space follows that dot). "rar" is an Archive, "txt" is Text, compared
// without regard to the case of A to Z; any other extension, and none, is Other.
DocumentKind documentKind(const std::string& path);

// True when handing path to the shell could start a program or script rather than show a document:
// programs, shortcuts, installers, scripts and the types of their hosts, system settings files
// (.exe .lnk .msi .js .reg ...), every extension in PATHEXT, every type whose registered open command
// is the file itself, and whatever the platform's AssocIsDangerous reports. The name is judged the
// way the file system will resolve it: trailing dots and spaces do not hide an extension, a stream
// name or a URL scheme after a colon makes the path suspect, and a path without extension is
// suspect when it does not name an existing file or a program stands beside it under the same name
// (the shell tries "name.exe" and the like for such a path). The text is judged only up to a NUL,
// as the platform sees it. An empty path also gives true: there is nothing to open.
bool runsCode(const std::string& path);

// Files of this size and larger in bytes are large texts: they go to "wordpad".
constexpr unsigned long long largeTextBytes = 24000;

// What to hand to the shell's default action: a document or program, its parameters and its
// working directory (empty: none).
struct ShellCall {
    std::string file;
    std::string parameters;
    std::string directory;
};

// How path is to be opened. Nothing when it would run code (runsCode) or names a folder, which the
// shell would show in a file manager. A "txt" file of largeTextBytes or more goes to the program
// "wordpad" with the bare file name as parameter (quoted when it holds blanks) and its folder as
// working directory, where the shell can start "wordpad" (its App Paths entry names an existing
// program, or wordpad.exe is on the search path); every other document, and such a text where
// there is no WordPad, is itself handed to the shell. path is taken as given: the caller cuts it
// at a NUL as the platform would.
std::optional<ShellCall> openingCall(const std::string& path);
