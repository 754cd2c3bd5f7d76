#include "request/DocumentOpening.h"

#include "winsys/Handle.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <vector>

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b)
{
    size_t length = std::strlen(b);
    if (a.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The extension of path without its dot, as PathFindExtensionA finds it; empty when there is none.
std::string extensionOf(const std::string& path)
{
    const char* dot = PathFindExtensionA(path.c_str());
    return *dot == '.' ? std::string(dot + 1) : std::string();
}

// Types that start a program or script, install something or change the system when the shell opens
// them. Windows keeps such a list behind AssocIsDangerous; Wine's answers FALSE for everything, so the
// list is ours. Help files (chm, hlp) and web pages stay documents: their viewers run them in a
// restricted setting, and opening them is what the control is for.
const char* const codeExtensions[] = {
    // programs, and the shortcuts and links that start one
    "exe", "com", "pif", "scr", "bat", "cmd", "cpl", "msc", "dll", "ocx", "sys", "drv", "lnk", "url",
    "website", "scf", "shb", "shs", "xnk", "mcf", "settingcontent-ms", "library-ms",
    "searchconnector-ms", "diagcab", "appref-ms", "application", "xbap", "gadget", "jar", "ade", "adp",
    // installers and packages
    "msi", "msp", "mst", "msix", "msixbundle", "appx", "appxbundle", "appinstaller",
    // scripts, and the hosts that run them
    "hta", "js", "jse", "vb", "vbs", "vbe", "ws", "wsc", "wsf", "wsh", "sct", "ps1", "ps1xml", "ps2",
    "ps2xml", "psc1", "psc2", "psd1", "psm1", "msh", "msh1", "msh2", "mshxml", "msh1xml", "msh2xml",
    "py", "pyw", "pyz", "pyzw", "pl", "rb", "its", "vsmacros", "vsw",
    // databases that run their own startup macros
    "mad", "maf", "mag", "mam", "maq", "mar", "mas", "mat", "mau", "mav", "maw", "mda", "mdb", "mde",
    "mdt", "mdw", "mdz",
    // settings that change the system: registry, setup information, certificates, dial-up settings
    "reg", "inf", "ins", "isp", "cer", "crt", "der", "prf",
};

bool inPathExt(const std::string& extension)
{
    char buffer[2048];
    DWORD length = GetEnvironmentVariableA("PATHEXT", buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer)
        return false;
    std::string list(buffer, length);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(start, end - start);
        if (!entry.empty() && entry[0] == '.' && equalsIgnoringCase(entry.substr(1), extension.c_str()))
            return true;
        start = end + 1;
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
    std::string type = "." + extension;
    int length = MultiByteToWideChar(CP_ACP, 0, type.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return true;
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, type.c_str(), -1, wide.data(), length);
    return AssocIsDangerous(wide.data()) != FALSE;
}

bool extensionRunsCode(const std::string& extension)
{
    if (extension.empty())
        return false;
    // "name.{class id}" is a shell namespace junction: the shell hands it to that COM class.
    if (extension[0] == '{')
        return true;
    for (const char* listed : codeExtensions) {
        if (equalsIgnoringCase(extension, listed))
            return true;
    }
    return inPathExt(extension) || commandIsTheFile(extension) || platformSaysDangerous(extension);
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
        program = extensionRunsCode(extensionOf(found.cFileName));
    } while (!program && FindNextFileA(search, &found));
    FindClose(search);
    return program;
}

bool nameRunsCode(const std::string& path)
{
    std::string name = withoutTrailingDotsAndSpaces(path);
    if (name.empty() || hasColonBeyondDrive(name))
        return true;
    std::string extension = extensionOf(name);
    return extension.empty() ? programMayStandIn(name) : extensionRunsCode(extension);
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

// A folder is no document: the shell would open it in a file manager window (a page could name
// "\\", "C:" or a share and have the user's drives shown).
bool isFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isSet(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Closes the shell's own message boxes on one thread once a stop is requested, for as long as a shell
// call runs there. The shell puts them up modally on the calling thread (under Wine: "There is no
// Windows program configured to open this type of file.") and waits for the user; a stop must not.
class ShellDialogCloser {
public:
    explicit ShellDialogCloser(HANDLE stopEvent) : stop(stopEvent), thread(GetCurrentThreadId())
    {
        if (!stop)
            return;
        done.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (done)
            helper.reset(CreateThread(nullptr, 0, &ShellDialogCloser::run, this, 0, nullptr));
    }

    ~ShellDialogCloser()
    {
        if (helper) {
            SetEvent(done.get());
            WaitForSingleObject(helper.get(), INFINITE);
        }
    }

    ShellDialogCloser(const ShellDialogCloser&) = delete;
    ShellDialogCloser& operator=(const ShellDialogCloser&) = delete;

private:
    static DWORD WINAPI run(void* argument)
    {
        auto* self = static_cast<ShellDialogCloser*>(argument);
        HANDLE handles[] = {self->done.get(), self->stop};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        // A box may appear only after the stop, so keep looking until the shell call is over.
        do {
            EnumThreadWindows(self->thread, &ShellDialogCloser::closeDialog, 0);
        } while (WaitForSingleObject(self->done.get(), 20) == WAIT_TIMEOUT);
        return 0;
    }

    static BOOL CALLBACK closeDialog(HWND window, LPARAM)
    {
        char className[16] = {};
        GetClassNameA(window, className, sizeof className);
        if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window))
            PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }

    HANDLE stop;
    DWORD thread;
    KernelHandle done;
    KernelHandle helper;  // joined in the destructor while done is still open
};

// ShellExecuteEx may hand the document to shell extensions and DDE servers that are COM objects
// needing a single-threaded apartment. A request's worker already is one (it owns the task window),
// and then this only counts one more initialisation; a thread that chose the multithreaded apartment
// keeps it (CoInitializeEx answers RPC_E_CHANGED_MODE, and nothing is undone).
class ShellApartment {
public:
    ShellApartment()
        : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~ShellApartment()
    {
        if (initialised)
            CoUninitialize();
    }
    ShellApartment(const ShellApartment&) = delete;
    ShellApartment& operator=(const ShellApartment&) = delete;

private:
    bool initialised;
};

// Waits for the process, or for the stop event when there is one. Messages sent to the thread's
// windows meanwhile are answered (a window that never answers hangs every broadcast in the session);
// posted ones, the task window's quit message among them, stay queued.
OpenOutcome waitForProcess(HANDLE process, HANDLE stopEvent)
{
    HANDLE handles[] = {process, stopEvent};
    DWORD count = stopEvent ? 2 : 1;
    for (;;) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0 + count)
            continue;
        if (count == 2 && result == WAIT_OBJECT_0 + 1)
            return OpenOutcome::Stopped;
        return OpenOutcome::Finished;  // the process ended (or the wait failed: nothing to wait for)
    }
}

OpenOutcome executeAndWait(const std::string& file, const std::string& parameters, const std::string& directory,
                           HANDLE stopEvent)
{
    SHELLEXECUTEINFOA execution{};
    execution.cbSize = sizeof execution;
    execution.fMask = SEE_MASK_NOCLOSEPROCESS;
    execution.lpFile = file.c_str();
    execution.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    execution.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    execution.nShow = SW_SHOWNORMAL;
    {
        ShellApartment apartment;
        ShellDialogCloser closer(stopEvent);
        // The result is deliberately not examined: without SEE_MASK_FLAG_NO_UI the shell has
        // already told the user what went wrong.
        ShellExecuteExA(&execution);
    }
    KernelHandle process(execution.hProcess);
    if (isSet(stopEvent))
        return OpenOutcome::Stopped;
    if (!process)
        return OpenOutcome::Finished;
    return waitForProcess(process.get(), stopEvent);
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

struct WordpadCall {
    std::string parameters;  // the bare file name
    std::string folder;      // the working directory
};

// Whether path is a large text file for "wordpad", and how to call it.
bool largeText(const std::string& path, WordpadCall& call)
{
    unsigned long long size = 0;
    if (documentKind(path) != DocumentKind::Text || !sizeOf(path, size) || size < largeTextBytes)
        return false;
    size_t separator = path.find_last_of("\\/");
    std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    if (separator != std::string::npos) {
        call.folder = path.substr(0, separator);
        // "C:" alone is the drive's current folder, not its root: keep the separator for a file
        // directly in a root ("C:\" and "\").
        if (call.folder.empty() || call.folder.back() == ':')
            call.folder = path.substr(0, separator + 1);
    }
    // A program that splits its command line would see a name with blanks as several arguments.
    call.parameters = name.find_first_of(" \t") == std::string::npos ? name : "\"" + name + "\"";
    return true;
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

bool runsCode(const std::string& path)
{
    const std::string seen = path.c_str();
    std::string full = fullPathOf(seen);
    return full.empty() || nameRunsCode(seen) || nameRunsCode(full);
}

OpenOutcome openDocument(const std::string& path, HANDLE stopEvent)
{
    const std::string file = path.c_str();
    if (runsCode(file) || isFolder(file))
        return OpenOutcome::Refused;
    if (isSet(stopEvent))
        return OpenOutcome::Stopped;
    WordpadCall wordpad;
    if (largeText(file, wordpad))
        return executeAndWait("wordpad", wordpad.parameters, wordpad.folder, stopEvent);
    return executeAndWait(file, {}, {}, stopEvent);
}
