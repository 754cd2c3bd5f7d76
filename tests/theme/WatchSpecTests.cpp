// Watch specifications: the change filter built from the flags, and the matching rule (letter case of
// A to Z ignored, subtree prefixes ending at a separator).
#include "theme/WatchSpec.h"

#include <gtest/gtest.h>

namespace {

WatchSpec spec(const std::string& path, bool subtree = false)
{
    return WatchSpec(path, nullptr, WatchSpec::watchAll, subtree);
}

}  // namespace

TEST(WatchSpec, FlagsChooseTheChangeClasses)
{
    EXPECT_EQ(WatchSpec("C:\\a", nullptr, 255, false).changeFilter,
              static_cast<DWORD>(FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME));
    EXPECT_EQ(WatchSpec("C:\\a", nullptr, 2, false).changeFilter, static_cast<DWORD>(FILE_NOTIFY_CHANGE_FILE_NAME));
    EXPECT_EQ(WatchSpec("C:\\a", nullptr, 4, false).changeFilter, static_cast<DWORD>(FILE_NOTIFY_CHANGE_DIR_NAME));
    EXPECT_EQ(WatchSpec("C:\\a", nullptr, 1 | 8 | 16 | 128, false).changeFilter, 0u);
}

TEST(WatchSpec, PathsDifferingInLetterCaseMatchWhateverTheSubtreeFlags)
{
    for (bool a : {false, true})
        for (bool b : {false, true}) {
            EXPECT_TRUE(spec("C:\\Program Files\\Vog", a).matches(spec("c:\\PROGRAM FILES\\vog", b))) << a << b;
            EXPECT_TRUE(spec("c:\\program files\\vog", a).matches(spec("C:\\Program Files\\Vog", b))) << a << b;
        }
    EXPECT_TRUE(spec("").matches(spec("")));
}

TEST(WatchSpec, OnlyTheLettersAToZIgnoreCase)
{
    // 0xC9/0xE9 are an upper and lower case letter in the western code pages: compared as they are.
    EXPECT_FALSE(spec("C:\\\xC9t\xE9").matches(spec("C:\\\xE9t\xE9")));
    EXPECT_TRUE(spec("C:\\\xC9T\xE9").matches(spec("c:\\\xC9t\xE9")));
    // '@' and '`' sit next to the letters; folding by bit tricks would make them equal to others.
    EXPECT_FALSE(spec("C:\\@").matches(spec("C:\\`")));
    EXPECT_FALSE(spec("C:\\[").matches(spec("C:\\{")));
}

TEST(WatchSpec, WithoutSubtreeOnlyEqualPathsMatch)
{
    EXPECT_FALSE(spec("C:\\docs").matches(spec("C:\\docs\\old")));
    EXPECT_FALSE(spec("C:\\docs").matches(spec("C:\\doc")));
    EXPECT_FALSE(spec("C:\\docs").matches(spec("C:\\docs ")));
    EXPECT_FALSE(spec("E:").matches(spec("E:\\docs")));
}

TEST(WatchSpec, SubtreeMatchesLongerPathsContinuingWithASeparator)
{
    EXPECT_TRUE(spec("E:", true).matches(spec("E:\\docs")));
    EXPECT_TRUE(spec("E:", true).matches(spec("e:\\docs\\old")));
    EXPECT_TRUE(spec("C:\\Docs", true).matches(spec("c:\\docs\\old\\x")));
    EXPECT_TRUE(spec("E", true).matches(spec("e:")));
    EXPECT_FALSE(spec("E:", true).matches(spec("E:x")));
    EXPECT_FALSE(spec("E:", true).matches(spec("D:\\docs")));
    EXPECT_FALSE(spec("C:\\docs", true).matches(spec("C:\\docsold")));
    // A trailing backslash ends the prefix: the next character of the other path is a letter.
    EXPECT_FALSE(spec("C:\\docs\\", true).matches(spec("C:\\docs\\old")));
}

TEST(WatchSpec, AShorterOtherPathNeverMatches)
{
    EXPECT_FALSE(spec("E:\\docs").matches(spec("E:")));
    EXPECT_FALSE(spec("E:\\docs", true).matches(spec("E:")));
    EXPECT_FALSE(spec("E:\\docs\\old", true).matches(spec("e:\\docs", true)));
}

TEST(WatchSpec, LongPathsCompareInFull)
{
    std::string base = "C:\\" + std::string(400, 'a');
    EXPECT_TRUE(spec(base, true).matches(spec(base + "\\b")));
    EXPECT_TRUE(spec(base).matches(spec("c:\\" + std::string(400, 'A'))));
    EXPECT_FALSE(spec(base).matches(spec(base + "a")));
}
