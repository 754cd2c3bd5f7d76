// A theme's storage against what a web page or a damaged registry can hand it: theme names that try
// to leave the Themes key or exceed what a key name may be, fuzzed trees under a theme's key, and
// several requests of one theme saving at once.
#include "theme/Theme.h"

#include "support/LeakCheck.h"
#include "support/RegistrySupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

const std::string vogKey = "Software\\Vog";
const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes";

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Runs work on a thread of its own; false when it did not end within timeoutMs (the thread is then
// left to run: the test has failed anyway).
template <typename Work>
bool endsWithin(DWORD timeoutMs, Work work)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([done, work] {
        work();
        *done = true;
    });
    bool ended = waitUntil([&] { return done->load(); }, timeoutMs, 5);
    if (ended)
        thread.join();
    else
        thread.detach();
    return ended;
}

}  // namespace

TEST(ThemeHostileNameTest, NamesNeverWriteOutsideTheThemesKeyNorTouchOtherThemes)
{
    const std::vector<std::string> themesBefore = subkeysOf(HKEY_LOCAL_MACHINE, themesKey);
    const std::string prefix = uniqueName("hostile");
    const std::string sentinel = prefix + "-sentinel";
    const std::vector<std::string> sentinelFolders = {"C:\\Kept\\One", "C:\\Kept\\Two"};
    {
        Theme theme(sentinel);
        theme.paths = sentinelFolders;
        theme.changed = true;
    }
    const std::vector<std::string> names = {
        prefix + "\\nested",
        "..\\..\\..\\" + prefix + "-escape",
        prefix + "\\..\\..\\up",
        "\\" + prefix + "-rooted",
        "\\\\server\\" + prefix,
        prefix + "-trailing\\",
        "C:\\Windows\\" + prefix,
        prefix + "-quote\"and'percent%s%n",
        prefix + "-control\t\r\n",
        prefix + "-\xE9t\xE9-\xFF",
        prefix + std::string(255 - prefix.size(), 'k'),
        prefix + std::string(256 - prefix.size(), 'k'),
        prefix + std::string(1000, 'k'),
        prefix + std::string(100000, 'k'),
        "CON",
    };
    const std::vector<std::string> folders = {"C:\\New\\A", "D:\\New\\B", "\\\\host\\share\\C"};

    for (const std::string& name : names) {
        SCOPED_TRACE(name.substr(0, 80) + " (" + std::to_string(name.size()) + " characters)");
        std::vector<std::string> before = registrySnapshot(HKEY_LOCAL_MACHINE, vogKey);
        {
            Theme theme(name);
            EXPECT_TRUE(theme.paths.empty());
            theme.paths = folders;
            theme.changed = true;
        }
        std::vector<std::string> after = registrySnapshot(HKEY_LOCAL_MACHINE, vogKey);
        EXPECT_TRUE(linesRemoved(before, after).empty()) << "a save deleted something: " << linesRemoved(before, after).front();
        for (const std::string& line : linesAdded(before, after))
            EXPECT_TRUE(startsWith(line, themesKey + "\\")) << line;

        // What was saved reads back whole; a name the registry refuses saves nothing at all.
        std::vector<std::string> loaded = Theme(name).paths;
        if (linesAdded(before, after).empty())
            EXPECT_TRUE(loaded.empty());
        else
            EXPECT_EQ(folders, loaded);
    }
    EXPECT_EQ(sentinelFolders, Theme(sentinel).paths);

    for (const std::string& sub : subkeysOf(HKEY_LOCAL_MACHINE, themesKey))
        if (std::find(themesBefore.begin(), themesBefore.end(), sub) == themesBefore.end())
            deleteKey(HKEY_LOCAL_MACHINE, themesKey + "\\" + sub);
}

// Trees under a theme's key as a damaged registry or another program could leave them: malformed
// and over-long names, every registry type with sizes that do not fit, deep nesting, thousands of
// values and values of megabytes. Loading never crashes or hangs, and a save afterwards leaves the
// new list whole.
TEST(ThemeFuzzTest, RandomTreesUnderAThemesKeyLoadAndAreReplacedWhole)
{
    const std::vector<std::string> keyWords = {"data", "subs", "paths", "0", "1", "2", "10", "007", "-1", "x",
                                               "string.paths", ".", "..", "a.b", " "};
    const std::vector<std::string> tags = {"string", "int", "bool", "hex", "real", "", "STRING", "nodot", "string.string"};
    const std::vector<std::string> arrayNames = {"paths", "0", "1", "12", "", ".", "paths.paths", "x"};
    const std::vector<DWORD> types = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY,
                                      REG_NONE, REG_DWORD_BIG_ENDIAN, 0x7fffffff};
    const std::vector<DWORD> sizes = {0, 1, 2, 3, 4, 5, 7, 8, 9, 16, 259, 260, 1023, 1024, 1025, 5000};

    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        auto pick = [&](const auto& list) { return list[random() % list.size()]; };
        const std::string name = uniqueName("fuzz");
        const std::string themeKey = themesKey + "\\" + name;

        auto randomData = [&](DWORD size) {
            std::string data(size, '\0');
            for (char& c : data)
                c = static_cast<char>(random() % 4 == 0 ? 0 : 32 + random() % 200);
            return data;
        };
        auto putRandomValues = [&](const std::string& key, int count) {
            for (int i = 0; i < count; ++i) {
                std::string valueName = pick(tags) + (random() % 5 ? "." : "") + pick(arrayNames);
                if (random() % 20 == 0)
                    valueName = std::string(200 + random() % 100, 'v');  // some longer than 255
                std::string data = randomData(pick(sizes));
                putValue(HKEY_LOCAL_MACHINE, key, valueName, pick(types), data.data(), static_cast<DWORD>(data.size()));
            }
        };

        // A few random keys with random values, below the places a theme reads.
        for (int k = 0; k < 12; ++k) {
            std::string key = themeKey;
            int depth = 1 + random() % 5;
            for (int d = 0; d < depth; ++d)
                key += "\\" + (d == 0 && random() % 2 ? std::string("data") : pick(keyWords));
            putRandomValues(key, 1 + random() % 8);
        }
        switch (seed % 4) {
        case 0: {  // deep nesting below data and below subs
            std::string deep = themeKey + "\\data";
            std::string groups = themeKey + "\\subs";
            for (int d = 0; d < 120; ++d) {
                deep += "\\" + pick(keyWords);
                groups += (d % 2 ? "\\subs" : "\\g");
            }
            putRandomValues(deep, 3);
            putRandomValues(groups + "\\data", 3);
            break;
        }
        case 1:  // thousands of values in the paths array
            for (int i = 0; i < 3000; ++i) {
                std::string folder = "C:\\Folder " + std::to_string(i);
                putText(HKEY_LOCAL_MACHINE, themeKey + "\\data\\paths", "string." + std::to_string(random() % 5000),
                        folder);
            }
            break;
        case 2: {  // values of megabytes where the folders are read
            std::string huge(4 << 20, 'h');
            putText(HKEY_LOCAL_MACHINE, themeKey + "\\data", "string.paths", huge);
            std::string binary = randomData(1 << 20);
            putValue(HKEY_LOCAL_MACHINE, themeKey + "\\data\\paths", "real.0", REG_BINARY, binary.data(),
                     static_cast<DWORD>(binary.size()));
            putText(HKEY_LOCAL_MACHINE, themeKey + "\\data\\paths", "string.1", huge.substr(0, 300000));
            break;
        }
        default:  // a name over 255 characters in the middle of a key's values and subkeys
            putText(HKEY_LOCAL_MACHINE, themeKey + "\\data", std::string(300, 'n'), "x");
            putText(HKEY_LOCAL_MACHINE, themeKey + "\\data\\" + std::string(300, 'k'), "string.0", "y");
            break;
        }

        size_t loadedCount = 0;
        ASSERT_TRUE(endsWithin(120000, [&] { loadedCount = Theme(name).paths.size(); })) << "loading hung";
        const std::vector<std::string> folders = {"C:\\After\\" + std::to_string(seed), "C:\\After\\Two"};
        ASSERT_TRUE(endsWithin(120000, [&] {
            Theme theme(name);
            theme.paths = folders;
            theme.changed = true;
        })) << "saving hung";
        EXPECT_EQ(folders, Theme(name).paths) << "loaded " << loadedCount << " folders first";
        deleteKey(HKEY_LOCAL_MACHINE, themeKey);
    }
}

// Requests of one theme that end together each save their list: the stored list is always one of
// them, whole, never a mixture; a reader in between sees a whole list too.
TEST(ThemeConcurrencyTest, SavesOfOneThemeAtOnceLeaveOneWholeList)
{
    const std::string name = uniqueName("concurrent");
    const int writers = 6, rounds = 15, length = 40;
    std::vector<std::vector<std::string>> lists(writers);
    for (int w = 0; w < writers; ++w)
        for (int i = 0; i < length; ++i)
            lists[w].push_back("C:\\Writer" + std::to_string(w) + "\\Folder" + std::to_string(i));
    // A save applies its own edits to the list as stored then, so the list holds whole writers'
    // lists, each all or none and in its order; a reader between a save's steps would see a part.
    auto isWritten = [&](const std::vector<std::string>& loaded) {
        size_t whole = 0;
        for (const auto& list : lists) {
            auto first = std::search(loaded.begin(), loaded.end(), list.begin(), list.end());
            whole += first == loaded.end() ? 0 : list.size();
        }
        return whole == loaded.size();
    };

    std::atomic<int> mixed{0};
    std::atomic<bool> writing{true};
    std::thread reader([&] {
        while (writing) {
            if (!isWritten(Theme(name).paths))
                ++mixed;
        }
    });
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            // Each writer adds its own folders and takes them away again by turns, ending with them
            // added, and never removes another's: every list must be there at the end.
            for (int round = 0; round < rounds; ++round) {
                Theme theme(name);
                std::vector<std::string>& paths = theme.paths;
                paths.erase(std::remove_if(paths.begin(), paths.end(),
                                           [&](const std::string& folder) {
                                               return std::find(lists[w].begin(), lists[w].end(), folder) !=
                                                      lists[w].end();
                                           }),
                            paths.end());
                if (round % 2 == 0)
                    paths.insert(paths.end(), lists[w].begin(), lists[w].end());
                theme.changed = true;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    writing = false;
    reader.join();
    std::vector<std::string> last = Theme(name).paths;
    EXPECT_TRUE(isWritten(last) && last.size() == lists.size() * length) << last.size() << " folders stored";
    EXPECT_EQ(0, mixed.load()) << "a reader saw a list that nobody saved";
    deleteKey(HKEY_LOCAL_MACHINE, themesKey + "\\" + name);
}
