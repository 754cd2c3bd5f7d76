// Which located documents may be opened, and with what: the kind of a document by its extension,
// the types that are never handed to the shell, and the rule that sends large text files to
// WordPad. Nothing here starts anything; ShellExecution.h carries out what openingCall decides.
//
// Safety: a web page can name the file through the control, so nothing that would run code is ever
// handed to the shell, and documents that run script with the machine's rights only from the folders
// chosen for the theme (see typeRisk).
#pragma once

#include <optional>
#include <string>

enum class DocumentKind { Archive, Text, Other };

// The kind of a path by its extension, found as PathFindExtensionA finds it (the text after the last
// ".", provided no "\" and no space follows that dot). "rar" is an Archive, "txt" is Text, compared
// without regard to the case of A to Z; any other extension, and none, is Other.
DocumentKind documentKind(const std::string& path);

// What handing a file to the shell can do, from the least to the most dangerous.
enum class TypeRisk {
    Document,         // shows a document
    RunsLocalScript,  // shows a document whose viewer runs script in it with the rights of the local
                      // machine: help files and web archives (.chm .hlp .mht ...)
    RunsCode,         // starts a program or script, installs something or changes the system
};

// The risk of path by its type. RunsCode for programs, shortcuts, installers, scripts and the types of
// their hosts, system settings files (.exe .lnk .msi .js .reg ...), every extension in PATHEXT, every
// type whose registered open command is the file itself, and whatever else the platform's
// AssocIsDangerous reports. The name is judged the way the file system will resolve it, in every
// spelling that reaches the same file: as given, as its full path, and as its long name (an 8.3 short
// name such as SETTIN~1.SET stands for a longer real name); the most dangerous judgement counts, and
// an existing file whose long name cannot be read counts as RunsCode. Trailing dots and spaces do not
// hide an extension, a stream name or a URL scheme after a colon makes the path RunsCode, and so does
// a path without extension that does not name an existing file or has a program beside it under the
// same name (the shell tries "name.exe" and the like for such a path). The text is judged only up to a
// NUL, as the platform sees it. An empty path is RunsCode too: there is nothing to open.
TypeRisk typeRisk(const std::string& path);

// typeRisk(path) is RunsCode.
bool runsCode(const std::string& path);

// Where the file to be opened was found, which decides whether a RunsLocalScript document may open.
enum class Origin {
    Elsewhere,     // on the search path, named by a drive, root, UNC path or "..", or not known
    ChosenFolder,  // in a folder an administrator or the user chose for the theme (or inside an archive
                   // found there), named by a plain relative name
};

// Files of this size and larger in bytes are large texts: they go to WordPad.
constexpr unsigned long long largeTextBytes = 24000;

// What to hand to the shell's default action: a document or program, its parameters and its
// working directory (empty: none).
struct ShellCall {
    std::string file;
    std::string parameters;
    std::string directory;
};

// How path is to be opened. Nothing when it would run code (runsCode) or names a folder, which the
// shell would show in a file manager. A "txt" file of largeTextBytes or more goes to WordPad, by
// its full path (its App Paths entry for wordpad.exe, else the Windows Accessories folder below
// Program Files; never a bare name, which the shell would look for in the working folder first),
// with the bare file name as parameter (quoted when it holds blanks) and its folder as working
// directory; every other document, and such a text where there is no WordPad, is itself handed to
// the shell. path is taken as given: the caller cuts it
// at a NUL as the platform would. A document that runs local script (typeRisk) gives nothing unless
// origin is ChosenFolder.
std::optional<ShellCall> openingCall(const std::string& path, Origin origin = Origin::Elsewhere);
