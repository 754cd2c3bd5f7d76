// Requests under load, through the request layer the control uses (TaskThread records):
// - 100 requests started at once, time until all have ended, against one request alone. Each names a
//   program by its full path, which its worker finds at once and refuses to start.
// - The memory committed per worker that waits in the File Loader dialog, against the memory per
//   bare thread of the same stack size blocked in a wait.
#include "BenchSupport.h"

#include "request/Task.h"
#include "winsys/Thread.h"

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int burst = 100;
constexpr int waiting = 50;
constexpr int runs = 5;

using Records = std::vector<std::unique_ptr<TaskThread>>;

void startRequests(Records& records, int count, const std::string& file, const std::string& theme)
{
    for (int i = 0; i < count; ++i) {
        records.push_back(std::make_unique<TaskThread>());
        records.back()->startTask(Request{file, "", theme, ""}, GetModuleHandleA(nullptr));
    }
}

bool allEnded(const Records& records, DWORD timeoutMs)
{
    for (const auto& record : records)
        if (!record->waitFor(timeoutMs))
            return false;
    return true;
}

// Milliseconds from the first start until every one of count requests has ended.
double burstMs(int count, const std::string& file, const std::string& theme, bool& ended)
{
    Records records;
    double start = nowMs();
    startRequests(records, count, file, theme);
    ended = allEnded(records, 30000) && ended;
    return nowMs() - start;
}

BOOL CALLBACK countDialog(HWND window, LPARAM count)
{
    char caption[32] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (std::string(caption) == "Vog File Loader" && IsWindowVisible(window))
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int shownDialogs()
{
    int count = 0;
    EnumWindows(countDialog, reinterpret_cast<LPARAM>(&count));
    return count;
}

unsigned __stdcall blockUntil(void* event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

}  // namespace

int main()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "vog-bench-requests-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string program = folder + "\\tool.exe";
    CloseHandle(CreateFileA(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string theme = "bench-requests-" + std::to_string(GetCurrentProcessId());  // never saved

    bool ended = true;
    burstMs(1, program, theme, ended);  // warm-up
    std::vector<double> single, many;
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < 5; ++i)
            single.push_back(burstMs(1, program, theme, ended));
        many.push_back(burstMs(burst, program, theme, ended));
    }

    // Bare threads of the same stack size, blocked in a wait.
    double before = privateBytes();
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::unique_ptr<Thread>> bare;
    for (int i = 0; i < waiting; ++i) {
        bare.push_back(std::make_unique<Thread>());
        bare.back()->start(blockUntil, release);
    }
    Sleep(500);
    double perBareThread = (privateBytes() - before) / waiting;
    SetEvent(release);
    for (auto& thread : bare)
        thread->join();
    bare.clear();
    CloseHandle(release);

    // Workers waiting in the dialog for a file that never comes.
    int shown = 0;
    double perWorker = 0;
    {
        before = privateBytes();
        Records records;
        startRequests(records, waiting, "never-arrives.vogdoc", theme);
        DWORD start = GetTickCount();
        while ((shown = shownDialogs()) < waiting && GetTickCount() - start < 30000)
            Sleep(50);
        Sleep(500);
        perWorker = (privateBytes() - before) / waiting;
        for (auto& record : records)
            record->requestStop();
    }
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());

    std::printf("%d requests at once, median of %d runs; %d of %d waiting workers showed their dialog%s\n", burst,
                runs, shown, waiting, ended ? "" : "; SOME REQUESTS DID NOT END");
    std::printf("%-48s %6.2fx  (%.3f ms vs one request %.3f ms; %.3f ms per request)\n",
                "100 requests at once until all have ended", median(many) / median(single), median(many),
                median(single), median(many) / burst);
    std::printf("%-48s %6.2fx  (%.0f KB per worker vs %.0f KB per bare thread)\n", "memory per worker waiting in the dialog",
                perWorker / perBareThread, perWorker / 1024, perBareThread / 1024);
    return ended && shown == waiting ? 0 : 1;
}
