// Faults while a lookup waits in the File Loader dialog: a watched folder deleted, the medium of a
// watched drive removed, the theme's registry key deleted. The lookup goes on and ends as usual,
// leaves no thread or handle behind, and the theme's list reads back whole.
#include "theme/Theme.h"

#include "LookupHarness.h"
#include "support/LeakCheck.h"
#include "support/RegistrySupport.h"
#include "support/TestSupport.h"
#include "winsys/ChangeWatcher.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <atomic>

using namespace testing_support;

namespace {

const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes";

class CountingCallback : public WatchCallback {
public:
    void onChange(const std::string&) override { ++calls; }
    std::atomic<int> calls{0};
};


// Deletes the files of a folder and the folder. A folder that a watcher holds open is then
// delete-pending until the watcher lets go: Wine still lists it meanwhile, Windows refuses access.
bool removeFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((folder + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryA(folder.c_str()) != FALSE;
}

void sendVolumeEvent(HWND window, WPARAM event)
{
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('M' - 'A');
    volume.dbcv_flags = DBTF_MEDIA;
    SendMessageA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
}

}  // namespace

TEST(LookupFaultTest, AWatchedFolderDeletedWhileWatchedNeitherSpinsNorStopsTheLookup)
{
    std::string base = scratchFolder("fault-deleted");
    std::string doomed = base + "\\doomed";
    std::string kept = base + "\\kept";
    CreateDirectoryA(doomed.c_str(), nullptr);
    CreateDirectoryA(kept.c_str(), nullptr);
    ProcessCounts before = processCounts();
    {
        // The watcher of a deleted folder reports the deletion and then stays quiet: it must not
        // report the same gone folder over and over.
        CountingCallback counting;
        ChangeWatcher watcher(WatchSpec(doomed, &counting, WatchSpec::watchAll, false));
        watcher.start();
        Sleep(200);
        ASSERT_TRUE(writeFile(doomed + "\\file.txt", "x"));
        ASSERT_TRUE(waitUntil([&] { return counting.calls > 0; }, 5000));
        ASSERT_TRUE(removeFolder(doomed));
        Sleep(500);
        int afterDeletion = counting.calls;
        Sleep(500);
        EXPECT_LT(counting.calls - afterDeletion, 20) << "the watcher of a deleted folder keeps firing";
    }
    ASSERT_TRUE(CreateDirectoryA(doomed.c_str(), nullptr));
    {
        Theme theme("");
        theme.paths = {doomed, kept};
        LookupRun run(theme, "wanted.doc");
        ASSERT_NE(nullptr, run.dialog());
        Sleep(200);
        ASSERT_TRUE(removeFolder(doomed));
        Sleep(300);
        EXPECT_FALSE(run.done) << "the deletion ended the lookup";
        ASSERT_TRUE(writeFile(kept + "\\wanted.doc", "here"));
        ASSERT_TRUE(run.waitDone(10000));
        EXPECT_EQ(kept + "\\wanted.doc", run.result.value_or("nothing"));
    }
    EXPECT_TRUE(countsSettle(before)) << countsText(processCounts(), before);
}

TEST(LookupFaultTest, MediumRemovedDuringALookupAndInsertedAgainEndsIt)
{
    std::string media = mediaTarget();
    deleteTree(media);
    deleteTree(media + "-removed");
    ASSERT_TRUE(CreateDirectoryA(media.c_str(), nullptr));
    CreateDirectoryA((media + "\\docs").c_str(), nullptr);
    std::string other = scratchFolder("fault-medium");
    ProcessCounts before = processCounts();
    {
        Theme theme("");
        theme.paths = {"m:\\docs", other};
        LookupRun run(theme, "disc.doc");
        ASSERT_NE(nullptr, run.dialog());
        Sleep(200);

        // The medium goes: the drive's folder moves away (a removal under Wine, whose M: then
        // points nowhere), with the watcher's handle still open in it.
        ASSERT_TRUE(MoveFileA(media.c_str(), (media + "-removed").c_str()));
        sendVolumeEvent(run.window(), DBT_DEVICEREMOVECOMPLETE);
        Sleep(300);
        EXPECT_FALSE(run.done) << "the removal ended the lookup";

        ASSERT_TRUE(CreateDirectoryA(media.c_str(), nullptr));  // and comes back with the file
        CreateDirectoryA((media + "\\docs").c_str(), nullptr);
        ASSERT_TRUE(writeFile(media + "\\docs\\disc.doc", "on disc"));
        sendVolumeEvent(run.window(), DBT_DEVICEARRIVAL);
        ASSERT_TRUE(run.waitDone(10000));
        EXPECT_EQ("m:\\docs\\disc.doc", run.result.value_or("nothing"));
    }
    deleteTree(media);
    deleteTree(media + "-removed");
    EXPECT_TRUE(countsSettle(before)) << countsText(processCounts(), before);
}

TEST(LookupFaultTest, ThemeKeyDeletedWhileItsLookupRunsGetsOnlyTheRequestsOwnEdits)
{
    const std::string name = uniqueName("fault-key");
    const std::string key = themesKey + "\\" + name;
    std::string base = scratchFolder("fault-key");
    const std::vector<std::string> stored = {base + "\\one", base + "\\two", base + "\\three"};
    for (const std::string& folder : stored)
        CreateDirectoryA(folder.c_str(), nullptr);
    {
        Theme theme(name);
        theme.paths = stored;
        theme.changed = true;
    }
    ProcessCounts before = processCounts();
    {
        // Unchanged: the request leaves the registry as whoever deleted the key left it.
        Theme theme(name);
        ASSERT_EQ(stored, theme.paths);
        LookupRun run(theme, "late.doc");
        ASSERT_NE(nullptr, run.dialog());
        ASSERT_TRUE(deleteKey(HKEY_LOCAL_MACHINE, key));
        ASSERT_TRUE(writeFile(stored[1] + "\\late.doc", "x"));
        ASSERT_TRUE(run.waitDone(10000));
        EXPECT_EQ(stored[1] + "\\late.doc", run.result.value_or("nothing"));
    }
    EXPECT_TRUE(Theme(name).paths.empty());
    {
        // Changed by the user meanwhile: the user's own edits are applied to the list as stored
        // now (none: the key is gone), so the removed folder stays removed and nothing else of the
        // old list comes back, while the added folder is kept.
        {
            Theme restore(name);
            restore.paths = stored;
            restore.changed = true;
        }
        Theme theme(name);
        {
            LookupRun run(theme, "never.doc");
            ASSERT_NE(nullptr, run.dialog());
            ASSERT_TRUE(deleteKey(HKEY_LOCAL_MACHINE, key));
        }
        theme.paths.pop_back();  // as the dialog's Remove and Add did
        theme.paths.push_back(base + "\\four");
        theme.changed = true;
    }
    EXPECT_EQ((std::vector<std::string>{base + "\\four"}), Theme(name).paths);
    deleteKey(HKEY_LOCAL_MACHINE, key);
    EXPECT_TRUE(countsSettle(before)) << countsText(processCounts(), before);
}
