// A theme's folder list in the registry: what a save leaves under the theme's key (checked with the
// plain registry functions and with Wine's own reg.exe), what a load gives back, and the cases in
// which nothing may be written.
#include "theme/Theme.h"

#include "regtree/Register.h"

#include "support/LeakCheck.h"
#include "support/Process.h"
#include "support/RegistrySupport.h"
#include "support/TestSupport.h"
#include "winsys/Handle.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes";

class ThemeStorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        name = uniqueName("theme");
        themeKey = themesKey + "\\" + name;
        ASSERT_TRUE(deleteKey(HKEY_LOCAL_MACHINE, themeKey));
    }
    void TearDown() override
    {
        deleteKey(HKEY_LOCAL_MACHINE, themeKey);
        deleteKey(HKEY_CURRENT_USER, themeKey);
    }

    std::string at(const std::string& sub) const { return themeKey + "\\" + sub; }

    // Saves `folders` as the user's edit of a freshly loaded theme.
    void saveFolders(const std::vector<std::string>& folders)
    {
        Theme theme(name);
        theme.paths = folders;
        theme.changed = true;
    }
    std::vector<std::string> loadFolders()
    {
        Theme theme(name);
        EXPECT_FALSE(theme.changed);
        return theme.paths;
    }

    std::string name;
    std::string themeKey;
};

std::vector<std::string> folderList(int count)
{
    std::vector<std::string> folders;
    for (int i = 0; i < count; ++i)
        folders.push_back("C:\\Data\\Folder " + std::to_string(i));
    return folders;
}

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// What "reg query <key> /s" prints: a line "HKEY_LOCAL_MACHINE\\<key>" per key that holds values,
// then a line "    <name>    <TYPE>    <data>" per value.
std::string regQuery(const std::string& key)
{
    ProcessResult run = runProcess("C:\\windows\\system32\\reg.exe query \"HKLM\\" + key + "\" /s");
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    return run.output;
}

}  // namespace

TEST_F(ThemeStorageTest, AMissingThemeIsEmptyAndOneFolderIsSavedAsStringPaths)
{
    ASSERT_TRUE(loadFolders().empty());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, themeKey));  // loading creates nothing

    saveFolders({"C:\\Only One\\"});
    EXPECT_EQ(std::vector<std::string>{"data"}, subkeysOf(HKEY_LOCAL_MACHINE, themeKey));
    EXPECT_TRUE(valueNamesOf(HKEY_LOCAL_MACHINE, themeKey).empty());
    EXPECT_TRUE(subkeysOf(HKEY_LOCAL_MACHINE, at("data")).empty());
    EXPECT_EQ(std::vector<std::string>{"string.paths"}, valueNamesOf(HKEY_LOCAL_MACHINE, at("data")));
    RawValue value = rawValue(HKEY_LOCAL_MACHINE, at("data"), "string.paths");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
    EXPECT_EQ(std::string("C:\\Only One\\", 13), value.data);

    EXPECT_EQ(std::vector<std::string>{"C:\\Only One\\"}, loadFolders());
}

TEST_F(ThemeStorageTest, ElevenFoldersAreNumberedValuesThatLoadBackInSavedOrder)
{
    const std::vector<std::string> eleven = folderList(11);
    saveFolders(eleven);

    // An independent reader: Wine's reg.exe.
    std::string listing = regQuery(themeKey);
    std::size_t pathsKey = listing.find("\r\nHKEY_LOCAL_MACHINE\\" + themeKey + "\\data\\paths\r\n");
    ASSERT_NE(std::string::npos, pathsKey) << listing;
    for (int i = 0; i < 11; ++i) {
        std::string line = "\n    string." + std::to_string(i) + "    REG_SZ    " + eleven[i] + "\r\n";
        std::size_t found = listing.find(line);
        EXPECT_TRUE(found != std::string::npos && found > pathsKey) << "no" << line << "in" << listing;
    }
    EXPECT_EQ(std::string::npos, listing.find("string.11")) << listing;
    EXPECT_EQ(std::string::npos, listing.find("subs")) << listing;

    EXPECT_EQ(eleven, loadFolders());

    // A shorter list replaces the longer one completely.
    saveFolders({"C:\\b", "C:\\a"});
    EXPECT_EQ((std::vector<std::string>{"string.0", "string.1"}), sorted(valueNamesOf(HKEY_LOCAL_MACHINE, at("data\\paths"))));
    EXPECT_EQ((std::vector<std::string>{"C:\\b", "C:\\a"}), loadFolders());
}

TEST_F(ThemeStorageTest, RemovingEveryFolderLeavesOneEmptyDataKey)
{
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\paths"), "string.0", "C:\\x"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\paths"), "string.1", "C:\\y"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("subs\\foreign"), "string.z", "z"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, themeKey, "stray", "value"));
    {
        Theme theme(name);
        ASSERT_EQ((std::vector<std::string>{"C:\\x", "C:\\y"}), theme.paths);
        theme.paths.clear();
        theme.changed = true;
    }
    EXPECT_EQ(std::vector<std::string>{"data"}, subkeysOf(HKEY_LOCAL_MACHINE, themeKey));
    EXPECT_TRUE(valueNamesOf(HKEY_LOCAL_MACHINE, themeKey).empty());
    EXPECT_TRUE(subkeysOf(HKEY_LOCAL_MACHINE, at("data")).empty());
    EXPECT_TRUE(valueNamesOf(HKEY_LOCAL_MACHINE, at("data")).empty());
    EXPECT_TRUE(loadFolders().empty());
}

TEST_F(ThemeStorageTest, AnUnchangedListIsNotWrittenBack)
{
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data"), "string.paths", "C:\\kept"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data"), "other.value", "foreign"));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("extra"), "foreign", 1));
    {
        Theme theme(name);
        ASSERT_EQ(std::vector<std::string>{"C:\\kept"}, theme.paths);
        theme.paths.push_back("C:\\not flagged as a change");
    }
    EXPECT_EQ((std::vector<std::string>{"other.value", "string.paths"}), sorted(valueNamesOf(HKEY_LOCAL_MACHINE, at("data"))));
    EXPECT_EQ((std::vector<std::string>{"data", "extra"}), sorted(subkeysOf(HKEY_LOCAL_MACHINE, themeKey)));
    EXPECT_EQ(std::vector<std::string>{"C:\\kept"}, loadFolders());
}

TEST_F(ThemeStorageTest, PathsOfOtherTypesLoadAsTextAndUnfitValuesAreDropped)
{
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "int.paths", 5));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "bool.paths", 1));  // never served as text
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "string.other", 1));  // wrong type: dropped
    EXPECT_EQ(std::vector<std::string>{"5"}, loadFolders());

    ASSERT_TRUE(deleteKey(HKEY_LOCAL_MACHINE, themeKey));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data\\paths"), "hex.0", 255));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\paths"), "string.1", "C:\\text", REG_EXPAND_SZ));
    // The string array comes first, then the hex array beyond its end: index 0 is the string.
    EXPECT_EQ(std::vector<std::string>{"C:\\text"}, loadFolders());
}

TEST_F(ThemeStorageTest, AnEmptyNameReadsAndWritesNothing)
{
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data"), "string.paths", "C:\\sibling"));
    {
        Theme theme("");
        EXPECT_TRUE(theme.paths.empty());
        theme.paths.push_back("C:\\x");
        theme.changed = true;
    }
    // Saving at the Themes key itself would have cleared every theme.
    EXPECT_EQ(std::vector<std::string>{"C:\\sibling"}, loadFolders());
    std::vector<std::string> themes = subkeysOf(HKEY_LOCAL_MACHINE, themesKey);
    EXPECT_EQ(themes.end(), std::find(themes.begin(), themes.end(), "data"));
}

TEST_F(ThemeStorageTest, NestedNamesAndKeysThatCannotBeOpened)
{
    // A backslash in the name addresses nested keys, for loading and saving alike.
    const std::string nested = name + "\\inner";
    {
        Theme theme(nested);
        theme.paths = {"C:\\a", "C:\\b"};
        theme.changed = true;
    }
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, at("inner\\data\\paths")));
    EXPECT_EQ((std::vector<std::string>{"C:\\a", "C:\\b"}), Theme(nested).paths);

    // Point HKEY_LOCAL_MACHINE at a key that is gone. (Wine hands out a predefined root itself
    // without asking the server, so the root stays "openable" and nothing raises; below it,
    // every key fails to open or be created.)
    const std::string scratch = "Software\\VogTests\\" + uniqueName("gone");
    HKEY gone = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &gone, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, scratch.c_str()));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, gone));
    bool emptyWithoutRegistry = false;
    try {
        Theme theme(nested);
        emptyWithoutRegistry = theme.paths.empty();
        theme.paths.push_back("C:\\lost");
        theme.changed = true;
    } catch (...) {
        ADD_FAILURE() << "a theme without its keys raised";
    }
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(gone);
    EXPECT_TRUE(emptyWithoutRegistry);

    // The machine list could not be changed, so the added folder was kept as the user's own.
    EXPECT_EQ((std::vector<std::string>{"C:\\a", "C:\\b", "C:\\lost"}), Theme(nested).paths);
}

TEST_F(ThemeStorageTest, NestedThemesKeepTheirFoldersThroughSavesOfTheThemeAboveThem)
{
    const std::string nested = name + "\\2024";
    saveFolders({"C:\\outer"});
    {
        Theme theme(nested);
        theme.paths = {"D:\\inner\\one", "D:\\inner\\two"};
        theme.changed = true;
    }
    // A save of the outer theme replaces its own entries (a stray value of its own goes too) and
    // leaves the nested theme's key as it was.
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, themeKey, "string.stray", "x"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("subs\\old"), "string.x", "y"));
    saveFolders({"C:\\outer\\new", "C:\\outer\\newer"});
    EXPECT_EQ((std::vector<std::string>{"C:\\outer\\new", "C:\\outer\\newer"}), loadFolders());
    EXPECT_EQ((std::vector<std::string>{"2024", "data"}), sorted(subkeysOf(HKEY_LOCAL_MACHINE, themeKey)));
    EXPECT_TRUE(valueNamesOf(HKEY_LOCAL_MACHINE, themeKey).empty());
    EXPECT_EQ((std::vector<std::string>{"D:\\inner\\one", "D:\\inner\\two"}), Theme(nested).paths);

    // A name reaching into a theme's own stored tree is refused with a text for the user, before
    // anything is read or written, whatever the letter case or extra backslashes.
    for (const std::string& reserved : {name + "\\data", name + "\\DATA\\paths", name + "\\\\Subs", nested + "\\data"}) {
        SCOPED_TRACE(reserved);
        std::vector<std::string> before = registrySnapshot(HKEY_LOCAL_MACHINE, themesKey);
        try {
            Theme theme(reserved);
            theme.paths = {"C:\\overwritten"};
            theme.changed = true;
            ADD_FAILURE() << "the name was taken";
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string::npos, std::string(error.what()).find("is not allowed")) << error.what();
        }
        EXPECT_EQ(before, registrySnapshot(HKEY_LOCAL_MACHINE, themesKey));
    }
    EXPECT_EQ((std::vector<std::string>{"C:\\outer\\new", "C:\\outer\\newer"}), loadFolders());
    // "data" as a theme's own name, or a part that only starts with it, is an ordinary theme.
    const std::string lookalike = name + "\\database";
    EXPECT_NO_THROW(Theme{lookalike});
}

TEST_F(ThemeStorageTest, AUserWhoMayOnlyReadTheMachineListKeepsAddedFoldersOfTheirOwn)
{
    saveFolders(folderList(2));
    Theme other(name);  // an editor that loaded before the change below
    {
        ReadOnlyKeys standardUser;
        ASSERT_TRUE(standardUser.applied());
        EXPECT_THROW(Vantor::Register(HKEY_LOCAL_MACHINE, themeKey.c_str(), Vantor::Access::change),
                     Vantor::AccessRefused);
        Theme theme(name);
        EXPECT_EQ(folderList(2), theme.paths);
        EXPECT_FALSE(theme.mayChangeMachineList());
        theme.paths.push_back("D:\\Mine");
        theme.changed = true;
        theme.saveNow();
        EXPECT_EQ(Theme::Kept::user, theme.lastKept());
        Theme again(name);
        EXPECT_EQ(folderList(2), std::vector<std::string>(again.paths.begin(), again.paths.begin() + 2));
        EXPECT_EQ("D:\\Mine", again.paths.back());
        EXPECT_FALSE(again.isMachineFolder("D:\\Mine"));
    }
    // An administrator's edit and an editor's that loaded before both stay, and the user's folder.
    Theme admin(name);
    admin.paths = {"C:\\Data\\Folder 0", "E:\\Admin", "D:\\Mine"};
    admin.changed = true;
    admin.saveNow();
    other.paths.push_back("F:\\Late");
    other.changed = true;
    other.saveNow();
    EXPECT_EQ((std::vector<std::string>{"C:\\Data\\Folder 0", "E:\\Admin", "F:\\Late", "D:\\Mine"}), loadFolders());
}

TEST_F(ThemeStorageTest, AStoreMutexHeldElsewhereDoesNotDelayALoad)
{
    saveFolders(folderList(2));
    // Held machine-wide, as a service or a user of another session holds it while saving.
    KernelHandle held(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread holder([&] {
        KernelHandle mutex(CreateMutexA(nullptr, FALSE, "Global\\VogThemeStore"));
        WaitForSingleObject(mutex.get(), INFINITE);
        SetEvent(held.get());
        Sleep(2500);
        ReleaseMutex(mutex.get());
    });
    WaitForSingleObject(held.get(), 5000);
    DWORD start = GetTickCount();
    EXPECT_EQ(folderList(2), loadFolders());
    DWORD loadMs = GetTickCount() - start;
    EXPECT_LT(loadMs, 900u) << "the load waited for the mutex";
    holder.join();
}

TEST_F(ThemeStorageTest, ASaveEndedAtAnyInstantLeavesTheOldListOrTheNew)
{
    const std::vector<std::string> shortList = folderList(2), longList = {"D:\\A", "D:\\B", "D:\\C", "D:\\D"};
    if (const char* child = getenv("VOG_SAVING_THEME")) {
        // The child: saves the two lists by turns until it is ended, and tells when it has begun.
        for (unsigned turn = 0;; ++turn) {
            Theme theme(child);
            theme.paths = turn % 2 ? shortList : longList;
            theme.changed = true;
            theme.saveNow();
            SetEvent(KernelHandle(OpenEventA(EVENT_MODIFY_STATE, FALSE, child)).get());
        }
    }
    saveFolders(shortList);
    KernelHandle begun(CreateEventA(nullptr, FALSE, FALSE, name.c_str()));
    SetEnvironmentVariableA("VOG_SAVING_THEME", name.c_str());
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const ::testing::TestInfo* self = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string command = std::string("\"") + program + "\" --gtest_filter=" + self->test_suite_name() + "." + self->name();
    int unfinished = 0;
    for (int kill = 0; kill < 30; ++kill) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) << "error " << GetLastError();
        KernelHandle process(child.hProcess), thread(child.hThread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(begun.get(), 20000));
        Sleep(rand() % 20);
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 10000);
        unfinished += rawValue(HKEY_LOCAL_MACHINE, themeKey, "saving").found;
        std::vector<std::string> loaded = loadFolders();
        ASSERT_TRUE(loaded == shortList || loaded == longList) << loaded.size() << " folders after kill " << kill;
    }
    SetEnvironmentVariableA("VOG_SAVING_THEME", nullptr);
    EXPECT_GT(unfinished, 0) << "no kill fell into a save";
}

TEST_F(ThemeStorageTest, WhereTheGlobalStoreMutexIsRefusedTheSessionsOwnTakesTurns)
{
    // One that grants this process no access, as one a service made may.
    PSECURITY_DESCRIPTOR noAccess = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, &noAccess, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, noAccess, FALSE};
    KernelHandle global(CreateMutexA(&attributes, FALSE, "Global\\VogThemeStore"));
    ASSERT_TRUE(global && GetLastError() != ERROR_ALREADY_EXISTS) << "another process holds the mutex";
    LocalFree(noAccess);
    saveFolders(folderList(2));
    EXPECT_EQ(folderList(2), loadFolders());
    EXPECT_TRUE(KernelHandle(OpenMutexA(SYNCHRONIZE, FALSE, "Local\\VogThemeStore"))) << "no session mutex";
}
