// Finding and loading the external library: the error "unrar.dll", where it is looked for, and
// where it must never be taken from.
#include "request/RarExtractor.h"
#include "request/UnrarLibrary.h"

#include "support/TestSupport.h"
#include "support/UnrarTestSupport.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <stdexcept>

using namespace testing_support;

namespace {

std::string standIn(UnrarStandIn which)
{
    return unrarStandInFolder(which) + "\\unrar.dll";
}

// Constructs an extractor; the text of the error it raised, or "" when it raised none.
std::string constructionError()
{
    try {
        RarExtractor extractor("C:\\");
        return "";
    } catch (const std::runtime_error& error) {
        return error.what();
    }
}

bool unrarLoaded()
{
    return GetModuleHandleA("unrar.dll") || GetModuleHandleA("unrar64.dll");
}

class UnrarLibraryTest : public testing::Test {
protected:
    ~UnrarLibraryTest() override { deleteTree(scratch); }

    // A copy of a stand-in under another folder or name.
    std::string plant(UnrarStandIn which, const std::string& folder, const std::string& name = "unrar.dll")
    {
        CreateDirectoryA(folder.c_str(), nullptr);
        std::string path = folder + "\\" + name;
        EXPECT_TRUE(CopyFileA(standIn(which).c_str(), path.c_str(), FALSE)) << path;
        return path;
    }

    const std::string scratch = scratchFolder(uniqueName("unrar-lib"));
};

TEST_F(UnrarLibraryTest, NoLibraryRaisesUnrarDll)
{
    ASSERT_FALSE(fileExists(unrarSearchFolders().front() + "\\unrar.dll")) << "test program folder must hold none";
    EXPECT_EQ("unrar.dll", constructionError());
}

// A PATH folder that any user may write into is skipped (a folder made below "C:\" inherits
// "Authenticated Users: Modify"), and the skip is told with its reason.
TEST_F(UnrarLibraryTest, NoLibraryFromAPathFolderOrdinaryUsersMayWrite)
{
    std::string folder = scratch + "\\shared";
    plant(UnrarStandIn::Full, folder);
    PathScope path(folder);
    ASSERT_EQ("", constructionError());
    // Administrators and SYSTEM in full, Authenticated Users read and create files.
    PSECURITY_DESCRIPTOR dacl = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;;0x1200ab;;;AU)",
                                                                     SDDL_REVISION_1, &dacl, nullptr));
    ASSERT_TRUE(SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, dacl));
    LocalFree(dacl);
    std::vector<SkippedFolder> skipped;
    unrarSearchFolders(&skipped);
    // Wine accepts a file's DACL but does not keep it: it makes one from the owner and mode bits.
    if (skipped.empty() && GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "this platform does not keep the folder's DACL";
    ASSERT_EQ(1u, skipped.size());
    EXPECT_EQ(folder, skipped[0].folder);
    EXPECT_EQ("Authenticated Users may create files in it", skipped[0].reason);
    EXPECT_EQ("unrar.dll", constructionError());
}

TEST_F(UnrarLibraryTest, LibraryLackingAnEntryPointRaisesUnrarDllAndIsUnloaded)
{
    PathScope lacking(unrarStandInFolder(UnrarStandIn::LackingEntryPoint));
    EXPECT_EQ("unrar.dll", constructionError());
    EXPECT_FALSE(unrarLoaded());
}

TEST_F(UnrarLibraryTest, FullLibraryOnPathIsLoadedAndUnloadedWithTheExtractor)
{
    PathScope full(unrarStandInFolder(UnrarStandIn::Full));
    {
        RarExtractor extractor("C:\\");
        EXPECT_TRUE(unrarLoaded());
    }
    EXPECT_FALSE(unrarLoaded());
}

// A document opened from a folder makes that folder current in many hosts: whatever lies there
// must not be loaded, not even through a relative PATH entry.
TEST_F(UnrarLibraryTest, LibraryInTheCurrentFolderIsNeverLoaded)
{
    std::string planted = scratch + "\\planted";
    plant(UnrarStandIn::Full, planted);
    plant(UnrarStandIn::Full, planted, "unrar64.dll");
    CurrentFolderScope inPlanted(planted);
    PathScope relativeEntries(".;planted;.\\");

    EXPECT_EQ("unrar.dll", constructionError());
    EXPECT_FALSE(unrarLoaded());
}

TEST_F(UnrarLibraryTest, PathEntriesAreTriedInOrder)
{
    std::string first = scratch + "\\first";
    std::string second = scratch + "\\second";
    plant(UnrarStandIn::LackingEntryPoint, first);
    plant(UnrarStandIn::Full, second);
    {
        PathScope order(second + ";" + first);
        EXPECT_EQ("", constructionError());
    }
    PathScope order(first + ";" + second);
    EXPECT_EQ("unrar.dll", constructionError()) << "the first library found is used, whole or not at all";
}

#ifdef _WIN64
TEST_F(UnrarLibraryTest, X64BuildAlsoTakesTheVendorsUnrar64Dll)
{
    std::string folder = scratch + "\\x64";
    plant(UnrarStandIn::Full, folder, "unrar64.dll");
    PathScope path(folder);
    EXPECT_EQ("", constructionError());
}
#endif

// The folder of the module holding our code comes before every other: an installer puts the library
// beside VOG.OCX. Here that module is the test program, so the copy goes beside it for this test only.
TEST_F(UnrarLibraryTest, LibraryBesideOurModuleComesFirst)
{
    std::string ownFolder = unrarSearchFolders().front();
    std::string besideUs = ownFolder + "\\unrar.dll";
    ASSERT_FALSE(fileExists(besideUs));
    std::string copy = plant(UnrarStandIn::LackingEntryPoint, ownFolder);
    std::string fullFolder = scratch + "\\full";
    plant(UnrarStandIn::Full, fullFolder);
    PathScope path(fullFolder);

    std::string error = constructionError();
    DeleteFileA(copy.c_str());

    EXPECT_EQ("unrar.dll", error) << "the lacking copy beside the program must have been taken";
    EXPECT_FALSE(fileExists(besideUs));
}

TEST(UnrarSearchFolders, StartWithOurOwnFolderAndHoldOnlyFullLocalPaths)
{
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string programFolder = std::string(program, length).substr(0, std::string(program, length).rfind('\\'));
    std::string system(MAX_PATH, '\0');
    system.resize(GetSystemDirectoryA(system.data(), MAX_PATH));

    std::vector<std::string> folders;
    {
        PathScope relative(".;docs;C:docs;\\docs;\"C:\\quoted\";\\\\server\\share;//server/bin;\\\\?\\UNC\\s\\b;" + system);
        folders = unrarSearchFolders();
    }

    ASSERT_GE(folders.size(), 3u);
    EXPECT_EQ(programFolder, folders[0]);
    EXPECT_EQ(system, folders[1]) << "program folder is our own here, and listed once";
    EXPECT_NE(std::find(folders.begin(), folders.end(), "C:\\quoted"), folders.end());
    for (const std::string& folder : folders) {
        EXPECT_TRUE(folder.size() >= 3 && folder.substr(1, 2) == ":\\") << folder;  // no network folder
        EXPECT_NE(system + "\\", folder);
    }
    EXPECT_EQ(1, std::count(folders.begin(), folders.end(), system)) << "duplicates are dropped";
}

}  // namespace
