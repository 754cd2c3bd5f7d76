// WatchSpec: the change filter built from the flags, and the matching rule (letter case of
// A to Z ignored, subtree prefixes ending at a separator).
#include "winsys/WatchSpec.h"

#include <gtest/gtest.h>

namespace {

bool matches(const std::string& a, bool subtree, const std::string& b)
{
    return WatchSpec(a, nullptr, WatchSpec::watchAll, subtree).matches(WatchSpec(b, nullptr, WatchSpec::watchAll, false));
}

DWORD filterOf(unsigned char flags)
{
    return WatchSpec("C:\\a", nullptr, flags, false).changeFilter;
}

}  // namespace

TEST(WatchSpec, FlagsChooseTheChangeClasses)
{
    EXPECT_EQ(filterOf(255), static_cast<DWORD>(FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME));
    EXPECT_EQ(filterOf(2), static_cast<DWORD>(FILE_NOTIFY_CHANGE_FILE_NAME));
    EXPECT_EQ(filterOf(4), static_cast<DWORD>(FILE_NOTIFY_CHANGE_DIR_NAME));
    EXPECT_EQ(filterOf(1 | 8 | 16 | 128), 0u);
}

TEST(WatchSpec, EqualPathsMatchIgnoringTheCaseOfAToZOnly)
{
    for (bool subtree : {false, true}) {
        EXPECT_TRUE(matches("C:\\Program Files\\Vog", subtree, "c:\\PROGRAM FILES\\vog")) << subtree;
        EXPECT_TRUE(matches("c:\\program files\\vog", subtree, "C:\\Program Files\\Vog")) << subtree;
    }
    // 0xC9/0xE9 are upper and lower case of one letter in the western code pages: compared as they are.
    EXPECT_FALSE(matches("C:\\\xC9t\xE9", false, "C:\\\xE9t\xE9"));
    EXPECT_TRUE(matches("C:\\\xC9T\xE9", false, "c:\\\xC9t\xE9"));
    // Neighbours of the letters that case folding by bit tricks would confuse.
    EXPECT_FALSE(matches("C:\\@", false, "C:\\`"));
    EXPECT_FALSE(matches("C:\\[", false, "C:\\{"));
    // Long paths compare in full.
    EXPECT_TRUE(matches("C:\\" + std::string(400, 'a'), false, "c:\\" + std::string(400, 'A')));
    EXPECT_FALSE(matches("C:\\" + std::string(400, 'a'), false, "C:\\" + std::string(401, 'a')));
}

TEST(WatchSpec, OnlySubtreeMatchesLongerPathsAndOnlyAtASeparator)
{
    EXPECT_FALSE(matches("C:\\docs", false, "C:\\docs\\old"));
    EXPECT_FALSE(matches("E:", false, "E:\\docs"));
    EXPECT_TRUE(matches("E:", true, "E:\\docs"));
    EXPECT_TRUE(matches("E:", true, "e:\\docs\\old"));
    EXPECT_TRUE(matches("E", true, "e:"));
    EXPECT_TRUE(matches("C:\\" + std::string(400, 'a'), true, "C:\\" + std::string(400, 'a') + "\\b"));
    EXPECT_FALSE(matches("E:", true, "E:x"));
    EXPECT_FALSE(matches("E:", true, "D:\\docs"));
    EXPECT_FALSE(matches("C:\\docs", true, "C:\\docsold"));
    // A trailing backslash ends the prefix: the next character of the other path is a letter.
    EXPECT_FALSE(matches("C:\\docs\\", true, "C:\\docs\\old"));
    // The shorter path is the other's: no match either way.
    EXPECT_FALSE(matches("E:\\docs", false, "E:"));
    EXPECT_FALSE(matches("E:\\docs", true, "E:"));
}
