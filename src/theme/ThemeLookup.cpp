// Locating a requested file for a theme, and the wait for it.
//
// How the threads meet: locate runs on the request's worker thread. When the file is missing it
// makes a Wait of its own, which holds the wanted file (fixed for the Wait's life) and one watcher
// thread per theme folder that reports to that Wait alone, and runs the File Loader dialog modally.
// Watcher threads (and the worker itself, through Add, the recheck and device changes) call the
// Wait's onChange at any time; onChange records the path found and ends the dialog under the Wait's
// lock. When the dialog has ended, however it ended, the Wait forgets it under that lock and its
// watchers are told to stop; a watcher still in its last onChange can then only record the same
// file in another folder, and finds no dialog. A Wait lives until its watcher threads have ended:
// the next lookup or the theme's destruction waits for them.
#include "theme/Theme.h"

#include "resources/resource.h"

#include "theme/FileLoaderDialog.h"
#include "theme/FolderProbe.h"
#include "theme/LookupWait.h"
#include "winsys/ChangeWatcher.h"
#include "winsys/ErrorMode.h"
#include "winsys/Handle.h"
#include "winsys/StopSignal.h"
#include "winsys/Text.h"
#include "winsys/Volume.h"

#include <dbt.h>
#include <shlwapi.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// SearchPathA with the default search order; empty when the file is not found. A result longer
// than the buffer is asked for again with the length the platform reported.
std::string searchDefaultPath(const std::string& file)
{
    std::vector<char> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = SearchPathA(nullptr, file.c_str(), nullptr, static_cast<DWORD>(buffer.size()),
                                   buffer.data(), nullptr);
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(length + 1);
    }
    return {};
}

// What a folder that does not hold the file holds instead. A folder that cannot be read is told
// apart by asking its medium or share: an empty drive reads as such and not as a missing folder.
LookupPlace::State folderState(const std::string& folder)
{
    QuietErrorMode quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? LookupPlace::State::NoSuchFile : LookupPlace::State::FolderMissing;
    DWORD error = GetLastError();
    std::string root = rootOf(folder);
    if (!root.empty() && !volumeReady(root))
        return startsWithTwoSeparators(folder) ? LookupPlace::State::NotReachable : LookupPlace::State::VolumeNotReady;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return LookupPlace::State::FolderMissing;
    case ERROR_NOT_READY:
        return LookupPlace::State::VolumeNotReady;
    default:  // a share that went away, a server that does not answer, access denied
        return LookupPlace::State::NotReachable;
    }
}

// Runs its undo step on every way out of a scope.
template <typename Undo>
class OnExit {
public:
    explicit OnExit(Undo undo) : undo(std::move(undo)) {}
    ~OnExit() { undo(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

private:
    Undo undo;
};

// True when both paths name one existing file: the same index on the same volume, however each is
// spelled (letter case, short names, "..", another folder that leads there). A file system that
// reports no index (0, as some shares do) proves nothing.
bool sameFile(const std::string& a, const std::string& b)
{
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        FileHandle file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && GetFileInformationByHandle(file.get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identify(a, first) && identify(b, second) && (first.nFileIndexHigh | first.nFileIndexLow) != 0 &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Where a file that the search path gave for the name file lies: in a theme folder when one of
// folders holds that very file under that name.
FoundIn placeOfSearchResult(const std::string& found, const std::string& file, const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        std::string candidate = candidatePath(folder, file);
        if (!candidate.empty() && sameFile(found, candidate))
            return FoundIn::ThemeFolder;
    }
    return FoundIn::SearchPath;
}

// How long the first look waits for a folder's answer before it counts as unreachable for now.
constexpr DWORD folderAnswerMs = 2000;

void report(FoundIn* where, FoundIn place)
{
    if (where)
        *where = place;
}

}  // namespace

const char* describe(LookupPlace::State state)
{
    switch (state) {
    case LookupPlace::State::Found:
        return "found";
    case LookupPlace::State::NoSuchFile:
        return "no such file";
    case LookupPlace::State::FolderMissing:
        return "folder missing";
    case LookupPlace::State::VolumeNotReady:
        return "volume not ready";
    case LookupPlace::State::NotReachable:
        return "not reachable";
    case LookupPlace::State::TooLong:
        return "path too long";
    }
    return "?";
}

std::vector<LookupPlace> Theme::places(const std::string& file) const
{
    std::vector<LookupPlace> looked;
    if (scope.searchPath) {
        std::string found = searchDefaultPath(file);
        looked.push_back({{}, found.empty() ? LookupPlace::State::NoSuchFile : LookupPlace::State::Found, found});
        if (!found.empty())
            return looked;
    }
    for (const std::string& folder : paths) {
        std::string candidate = candidatePath(folder, file);
        if (candidate.empty()) {
            looked.push_back({folder, LookupPlace::State::TooLong, {}});
        } else if (PathFileExistsA(candidate.c_str())) {
            looked.push_back({folder, LookupPlace::State::Found, candidate});
            return looked;
        } else {
            looked.push_back({folder, folderState(folder), {}});
        }
    }
    return looked;
}

std::string Theme::loaderMessage(const std::string& file, const std::vector<std::string>& notAnswering) const
{
    std::string text = "File \"" + file + "\" ";
    if (!name.empty())
        text += "(theme \"" + name + "\") ";
    text += "not found. You can select additional file location for this theme or/and insert removable media.";
    if (!notAnswering.empty()) {
        text += " Not answering now (looked at again every few seconds):";
        for (size_t i = 0; i < notAnswering.size(); ++i)
            text += (i ? "; " : " ") + notAnswering[i];
        text += ".";
    }
    if (!name.empty() && !mayKeepFolders())
        text += " A folder you add is used this time only: this program may not keep it, neither for every user "
                "nor in your own settings.";
    return text;
}

void Theme::WaitDeleter::operator()(Wait* wait) const noexcept
{
    delete wait;
}

std::optional<std::string> Theme::locate(const std::string& file, HINSTANCE instance, HWND owner, FoundIn* where)
{
    report(where, FoundIn::Nowhere);
    // The watchers of an earlier lookup look for that lookup's file: they end here.
    endWaits();

    std::string found = scope.searchPath ? searchDefaultPath(file) : std::string();
    if (!found.empty()) {
        report(where, placeOfSearchResult(found, file, paths));
        return found;
    }
    // The folders answer in parallel; one that has not answered in time counts as unreachable for
    // now, and the first folder in the theme's order that holds the file among those that answered
    // wins. A file that a copy still writes is not found yet: the wait looks at it again.
    std::vector<FolderAnswer> answers = probeFolders(paths, file, folderAnswerMs);
    size_t first = firstComplete(answers);
    if (first < paths.size()) {
        report(where, FoundIn::ThemeFolder);
        return candidatePath(paths[first], file);
    }
    bool incomplete = std::find(answers.begin(), answers.end(), FolderAnswer::Incomplete) != answers.end();

    // Not found: watch every folder and ask the user.
    if (!scope.askUser)
        return std::nullopt;
    std::vector<bool> unreachable;
    std::vector<std::string> notAnswering;
    for (size_t i = 0; i < answers.size(); ++i) {
        unreachable.push_back(answers[i] == FolderAnswer::Pending);
        if (unreachable.back())
            notAnswering.push_back(paths[i]);
    }
    waiting.reset(new Wait(file, paths, std::move(unreachable), incomplete));
    Wait& wait = *waiting;
    for (const std::string& folder : paths)
        wait.watchers.add(WatchSpec(folder, &wait, 255, false));
    wait.start();
    if (!instance)
        return std::nullopt;

    {
        // Every way out of this block, an error raised in the dialog included, leaves nothing that
        // points at the dialog and tells the watchers to stop. Guards undo in reverse order: the
        // stop signal and the wait forget the dialog before it is destroyed.
        OnExit retire([this] { retireWait(); });
        FileLoaderDialog loader(instance, loaderMessage(file, notAnswering), &paths, &changed, &wait.watchers, &wait, stop);
        if (chooseFolder)
            loader.chooseFolder = chooseFolder;
        loader.keptForEveryone = [this](const std::string& folder) {
            return isMachineFolder(folder) && !mayChangeMachineList();
        };
        wait.show(&loader);
        OnExit forget([&wait] { wait.show(nullptr); });
        if (!stop || stop->enterDialog(&loader)) {
            OnExit leave([this] {
                if (stop)
                    stop->leaveDialog();
            });
            loader.runModal(IDD_FILE_LOADER, owner);
        }
    }

    // The retired wait keeps what its watchers found.
    std::string result = wait.found();
    if (result.empty())
        return std::nullopt;
    report(where, FoundIn::ThemeFolder);  // only watched folders of the theme end a lookup with a path
    return result;
}

void Theme::retireWait() noexcept
{
    if (!waiting)
        return;
    waiting->signalStop();
    retired = std::move(waiting);
}

void Theme::endWaits() noexcept
{
    // Both at once: the threads of either wait end together.
    if (waiting)
        waiting->signalStop();
    retired.reset();
    waiting.reset();
}

std::string Theme::waitingFor() const
{
    return waiting ? waiting->wantedFile : std::string();
}

size_t Theme::watcherCount() const noexcept
{
    return waiting ? waiting->watchers.size() : 0;
}

void Theme::onDeviceChange(WPARAM event, LPARAM broadcast)
{
    if (!waiting)
        return;
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return;
    auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(broadcast);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME || header->dbch_size < sizeof(DEV_BROADCAST_VOLUME))
        return;
    // A new volume (a USB stick arrives with dbcv_flags 0) and a medium put into an existing drive
    // (DBTF_MEDIA) both make the theme folders on that drive worth a look.
    auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
    // A copy of the specs: a callback may not change the list, but the copy costs little and keeps
    // this loop independent of what the callback does.
    std::vector<WatchSpec> specs;
    for (const WatchSpec& spec : waiting->watchers)
        specs.push_back(spec);
    std::string probe = "?:";
    for (int bit = 0; bit < 26; ++bit) {
        if (volume->dbcv_unitmask & (1u << bit)) {
            probe[0] = static_cast<char>('A' + bit);
            break;
        }
    }
    WatchSpec probeSpec(probe, nullptr, 255, true);
    for (const WatchSpec& spec : specs) {
        if (probeSpec.matches(spec) && spec.callback)
            spec.callback->onChange(spec.path);
    }
}
