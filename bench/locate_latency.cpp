// A file copied into a watched folder while a lookup waits in the File Loader dialog: the time
// from the start of the copy until locate returns the file's path, against the bare platform
// notification latency on the same folder (FindFirstChangeNotificationA, the same copy, until the
// wait ends), both in this run. A lookup's end also includes the end of its modal dialog, which
// the platform tears down before DialogBoxParamA returns: a second baseline adds the bare cost of
// that, the same dialog template run by a plain dialog procedure and ended from another thread.
// Samples alternate so that drift of the machine's load affects all of them.
#include "BenchSupport.h"
#include "support/TestSupport.h"
#include "LookupThread.h"

#include "resources/resource.h"

#include <atomic>
#include <string>
#include <thread>
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

// The File Loader template under a plain dialog procedure, owned by a hidden window on a thread of
// its own as a request's dialog is: from the message that ends it until DialogBoxParamA returns.
constexpr UINT endMessage = WM_APP + 7;

INT_PTR CALLBACK bareDialogProc(HWND dialog, UINT message, WPARAM, LPARAM shownAt)
{
    if (message == WM_INITDIALOG) {
        reinterpret_cast<std::atomic<HWND>*>(shownAt)->store(dialog);
        return TRUE;
    }
    if (message == endMessage) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

double bareDialogEndSample()
{
    std::atomic<HWND> shown{nullptr};
    std::atomic<double> returnedAt{0};
    std::thread owner([&] {
        HWND window = CreateWindowExA(0, "STATIC", nullptr, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FILE_LOADER), window, bareDialogProc,
                        reinterpret_cast<LPARAM>(&shown));
        returnedAt = nowMs();
        DestroyWindow(window);
    });
    DWORD waited = GetTickCount();
    while ((!shown.load() || !IsWindowVisible(shown.load())) && GetTickCount() - waited < timeoutMs)
        Sleep(1);
    double latency = -1;
    if (HWND dialog = shown.load()) {
        Sleep(100);  // as long as a lookup's dialog waits before its file arrives
        double start = nowMs();
        PostMessageA(dialog, endMessage, 0, 0);
        owner.join();
        latency = returnedAt.load() - start;
    } else {
        owner.detach();  // cannot happen with this program's resources; the process ends soon
    }
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
    std::string base = testing_support::scratchFolder("vog-bench-locate");
    std::string folder = base + "\\watched";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string source = base + "\\source.doc";
    std::string target = folder + "\\wanted.doc";
    testing_support::writeFile(source, "a document of the theme");

    std::vector<double> bare, dialogEnd, lookup;
    int failed = 0;
    for (int i = 0; i < samples; ++i) {
        double b = bareSample(folder, source, target);
        double d = bareDialogEndSample();
        double l = lookupSample(folder, source, target);
        failed += b < 0 || d < 0 || l < 0;
        if (b >= 0)
            bare.push_back(b);
        if (d >= 0)
            dialogEnd.push_back(d);
        if (l >= 0)
            lookup.push_back(l);
    }
    testing_support::deleteTree(base);

    std::printf("samples: %zu bare, %zu dialog ends, %zu lookups (of %d each)\n", bare.size(), dialogEnd.size(),
                lookup.size(), samples);
    if (bare.empty() || dialogEnd.empty() || lookup.empty())
        return 1;
    double ratio = reportRatio("copy into a watched folder until locate returns", median(lookup), median(bare), 1.2);
    reportRatio("bare end of the modal dialog vs bare notification", median(dialogEnd), median(bare), 1.2);
    reportRatio("locate vs bare notification + bare dialog end", median(lookup), median(bare) + median(dialogEnd), 1.2);
    return ratio <= 1.2 && failed == 0 ? 0 : 1;
}
