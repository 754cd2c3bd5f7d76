#include "theme/LookupWait.h"

#include "theme/FileLoaderDialog.h"
#include "winsys/CompleteFile.h"
#include "winsys/ErrorMode.h"
#include "winsys/Text.h"
#include "winsys/Volume.h"

#include <shlwapi.h>

#include <utility>

namespace {

// A file seen still being written is looked at again after this long.
constexpr DWORD incompleteRelookMs = 1000;
// A folder missing or not answering is looked at again after this long: a few seconds, so a
// wait with such folders stays idle.
constexpr DWORD missingRelookMs = 3000;

class Held {
public:
    explicit Held(CRITICAL_SECTION& lock) : lock(lock) { EnterCriticalSection(&lock); }
    ~Held() { LeaveCriticalSection(&lock); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    CRITICAL_SECTION& lock;
};

bool isFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The nearest folder above path that exists, below its root; empty when there is none (the root
// itself is watched by the folder's own watcher when its volume is not ready).
std::string nearestExistingParent(const std::string& path)
{
    std::string root = rootOf(path);
    std::string parent = path;
    while (!parent.empty() && parent.back() == '\\')
        parent.pop_back();
    for (;;) {
        size_t separator = parent.find_last_of('\\');
        if (separator == std::string::npos)
            return {};
        parent.erase(separator);
        if (parent.size() + 1 <= root.size())
            return volumeReady(root) ? root : std::string();
        if (isFolder(parent))
            return parent;
    }
}

}  // namespace

std::string candidatePath(const std::string& folder, const std::string& name)
{
    std::string candidate = folder;
    if (candidate.empty() || candidate.back() != '\\')
        candidate += '\\';
    candidate += name;
    return candidate.size() < MAX_PATH ? candidate : std::string();
}

Theme::Wait::Wait(std::string file, std::vector<std::string> folders, std::vector<bool> unreachable,
                  bool incomplete)
    : wantedFile(std::move(file)), themeFolders(std::move(folders)), unreachable(std::move(unreachable)),
      incompleteSeen(incomplete),
      wake(CreateEventA(nullptr, FALSE, FALSE, nullptr)), stopRelook(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      direct(themeFolders.size(), false)
{
    InitializeCriticalSection(&lock);
}

Theme::Wait::~Wait()
{
    // The threads read wantedFile and take the lock: they end first.
    signalStop();
    relookThread.join();
    lateWatchers.stopAll();
    watchers.stopAll();
    DeleteCriticalSection(&lock);
}

void Theme::Wait::start()
{
    if (wake && stopRelook)
        relookThread.start(relookProc, this);
}

void Theme::Wait::signalStop() noexcept
{
    watchers.signalStopAll();
    if (stopRelook)
        SetEvent(stopRelook.get());
}

void Theme::Wait::onChange(const std::string& folder)
{
    const WatchSpec changed(folder, nullptr, 0, true);
    bool looked = false;
    for (size_t i = 0; i < themeFolders.size(); ++i) {
        if (!changed.matches(WatchSpec(themeFolders[i], nullptr, 0, false)))
            continue;
        looked = true;
        {
            // A folder that does not answer would keep this thread (the dialog's, maybe) waiting.
            Held held(lock);
            if (i < unreachable.size() && unreachable[i])
                continue;
        }
        if (lookIn(themeFolders[i]))
            return;
    }
    if (!looked)
        lookIn(folder);
}

bool Theme::Wait::lookIn(const std::string& folder)
{
    if (!volumeReady(rootOf(folder)))
        return false;
    std::string candidate = candidatePath(folder, wantedFile);
    if (candidate.empty() || !PathFileExistsA(candidate.c_str()))
        return false;
    if (!fileComplete(candidate)) {
        // A copy still writes it: the re-look thread looks again, as the close of a copy reports no
        // change of names.
        Held held(lock);
        incompleteSeen = true;
        if (relookSleeps) {
            relookSleeps = false;
            SetEvent(wake.get());
        }
        return false;
    }
    Held held(lock);
    foundPath = candidate;
    if (dialog)
        dialog->endDialog(1);
    return true;
}

std::string Theme::Wait::found() const
{
    Held held(lock);
    return foundPath;
}

void Theme::Wait::show(FileLoaderDialog* shown) noexcept
{
    Held held(lock);
    dialog = shown;
}

unsigned __stdcall Theme::Wait::relookProc(void* self)
{
    try {
        static_cast<Wait*>(self)->relook();
    } catch (...) {
        return 3;
    }
    return 0;
}

void Theme::Wait::relook()
{
    QuietErrorMode quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE handles[2] = {stopRelook.get(), wake.get()};
    // Asked here, not on the lookup's thread: a folder on a server that does not answer keeps
    // this thread waiting, not the dialog.
    for (size_t i = 0; i < themeFolders.size(); ++i) {
        direct[i] = isFolder(themeFolders[i]);
        answered(i);
    }
    for (;;) {
        bool missing = watchLateFolders();
        DWORD timeout = INFINITE;
        bool all;  // a file still being written may lie in any folder; else only the late ones
        {
            Held held(lock);
            all = incompleteSeen;
            if (incompleteSeen)
                timeout = incompleteRelookMs;
            else if (missing)
                timeout = missingRelookMs;
            incompleteSeen = false;
            relookSleeps = timeout == INFINITE;
        }
        DWORD woken = WaitForMultipleObjects(2, handles, FALSE, timeout);
        if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT)
            return;
        {
            Held held(lock);
            relookSleeps = false;
        }
        for (size_t i = 0; i < themeFolders.size(); ++i)
            if ((all || !direct[i]) && lookIn(themeFolders[i]))
                break;
    }
}

void Theme::Wait::answered(size_t folder)
{
    Held held(lock);
    if (folder < unreachable.size())
        unreachable[folder] = false;
}

bool Theme::Wait::watchLateFolders()
{
    bool missing = false;
    for (size_t i = 0; i < themeFolders.size(); ++i) {
        if (direct[i])
            continue;  // watched, and answered
        const std::string& folder = themeFolders[i];
        bool exists = isFolder(folder);
        answered(i);
        if (exists) {
            // Made since the last look: watched from now on, and looked at for what landed before.
            direct[i] = true;
            lateWatchers.add(WatchSpec(folder, this, WatchSpec::watchAll, false));
            onChange(folder);
            continue;
        }
        missing = true;
        std::string parent = nearestExistingParent(folder);
        if (!parent.empty())
            lateWatchers.add(WatchSpec(parent, &parentCallback, WatchSpec::watchAll, false));
    }
    return missing;
}
