// Locating a file: the search path, the theme's folders, and the wait for a file that is missing.
#include "theme/Theme.h"

#include "LookupHarness.h"
#include "resources/resource.h"
#include "support/TestSupport.h"
#include "winsys/StopSignal.h"
#include "winsys/Text.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <new>

using namespace testing_support;

namespace {

// A theme that was never saved: an empty list to fill in the test, nothing written back unless
// the test changes it through the dialog.
struct ScratchTheme {
    ScratchTheme() : name(uniqueName("LocateTest")), theme(name) {}
    std::string name;
    Theme theme;
};

DEV_BROADCAST_VOLUME volumeBroadcast(DWORD unitMask, WORD flags)
{
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unitMask;
    volume.dbcv_flags = flags;
    return volume;
}


}  // namespace

TEST(LocateTest, FileGivenByFullPathOrOnThePathIsFoundAtOnce)
{
    std::string folder = scratchFolder("locate-path");
    ASSERT_TRUE(writeFile(folder + "\\onpath.doc", "x"));
    ScratchTheme scratch;
    EXPECT_EQ(folder + "\\onpath.doc", scratch.theme.locate(folder + "\\onpath.doc", testInstance(), nullptr));

    char oldPath[32768];
    DWORD oldLength = GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    SetEnvironmentVariableA("PATH", (folder + ";" + std::string(oldPath, oldLength)).c_str());
    FoundIn where = FoundIn::Nowhere;
    std::optional<std::string> found = scratch.theme.locate("onpath.doc", testInstance(), nullptr, &where);
    EXPECT_EQ(FoundIn::SearchPath, where);
    // The very file of a theme folder, however that folder is spelled, counts as found there.
    scratch.theme.paths = {folder + "\\sub\\..\\"};
    EXPECT_TRUE(scratch.theme.locate("onpath.doc", testInstance(), nullptr, &where));
    EXPECT_EQ(FoundIn::ThemeFolder, where);
    SetEnvironmentVariableA("PATH", std::string(oldPath, oldLength).c_str());
    ASSERT_TRUE(found);
    EXPECT_TRUE(equalsIgnoringCase(folder + "\\onpath.doc", *found)) << *found;
    EXPECT_EQ(0u, scratch.theme.watcherCount()) << "a found file starts no watcher";
}

TEST(LocateTest, FirstFolderHoldingTheFileWinsWithOneBackslash)
{
    std::string base = scratchFolder("locate-folders");
    CreateDirectoryA((base + "\\one").c_str(), nullptr);
    CreateDirectoryA((base + "\\two").c_str(), nullptr);
    CreateDirectoryA((base + "\\three").c_str(), nullptr);
    ASSERT_TRUE(writeFile(base + "\\two\\wanted.doc", "2"));
    ASSERT_TRUE(writeFile(base + "\\three\\wanted.doc", "3"));
    ScratchTheme scratch;
    scratch.theme.paths = {base + "\\one", base + "\\two", base + "\\three"};
    EXPECT_EQ(base + "\\two\\wanted.doc", scratch.theme.locate("wanted.doc", testInstance(), nullptr));
    scratch.theme.paths = {base + "\\one\\", base + "\\two\\"};
    FoundIn where = FoundIn::Nowhere;
    EXPECT_EQ(base + "\\two\\wanted.doc", scratch.theme.locate("wanted.doc", testInstance(), nullptr, &where));
    EXPECT_EQ(FoundIn::ThemeFolder, where);
}

TEST(LocateTest, MissingFileWatchesEachDistinctFolderOnce)
{
    std::string base = scratchFolder("locate-distinct");
    CreateDirectoryA((base + "\\Docs").c_str(), nullptr);
    ScratchTheme scratch;
    scratch.theme.paths = {base + "\\Docs", base + "\\DOCS", base + "\\docs", base};
    EXPECT_FALSE(scratch.theme.locate("absent.doc", nullptr, nullptr));
    EXPECT_EQ(2u, scratch.theme.watcherCount());
    EXPECT_EQ("absent.doc", scratch.theme.waitingFor());
}

TEST(LocateTest, LoaderMessageNamesTheFileAndTheTheme)
{
    ScratchTheme scratch;
    EXPECT_EQ("File \"a.doc\" (theme \"" + scratch.name +
                  "\") not found. You can select additional file location for this theme or/and insert removable media.",
              scratch.theme.loaderMessage("a.doc"));
    Theme unnamed("");
    EXPECT_EQ("File \"a.doc\" not found. You can select additional file location for this theme or/and insert removable media.",
              unnamed.loaderMessage("a.doc"));
    EXPECT_EQ(unnamed.loaderMessage("a.doc") + " Not answering now (looked at again every few seconds): "
                                               "\\\\one\\a; \\\\two\\b.",
              unnamed.loaderMessage("a.doc", {"\\\\one\\a", "\\\\two\\b"}));
}

TEST(LocateTest, DialogShowsTheFoldersAndClosesByItselfWhenTheFileArrives)
{
    std::string base = scratchFolder("locate-arrives");
    CreateDirectoryA((base + "\\b").c_str(), nullptr);
    CreateDirectoryA((base + "\\a").c_str(), nullptr);
    ScratchTheme scratch;
    scratch.theme.paths = {base + "\\b", base + "\\a"};
    LookupRun run(scratch.theme, "late.doc");
    HWND dialog = run.dialog();
    ASSERT_NE(nullptr, dialog);

    EXPECT_EQ(scratch.theme.loaderMessage("late.doc"), windowText(GetDlgItem(dialog, IDC_LOADER_MESSAGE)));
    HWND list = GetDlgItem(dialog, IDC_LOADER_FOLDERS);
    ASSERT_EQ(2, SendMessageA(list, LB_GETCOUNT, 0, 0));
    char entry[MAX_PATH];
    SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(entry));
    EXPECT_EQ(base + "\\a", std::string(entry)) << "the list is sorted";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_LOADER_REMOVE)));
    EXPECT_EQ(LB_ERR, SendMessageA(list, LB_GETCURSEL, 0, 0));

    DWORD start = GetTickCount();
    ASSERT_TRUE(writeFile(base + "\\a\\late.doc", "now"));
    ASSERT_TRUE(run.waitDone(10000)) << "the dialog did not close by itself";
    std::printf("dialog closed %lu ms after the file was written\n", GetTickCount() - start);
    ASSERT_TRUE(run.result);
    EXPECT_EQ(base + "\\a\\late.doc", *run.result);
    EXPECT_EQ(0u, scratch.theme.watcherCount()) << "watchers stopped when the lookup ended";
}

TEST(LocateTest, AFileCopiedIntoAFolderOnAShareEndsTheDialog)
{
    std::string folder = "\\\\vogserver\\public\\" + uniqueName("locate-share");
    if (!CreateDirectoryA(folder.c_str(), nullptr))
        GTEST_SKIP() << "the test bench's share \\\\vogserver\\public is not set up (run through scripts/test)";
    ScratchTheme scratch;
    scratch.theme.paths = {folder};
    LookupRun run(scratch.theme, "shared.doc");
    ASSERT_NE(nullptr, run.dialog());
    ASSERT_TRUE(writeFile(folder + "\\shared.doc", "x"));
    ASSERT_TRUE(run.waitDone(10000)) << "the dialog did not close by itself";
    EXPECT_EQ(folder + "\\shared.doc", run.result.value_or("nothing"));
}

TEST(LocateTest, UserClosingTheDialogGivesNothing)
{
    std::string base = scratchFolder("locate-cancel");
    ScratchTheme scratch;
    scratch.theme.paths = {base};
    LookupRun run(scratch.theme, "never.doc");
    HWND dialog = run.dialog();
    ASSERT_NE(nullptr, dialog);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);  // no OK button: Enter does nothing
    Sleep(100);
    EXPECT_TRUE(IsWindow(dialog));
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(run.waitDone(5000));
    EXPECT_FALSE(run.result);
}

TEST(LocateTest, FileArrivingBeforeTheDialogExistsEndsItAsSoonAsItShows)
{
    // The file lands between the folder check and the dialog: the dialog must not wait for ever.
    std::string base = scratchFolder("locate-early");
    ScratchTheme scratch;
    scratch.theme.paths = {base};
    EXPECT_FALSE(scratch.theme.locate("early.doc", nullptr, nullptr));  // watchers run, no dialog
    ASSERT_TRUE(writeFile(base + "\\early.doc", "x"));
    LookupRun run(scratch.theme, "early.doc");
    ASSERT_TRUE(run.waitDone(10000));
    ASSERT_TRUE(run.result);
    EXPECT_EQ(base + "\\early.doc", *run.result);
}

TEST(LocateTest, NewVolumeEndsTheDialogWithThePathOfTheThemeFolder)
{
    std::string media = mediaTarget();
    deleteTree(media);
    ScratchTheme scratch;
    scratch.theme.paths = {"m:\\docs"};
    LookupRun run(scratch.theme, "disc.doc");
    ASSERT_NE(nullptr, run.dialog());
    Sleep(300);  // the drive's watcher gives up (no medium) before the medium arrives

    // The medium arrives: the drive's folder now exists and holds the file.
    CreateDirectoryA(media.c_str(), nullptr);
    CreateDirectoryA((media + "\\docs").c_str(), nullptr);
    ASSERT_TRUE(writeFile(media + "\\docs\\disc.doc", "on disc"));

    // Events that must be ignored: another drive's bit below M:, another event. A new volume (a
    // stick: no media flag) counts as much as a medium put into a drive.
    DEV_BROADCAST_VOLUME lowerDrive = volumeBroadcast((1u << ('L' - 'A')) | (1u << ('M' - 'A')), DBTF_MEDIA);
    DEV_BROADCAST_VOLUME arrival = volumeBroadcast(1u << ('M' - 'A'), 0);
    SendMessageA(run.window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&lowerDrive));
    SendMessageA(run.window(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    SendMessageA(run.window(), WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, reinterpret_cast<LPARAM>(&arrival));
    EXPECT_FALSE(run.waitDone(300)) << "an event that must be ignored ended the dialog";

    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival),
                        SMTO_ABORTIFHUNG, 5000, &answer);
    ASSERT_TRUE(run.waitDone(10000));
    ASSERT_TRUE(run.result);
    EXPECT_EQ("m:\\docs\\disc.doc", *run.result);
    deleteTree(media);
}

TEST(LocateTest, ALookupWhoseDialogFailsLeavesNoStopRegistrationAndNoWatcher)
{
    ScratchTheme scratch;
    scratch.theme.paths = {scratchFolder("locate-fails")};
    scratch.theme.chooseFolder = [](HWND) -> std::string { throw std::bad_alloc(); };  // Add runs out of memory
    StopSignal stop;
    scratch.theme.setStopSignal(&stop);
    {
        LookupRun run(scratch.theme, "never.doc");
        HWND dialog = run.dialog();
        ASSERT_NE(nullptr, dialog);
        EXPECT_TRUE(stop.inDialog());
        PostMessageA(dialog, WM_COMMAND, IDC_LOADER_ADD, 0);
        ASSERT_TRUE(run.waitDone(10000));
        EXPECT_TRUE(run.threw) << "the error did not leave the lookup";
    }
    EXPECT_FALSE(stop.inDialog()) << "the stop signal still points at the destroyed dialog";
    EXPECT_EQ(0u, scratch.theme.watcherCount());
}

TEST(LocateTest, FolderMadeLaterAndCopyInProgressEndTheDialogOnceTheFileIsWhole)
{
    std::string base = scratchFolder("locate-later");
    ScratchTheme scratch;
    scratch.theme.paths = {base + "\\later\\docs", base + "\\copies"};
    CreateDirectoryA((base + "\\copies").c_str(), nullptr);

    // A copy that holds the file with writers shut out and writes it over 3 s.
    std::string copy = base + "\\copies\\big.doc";
    std::string chunk(64 * 1024, 'x');
    std::atomic<bool> closed{false};
    HANDLE writer = CreateFileA(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    std::thread copier([&] {
        for (int i = 0; i < 15; ++i) {
            DWORD written = 0;
            WriteFile(writer, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
            Sleep(200);
        }
        closed = true;
        CloseHandle(writer);
    });
    {
        LookupRun run(scratch.theme, "big.doc");
        ASSERT_NE(nullptr, run.dialog());
        bool endedEarly = run.waitDone(20000) && !closed;
        copier.join();
        EXPECT_FALSE(endedEarly) << "the dialog closed while the copy still wrote the file";
        ASSERT_TRUE(run.result);
        EXPECT_EQ(copy, *run.result);
    }

    // A folder that did not exist when the dialog opened, below one that did.
    LookupRun run(scratch.theme, "late.doc");
    ASSERT_NE(nullptr, run.dialog());
    ASSERT_TRUE(CreateDirectoryA((base + "\\later").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((base + "\\later\\docs").c_str(), nullptr));
    Sleep(300);
    ASSERT_TRUE(writeFile(base + "\\later\\docs\\late.doc", "late"));
    ASSERT_TRUE(run.waitDone(10000));
    ASSERT_TRUE(run.result);
    EXPECT_EQ(base + "\\later\\docs\\late.doc", *run.result);
}
