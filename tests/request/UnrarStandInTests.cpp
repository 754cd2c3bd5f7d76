// The stand-in library behaves as the vendor's library is documented to, on the archives the writer
// makes: the extractor tests above are only as good as this.
#include "request/UnrarApi.h"

#include "RarFixture.h"

using namespace rar_test;

namespace {

template <typename Proc>
Proc entry(HMODULE library, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

class UnrarStandInTest : public RarTest {
protected:
    UnrarStandInTest()
    {
        std::string path = testing_support::unrarStandInFolder(testing_support::UnrarStandIn::Full) + "\\unrar.dll";
        library = LoadLibraryA(path.c_str());
        openArchive = entry<RAROpenArchiveProc>(library, "RAROpenArchive");
        closeArchive = entry<RARCloseArchiveProc>(library, "RARCloseArchive");
        readHeader = entry<RARReadHeaderProc>(library, "RARReadHeader");
        processFile = entry<RARProcessFileProc>(library, "RARProcessFile");
    }
    ~UnrarStandInTest() override { FreeLibrary(library); }

    // Opens path; the handle (NULL on failure) and the open result.
    HANDLE open(const std::string& path, unsigned int mode, unsigned int* result)
    {
        std::string name = path;
        RAROpenArchiveData data{};
        data.ArcName = name.data();
        data.OpenMode = mode;
        HANDLE handle = openArchive(&data);
        *result = data.OpenResult;
        return handle;
    }

    HMODULE library = nullptr;
    RAROpenArchiveProc openArchive = nullptr;
    RARCloseArchiveProc closeArchive = nullptr;
    RARReadHeaderProc readHeader = nullptr;
    RARProcessFileProc processFile = nullptr;
};

TEST_P(UnrarStandInTest, OpenResultsAndHeadersUntilTheRepeatedEnd)
{
    ASSERT_TRUE(library && openArchive && closeArchive && readHeader && processFile);
    unsigned int result = 99;
    EXPECT_EQ(nullptr, open(scratch + "\\missing.rar", RAR_OM_EXTRACT, &result));
    EXPECT_EQ(15u, result);
    ASSERT_TRUE(testing_support::writeFile(scratch + "\\text.rar", "no archive here"));
    EXPECT_EQ(nullptr, open(scratch + "\\text.rar", RAR_OM_EXTRACT, &result));
    EXPECT_EQ(13u, result);

    std::string archive = save(writer().folder("docs").file("docs/a.txt", "alpha").compressedFile("b.bin", "xyz"));
    HANDLE handle = open(archive, RAR_OM_LIST, &result);
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(0u, result);

    const struct {
        const char* name;
        unsigned int flags;
        unsigned int size;
        unsigned int method;
    } expected[] = {{"docs", RAR_HEADER_DIRECTORY, 0, 0x30}, {"docs\\a.txt", 0, 5, 0x30}, {"b.bin", 0, 3, 0x33}};
    for (const auto& member : expected) {
        RARHeaderData header{};
        ASSERT_EQ(0, readHeader(handle, &header)) << member.name;
        EXPECT_STREQ(member.name, header.FileName);
        EXPECT_EQ(member.flags, header.Flags & RAR_HEADER_DIRECTORY) << member.name;
        EXPECT_EQ(member.size, header.UnpSize) << member.name;
        EXPECT_EQ(member.method, header.Method) << member.name;
        EXPECT_STREQ(archive.c_str(), header.ArcName);
        EXPECT_EQ(0, processFile(handle, RAR_SKIP, nullptr, nullptr));
    }
    RARHeaderData header{};
    EXPECT_EQ(ERAR_END_ARCHIVE, readHeader(handle, &header));
    EXPECT_EQ(ERAR_END_ARCHIVE, readHeader(handle, &header));
    EXPECT_EQ(0, closeArchive(handle));
}

TEST_P(UnrarStandInTest, BrokenHeaderGivesBadData)
{
    std::string whole = writer().file("a.txt", "alpha").file("b.txt", "beta").bytes();
    std::string firstMember = writer().file("a.txt", "alpha").bytes();
    // Everything up to the second member's header, and half of that header.
    std::string archive = scratch + "\\cut.rar";
    size_t endBlock = GetParam() == RarFormat::Rar4 ? 7 : 8;
    ASSERT_TRUE(testing_support::writeFile(archive, whole.substr(0, firstMember.size() - endBlock + 12)));

    unsigned int result = 99;
    HANDLE handle = open(archive, RAR_OM_EXTRACT, &result);
    ASSERT_NE(nullptr, handle);
    RARHeaderData header{};
    EXPECT_EQ(0, readHeader(handle, &header));
    EXPECT_EQ(0, processFile(handle, RAR_SKIP, nullptr, nullptr));
    EXPECT_EQ(ERAR_BAD_DATA, readHeader(handle, &header));
    closeArchive(handle);
}

TEST_P(UnrarStandInTest, ExtractionWritesDestNameOverwritesAndRemovesBrokenOutput)
{
    std::string archive = save(writer()
                                   .file("a.txt", "alpha")
                                   .fileWithBadCrc("bad.txt", "broken")
                                   .compressedFile("packed.bin", "xyz")
                                   .file("stored\\name.txt", "by stored name"));
    std::string target = cache + "\\new\\deeper\\target.txt";
    std::string existing = cache + "\\existing.txt";
    ASSERT_TRUE(testing_support::writeFile(existing, "old content that is longer"));
    std::string destPath = cache;
    unsigned int result = 99;

    // Opened for listing, extraction only skips.
    HANDLE handle = open(archive, RAR_OM_LIST, &result);
    ASSERT_NE(nullptr, handle);
    RARHeaderData header{};
    ASSERT_EQ(0, readHeader(handle, &header));
    EXPECT_EQ(0, processFile(handle, RAR_EXTRACT, destPath.data(), target.data()));
    EXPECT_FALSE(testing_support::fileExists(target));
    closeArchive(handle);

    handle = open(archive, RAR_OM_EXTRACT, &result);
    ASSERT_NE(nullptr, handle);
    ASSERT_EQ(0, readHeader(handle, &header));
    EXPECT_EQ(0, processFile(handle, RAR_EXTRACT, destPath.data(), target.data()));
    EXPECT_EQ("alpha", readFile(target)) << "DestName wins, missing folders are made";

    ASSERT_EQ(0, readHeader(handle, &header));
    EXPECT_EQ(ERAR_BAD_DATA, processFile(handle, RAR_EXTRACT, nullptr, existing.data()));
    EXPECT_FALSE(testing_support::fileExists(existing)) << "broken output is removed";

    ASSERT_EQ(0, readHeader(handle, &header));
    ASSERT_TRUE(testing_support::writeFile(existing, "old content that is longer"));
    EXPECT_EQ(ERAR_UNKNOWN_FORMAT, processFile(handle, RAR_EXTRACT, nullptr, existing.data()));
    EXPECT_EQ("old content that is longer", readFile(existing));

    ASSERT_EQ(0, readHeader(handle, &header));
    EXPECT_EQ(0, processFile(handle, RAR_EXTRACT, destPath.data(), nullptr));
    EXPECT_EQ("by stored name", readFile(cache + "\\stored\\name.txt"));
    closeArchive(handle);

    handle = open(archive, RAR_OM_EXTRACT, &result);
    ASSERT_EQ(0, readHeader(handle, &header));
    EXPECT_EQ(0, processFile(handle, RAR_EXTRACT, nullptr, existing.data()));
    EXPECT_EQ("alpha", readFile(existing)) << "an existing file is overwritten";
    closeArchive(handle);
}

INSTANTIATE_TEST_SUITE_P(Formats, UnrarStandInTest, testing::Values(RarFormat::Rar4, RarFormat::Rar5), FormatName());

}  // namespace
