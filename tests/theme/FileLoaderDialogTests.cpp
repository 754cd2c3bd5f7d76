// The File Loader dialog on its own: Add, Remove, the layout, and the real folder browser.
#include "theme/FileLoaderDialog.h"

#include "LookupHarness.h"
#include "resources/resource.h"
#include "support/RegistrySupport.h"
#include "support/TestSupport.h"
#include "winsys/ChangeWatcher.h"
#include "winsys/Text.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

// Records what the dialog asks of the theme; ends the dialog when told a folder holding `wanted`.
class RecordingTheme : public WatchCallback {
public:
    void onChange(const std::string& folder) override
    {
        std::lock_guard<std::mutex> hold(lock);
        calls.push_back(folder);
        if (!wanted.empty() && fileExists(folder + "\\" + wanted) && dialog)
            dialog->endDialog(1);
    }
    std::vector<std::string> seen()
    {
        std::lock_guard<std::mutex> hold(lock);
        return calls;
    }
    std::string wanted;
    FileLoaderDialog* dialog = nullptr;

private:
    std::mutex lock;
    std::vector<std::string> calls;
};

// A dialog on a thread of its own, with the folder chooser replaced by a queue of answers.
class DialogRun {
public:
    explicit DialogRun(std::vector<std::string> startPaths)
        : paths(std::move(startPaths)),
          dialog(testInstance(), "File \"x.doc\" not found.", &paths, &changed, &watchers, &theme)
    {
        theme.dialog = &dialog;
        dialog.chooseFolder = [this](HWND) {
            std::lock_guard<std::mutex> hold(lock);
            if (answers.empty())
                return std::string();
            std::string next = answers.front();
            answers.erase(answers.begin());
            return next;
        };
        thread = std::thread([this] {
            threadId = GetCurrentThreadId();
            result = dialog.runModal(IDD_FILE_LOADER, nullptr);
            done = true;
        });
        testing_support::waitUntil([this] { return threadId.load() != 0; }, 5000);
        window = waitForWindow("Vog File Loader", 10000, threadId);
    }
    ~DialogRun()
    {
        if (!done)
            SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
        thread.join();
        watchers.stopAll();
    }
    void add(const std::string& answer)
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            answers.push_back(answer);
        }
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_LOADER_ADD, BN_CLICKED), 0);
    }
    void select(int index)
    {
        SendMessageA(list(), LB_SETCURSEL, index, 0);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_LOADER_FOLDERS, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list()));
    }
    void remove() { SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_LOADER_REMOVE, BN_CLICKED), 0); }
    HWND list() const { return GetDlgItem(window, IDC_LOADER_FOLDERS); }
    std::vector<std::string> listed() const
    {
        std::vector<std::string> entries;
        LRESULT count = SendMessageA(list(), LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[MAX_PATH] = {};
            SendMessageA(list(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            entries.push_back(text);
        }
        return entries;
    }
    int selection() const { return static_cast<int>(SendMessageA(list(), LB_GETCURSEL, 0, 0)); }
    bool removeEnabled() const { return IsWindowEnabled(GetDlgItem(window, IDC_LOADER_REMOVE)) != FALSE; }

    std::vector<std::string> paths;
    bool changed = false;
    WatcherList watchers;
    RecordingTheme theme;
    FileLoaderDialog dialog;
    HWND window = nullptr;
    INT_PTR result = 0;
    std::atomic<bool> done{false};

private:
    std::mutex lock;
    std::vector<std::string> answers;
    std::atomic<DWORD> threadId{0};
    std::thread thread;
};

RECT clientRectOf(HWND dialog, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Finds the browser's title line among its child windows.
BOOL CALLBACK findTitle(HWND child, LPARAM found)
{
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    if (std::string(text) == "Add folder to the theme's paths")
        lstrcpyA(reinterpret_cast<char*>(found), text);
    return TRUE;
}

}  // namespace

TEST(FileLoaderDialogTest, AddedFoldersAreListedSortedButKeptInTheOrderAdded)
{
    std::string base = scratchFolder("loader-add");
    CreateDirectoryA((base + "\\b").c_str(), nullptr);
    CreateDirectoryA((base + "\\a").c_str(), nullptr);
    DialogRun run({});
    ASSERT_NE(nullptr, run.window);
    run.add(base + "\\b");
    run.add(base + "\\a");
    EXPECT_EQ((std::vector<std::string>{base + "\\a", base + "\\b"}), run.listed());
    EXPECT_EQ((std::vector<std::string>{base + "\\b", base + "\\a"}), run.paths);
    EXPECT_TRUE(run.changed);
    EXPECT_EQ(0, run.selection()) << "the added entry is selected";
    EXPECT_TRUE(run.removeEnabled());
    EXPECT_EQ(2u, run.watchers.size());
    std::vector<std::string> checked = run.theme.seen();
    EXPECT_NE(checked.end(), std::find(checked.begin(), checked.end(), base + "\\a")) << "an added folder is checked at once";
}

TEST(FileLoaderDialogTest, AddingAFolderDifferingOnlyInCaseChangesNothing)
{
    DialogRun run({"C:\\Docs\\Theme"});
    ASSERT_NE(nullptr, run.window);
    run.add("c:\\DOCS\\theme");
    EXPECT_EQ((std::vector<std::string>{"C:\\Docs\\Theme"}), run.paths);
    EXPECT_EQ(1u, run.listed().size());
    EXPECT_FALSE(run.changed);
    EXPECT_EQ(0u, run.watchers.size());
    EXPECT_FALSE(run.removeEnabled());
}

TEST(FileLoaderDialogTest, AddingTheFolderThatHoldsTheFileEndsTheDialogWithOneAndKeepsIt)
{
    std::string base = scratchFolder("loader-add-found");
    ASSERT_TRUE(writeFile(base + "\\x.doc", "here"));
    DialogRun run({});
    ASSERT_NE(nullptr, run.window);
    run.theme.wanted = "x.doc";
    run.add(base);
    ASSERT_TRUE(waitUntil([&] { return run.done.load(); }, 5000));
    EXPECT_EQ(1, run.result);
    EXPECT_EQ((std::vector<std::string>{base}), run.paths);
    EXPECT_TRUE(run.changed);
}

TEST(FileLoaderDialogTest, RemoveFollowsTheSelectionRules)
{
    DialogRun run({"C:\\c", "C:\\a", "C:\\b"});
    ASSERT_NE(nullptr, run.window);
    run.remove();  // nothing selected: nothing happens
    EXPECT_EQ(3u, run.paths.size());
    EXPECT_FALSE(run.removeEnabled());

    run.select(0);  // "C:\a", first in the sorted list
    EXPECT_TRUE(run.removeEnabled());
    run.remove();
    EXPECT_EQ((std::vector<std::string>{"C:\\c", "C:\\b"}), run.paths);
    EXPECT_EQ((std::vector<std::string>{"C:\\b", "C:\\c"}), run.listed());
    EXPECT_EQ(0, run.selection()) << "removing the first entry selects the new first";
    EXPECT_TRUE(run.changed);

    run.select(1);
    run.remove();
    EXPECT_EQ(0, run.selection()) << "removing entry 1 selects entry 0";
    run.remove();
    EXPECT_TRUE(run.paths.empty());
    EXPECT_FALSE(run.removeEnabled()) << "removing the last folder disables Remove";
}

TEST(FileLoaderDialogTest, AStandardUsersAddIsKeptForThemAndAMachineFolderStays)
{
    const std::string name = uniqueName("loader-user"), key = "Software\\Vog\\2000.08.04\\Themes\\" + name;
    const std::string machine = scratchFolder(name), own = scratchFolder(name + "own");
    ASSERT_TRUE(writeFile(own + "\\x.doc", "here") && putText(HKEY_LOCAL_MACHINE, key + "\\data", "string.paths", machine));
    {
        ReadOnlyKeys standardUser;
        {
            Theme theme(name);
            theme.chooseFolder = [&](HWND) { return own; };
            LookupRun run(theme, "x.doc");
            HWND dialog = run.dialog(), box = nullptr;
            SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_SETCURSEL, 0, 0);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_LOADER_REMOVE, BN_CLICKED), 0);
            ASSERT_TRUE(dialog && waitUntil([&] { return (box = GetLastActivePopup(dialog)) != dialog; }, 5000));
            EXPECT_NE(std::string::npos, windowText(GetDlgItem(box, 0xFFFF)).find("set by an administrator"));
            SendMessageA(box, WM_COMMAND, IDOK, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_LOADER_ADD, BN_CLICKED), 0);
            ASSERT_TRUE(run.waitDone(5000));
            EXPECT_EQ(own + "\\x.doc", run.result.value_or(""));
        }
        // The next request reads the folder from the user's own list and finds the file there.
        Theme next(name);
        EXPECT_EQ((std::vector<std::string>{machine, own}), next.paths);
        EXPECT_EQ(own + "\\x.doc", next.locate("x.doc", nullptr, nullptr).value_or(""));
        EXPECT_EQ(std::string::npos, next.loaderMessage("x.doc").find("this time only"));
        ReadOnlyKeys lowIntegrity("Software\\Vog", HKEY_CURRENT_USER);
        EXPECT_NE(std::string::npos, next.loaderMessage("x.doc").find("used this time only"));
    }
    deleteKey(HKEY_CURRENT_USER, key);
    deleteKey(HKEY_LOCAL_MACHINE, key);
}

TEST(FileLoaderDialogTest, ResizingKeepsTheButtonsAtTheRightEdgeAndTheListFollows)
{
    DialogRun run({"C:\\one"});
    ASSERT_NE(nullptr, run.window);
    RECT addBefore = clientRectOf(run.window, IDC_LOADER_ADD);
    RECT removeBefore = clientRectOf(run.window, IDC_LOADER_REMOVE);
    for (int grow : {200, -40}) {
        RECT frame;
        GetWindowRect(run.window, &frame);
        SetWindowPos(run.window, nullptr, 0, 0, frame.right - frame.left + grow, frame.bottom - frame.top + grow,
                     SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(run.window, &client);
        RECT add = clientRectOf(run.window, IDC_LOADER_ADD);
        RECT remove = clientRectOf(run.window, IDC_LOADER_REMOVE);
        RECT list = clientRectOf(run.window, IDC_LOADER_FOLDERS);
        RECT text = clientRectOf(run.window, IDC_LOADER_MESSAGE);
        SCOPED_TRACE("grown by " + std::to_string(grow));
        EXPECT_EQ(client.right - 2, add.right);
        EXPECT_EQ(client.right - 2, remove.right);
        EXPECT_EQ(addBefore.top, add.top);
        EXPECT_EQ(removeBefore.top, remove.top);
        EXPECT_EQ(addBefore.right - addBefore.left, add.right - add.left);
        EXPECT_EQ(add.left - 2, list.right) << "the list fills the space left of the buttons";
        // The list box keeps a whole number of lines: it may end up to one line short of its space.
        LONG line = static_cast<LONG>(SendMessageA(run.list(), LB_GETITEMHEIGHT, 0, 0));
        EXPECT_LE(list.bottom, client.bottom - 2);
        EXPECT_GT(list.bottom, client.bottom - 2 - line);
        EXPECT_EQ(client.right, text.right);
        EXPECT_EQ(add.top - 4, text.bottom);
    }
}

TEST(FileLoaderDialogTest, RealFolderBrowserAddsTheChosenFolder)
{
    // Not below the temporary folder: that lies under the hidden AppData, which the browser's tree
    // does not show.
    std::string folder = "C:\\" + uniqueName("vog-browse");
    deleteTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::string themeName = uniqueName("BrowseTest");
    auto theme = std::make_unique<Theme>(themeName);
    auto run = std::make_unique<LookupRun>(*theme, "browsed.doc");
    HWND dialog = run->dialog();
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(writeFile(folder + "\\browsed.doc", "x"));

    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_LOADER_ADD, BN_CLICKED), 0);
    HWND browser = waitForWindow("Browse for Folder", 10000);
    ASSERT_NE(nullptr, browser);
    char title[256] = {};
    EnumChildWindows(browser, findTitle, reinterpret_cast<LPARAM>(title));
    EXPECT_STREQ("Add folder to the theme's paths", title);
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    SendMessageA(browser, WM_COMMAND, IDOK, 0);

    ASSERT_TRUE(run->waitDone(10000)) << "the added folder holds the file: the dialog ends";
    ASSERT_TRUE(run->result);
    EXPECT_TRUE(equalsIgnoringCase(folder + "\\browsed.doc", *run->result)) << *run->result;
    ASSERT_EQ(1u, theme->paths.size());
    EXPECT_TRUE(equalsIgnoringCase(folder, theme->paths[0])) << theme->paths[0];
    EXPECT_TRUE(theme->changed);

    // The request ends: the theme keeps the added folder in the registry.
    run.reset();
    theme.reset();
    std::string key = "Software\\Vog\\2000.08.04\\Themes\\" + themeName;
    char stored[MAX_PATH] = {};
    DWORD size = sizeof stored;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, (key + "\\data").c_str(), "string.paths",
                                          RRF_RT_REG_SZ, nullptr, stored, &size));
    EXPECT_TRUE(equalsIgnoringCase(folder, stored)) << stored;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    deleteTree(folder);
}
