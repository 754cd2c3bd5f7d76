// A file copied into a watched folder while a lookup waits in the File Loader dialog: the time
// from the start of the copy until locate returns the file's path, against the bare platform
// notification latency on the same folder (FindFirstChangeNotificationA, the same copy, until the
// wait ends), both in this run. Samples alternate so that drift of the machine's load affects both.
#include "BenchSupport.h"
#include "LookupThread.h"

#include <string>
#include <vector>

namespace {

constexpr int samples = 30;
constexpr DWORD timeoutMs = 5000;

double bareSample(const std::string& folder, const std::string& source, const std::string& target)
{
    HANDLE notification = FindFirstChangeNotificationA(folder.c_str(), FALSE,
                                                       FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
    if (notification == INVALID_HANDLE_VALUE)
        return -1;
    double start = nowMs();
    CopyFileA(source.c_str(), target.c_str(), FALSE);
    double latency = WaitForSingleObject(notification, timeoutMs) == WAIT_OBJECT_0 ? nowMs() - start : -1;
    FindCloseChangeNotification(notification);
    DeleteFileA(target.c_str());
    return latency;
}

double lookupSample(const std::string& folder, const std::string& source, const std::string& target)
{
    Theme theme("");  // never saved
    theme.paths = {folder};
    LookupThread lookup(theme, "wanted.doc");
    if (!lookup.dialog())
        return -1;
    Sleep(100);  // every watcher has set up its notification
    double start = nowMs();
    CopyFileA(source.c_str(), target.c_str(), FALSE);
    double latency = lookup.waitDone(timeoutMs) && lookup.result == target ? lookup.returnedAt - start : -1;
    DeleteFileA(target.c_str());
    return latency;
}

}  // namespace

int main()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base = std::string(temp) + "vog-bench-locate-" + std::to_string(GetCurrentProcessId());
    std::string folder = base + "\\watched";
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string source = base + "\\source.doc";
    std::string target = folder + "\\wanted.doc";
    HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "a document of the theme", 23, &written, nullptr);
    CloseHandle(file);

    std::vector<double> bare, lookup;
    int failed = 0;
    for (int i = 0; i < samples; ++i) {
        double b = bareSample(folder, source, target);
        double l = lookupSample(folder, source, target);
        failed += b < 0 || l < 0;
        if (b >= 0)
            bare.push_back(b);
        if (l >= 0)
            lookup.push_back(l);
    }
    DeleteFileA(source.c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(base.c_str());

    std::printf("samples: %zu bare, %zu lookups (of %d each)\n", bare.size(), lookup.size(), samples);
    if (bare.empty() || lookup.empty())
        return 1;
    double ratio = reportRatio("copy into a watched folder until locate returns", median(lookup), median(bare), 1.2);
    return ratio <= 1.2 && failed == 0 ? 0 : 1;
}
