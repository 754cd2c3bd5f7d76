// Whole requests for hostile archive members, carried out by a worker as the control starts them:
// members named to escape the cache folder are never written anywhere nor deleted anywhere, and a
// member that is a program is extracted, refused and removed again, with nothing started.
#include "request/Task.h"

#include "RarFixture.h"
#include "request/RarExtractor.h"
#include "support/LeakCheck.h"
#include "support/ViewerFixture.h"

#include <algorithm>

using namespace rar_test;
using namespace testing_support;

namespace {

class RequestSafetyTest : public RarTest {
protected:
    // Carries out one request for member of archive and waits for its worker, answering the shell's
    // own box where no program opens what it extracted.
    void request(const std::string& archive, const std::string& member)
    {
        TaskThread record;
        record.startTask(Request{archive, member, uniqueName("RequestSafety"), ""}, testInstance());
        ASSERT_TRUE(waitUntil([&] {
            if (HWND box = waitForDialogOf(record.id, 0))
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            return record.waitFor(0);
        }, 15000, 20)) << member;
        DWORD code = record.exitCode().value_or(99);
        EXPECT_TRUE(code == 0 || code == 3) << member << " ended with " << code;
    }
};

std::vector<std::string> sortedEntries(const std::string& folder)
{
    std::vector<std::string> names = folderEntries(folder);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_P(RequestSafetyTest, MembersNamedToEscapeTheCacheWriteAndDeleteNothing)
{
    ViewerFixture viewers;
    const std::string cacheFolder = RarExtractor::internetCacheFolder();
    const std::string sentinel = scratch + "\\sentinel.txt";
    ASSERT_TRUE(writeFile(sentinel, "sentinel"));
    const std::string escapeName = uniqueName("escape") + ".vogdoc";
    const std::vector<std::string> members = {
        "..\\" + escapeName,
        "..\\..\\" + escapeName,
        "docs\\..\\..\\..\\" + escapeName,
        sentinel,
        sentinel.substr(2),  // from the root of the current drive
        "C:sentinel.txt",
        "\\\\?\\" + sentinel,
        "\\\\localhost\\C$" + sentinel.substr(2),
        "CON", "NUL", "nul.vogdoc", "docs\\COM1.vogdoc", "LPT1", "AUX .vogdoc",
        "doc.vogdoc:stream",
        std::string(300, 'x') + ".vogdoc",
        std::string(100000, 'y'),
    };
    RarWriter archiveWriter = writer();
    for (const std::string& member : members)
        archiveWriter.file(member, "hostile");
    std::string archive = save(archiveWriter);

    CurrentFolderScope inScratch(scratch);  // where "C:sentinel.txt" points
    std::vector<std::string> cacheBefore = sortedEntries(cacheFolder);
    std::vector<std::string> scratchBefore = sortedEntries(scratch);
    ProcessCounts before = processCounts();
    for (const std::string& member : members) {
        request(archive, member);
        EXPECT_EQ("sentinel", readFile(sentinel)) << member;
    }
    EXPECT_EQ(cacheBefore, sortedEntries(cacheFolder));
    EXPECT_EQ(scratchBefore, sortedEntries(scratch));
    EXPECT_FALSE(fileExists(cacheFolder + "\\..\\" + escapeName));
    EXPECT_FALSE(fileExists(cacheFolder + "\\..\\..\\" + escapeName));
    EXPECT_FALSE(fileExists(cacheFolder + "\\..\\..\\..\\" + escapeName));
    EXPECT_TRUE(viewers.noStartWithin(300));
    EXPECT_TRUE(countsSettle(before)) << countsText(processCounts(), before);
}

TEST_P(RequestSafetyTest, AProgramInsideAnArchiveIsRefusedAndItsCopyRemoved)
{
    ViewerFixture viewers;
    const std::string cacheFolder = RarExtractor::internetCacheFolder() + "\\Vog";  // the copies' folders
    const std::vector<std::string> members = {"setup.exe", "run.bat", "page.hta", "script.js", "link.lnk",
                                              "package.msi", "doc.vogdoc.exe", "trailing.exe.", "noextension"};
    RarWriter archiveWriter = writer();
    for (const std::string& member : members)
        archiveWriter.file(member, "MZ");
    std::string archive = save(archiveWriter);
    std::vector<std::string> cacheBefore = sortedEntries(cacheFolder);
    for (const std::string& member : members)
        request(archive, member);
    EXPECT_EQ(cacheBefore, sortedEntries(cacheFolder)) << "an extracted program was left in the cache";
    EXPECT_TRUE(viewers.noStartWithin(300));
    EXPECT_TRUE(childProcessIds().empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, RequestSafetyTest, testing::Values(RarFormat::Rar4, RarFormat::Rar5), FormatName());
