// Latency from a file's creation in a watched folder to the watcher's onChange, against a bare
// FindFirstChangeNotificationA wait on the same folder, both measured in this run. Phases alternate
// so that drift of the machine's load affects both alike.
#include "BenchSupport.h"
#include "support/TestSupport.h"

#include "winsys/ChangeWatcher.h"

#include <atomic>
#include <string>
#include <vector>

namespace {

constexpr int blocks = 5;
constexpr int perBlock = 40;
constexpr DWORD timeoutMs = 2000;

int fileCounter = 0;

// Creates a new empty file; returns the time just before its creation.
double createFile(const std::string& folder)
{
    std::string path = folder + "\\f" + std::to_string(++fileCounter) + ".txt";
    double start = nowMs();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(file);
    return start;
}

// A file can raise several notifications: waits until the folder has been quiet for a while.
void drain(HANDLE notification)
{
    do
        FindNextChangeNotification(notification);
    while (WaitForSingleObject(notification, 20) == WAIT_OBJECT_0);
}

void baselinePhase(const std::string& folder, std::vector<double>& samples)
{
    HANDLE notification = FindFirstChangeNotificationA(folder.c_str(), FALSE,
                                                       FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
    if (notification == INVALID_HANDLE_VALUE)
        return;
    for (int i = 0; i < perBlock; ++i) {
        double start = createFile(folder);
        if (WaitForSingleObject(notification, timeoutMs) == WAIT_OBJECT_0)
            samples.push_back(nowMs() - start);
        drain(notification);
    }
    FindCloseChangeNotification(notification);
}

// Records the time of the first onChange after being armed, and signals it.
class Stamp : public WatchCallback {
public:
    Stamp() : reported(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~Stamp() { CloseHandle(reported); }

    void onChange(const std::string&) override
    {
        double now = nowMs();
        if (armed.exchange(false)) {
            at = now;
            SetEvent(reported);
        }
    }

    std::atomic<bool> armed{false};
    double at = 0;
    HANDLE reported;
};

void watcherPhase(const std::string& folder, std::vector<double>& samples)
{
    Stamp stamp;
    ChangeWatcher watcher(WatchSpec(folder, &stamp, WatchSpec::watchAll, false));
    watcher.start();
    // Until the thread has set up its notification, changes go unseen.
    stamp.armed = true;
    for (int i = 0; i < 100 && WaitForSingleObject(stamp.reported, 0) != WAIT_OBJECT_0; ++i) {
        createFile(folder);
        if (WaitForSingleObject(stamp.reported, 20) == WAIT_OBJECT_0)
            break;
    }
    Sleep(50);
    for (int i = 0; i < perBlock; ++i) {
        stamp.armed = true;
        double start = createFile(folder);
        if (WaitForSingleObject(stamp.reported, timeoutMs) == WAIT_OBJECT_0)
            samples.push_back(stamp.at - start);
        Sleep(20);
    }
}


}  // namespace

int main()
{
    std::string folder = testing_support::scratchFolder("vog-bench-latency");
    std::vector<double> bare, watched;
    for (int block = 0; block < blocks; ++block) {
        baselinePhase(folder, bare);
        watcherPhase(folder, watched);
    }
    testing_support::deleteTree(folder);
    std::printf("samples: %zu bare, %zu through the watcher (of %d each)\n", bare.size(), watched.size(),
                blocks * perBlock);
    if (bare.empty() || watched.empty())
        return 1;
    double ratio = reportRatio("file creation to onChange (median)", median(watched), median(bare), 1.2);
    return ratio <= 1.2 ? 0 : 1;
}
