#include "support/ViewerFixture.h"

#include "support/TestSupport.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace testing_support {

namespace {

const char* const backupStore = "Software\\VogTests\\ViewerFixture";
const char* const viewerProgId = "VogTest.Viewer";
const char* const appPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char* const viewerClass = "VogViewer";

// Backup values under backupStore: named "<root>\<subkey>", holding the key's former default value
// (REG_SZ), or REG_DWORD 0 when the key did not exist, 1 when it had no default value.
enum : DWORD { keyWasMissing = 0, keyHadNoDefault = 1 };

struct Place {
    HKEY root;
    std::string rootName;
    std::string subkey;
    std::string backupName() const { return rootName + "\\" + subkey; }
};

Place classesPlace(const std::string& name)
{
    return {HKEY_CLASSES_ROOT, "HKCR", name};
}

Place appPathPlace(const std::string& program)
{
    return {HKEY_LOCAL_MACHINE, "HKLM", appPaths + program};
}

bool placeFromBackupName(const std::string& name, Place& place)
{
    size_t separator = name.find('\\');
    if (separator == std::string::npos)
        return false;
    std::string root = name.substr(0, separator);
    place.rootName = root;
    place.subkey = name.substr(separator + 1);
    if (root == "HKCR")
        place.root = HKEY_CLASSES_ROOT;
    else if (root == "HKLM")
        place.root = HKEY_LOCAL_MACHINE;
    else
        return false;
    return true;
}

void setDefaultValue(HKEY root, const std::string& subkey, const std::string& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void deleteKey(HKEY root, const std::string& subkey)
{
    RegDeleteTreeA(root, subkey.c_str());
    RegDeleteKeyA(root, subkey.c_str());
}

// Records what place holds now, unless an earlier fixture's record is still there (it saw the
// original state; this one may see that fixture's leftovers).
void backUp(const Place& place)
{
    HKEY store = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, backupStore, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &store, nullptr) != ERROR_SUCCESS)
        return;
    std::string name = place.backupName();
    if (RegQueryValueExA(store, name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        HKEY key = nullptr;
        DWORD state = keyWasMissing;
        char value[1024] = {};
        DWORD type = 0, size = sizeof value - 1;
        if (RegOpenKeyExA(place.root, place.subkey.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            state = keyHadNoDefault;
            if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
                    ERROR_SUCCESS ||
                type != REG_SZ)
                type = 0;
            RegCloseKey(key);
        }
        if (type == REG_SZ)
            RegSetValueExA(store, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>(std::strlen(value) + 1));
        else
            RegSetValueExA(store, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&state), sizeof state);
    }
    RegCloseKey(store);
}

// Puts back every place recorded under backupStore and removes the viewer's class.
void restoreAll()
{
    struct Backup {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Backup> backups;
    HKEY store = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, backupStore, 0, KEY_QUERY_VALUE, &store) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char name[1024];
            DWORD nameLength = sizeof name;
            BYTE data[1024] = {};
            DWORD type = 0, size = sizeof data;
            if (RegEnumValueA(store, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
                break;
            backups.push_back({std::string(name, nameLength), type, std::vector<BYTE>(data, data + size)});
        }
        RegCloseKey(store);
    }
    for (const Backup& backup : backups) {
        Place place;
        if (!placeFromBackupName(backup.name, place))
            continue;
        if (backup.type == REG_SZ) {
            setDefaultValue(place.root, place.subkey, reinterpret_cast<const char*>(backup.data.data()));
        } else if (backup.type == REG_DWORD && backup.data.size() == sizeof(DWORD)) {
            DWORD state = 0;
            std::memcpy(&state, backup.data.data(), sizeof state);
            if (state == keyWasMissing) {
                deleteKey(place.root, place.subkey);
            } else {
                HKEY key = nullptr;
                if (RegOpenKeyExA(place.root, place.subkey.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                    RegDeleteValueA(key, nullptr);
                    RegCloseKey(key);
                }
            }
        }
    }
    deleteKey(HKEY_CURRENT_USER, backupStore);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VogTests");  // only when no other test keeps keys there
    deleteKey(HKEY_CLASSES_ROOT, viewerProgId);
}

std::string readWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool parseRecord(const std::string& text, ViewerStart& start)
{
    std::istringstream lines(text);
    std::string line;
    bool havePid = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "pid") {
            start.processId = static_cast<DWORD>(std::stoul(value));
            havePid = true;
        } else if (key == "cwd") {
            start.workingDirectory = value;
        } else if (key == "read") {
            start.read = value;
        } else if (key == "cmdline") {
            start.commandLine = value;
        } else if (key.compare(0, 3, "arg") == 0 && key != "argc") {
            size_t index = std::stoul(key.substr(3));
            if (index >= 1 && index <= 64) {
                if (start.arguments.size() < index)
                    start.arguments.resize(index);
                start.arguments[index - 1] = value;
            }
        }
    }
    return havePid;
}

struct FoundWindow {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK findViewerWindow(HWND window, LPARAM parameter)
{
    auto* wanted = reinterpret_cast<FoundWindow*>(parameter);
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == wanted->processId && std::strcmp(className, viewerClass) == 0 && IsWindowVisible(window)) {
        wanted->window = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

ViewerFixture::ViewerFixture(const std::vector<std::string>& extensions)
    : log(scratchFolder(uniqueName("viewer-log")))
{
    char previous[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("VOG_VIEWER_LOG", previous, MAX_PATH);
    hadLogVariable = length > 0 && length < MAX_PATH;
    previousLogVariable = hadLogVariable ? previous : "";
    SetEnvironmentVariableA("VOG_VIEWER_LOG", log.c_str());

    std::string viewer = viewerPath();
    setDefaultValue(HKEY_CLASSES_ROOT, viewerProgId, "Vog test document");
    setDefaultValue(HKEY_CLASSES_ROOT, std::string(viewerProgId) + "\\shell\\open\\command",
                    "\"" + viewer + "\" \"%1\"");
    for (const std::string& extension : extensions) {
        Place place = classesPlace(extension);
        backUp(place);
        setDefaultValue(place.root, place.subkey, viewerProgId);
    }
    // Wine looks the program up without ".exe", Windows with it.
    for (const char* program : {"wordpad", "wordpad.exe"}) {
        Place place = appPathPlace(program);
        backUp(place);
        setDefaultValue(place.root, place.subkey, viewer);
    }
}

ViewerFixture::~ViewerFixture()
{
    closeAll();
    restoreAll();
    SetEnvironmentVariableA("VOG_VIEWER_LOG", hadLogVariable ? previousLogVariable.c_str() : nullptr);
    SetEnvironmentVariableA("VOG_VIEWER_HAND_OFF", nullptr);
    deleteTree(log);
}

std::vector<std::string> ViewerFixture::defaultExtensions()
{
    return {".vogdoc", ".txt", ".chm", ".rar", ".zip"};
}

std::string ViewerFixture::viewerPath()
{
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string folder = program;
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "vogviewer.exe";
}

std::vector<ViewerStart> ViewerFixture::starts() const
{
    struct Recorded {
        FILETIME written;
        ViewerStart start;
    };
    std::vector<Recorded> recorded;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((log + "\\*.txt").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            Recorded record{found.ftLastWriteTime, {}};
            if (parseRecord(readWholeFile(log + "\\" + found.cFileName), record.start))
                recorded.push_back(record);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(recorded.begin(), recorded.end(), [](const Recorded& a, const Recorded& b) {
        return CompareFileTime(&a.written, &b.written) < 0;
    });
    std::vector<ViewerStart> result;
    for (Recorded& record : recorded)
        result.push_back(std::move(record.start));
    return result;
}

std::optional<ViewerStart> ViewerFixture::waitForStart(DWORD timeoutMs)
{
    std::optional<ViewerStart> next;
    waitUntil([&] {
        for (ViewerStart& start : starts()) {
            if (!returned.count(start.processId)) {
                next = std::move(start);
                return true;
            }
        }
        return false;
    }, timeoutMs, 10);
    if (next)
        returned.insert(next->processId);
    return next;
}

bool ViewerFixture::noStartWithin(DWORD ms) const
{
    return !waitUntil([&] {
        for (const ViewerStart& start : starts()) {
            if (!returned.count(start.processId))
                return true;
        }
        return false;
    }, ms, 10);
}

bool ViewerFixture::closeAll(DWORD timeoutMs) const
{
    bool allEnded = true;
    for (const ViewerStart& start : starts())
        allEnded = closeViewer(start.processId, timeoutMs) && allEnded;
    return allEnded;
}

bool ViewerFixture::isRunning(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process)
        return false;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool ViewerFixture::closeViewer(DWORD processId, DWORD timeoutMs)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process)
        return true;
    std::string name = "VogViewerClose." + std::to_string(processId);
    HANDLE close = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (close) {
        SetEvent(close);
        CloseHandle(close);
    } else if (HWND window = viewerWindow(processId, 0)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

HWND ViewerFixture::viewerWindow(DWORD processId, DWORD timeoutMs)
{
    FoundWindow found{processId, nullptr};
    waitUntil([&] {
        EnumWindows(findViewerWindow, reinterpret_cast<LPARAM>(&found));
        return found.window != nullptr;
    }, timeoutMs, 10);
    return found.window;
}

bool ViewerFixture::closeEveryViewer(DWORD timeoutMs)
{
    HANDLE closeAllEvent = CreateEventA(nullptr, TRUE, FALSE, "VogViewerCloseAll");
    if (!closeAllEvent)
        return false;
    SetEvent(closeAllEvent);
    bool gone = waitUntil([] { return FindWindowA(viewerClass, nullptr) == nullptr; }, timeoutMs, 10);
    ResetEvent(closeAllEvent);
    CloseHandle(closeAllEvent);
    return gone;
}

namespace {

// When the process was created, as a FILETIME's 64-bit count; 0 when it cannot be read.
unsigned long long creationTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// A process names its parent by id only, and ids are used again: a program left running by an
// earlier test whose parent had this process's id looks like a child. A real child was created
// after this process.
bool createdAfterThisProcess(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return true;  // cannot tell: count it, so that nothing started is overlooked
    unsigned long long created = creationTime(process);
    CloseHandle(process);
    return created == 0 || created >= creationTime(GetCurrentProcess());
}

}  // namespace

std::set<DWORD> childProcessIds()
{
    std::set<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        // Wine starts its desktop process, explorer.exe, for the first process that needs the desktop
        // and ends it a second after the last one has gone: between tests it is started anew, as a
        // child of whichever test opens the first window. It is the platform's, not a started program.
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, "explorer.exe") != 0 &&
            createdAfterThisProcess(entry.th32ProcessID))
            children.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return children;
}

}  // namespace testing_support
