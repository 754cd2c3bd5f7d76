// The watcher list: no duplicates, removal of matching watchers in order, and stopping.
#include "winsys/ChangeWatcher.h"

#include "support/TestSupport.h"
#include "winsys/WatchRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

std::vector<std::string> pathsOf(const WatcherList& list)
{
    std::vector<std::string> paths;
    for (const WatchSpec& spec : list)
        paths.push_back(spec.path);
    return paths;
}

WatchSpec specFor(const std::string& path, WatchCallback* callback = nullptr, bool subtree = false)
{
    return WatchSpec(path, callback, WatchSpec::watchAll, subtree);
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

TEST(WatcherList, KeepsOneWatcherForFoldersDifferingInCaseOnly)
{
    std::string folder = scratchFolder("list-case");
    WatcherList list;
    list.add(specFor(folder));
    list.add(specFor(upper(folder)));
    EXPECT_EQ(pathsOf(list), std::vector<std::string>{folder});

    // A watcher with subtree covers its subfolders; a subfolder's watcher does not cover its parent.
    WatcherList nested;
    nested.add(specFor(folder + "\\sub"));
    nested.add(specFor(folder, nullptr, true));
    nested.add(specFor(folder + "\\other"));
    EXPECT_EQ(pathsOf(nested), (std::vector<std::string>{folder + "\\sub", folder}));
    EXPECT_EQ(std::count_if(nested.begin(), nested.end(), [](const WatchSpec& spec) { return spec.subtree; }), 1);
}

TEST(WatcherList, RemoveTakesMatchingWatchersAndKeepsTheOrderOfTheRest)
{
    std::string folder = scratchFolder("list-remove");
    std::vector<std::string> names = {"a", "b", "c", "d", "e"};
    WatcherList list;
    for (const std::string& name : names) {
        ASSERT_TRUE(CreateDirectoryA((folder + "\\" + name).c_str(), nullptr));
        list.add(specFor(folder + "\\" + name));
    }
    list.remove(specFor(upper(folder + "\\b")));
    list.remove(specFor(folder + "\\d"));
    list.remove(specFor(folder + "\\zzz"));
    EXPECT_EQ(pathsOf(list), (std::vector<std::string>{folder + "\\a", folder + "\\c", folder + "\\e"}));

    // A watcher's own spec may be the one passed in.
    list.remove(*list.begin());
    EXPECT_EQ(pathsOf(list), (std::vector<std::string>{folder + "\\c", folder + "\\e"}));

    // A subtree spec removes every watcher below it.
    list.add(specFor("C:\\"));
    list.remove(specFor(folder, nullptr, true));
    EXPECT_EQ(pathsOf(list), std::vector<std::string>{"C:\\"});
    deleteTree(folder);
}

TEST(WatcherList, RemovedAndStoppedWatchersReportNoMore)
{
    std::string kept = scratchFolder("list-kept");
    std::string removed = scratchFolder("list-removed");
    Recorder recorder;
    WatcherList list;
    list.add(specFor(removed, &recorder));
    list.add(specFor(kept, &recorder));
    ASSERT_TRUE(recorder.touchUntilReported(removed)) << "the watcher to be removed never reported";
    list.remove(specFor(removed));
    EXPECT_EQ(pathsOf(list), std::vector<std::string>{kept});

    recorder.clear();
    ASSERT_TRUE(writeFile(removed + "\\new.txt", "x"));
    ASSERT_TRUE(recorder.touchUntilReported(kept));
    Sleep(quietMs);
    for (const std::string& folder : recorder.seen())
        EXPECT_EQ(folder, kept) << "a removed watcher reported a change";

    list.stopAll();
    EXPECT_EQ(list.size(), 0u);
    EXPECT_TRUE(list.begin() == list.end());
    recorder.waitForReport(0);
    ASSERT_TRUE(writeFile(kept + "\\later.txt", "x"));
    EXPECT_FALSE(recorder.waitForReport(quietMs)) << "a stopped watcher reported a change";
    deleteTree(kept);
    deleteTree(removed);
}
