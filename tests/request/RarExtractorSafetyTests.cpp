// Member names are the caller's text, and the extracted copy is deleted later: hostile names must
// neither write nor delete anything outside the cache folder. The archives really hold members of
// these names, so an extractor that trusted them would find and write them.
#include "request/RarExtractor.h"

#include "RarFixture.h"

#include <algorithm>

using namespace rar_test;

namespace {

class RarSafetyTest : public RarTest {
protected:
    RarSafetyTest() { testing_support::writeFile(sentinel, "sentinel"); }

    // Extracts every name from a fresh archive holding all of them; none may give a path.
    void expectRefused(const std::vector<std::string>& names)
    {
        RarWriter archiveWriter = writer();
        for (const std::string& name : names)
            archiveWriter.file(name, "hostile");
        std::string archive = save(archiveWriter);

        testing_support::CurrentFolderScope inScratch(scratch);  // where "C:sentinel.txt" points
        for (const std::string& name : names) {
            RarExtractor extractor(cache);
            ASSERT_TRUE(extractor.openArchive(archive));
            std::optional<std::string> path = extractor.extract(name);
            EXPECT_FALSE(path.has_value()) << name << " gave " << path.value_or("");
            extractor.closeArchive();
            EXPECT_EQ("sentinel", readFile(sentinel)) << name;
            EXPECT_TRUE(folderEntries(cache).empty()) << name;
        }
        std::vector<std::string> left = folderEntries(scratch);
        std::sort(left.begin(), left.end());
        EXPECT_EQ((std::vector<std::string>{"cache", "sentinel.txt", "test.rar"}), left);
    }

    const std::string sentinel = scratch + "\\sentinel.txt";
};

TEST_P(RarSafetyTest, TraversalIsRefused)
{
    expectRefused({"..\\sentinel.txt", "docs\\..\\..\\sentinel.txt", ".\\..\\sentinel.txt", "...\\x.txt"});
}

TEST_P(RarSafetyTest, AbsoluteDriveAndUncNamesAreRefused)
{
    std::string withoutDrive = sentinel.substr(2);
    expectRefused({
        sentinel,                              // C:\...\sentinel.txt
        withoutDrive,                          // \...\sentinel.txt, from the current drive's root
        "C:sentinel.txt",                      // relative to the current folder of drive C:
        "\\\\?\\" + sentinel,                  // \\?\C:\...
        "\\\\localhost\\C$" + withoutDrive,    // UNC
    });
}

TEST_P(RarSafetyTest, DeviceNamesStreamsAndReservedCharactersAreRefused)
{
    expectRefused({"CON", "nul.txt", "docs\\COM1.txt", "AUX ", "lpt9.log", "readme.txt:hidden", "a*.txt",
                   "what?.txt", "tab\t.txt", "COM0", "lpt0.txt", "a.txt.", "a.txt ", "docs.\\a.txt"});
}

// Cut to the 260-byte buffer, the over-long name would name another file.
TEST_P(RarSafetyTest, NameOverTheDestinationBufferIsRefusedNotCut)
{
    size_t room = MAX_PATH - 1 - (extractions.size() + 9);  // characters left after "cache/Vog\<folder>\"
    std::string tooLong = std::string(room, 'a') + ".txt";
    std::string fits = std::string(room, 'b');
    std::string archive = save(writer().file(tooLong, "long").file(fits, "fits").file(fits + "b", "longer"));
    RarExtractor extractor(cache);

    ASSERT_TRUE(extractor.openArchive(archive));
    EXPECT_FALSE(extractor.extract(tooLong).has_value());
    EXPECT_FALSE(extractor.extract(fits + "b").has_value());
    extractor.closeArchive();
    EXPECT_TRUE(folderEntries(extractions).empty());

    ASSERT_TRUE(extractor.openArchive(archive));
    std::optional<std::string> path = extractor.extract(fits);
    ASSERT_TRUE(path.has_value()) << "a destination of 259 characters fits";
    EXPECT_EQ(MAX_PATH - 1, path->size());
    EXPECT_EQ("fits", readFile(*path));
}

INSTANTIATE_TEST_SUITE_P(Formats, RarSafetyTest, testing::Values(RarFormat::Rar4, RarFormat::Rar5), FormatName());

}  // namespace
