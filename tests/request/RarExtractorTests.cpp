// Extracting members through the stand-in library: matching names, where the copy goes, and how
// long it lives.
#include "request/RarExtractor.h"

#include "RarFixture.h"
#include "winsys/Handle.h"
#include "winsys/StopSignal.h"

#include <urlmon.h>

#include <thread>

using namespace rar_test;
using testing_support::fileExists;

namespace {

class RarExtractorTest : public RarTest {};

TEST_P(RarExtractorTest, MemberIsFoundWhateverItsCaseAndWrittenInTheRequestsCase)
{
    std::string archive = save(writer().file("other.txt", "other").file("readme.txt", "the readme"));
    const std::string planted = cache + "\\Readme.TXT";  // a file a page could name under the cache
    ASSERT_TRUE(testing_support::writeFile(planted, "planted"));
    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));

    std::optional<std::string> path = extractor.extract("Readme.TXT");

    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(extractions, path->substr(0, extractions.size()));
    EXPECT_EQ(folderOf(*path) + "Readme.TXT", *path);
    EXPECT_EQ("the readme", readFile(*path));
    EXPECT_EQ(std::vector<std::string>{"Readme.TXT"}, folderEntries(folderOf(*path)));
    EXPECT_EQ(1u, folderEntries(extractions).size()) << "one folder for the copy";
    extractor.closeArchive();
    EXPECT_EQ("planted", readFile(planted));
}

TEST_P(RarExtractorTest, FolderMemberMatchesOnlyWithItsFolderPartInTheArchivesSeparator)
{
    std::string archive = save(writer().folder("docs").file("docs\\guide.txt", "the guide"));
    RarExtractor extractor(cache);

    for (const char* wrong : {"guide.txt", "docs/guide.txt"}) {
        ASSERT_TRUE(extractor.openArchive(archive));
        EXPECT_FALSE(extractor.extract(wrong).has_value()) << wrong;
        // The failed search read to the end; the end is reported again.
        EXPECT_FALSE(extractor.extract("docs\\guide.txt").has_value()) << wrong;
    }
    EXPECT_TRUE(folderEntries(extractions).empty());

    ASSERT_TRUE(extractor.openArchive(archive));
    std::optional<std::string> path = extractor.extract("DOCS\\Guide.txt");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(folderOf(*path) + "DOCS\\Guide.txt", *path);
    EXPECT_EQ("the guide", readFile(*path));  // the library made the folder
}

TEST_P(RarExtractorTest, OfTwoMembersDifferingInCaseTheFirstIsTaken)
{
    std::string archive = save(writer().file("Notes.txt", "first").file("NOTES.TXT", "second"));
    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));

    std::optional<std::string> path = extractor.extract("notes.txt");

    ASSERT_TRUE(path.has_value());
    EXPECT_EQ("first", readFile(*path));
}

TEST_P(RarExtractorTest, CopyLivesUntilTheNextExtractOrCloseArchiveOrTheEnd)
{
    std::string archive = save(writer()
                                   .file("a.txt", "a")
                                   .file("b.txt", "b", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE)
                                   .file("c.txt", "c"));
    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));

    std::optional<std::string> a = extractor.extract("a.txt");
    ASSERT_TRUE(a.has_value());
    EXPECT_TRUE(fileExists(*a));
    std::optional<std::string> b = extractor.extract("b.txt");
    ASSERT_TRUE(b.has_value());
    EXPECT_FALSE(fileExists(*a)) << "the previous copy goes before the next extraction";
    EXPECT_TRUE(GetFileAttributesA(b->c_str()) & FILE_ATTRIBUTE_READONLY) << "the library keeps stored attributes";

    extractor.closeArchive();
    EXPECT_FALSE(fileExists(*b)) << "a read-only copy is deleted too";
    EXPECT_FALSE(extractor.extract("c.txt").has_value()) << "no archive is open any more";

    std::optional<std::string> c;
    {
        RarExtractor other(cache);
        ASSERT_TRUE(other.openArchive(archive));
        c = other.extract("c.txt");
        ASSERT_TRUE(c.has_value());
        EXPECT_TRUE(fileExists(*c));
    }
    EXPECT_FALSE(fileExists(*c)) << "destruction deletes the copy";
    EXPECT_TRUE(fileExists(archive));
}

TEST_P(RarExtractorTest, ArchiveThatCannotBeOpenedOrMemberItDoesNotHoldGivesNothing)
{
    std::string archive = save(writer().file("readme.txt", "readme"));
    std::string notAnArchive = scratch + "\\plain.rar";
    ASSERT_TRUE(testing_support::writeFile(notAnArchive, "just text, no archive"));
    RarExtractor extractor(cache);

    EXPECT_FALSE(extractor.openArchive(scratch + "\\missing.rar"));
    EXPECT_FALSE(extractor.extract("readme.txt").has_value());
    EXPECT_FALSE(extractor.openArchive(notAnArchive));
    EXPECT_FALSE(extractor.extract("readme.txt").has_value());

    ASSERT_TRUE(extractor.openArchive(archive));
    EXPECT_FALSE(extractor.extract("absent.txt").has_value());
    EXPECT_TRUE(folderEntries(extractions).empty());
}

// The library's failure is not reported as a copy to open.
TEST_P(RarExtractorTest, MemberTheLibraryCannotExtractGivesNothing)
{
    std::string archive = save(writer()
                                   .compressedFile("packed.txt", "not really packed")
                                   .fileWithBadCrc("broken.txt", "damaged content")
                                   .folder("folder"));
    RarExtractor extractor(cache);

    for (const char* member : {"packed.txt", "broken.txt", "folder"}) {
        ASSERT_TRUE(extractor.openArchive(archive));
        EXPECT_FALSE(extractor.extract(member).has_value()) << member;
        EXPECT_TRUE(folderEntries(extractions).empty()) << member;
    }
}

// The library tells of its progress; a stop asked meanwhile breaks the extraction off.
TEST_P(RarExtractorTest, AStopBreaksAnExtractionOffAndLeavesNoPartialCopy)
{
    std::string archive = save(writer().file("long.txt", std::string(500, 'l')));
    testing_support::SlowExtractionScope slow(5, false);  // two and a half seconds unless broken off
    StopSignal stop;
    RarExtractor extractor(cache);
    extractor.setStopSignal(&stop);
    ASSERT_TRUE(extractor.openArchive(archive));
    std::thread stopper([&] {
        Sleep(100);
        stop.requestStop();
    });

    DWORD start = GetTickCount();
    EXPECT_FALSE(extractor.extract("long.txt").has_value());
    DWORD took = GetTickCount() - start;
    stopper.join();

    EXPECT_LT(took, 1500u);
    EXPECT_TRUE(folderEntries(extractions).empty()) << "the partial copy stayed";
}

// The library reads names in the OEM code page, the system uses the ANSI one.
TEST_P(RarExtractorTest, NonAsciiNameIsMatchedAndWrittenInTheSystemCodePage)
{
    const wchar_t* wide = L"r\u00e9sum\u00e9.txt";
    char ansi[32] = "";
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, sizeof ansi, nullptr, &lossy);
    if (lossy || GetACP() == CP_UTF8 || GetACP() == GetOEMCP())
        GTEST_SKIP() << "needs different single-byte ANSI and OEM code pages holding e-acute";

    std::string archive = save(writer().file("r\xC3\xA9sum\xC3\xA9.txt", "cv"));
    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));

    std::optional<std::string> path = extractor.extract(ansi);

    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(folderOf(*path) + ansi, *path);
    EXPECT_EQ("cv", readFile(*path));
    EXPECT_EQ(std::vector<std::string>{ansi}, folderEntries(folderOf(*path)));
}

// A copy is judged as its archive would be: it carries the archive's Mark of the Web, and one that
// cannot carry the mark of an archive from the Internet is not given out.
TEST_P(RarExtractorTest, CopyCarriesTheArchivesMarkOfTheWebOrIsRefusedWithoutIt)
{
    // The copy's path fits, "<copy>:Zone.Identifier" does not.
    std::string crowded = std::string(MAX_PATH - 9 - (extractions.size() + 9) - 4, 'c') + ".txt";
    std::string archive = save(writer().file("readme.txt", "readme").file(crowded, "crowded"));
    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));
    std::optional<std::string> local = extractor.extract(crowded);
    ASSERT_TRUE(local.has_value()) << "a local archive's copy needs no mark";
    EXPECT_EQ("<missing>", readFile(*local + ":Zone.Identifier"));

    const std::string mark = "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.com/\r\n"
                             "HostUrl=https://example.com/test.rar\r\n";
    ASSERT_TRUE(testing_support::writeFile(archive + ":Zone.Identifier", mark));
    ASSERT_TRUE(extractor.openArchive(archive));
    std::optional<std::string> marked = extractor.extract("readme.txt");
    ASSERT_TRUE(marked.has_value());
    EXPECT_EQ(mark, readFile(*marked + ":Zone.Identifier"));
    // An empty stream and one without a usable ZoneId are the Internet's, keeping the stream's URLs.
    const std::pair<std::string, std::string> unusable[] = {
        {"", "[ZoneTransfer]\r\nZoneId=3\r\n"},
        {"[ZoneTransfer]\r\nZoneId=-1\r\nHostUrl=https://h/a.rar\r\n", "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://h/a.rar\r\n"}};
    for (const auto& [stream, expected] : unusable) {
        ASSERT_TRUE(testing_support::writeFile(archive + ":Zone.Identifier", stream));
        ASSERT_TRUE(extractor.openArchive(archive));
        std::optional<std::string> copy = extractor.extract("readme.txt");
        ASSERT_TRUE(copy.has_value());
        EXPECT_EQ(expected, readFile(*copy + ":Zone.Identifier")) << stream;
    }
    EXPECT_FALSE(extractor.extract(crowded).has_value());
    EXPECT_TRUE(folderEntries(extractions).empty()) << "the unmarked copy was removed";
}

INSTANTIATE_TEST_SUITE_P(Formats, RarExtractorTest, testing::Values(RarFormat::Rar4, RarFormat::Rar5), FormatName());

class RarCacheFolderTest : public RarFolders {};

TEST_F(RarCacheFolderTest, SlashIsAppendedUnlessTheFolderEndsInASeparator)
{
    std::string archive = save(RarWriter(RarFormat::Rar4).file("readme.txt", "readme"));
    const struct {
        std::string folder;
        std::string expected;
    } cases[] = {
        {cache, cache + "/Vog\\"},
        {cache + "\\", cache + "\\Vog\\"},
        {cache + "/", cache + "/Vog\\"},
    };
    for (const auto& c : cases) {
        RarExtractor extractor(c.folder);
        ASSERT_TRUE(extractor.openArchive(archive));
        std::optional<std::string> path = extractor.extract("readme.txt");
        ASSERT_TRUE(path.has_value()) << c.folder;
        EXPECT_EQ(c.expected, path->substr(0, c.expected.size()));
        EXPECT_EQ("readme", readFile(*path));
    }
}

TEST_F(RarCacheFolderTest, WithoutAFolderNothingIsExtracted)
{
    std::string archive = save(RarWriter(RarFormat::Rar4).file("readme.txt", "readme"));
    testing_support::CurrentFolderScope inScratch(scratch);
    for (const std::string& folder : {std::string(), "C:\\" + std::string(MAX_PATH, 'x')}) {
        RarExtractor extractor(folder);
        ASSERT_TRUE(extractor.openArchive(archive));
        EXPECT_FALSE(extractor.extract("readme.txt").has_value()) << folder.size();
    }
    EXPECT_FALSE(fileExists(scratch + "\\readme.txt")) << "nothing lands in the current folder";
}

TEST_F(RarCacheFolderTest, DefaultIsThePlatformsInternetCache)
{
    std::string folder = RarExtractor::internetCacheFolder();
    ASSERT_FALSE(folder.empty());
    std::string name = testing_support::uniqueName("member") + ".txt";
    std::string archive = save(RarWriter(RarFormat::Rar5).file(name, "cached"));
    RarExtractor extractor;
    ASSERT_TRUE(extractor.openArchive(archive));

    std::optional<std::string> path = extractor.extract(name);

    ASSERT_TRUE(path.has_value());
    char last = folder.back();
    std::string expected = folder + (last == '\\' || last == '/' ? "" : "/") + "Vog\\";
    EXPECT_EQ(expected, path->substr(0, expected.size()));
    EXPECT_EQ("cached", readFile(*path));
    extractor.closeArchive();
    EXPECT_FALSE(fileExists(*path));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folderOf(*path).c_str())) << "its folder goes too";
}

TEST_F(RarCacheFolderTest, AnArchiveWithoutAMarkGivesItsCopyTheZoneOfItsLocation)
{
    std::string archive = "\\\\?\\" + save(RarWriter(RarFormat::Rar4).file("readme.txt", "readme"));
    IInternetSecurityManager* zones = nullptr;
    ASSERT_EQ(S_OK, CoInternetCreateSecurityManager(nullptr, &zones, 0));
    DWORD zone = 0;
    std::wstring wide(archive.begin(), archive.end());
    zones->MapUrlToZone(wide.c_str(), &zone, MUTZ_ISFILE);
    zones->Release();
    if (zone != URLZONE_INTERNET)
        GTEST_SKIP() << "the platform's zone manager puts " << archive << " into zone " << zone;

    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));
    std::optional<std::string> path = extractor.extract("readme.txt");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ("[ZoneTransfer]\r\nZoneId=3\r\n", readFile(*path + ":Zone.Identifier"));
    // The archive's own "Local Machine" stream does not outweigh its location.
    ASSERT_TRUE(testing_support::writeFile(archive + ":Zone.Identifier", "[ZoneTransfer]\r\nZoneId=0\r\n"));
    ASSERT_TRUE(extractor.openArchive(archive));
    path = extractor.extract("readme.txt");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ("[ZoneTransfer]\r\nZoneId=3\r\n", readFile(*path + ":Zone.Identifier"));
}

// A running request's folder is left by another request's sweep however old, and when another
// folder has been put in its place by the time of the deletion (Windows refuses to move the held
// folder, Wine does not), the path leads to that folder, whose files stay.
TEST_F(RarCacheFolderTest, ARunningRequestsFolderIsNeitherSweptNorDeletedThroughASwappedPath)
{
    std::string archive = save(RarWriter(RarFormat::Rar4).file("readme.txt", "readme"));
    std::string target;
    {
        RarExtractor running(cache);
        ASSERT_TRUE(running.openArchive(archive));
        std::optional<std::string> copy = running.extract("readme.txt");
        ASSERT_TRUE(copy.has_value());
        std::string folder = copy->substr(0, copy->rfind('\\'));
        FILETIME dayOld{0, 1};  // 1601: older than any sweep's limit
        FileHandle times(CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(SetFileTime(times.get(), nullptr, nullptr, &dayOld));
        RarExtractor other(cache);
        ASSERT_TRUE(other.openArchive(archive) && other.extract("readme.txt").has_value());
        EXPECT_EQ("readme", readFile(*copy)) << "the sweep took a running request's folder";
        if (MoveFileA(folder.c_str(), (folder + ".moved").c_str())) {
            target = folder;
            ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
            ASSERT_TRUE(testing_support::writeFile(target + "\\readme.txt", "target"));
        }
    }
    EXPECT_TRUE(target.empty() || readFile(target + "\\readme.txt") == "target");
}

// Copies left to viewers that may have handed them on go a day later, once nothing holds them.
TEST_F(RarCacheFolderTest, ExtractionsSweepDayOldFoldersThatNothingUses)
{
    CreateDirectoryA(extractions.c_str(), nullptr);
    auto leftover = [&](const std::string& name, ULONGLONG hoursOld) {
        std::string folder = extractions + name, copy = folder + "\\copy.txt";
        CreateDirectoryA(folder.c_str(), nullptr);
        testing_support::writeFile(copy, "left");
        SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_READONLY);
        ULARGE_INTEGER time;
        GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&time));
        time.QuadPart -= hoursOld * 3600 * 10000000;
        FileHandle handle(CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        EXPECT_TRUE(SetFileTime(handle.get(), nullptr, nullptr, reinterpret_cast<FILETIME*>(&time)));
        return copy;
    };
    std::string stale = leftover("stale", 25), busy = leftover("busy", 25), fresh = leftover("fresh", 23);
    FileHandle held(CreateFileA(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    std::string archive = save(RarWriter(RarFormat::Rar4).file("readme.txt", "readme"));
    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));

    ASSERT_TRUE(extractor.extract("readme.txt").has_value());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((extractions + "stale").c_str()));
    EXPECT_EQ("left", readFile(busy)) << "a copy in use stays";
    EXPECT_EQ("left", readFile(fresh));
}

TEST_F(RarCacheFolderTest, ArchivePathOverTheBufferIsRefusedNotCut)
{
    // Cut to 511 characters this would name the archive itself: trailing spaces are dropped.
    std::string archive = save(RarWriter(RarFormat::Rar4).file("readme.txt", "readme"));
    RarExtractor extractor(cache);

    EXPECT_FALSE(extractor.openArchive(archive + std::string(600, ' ')));
    EXPECT_FALSE(extractor.extract("readme.txt").has_value());
}

}  // namespace
