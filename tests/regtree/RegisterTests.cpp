// The registry cursor against the real registry: moving by path, failed descents, typed reads,
// enumeration limits and recursive deletion.
#include "regtree/Register.h"

#include "support/RegistrySupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

using namespace testing_support;
using Vantor::Access;
using Vantor::Register;
using Vantor::ValueKind;

namespace {

class RegisterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = freshTestKey("register");
        ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, base, "marker", "base"));
    }
    void TearDown() override { deleteKey(HKEY_LOCAL_MACHINE, base); }

    std::string at(const std::string& sub) const { return base + "\\" + sub; }

    std::string base;
};

std::vector<std::string> valueNames(const Register& reg)
{
    std::vector<std::string> names;
    reg.valueNames(names);
    return names;
}

}  // namespace

TEST_F(RegisterTest, ConstructorOpensRootOrPathAndRaisesWithTheTypeName)
{
    Register atRoot(HKEY_LOCAL_MACHINE, nullptr, Access::read);
    EXPECT_EQ("", atRoot.path());
    std::vector<std::string> subs;
    atRoot.subNames(subs);
    EXPECT_NE(subs.end(), std::find(subs.begin(), subs.end(), "Software"));
    EXPECT_TRUE(atRoot.toParent());  // at the root, the parent is the root
    EXPECT_EQ("", atRoot.path());
    atRoot.subNames(subs);
    EXPECT_NE(subs.end(), std::find(subs.begin(), subs.end(), "Software"));

    Register atBase(HKEY_LOCAL_MACHINE, base.c_str(), Access::change);
    EXPECT_EQ(base, atBase.path());
    std::string text;
    EXPECT_TRUE(atBase.readText("marker", text));
    EXPECT_EQ("base", text);

    try {
        Register missing(HKEY_LOCAL_MACHINE, at("missing").c_str(), Access::change);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ("class Vantor::Register", error.what());
    }
}

TEST_F(RegisterTest, DescendsByNameAndClimbsOnePathComponentAtATime)
{
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("a\\b"), "marker", "b"));
    Register reg(HKEY_LOCAL_MACHINE, nullptr, Access::change);
    EXPECT_FALSE(reg.openSub(""));
    EXPECT_TRUE(reg.atKey());

    ASSERT_TRUE(reg.openSub(base.c_str()));  // several components in one step
    ASSERT_TRUE(reg.openSub("a\\b"));
    EXPECT_EQ(base + "\\a\\b", reg.path());
    ASSERT_TRUE(reg.toParent());
    EXPECT_EQ(base + "\\a", reg.path());
    ASSERT_TRUE(reg.toParent());
    std::string text;
    EXPECT_TRUE(reg.readText("marker", text));
    EXPECT_EQ("base", text);

    // createSub makes missing levels; an empty name stays on the key, and the trailing backslash
    // it adds to the path is what the next toParent removes.
    ASSERT_TRUE(reg.createSub("x\\y"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, at("x\\y")));
    ASSERT_TRUE(reg.createSub(""));
    EXPECT_EQ(base + "\\x\\y\\", reg.path());
    EXPECT_TRUE(reg.writeNumber("n", 7));
    ASSERT_TRUE(reg.toParent());
    EXPECT_EQ(base + "\\x\\y", reg.path());
    std::uint32_t n = 0;
    EXPECT_TRUE(reg.readNumber("n", n));
    EXPECT_EQ(7u, n);
}

TEST_F(RegisterTest, DescendKeepsTheKeyItLeavesAndAscendReturnsToItWithoutReopening)
{
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("a\\b"), "marker", "b"));
    Register reg(HKEY_LOCAL_MACHINE, base.c_str(), Access::change);
    const HKEY baseKey = reg.currentKey();

    Register::Mark mark;
    // What cannot be entered leaves the cursor where it stood, key and path.
    EXPECT_FALSE(reg.descend("missing", false, mark));
    EXPECT_FALSE(reg.descend("", true, mark));
    EXPECT_FALSE(reg.descend(nullptr, false, mark));
    EXPECT_EQ(baseKey, reg.currentKey());
    EXPECT_EQ(base, reg.path());

    // A nested name goes down two levels and comes back in one step, to the same open key.
    ASSERT_TRUE(reg.descend("a\\b", false, mark));
    EXPECT_EQ(at("a\\b"), reg.path());
    std::string text;
    EXPECT_TRUE(reg.readText("marker", text));
    EXPECT_EQ("b", text);
    Register::Mark inner;
    ASSERT_TRUE(reg.descend("made", true, inner));
    EXPECT_TRUE(reg.writeText("string.x", "y"));
    reg.ascend(inner);
    reg.ascend(mark);
    EXPECT_EQ(baseKey, reg.currentKey());
    EXPECT_EQ(base, reg.path());
    EXPECT_TRUE(reg.readText("marker", text));
    EXPECT_EQ("base", text);
    RawValue made = rawValue(HKEY_LOCAL_MACHINE, at("a\\b\\made"), "string.x");
    EXPECT_TRUE(made.found);
    EXPECT_EQ(std::string("y", 2), made.data);

    // A cursor that lost its key stays without one.
    EXPECT_FALSE(reg.openSub("missing"));
    EXPECT_FALSE(reg.descend("a", true, mark));
    EXPECT_FALSE(reg.atKey());
}

TEST_F(RegisterTest, AfterFailedDescentsNothingWorksUntilToParentClimbsAboveTheStart)
{
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("child"), "marker", "child"));
    Register reg(HKEY_LOCAL_MACHINE, at("child").c_str(), Access::change);

    EXPECT_FALSE(reg.openSub("missing"));
    EXPECT_FALSE(reg.atKey());
    EXPECT_EQ(at("child"), reg.path());
    EXPECT_TRUE(valueNames(reg).empty());
    EXPECT_EQ(ValueKind::absent, reg.valueKind("marker"));
    std::string text = "untouched";
    EXPECT_FALSE(reg.readText("marker", text));
    EXPECT_EQ("untouched", text);
    EXPECT_FALSE(reg.writeText("late", "x"));
    EXPECT_FALSE(reg.createSub("new"));  // a second failed descent
    EXPECT_FALSE(reg.openSub("marker"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, at("child\\new")));
    EXPECT_EQ(at("child"), reg.path());

    ASSERT_TRUE(reg.toParent());  // the parent of the key the failed descent started from
    EXPECT_EQ(base, reg.path());
    EXPECT_TRUE(reg.readText("marker", text));
    EXPECT_EQ("base", text);

    EXPECT_FALSE(reg.reopen(HKEY_LOCAL_MACHINE, at("missing").c_str()));
    EXPECT_FALSE(reg.atKey());
    EXPECT_EQ("", reg.path());
    ASSERT_TRUE(reg.reopen(HKEY_LOCAL_MACHINE, at("child").c_str()));
    EXPECT_TRUE(reg.readText("marker", text));
    EXPECT_EQ("child", text);
}

TEST_F(RegisterTest, ReadsCheckTheRegistryType)
{
    const std::string embedded("ab\0cd", 6);
    const std::string longText(3000, 'L');
    const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const unsigned char nine[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, base, "sz", "5"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, base, "expand", "%TEMP%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, base, "embedded", REG_SZ, embedded.data(), 6));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, base, "long", longText));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, base, "dword", 0xfffffffe));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, base, "eight", REG_BINARY, eight, 8));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, base, "nine", REG_BINARY, nine, 9));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, base, "multi", REG_MULTI_SZ, "a\0b\0", 5));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, base, "none", REG_NONE, "", 0));

    Register reg(HKEY_LOCAL_MACHINE, base.c_str(), Access::change);
    EXPECT_EQ(ValueKind::text, reg.valueKind("expand"));
    EXPECT_EQ(ValueKind::other, reg.valueKind("multi"));
    EXPECT_EQ(ValueKind::other, reg.valueKind("none"));
    EXPECT_EQ(ValueKind::absent, reg.valueKind("missing"));

    std::uint32_t number = 42;
    EXPECT_FALSE(reg.readNumber("sz", number));
    EXPECT_FALSE(reg.readNumber("eight", number));
    EXPECT_EQ(42u, number);
    EXPECT_TRUE(reg.readNumber("dword", number));
    EXPECT_EQ(0xfffffffeu, number);

    std::string text = "untouched";
    EXPECT_FALSE(reg.readText("dword", text));
    EXPECT_FALSE(reg.readText("multi", text));
    EXPECT_EQ("untouched", text);
    EXPECT_TRUE(reg.readText("expand", text));
    EXPECT_EQ("%TEMP%\\x", text);
    EXPECT_TRUE(reg.readText("embedded", text));
    EXPECT_EQ("ab", text);
    EXPECT_TRUE(reg.readText("long", text));
    EXPECT_EQ(longText, text);

    unsigned char buffer[8] = {};
    EXPECT_FALSE(reg.readBinary("nine", buffer, sizeof buffer));
    EXPECT_FALSE(reg.readBinary("sz", buffer, sizeof buffer));
    EXPECT_TRUE(reg.readBinary("eight", buffer, sizeof buffer));
    EXPECT_EQ(0, memcmp(eight, buffer, 8));
}

TEST_F(RegisterTest, EnumerationEndsAtANameLongerThan255Characters)
{
    // Written in name order, so that Windows (written order) and Wine (sorted) list them alike.
    const std::string longName = "b" + std::string(299, 'x');
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("e"), "a", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("e"), longName, 2));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("e"), "c", 3));
    const std::string name255(255, 'n');
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("f"), name255, 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("f\\sub1"), "v", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("f\\sub2"), "v", 1));

    Register reg(HKEY_LOCAL_MACHINE, at("e").c_str(), Access::change);
    EXPECT_EQ(std::vector<std::string>{"a"}, valueNames(reg));
    ASSERT_TRUE(reg.reopen(HKEY_LOCAL_MACHINE, at("f").c_str()));
    EXPECT_EQ(std::vector<std::string>{name255}, valueNames(reg));
    std::vector<std::string> subs;
    reg.subNames(subs);
    EXPECT_EQ((std::vector<std::string>{"sub1", "sub2"}), subs);
}

TEST_F(RegisterTest, ClearValuesPassesOverWhatItCannotNameAndAlwaysEnds)
{
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("k\\one"), "v", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("k"), "a", 1));
    // A name the 255-character buffer cannot hold: it cannot be named, so it stays, but the values
    // listed after it are still deleted.
    const std::string longName = "b" + std::string(299, 'x');
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("k"), longName, 2));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("k"), "c", 3));

    Register reg(HKEY_LOCAL_MACHINE, at("k").c_str(), Access::change);
    reg.clearValues();
    EXPECT_TRUE(reg.atKey());
    EXPECT_EQ(at("k"), reg.path());
    EXPECT_EQ(std::vector<std::string>{longName}, valueNamesOf(HKEY_LOCAL_MACHINE, at("k")));
    EXPECT_EQ(std::vector<std::string>{"one"}, subkeysOf(HKEY_LOCAL_MACHINE, at("k"))) << "subkeys stay";
    EXPECT_EQ(std::vector<std::string>{"marker"}, valueNamesOf(HKEY_LOCAL_MACHINE, base));
}

TEST_F(RegisterTest, DeleteSubRemovesTheSubtreeAndKeepsThePosition)
{
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("gone\\x\\y\\z"), "v", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("gone\\w"), "v", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("kept"), "v", 1));
    Register reg(HKEY_LOCAL_MACHINE, base.c_str(), Access::change);

    EXPECT_TRUE(reg.deleteSub("gone"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, at("gone")));
    EXPECT_EQ(std::vector<std::string>{"kept"}, subkeysOf(HKEY_LOCAL_MACHINE, base));
    EXPECT_FALSE(reg.deleteSub("gone"));
    EXPECT_FALSE(reg.deleteSub(""));  // never the current key itself
    EXPECT_TRUE(reg.atKey());
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, base));
    EXPECT_EQ(std::vector<std::string>{"marker"}, valueNames(reg));
}
