// The container's thread while another process holds the store mutex (as a save of a stopped
// process, or a user who took it to shut others out, would): the theme's load and open through
// IDispatch::Invoke, each against a bare read of the same list with the registry functions, and
// open against open while nobody holds the mutex, all in the same run. The mutex is held by a
// second instance of this program ("hold").
#include "BenchSupport.h"

#include "theme/Theme.h"
#include "winsys/Handle.h"

#include <string>
#include <vector>

namespace {

constexpr int folderCount = 10;
constexpr int runs = 100;
const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes\\";

// The same bare read as the open benchmark: one key, every value enumerated with its data.
size_t bareRead(const std::string& theme)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (themesKey + theme + "\\data\\paths").c_str(), 0, KEY_READ, &opened)
        != ERROR_SUCCESS)
        return 0;
    RegistryKey key(opened);
    size_t count = 0;
    char name[256];
    char data[MAX_PATH];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof name, type = 0, size = sizeof data;
        if (RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size)
            != ERROR_SUCCESS)
            break;
        ++count;
    }
    return count;
}

// The holder: takes the mutex, says so, and keeps it until it is ended.
int hold(const char* readyEvent)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Global\\VogThemeStore");
    if (!mutex || WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0)
        return 1;
    SetEvent(KernelHandle(OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent)).get());
    Sleep(INFINITE);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "hold")
        return hold(argv[2]);
    OleInitialize(nullptr);
    GetClassObject getClassObject = loadVogModule(VOG_OCX_PATH);
    IDispatch* control = getClassObject ? newControl(getClassObject) : nullptr;
    if (!control)
        return 1;

    const std::string theme = "bench-held-" + std::to_string(GetCurrentProcessId());
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + theme, program = folder + "\\tool.exe";
    CreateDirectoryA(folder.c_str(), nullptr);
    CloseHandle(CreateFileA(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    {
        Theme stored(theme);
        for (int i = 0; i < folderCount; ++i)
            stored.paths.push_back(folder + "\\folder" + std::to_string(i));
        stored.changed = true;
    }

    OpenArguments arguments(theme, program);
    const int idleThreads = processThreadCount();
    int unfinished = 0;
    auto timeOpen = [&](std::vector<double>& times) {
        double start = nowMs();
        arguments.invoke(control);
        times.push_back(nowMs() - start);
        unfinished += !waitForThreadCount(idleThreads, 5000);
    };
    // The first calls of a process are slower (code and caches): they are not counted.
    std::vector<double> freeOpenTimes, warmUp;
    for (int run = 0; run < 20; ++run)
        timeOpen(warmUp);

    const std::string readyName = theme + "-ready";
    KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = "\"" + std::string(self) + "\" hold " + readyName;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &holder)
        || WaitForSingleObject(ready.get(), 20000) != WAIT_OBJECT_0) {
        std::printf("the holder of the mutex did not start\n");
        return 1;
    }

    std::vector<double> bareTimes, loadTimes, openTimes;
    size_t bareFolders = 0, loadedFolders = 0;
    for (int run = 0; run < runs; ++run) {
        double start = nowMs();
        bareFolders = bareRead(theme);
        bareTimes.push_back(nowMs() - start);
        start = nowMs();
        loadedFolders = Theme(theme).paths.size();
        loadTimes.push_back(nowMs() - start);
        timeOpen(openTimes);
    }
    TerminateProcess(holder.hProcess, 0);
    WaitForSingleObject(holder.hProcess, 5000);
    for (int run = 0; run < runs; ++run)
        timeOpen(freeOpenTimes);
    control->Release();
    CloseHandle(holder.hProcess);
    CloseHandle(holder.hThread);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (themesKey + theme).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (themesKey + theme).c_str());
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());

    std::printf("theme of %zu folders (the theme itself read %zu), store mutex held by another process, median of %d "
                "calls; %d workers did not end\n", bareFolders, loadedFolders, runs, unfinished);
    double load = reportRatio("theme load, mutex held elsewhere, vs bare read", median(loadTimes), median(bareTimes), 3.0);
    double open = reportRatio("open, mutex held elsewhere, vs bare read", median(openTimes), median(bareTimes), 3.0);
    reportRatio("open, mutex held elsewhere, vs open with the mutex free", median(openTimes), median(freeOpenTimes), 1.2);
    return load <= 3.0 && open <= 3.0 && loadedFolders == folderCount && unfinished == 0 ? 0 : 1;
}
