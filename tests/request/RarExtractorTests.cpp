// Extracting members through the stand-in library: matching names, where the copy goes, and how
// long it lives.
#include "request/RarExtractor.h"

#include "RarFixture.h"

using namespace rar_test;
using testing_support::fileExists;

namespace {

class RarExtractorTest : public RarTest {};

TEST_P(RarExtractorTest, MemberIsFoundWhateverItsCaseAndWrittenInTheRequestsCase)
{
    std::string archive = save(writer().file("other.txt", "other").file("readme.txt", "the readme"));
    RarExtractor extractor(cache);
    ASSERT_TRUE(extractor.openArchive(archive));

    std::optional<std::string> path = extractor.extract("Readme.TXT");

    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(cache + "/Readme.TXT", *path);
    EXPECT_EQ("the readme", readFile(*path));
    EXPECT_EQ(std::vector<std::string>{"Readme.TXT"}, folderEntries(cache));
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
    EXPECT_TRUE(folderEntries(cache).empty());

    ASSERT_TRUE(extractor.openArchive(archive));
    std::optional<std::string> path = extractor.extract("DOCS\\Guide.txt");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(cache + "/DOCS\\Guide.txt", *path);
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
    EXPECT_TRUE(folderEntries(cache).empty());
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
        EXPECT_TRUE(folderEntries(cache).empty()) << member;
    }
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
    EXPECT_EQ(cache + "/" + ansi, *path);
    EXPECT_EQ("cv", readFile(*path));
    EXPECT_EQ(std::vector<std::string>{ansi}, folderEntries(cache));
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
        {cache, cache + "/readme.txt"},
        {cache + "\\", cache + "\\readme.txt"},
        {cache + "/", cache + "/readme.txt"},
    };
    for (const auto& c : cases) {
        RarExtractor extractor(c.folder);
        ASSERT_TRUE(extractor.openArchive(archive));
        std::optional<std::string> path = extractor.extract("readme.txt");
        ASSERT_TRUE(path.has_value()) << c.folder;
        EXPECT_EQ(c.expected, *path);
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
    EXPECT_EQ(folder + (last == '\\' || last == '/' ? "" : "/") + name, *path);
    EXPECT_EQ("cached", readFile(*path));
    extractor.closeArchive();
    EXPECT_FALSE(fileExists(*path));
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
