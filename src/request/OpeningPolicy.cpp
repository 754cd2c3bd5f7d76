#include "request/OpeningPolicy.h"

#include "winsys/Handle.h"
#include "winsys/Text.h"

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// The extension of path without its dot, as PathFindExtensionA finds it; empty when there is none.
std::string extensionOf(const std::string& path)
{
    const char* dot = PathFindExtensionA(path.c_str());
    return *dot == '.' ? std::string(dot + 1) : std::string();
}

// The two lists of dangerous types, by extension. Windows keeps such a list behind AssocIsDangerous
// (its unsafe types: the Attachment Manager's high-risk list); Wine's answers FALSE for everything, so
// the lists are ours and cover Windows' list and more. The platform is still asked about every other
// type (extensionRisk).
//
// Types that start a program or script, install something or change the system when the shell opens
// them: never handed to the shell.
const char* const codeExtensions[] = {
    // programs, and the shortcuts and links that start one
    "exe", "com", "pif", "scr", "bat", "cmd", "cpl", "msc", "dll", "ocx", "sys", "drv", "lnk", "url",
    "website", "scf", "shb", "shs", "xnk", "mcf", "settingcontent-ms", "library-ms", "search-ms",
    "searchconnector-ms", "diagcab", "diagcfg", "diagpkg", "appref-ms", "application", "xbap", "gadget",
    "jar", "jnlp", "ade", "adp", "app", "rdp", "grp", "xll", "wll", "iqy", "slk", "mcl",
    // installers and packages
    "msi", "msp", "mst", "msu", "msix", "msixbundle", "appx", "appxbundle", "appinstaller", "ppkg", "vsix",
    // scripts and compiled scripts, and the hosts that run them
    "hta", "js", "jse", "vb", "vbs", "vbe", "ws", "wsc", "wsf", "wsh", "sct", "ps1", "ps1xml", "ps2",
    "ps2xml", "psc1", "psc2", "psd1", "psm1", "msh", "msh1", "msh2", "mshxml", "msh1xml", "msh2xml",
    "py", "pyw", "pyz", "pyzw", "pyc", "pyo", "pl", "rb", "csh", "ksh", "bas", "fxp", "prg", "plg",
    "pcd", "its", "vsmacros", "vsw", "vss", "vst", "vbp", "psdm1",
    // databases that run their own startup macros
    "mad", "maf", "mag", "mam", "maq", "mar", "mas", "mat", "mau", "mav", "maw", "mda", "mdb", "mde",
    "mdt", "mdw", "mdz",
    // settings that change the system: registry, setup information, certificates, dial-up and
    // Office profiles, desktop themes
    "reg", "inf", "ins", "isp", "cer", "crt", "der", "prf", "ops", "theme", "themepack", "deskthemepack",
    // printer exports, web printer connections, data links, plug-in settings and software
    // descriptions that install something or connect somewhere when opened
    "printerexport", "webpnp", "udl", "wcx", "osd",
};

// Documents whose viewer runs script in them with the rights of the local machine: compiled and
// classic help (with its contents and project files) and web archives, and the remaining document
// types of Windows' unsafe list. They open only from the folders chosen for the theme.
const char* const localScriptExtensions[] = {
    "chm", "hlp", "cnt", "hpj", "mht", "mhtml", "asp", "pst", "tmp",
};

template <size_t count>
bool listed(const char* const (&list)[count], const std::string& extension)
{
    for (const char* entry : list) {
        if (equalsIgnoringCase(extension, entry))
            return true;
    }
    return false;
}

bool inPathExt(const std::string& extension)
{
    char buffer[2048];
    DWORD length = GetEnvironmentVariableA("PATHEXT", buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer)
        return false;
    for (const std::string& entry : splitList(std::string_view(buffer, length))) {
        if (!entry.empty() && entry[0] == '.' && equalsIgnoringCase(std::string_view(entry).substr(1), extension))
            return true;
    }
    return false;
}

// True when the type's open command runs the file itself ("%1" %*), as the system's program types do.
bool commandIsTheFile(const std::string& extension)
{
    std::string type = "." + extension;
    char command[1024];
    DWORD size = sizeof command;
    if (AssocQueryStringA(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, type.c_str(), nullptr, command, &size) != S_OK)
        return false;
    const char* start = command;
    while (*start == ' ' || *start == '\t')
        ++start;
    if (*start == '"')
        ++start;
    return start[0] == '%' && (start[1] == '1' || start[1] == 'l' || start[1] == 'L');
}

bool platformSaysDangerous(const std::string& extension)
{
    std::wstring type = widen("." + extension);
    return type.empty() || AssocIsDangerous(type.c_str()) != FALSE;
}

TypeRisk extensionRisk(const std::string& extension)
{
    if (extension.empty())
        return TypeRisk::Document;
    // "name.{class id}" is a shell namespace junction: the shell hands it to that COM class.
    if (extension[0] == '{' || listed(codeExtensions, extension))
        return TypeRisk::RunsCode;
    if (listed(localScriptExtensions, extension))
        return TypeRisk::RunsLocalScript;
    if (inPathExt(extension) || commandIsTheFile(extension) || platformSaysDangerous(extension))
        return TypeRisk::RunsCode;
    return TypeRisk::Document;
}

// The file system drops trailing dots and spaces of a name ("a.exe. " opens a.exe), and a trailing
// separator names the same object.
std::string withoutTrailingDotsAndSpaces(std::string path)
{
    while (!path.empty() && std::strchr(". \\/", path.back()))
        path.pop_back();
    return path;
}

// A colon anywhere but after a drive letter opens an alternate stream ("doc.txt:evil.exe"), or makes
// the text a URL or shell name rather than a file.
bool hasColonBeyondDrive(const std::string& path)
{
    for (size_t i = 0; i < path.size(); ++i) {
        bool driveLetter = i == 1 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
        if (path[i] == ':' && !driveLetter)
            return true;
    }
    return false;
}

// For a path without extension the shell tries "path.exe" and other program extensions, before or
// instead of the name itself (a missing "tool" runs "tool.exe"). Such a path is safe only when it
// names an existing file or folder and no program stands beside it under the same name.
bool programMayStandIn(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + ".*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool program = false;
    do {
        program = extensionRisk(extensionOf(found.cFileName)) == TypeRisk::RunsCode;
    } while (!program && FindNextFileA(search, &found));
    FindClose(search);
    return program;
}

TypeRisk nameRisk(const std::string& path)
{
    std::string name = withoutTrailingDotsAndSpaces(path);
    if (name.empty() || hasColonBeyondDrive(name))
        return TypeRisk::RunsCode;
    std::string extension = extensionOf(name);
    if (extension.empty())
        return programMayStandIn(name) ? TypeRisk::RunsCode : TypeRisk::Document;
    return extensionRisk(extension);
}

// The path as the file system will resolve it ("." and ".." folded, trailing dots and spaces of the
// last name dropped); empty when it cannot be made.
std::string fullPathOf(const std::string& path)
{
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return {};
    std::vector<char> buffer(needed + 1);
    DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size())
        return {};
    return std::string(buffer.data(), length);
}

// The risk of the file's long name: GetFullPathNameA keeps 8.3 short names, and "SETTIN~1.SET" may
// stand for "x.settingcontent-ms", which is what the shell then opens. Nothing to add for a path that
// names no existing file (the shell cannot open it either; programMayStandIn covers the names it
// tries instead); an existing file whose long name cannot be read counts as a program.
TypeRisk longNameRisk(const std::string& fullPath)
{
    DWORD needed = GetLongPathNameA(fullPath.c_str(), nullptr, 0);
    if (needed != 0) {
        std::vector<char> buffer(needed + 1);
        DWORD length = GetLongPathNameA(fullPath.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length != 0 && length < buffer.size())
            return nameRisk(std::string(buffer.data(), length));
    }
    return GetFileAttributesA(fullPath.c_str()) == INVALID_FILE_ATTRIBUTES ? TypeRisk::Document : TypeRisk::RunsCode;
}

// A folder is no document: the shell would open it in a file manager window (a page could name
// "\\", "C:" or a share and have the user's drives shown).
bool isFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The size of a file opened for attribute access only; false when it cannot be opened or measured.
bool sizeOf(const std::string& path, unsigned long long& size)
{
    FileHandle file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (!file)
        return false;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(file.get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    size = (static_cast<unsigned long long>(high) << 32) | low;
    return true;
}

// The program an App Paths entry of HKEY_LOCAL_MACHINE names (its default value, expanded and
// unquoted); empty when there is no such entry or its program does not exist.
std::string registeredProgram(const char* name)
{
    std::string key = std::string("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + name;
    char value[MAX_PATH + 2];
    DWORD size = sizeof value;
    // RRF_RT_REG_SZ also takes a REG_EXPAND_SZ value, expanded, as Windows stores this one.
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    std::string program = value;
    if (!program.empty() && program.front() == '"')
        program = program.substr(1, program.find('"', 1) - 1);
    DWORD attributes = GetFileAttributesA(program.c_str());
    bool isFile = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return isFile ? program : std::string();
}

// WordPad's full path: its App Paths entry (looked up as "wordpad.exe" by Windows, as "wordpad" by
// Wine), else the Accessories folder below Program Files; empty when neither names an existing
// program (current Windows 11 releases no longer have WordPad). The shell is never handed the bare
// name: for a bare program name it looks in the working folder first, which is the document's, so a
// wordpad.exe (or .com, .bat, .cmd) lying beside the text would run instead.
std::string wordpadProgram()
{
    for (const char* name : {"wordpad.exe", "wordpad"}) {
        std::string program = registeredProgram(name);
        if (!program.empty())
            return program;
    }
    char folder[MAX_PATH];
    DWORD length = ExpandEnvironmentStringsA("%ProgramFiles%\\Windows NT\\Accessories\\wordpad.exe", folder, MAX_PATH);
    if (length == 0 || length > MAX_PATH || folder[0] == '%')
        return {};
    DWORD attributes = GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? std::string(folder)
                                                                                            : std::string();
}

// The call that hands a large text file to WordPad by its full path; nothing when path is no such
// file or WordPad cannot be found.
std::optional<ShellCall> wordpadCall(const std::string& path)
{
    unsigned long long size = 0;
    if (documentKind(path) != DocumentKind::Text || !sizeOf(path, size) || size < largeTextBytes)
        return std::nullopt;
    std::string program = wordpadProgram();
    if (program.empty())
        return std::nullopt;
    ShellCall call{program, {}, {}};
    size_t separator = path.find_last_of("\\/");
    std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    if (separator != std::string::npos) {
        call.directory = path.substr(0, separator);
        // "C:" alone is the drive's current folder, not its root: keep the separator for a file
        // directly in a root ("C:\" and "\").
        if (call.directory.empty() || call.directory.back() == ':')
            call.directory = path.substr(0, separator + 1);
    }
    // A program that splits its command line would see a name with blanks as several arguments.
    call.parameters = name.find_first_of(" \t") == std::string::npos ? name : "\"" + name + "\"";
    return call;
}

}  // namespace

DocumentKind documentKind(const std::string& path)
{
    std::string extension = extensionOf(path);
    if (equalsIgnoringCase(extension, "rar"))
        return DocumentKind::Archive;
    if (equalsIgnoringCase(extension, "txt"))
        return DocumentKind::Text;
    return DocumentKind::Other;
}

TypeRisk typeRisk(const std::string& path)
{
    const std::string seen = path.c_str();
    std::string full = fullPathOf(seen);
    if (full.empty())
        return TypeRisk::RunsCode;
    return std::max({nameRisk(seen), nameRisk(full), longNameRisk(full)});
}

bool runsCode(const std::string& path)
{
    return typeRisk(path) == TypeRisk::RunsCode;
}

std::optional<ShellCall> openingCall(const std::string& path, Origin origin)
{
    TypeRisk risk = typeRisk(path);
    if (risk == TypeRisk::RunsCode || (risk == TypeRisk::RunsLocalScript && origin != Origin::ChosenFolder) ||
        isFolder(path))
        return std::nullopt;
    if (std::optional<ShellCall> wordpad = wordpadCall(path))
        return wordpad;
    return ShellCall{path, {}, {}};
}
