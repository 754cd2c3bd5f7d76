// The duration of open on the container's thread, called as a script engine calls it (VOG.OCX
// loaded in-process, IDispatch::Invoke), against a bare read of the same theme's folder list with
// the registry functions, and against the theme's own load, all in the same run. The request names
// a program by its full path: its worker finds it at once and refuses to start it, so the worker
// does little and is waited for (outside the timing) before the next call. Besides the list, open
// must start the request's worker on the container's thread: a second baseline is the bare read
// followed by the bare start of a thread that does nothing.
#include "BenchSupport.h"

#include "theme/Theme.h"
#include "winsys/Handle.h"

#include <ocidl.h>
#include <oleauto.h>
#include <process.h>

#include <string>
#include <vector>

namespace {

constexpr int folderCount = 10;
constexpr int runs = 200;
constexpr int callsPerControl = 50;
const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes\\";

// The theme's list as the control stores it: data\paths\string.0 ... string.9.
void storeTheme(const std::string& theme, const std::string& folder)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, (themesKey + theme + "\\data\\paths").c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegistryKey paths(key);
    for (int i = 0; i < folderCount; ++i) {
        std::string value = folder + "\\folder" + std::to_string(i);
        RegSetValueExA(paths.get(), ("string." + std::to_string(i)).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
    }
}

// The bare read: open the key with the access the theme needs, list and read every value.
size_t bareRead(const std::string& theme)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (themesKey + theme + "\\data\\paths").c_str(), 0, KEY_ALL_ACCESS,
                      &opened) != ERROR_SUCCESS)
        return 0;
    RegistryKey key(opened);
    std::vector<std::string> folders;
    char name[256];
    char data[MAX_PATH];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        DWORD size = sizeof data;
        if (RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size)
            != ERROR_SUCCESS)
            break;
        folders.emplace_back(data);
    }
    return folders.size();
}

unsigned __stdcall idleWorker(void*)
{
    return 0;
}

}  // namespace

int main()
{
    OleInitialize(nullptr);
    GetClassObject getClassObject = loadVogModule(VOG_OCX_PATH);
    if (!getClassObject)
        return 1;

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "vog-bench-open-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string program = folder + "\\tool.exe";
    HANDLE created = CreateFileA(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(created);
    const std::string theme = "bench-open-" + std::to_string(GetCurrentProcessId());
    storeTheme(theme, folder);

    OpenArguments arguments(theme, program);

    std::vector<double> openTimes, bareTimes, loadTimes, bareStartTimes;
    size_t bareFolders = 0, loadedFolders = 0;
    int unfinished = 0;
    IDispatch* control = nullptr;
    const int idleThreads = processThreadCount();
    for (int run = 0; run < runs; ++run) {
        if (run % callsPerControl == 0) {
            if (control)
                control->Release();
            control = newControl(getClassObject);
            if (!control) {
                std::printf("no control\n");
                return 1;
            }
        }
        double start = nowMs();
        bareFolders = bareRead(theme);
        bareTimes.push_back(nowMs() - start);

        start = nowMs();
        bareRead(theme);
        HANDLE idle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 4096, idleWorker, nullptr, 0, nullptr));
        bareStartTimes.push_back(nowMs() - start);
        if (idle) {
            WaitForSingleObject(idle, INFINITE);
            CloseHandle(idle);
        }

        start = nowMs();
        {
            Theme loaded(theme);
            loadedFolders = loaded.paths.size();
        }
        loadTimes.push_back(nowMs() - start);

        start = nowMs();
        arguments.invoke(control);
        openTimes.push_back(nowMs() - start);
        // The worker ends by itself; the next call starts on a quiet process.
        unfinished += !waitForThreadCount(idleThreads, 5000);
    }
    control->Release();

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (themesKey + theme).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (themesKey + theme).c_str());
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());

    std::printf("theme of %zu folders (the theme itself read %zu), median of %d calls; %d workers did not end\n",
                bareFolders, loadedFolders, runs, unfinished);
    double ratio = reportRatio("open on the container's thread vs bare read", median(openTimes), median(bareTimes), 1.5);
    reportRatio("open on the container's thread vs bare read + bare thread start", median(openTimes),
                median(bareStartTimes), 1.5);
    reportRatio("open on the container's thread vs theme load", median(openTimes), median(loadTimes), 1.5);
    reportRatio("theme load vs bare read", median(loadTimes), median(bareTimes), 1.5);
    return ratio <= 1.5 && unfinished == 0 && bareFolders == folderCount ? 0 : 1;
}
