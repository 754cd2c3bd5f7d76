// Locating a requested file for a theme, and the wait for it.
//
// How the threads meet: locate runs on the request's worker thread. When the file is missing it
// starts one watcher thread per theme folder and runs the File Loader dialog modally. Watcher
// threads (and the worker itself, through Add, the recheck and device changes) call onChange at
// any time; onChange writes foundPath and ends the dialog under lookupLock. Every read and write of
// the state the threads share (foundPath, wantedFile, dialog) goes through a small operation that
// holds that lock. When the dialog has ended, locate forgets it under lookupLock and tells the
// watchers to stop; a watcher still in its last onChange can then only write the path of the same
// file in another folder, and finds no dialog. Their threads are waited for by the next lookup or
// the theme's destruction.
#include "theme/Theme.h"

#include "resources/resource.h"

#include "theme/FileLoaderDialog.h"
#include "winsys/ChangeWatcher.h"
#include "winsys/StopSignal.h"
#include "winsys/Volume.h"

#include <dbt.h>
#include <shlwapi.h>

#include <vector>

namespace {

class Held {
public:
    explicit Held(CRITICAL_SECTION& lock) : lock(lock) { EnterCriticalSection(&lock); }
    ~Held() { LeaveCriticalSection(&lock); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    CRITICAL_SECTION& lock;
};

// folder + a backslash unless it ends with one + name. Empty when the result would not fit the
// platform's path limit: such a candidate cannot be tested with the ANSI file functions.
std::string candidatePath(const std::string& folder, const std::string& name)
{
    std::string candidate = folder;
    if (candidate.empty() || candidate.back() != '\\')
        candidate += '\\';
    candidate += name;
    return candidate.size() < MAX_PATH ? candidate : std::string();
}

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

}  // namespace

std::string Theme::loaderMessage(const std::string& file) const
{
    std::string text = "File \"" + file + "\" ";
    if (!name.empty())
        text += "(theme \"" + name + "\") ";
    return text + "not found. You can select additional file location for this theme or/and insert removable media.";
}

std::optional<std::string> Theme::locate(const std::string& file, HINSTANCE instance, HWND owner)
{
    stopping.reset();
    setFoundPath({});

    std::string found = searchDefaultPath(file);
    if (!found.empty()) {
        setFoundPath(found);
        return found;
    }
    for (const std::string& folder : paths) {
        std::string candidate = candidatePath(folder, file);
        if (!candidate.empty() && PathFileExistsA(candidate.c_str())) {
            setFoundPath(candidate);
            return candidate;
        }
    }

    // Not found: watch every folder and ask the user.
    setWantedFile(file);
    if (!watchers)
        watchers = std::make_unique<WatcherList>();
    for (const std::string& folder : paths)
        watchers->add(WatchSpec(folder, this, 255, false));
    if (!instance)
        return std::nullopt;

    FileLoaderDialog loader(instance, loaderMessage(file), &paths, &changed, watchers.get(), this, stop);
    setDialog(&loader);
    if (!stop || stop->enterDialog(&loader)) {
        loader.runModal(IDD_FILE_LOADER, owner);
        if (stop)
            stop->leaveDialog();
    }
    retireWatchers();

    std::string result = currentFoundPath();
    if (result.empty())
        return std::nullopt;
    return result;
}

void Theme::retireWatchers()
{
    setDialog(nullptr);
    if (watchers) {
        watchers->signalStopAll();
        stopping = std::move(watchers);
    }
}

void Theme::endLookup()
{
    stopping.reset();
    // Every watcher thread has ended when stopAll returns; only then is the dialog forgotten.
    if (watchers) {
        watchers->stopAll();
        watchers.reset();
    }
    setDialog(nullptr);
}

void Theme::setFoundPath(const std::string& path)
{
    Held held(lookupLock);
    foundPath = path;
    if (dialog)
        dialog->endDialog(1);
}

std::string Theme::currentFoundPath() const
{
    Held held(lookupLock);
    return foundPath;
}

void Theme::setWantedFile(const std::string& file)
{
    Held held(lookupLock);
    wantedFile = file;
}

std::string Theme::waitingFor() const
{
    Held held(lookupLock);
    return wantedFile;
}

void Theme::setDialog(FileLoaderDialog* shown)
{
    Held held(lookupLock);
    dialog = shown;
}

size_t Theme::watcherCount() const noexcept
{
    return watchers ? watchers->size() : 0;
}

void Theme::onChange(const std::string& folder)
{
    if (!volumeReady(rootOf(folder)))
        return;
    std::string candidate = candidatePath(folder, waitingFor());
    if (candidate.empty() || !PathFileExistsA(candidate.c_str()))
        return;
    setFoundPath(candidate);
}

void Theme::onDeviceChange(WPARAM event, LPARAM broadcast)
{
    if (!watchers)
        return;
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return;
    auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(broadcast);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME || header->dbch_size < sizeof(DEV_BROADCAST_VOLUME))
        return;
    auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
    if (!(volume->dbcv_flags & DBTF_MEDIA))
        return;

    std::string probe = "?:";
    for (int bit = 0; bit < 26; ++bit) {
        if (volume->dbcv_unitmask & (1u << bit)) {
            probe[0] = static_cast<char>('A' + bit);
            break;
        }
    }
    WatchSpec probeSpec(probe, nullptr, 255, true);
    // A copy of the specs: a callback may not change the list, but the copy costs little and keeps
    // this loop independent of what the callback does.
    std::vector<WatchSpec> specs;
    for (const WatchSpec& spec : *watchers)
        specs.push_back(spec);
    for (const WatchSpec& spec : specs) {
        if (probeSpec.matches(spec) && spec.callback)
            spec.callback->onChange(spec.path);
    }
}
