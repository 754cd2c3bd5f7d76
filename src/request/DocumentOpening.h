// Opening a located document with the program the user has for it, and waiting until that program
// ends.
//
// Threads: openDocument runs on a request's worker thread and blocks it for as long as the viewer
// runs, which may be hours. While it waits it still answers messages that other threads and
// processes send to the thread's windows (broadcasts must not hang on a busy worker), and it returns
// early when its stop event is set: then the viewer keeps running and only the wait ends. A stop
// also closes a message box that the shell itself put up on the worker (for example "no program is
// configured for this type") instead of waiting for the user to answer it.
//
// Safety: a web page can name the file through the control, so nothing that would run code is ever
// handed to the shell (see runsCode).
#pragma once

#include <windows.h>

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

enum class OpenOutcome {
    Finished,  // handed to the shell, and the program it started (if it returned one) has ended
    Stopped,   // the stop event was set; a program already started keeps running
    Refused,   // runsCode(path), or path names a folder: nothing was started
};

// Opens path and waits for the started program. A path that would run code, or that names a folder
// (which the shell would show in a file manager), is refused. A "txt" file of 24000 bytes or more goes to the
// program "wordpad" with the bare file name as parameter and its folder as working directory;
// every other document goes to the shell's default action for it. Whether the shell succeeds is not
// examined: it tells the user itself, and a failed "wordpad" start is not retried with the default
// action. The wait covers the process handle the shell returns; when it returns none (the document
// went to a program that was already running, or nothing started) there is nothing to wait for.
// stopEvent (may be null) ends the wait early; when it is already set nothing is started.
OpenOutcome openDocument(const std::string& path, HANDLE stopEvent = nullptr);

// Files of this size and larger in bytes are large texts in the sense of openDocument.
constexpr unsigned long long largeTextBytes = 24000;
