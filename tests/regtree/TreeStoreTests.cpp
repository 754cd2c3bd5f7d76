// The settings tree in the registry: the stored layout, round trips of every type and of groups,
// what loading passes over, the order of numbered elements and children, and keys that cannot be
// opened.
#include "regtree/TreeStore.h"

#include "support/RegistrySupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

class TreeStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = freshTestKey("treestore");
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    void TearDown() override
    {
        for (const std::string& link : links)
            removeBrokenLink(link);
        deleteKey(HKEY_LOCAL_MACHINE, base);
    }

    std::string at(const std::string& sub) const { return base + "\\" + sub; }

    // The calling order of the system's own users: position, save; position, load.
    void save(const Tree& tree)
    {
        RegistryTreeStore store(HKEY_LOCAL_MACHINE, base.c_str(), Vantor::Access::change);
        store.save(tree);
        EXPECT_EQ(base, store.reg().path());
    }
    void load(Tree& tree)
    {
        RegistryTreeStore store(HKEY_LOCAL_MACHINE, base.c_str(), Vantor::Access::change);
        store.load(tree);
        EXPECT_EQ(base, store.reg().path());
        EXPECT_TRUE(store.reg().atKey());
    }

    void brokenLink(const std::string& sub)
    {
        ASSERT_TRUE(makeBrokenLink(at(sub)));
        links.push_back(at(sub));
    }

    std::string base;
    std::vector<std::string> links;
};

std::vector<std::string> numberedNames(const std::string& tag, int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back(tag + "." + std::to_string(i));
    return names;
}

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

std::string bytesOf(double value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

TEST_F(TreeStoreTest, AnEmptyRootIsAnEmptyDataKeyAndEmptyGroupsLeaveAnEmptySubsKey)
{
    Tree empty;
    save(empty);
    EXPECT_EQ(std::vector<std::string>{"data"}, subkeysOf(HKEY_LOCAL_MACHINE, base));
    EXPECT_TRUE(valueNamesOf(HKEY_LOCAL_MACHINE, at("data")).empty());
    EXPECT_TRUE(subkeysOf(HKEY_LOCAL_MACHINE, at("data")).empty());

    Tree root;
    delete &root.addChild("group");  // leaves the group without children
    save(root);
    EXPECT_EQ((std::vector<std::string>{"data", "subs"}), sorted(subkeysOf(HKEY_LOCAL_MACHINE, base)));
    EXPECT_TRUE(subkeysOf(HKEY_LOCAL_MACHINE, at("subs")).empty());

    Tree loaded;
    load(loaded);
    EXPECT_TRUE(loaded.strings().empty());
    EXPECT_TRUE(loaded.ints().empty());
    EXPECT_TRUE(loaded.groups().empty());
}

TEST_F(TreeStoreTest, EveryTypeRoundTripsInTheStoredLayout)
{
    Tree root;
    root.setInt("one", -7);
    root.setBool("flag", true);
    root.setHex("mask", 0xdeadbeef);
    root.setReal("pi", 3.25);
    root.setString("path", "C:\\Program Files\\x");
    root.setString("list", "first");
    root.setString("list", "second");
    root.setInt("list", 10);
    root.setInt("list", -20);
    for (bool b : {true, false, true})
        root.setBool("bits", b);
    root.setHex("masks", 1);
    root.setHex("masks", 0xffffffff);
    root.setReal("reals", 0.5);
    root.setReal("reals", -1e300);
    save(root);

    EXPECT_EQ((std::vector<std::string>{"bool.flag", "hex.mask", "int.one", "real.pi", "string.path"}),
              sorted(valueNamesOf(HKEY_LOCAL_MACHINE, at("data"))));
    EXPECT_EQ((std::vector<std::string>{"int.0", "int.1", "string.0", "string.1"}),
              sorted(valueNamesOf(HKEY_LOCAL_MACHINE, at("data\\list"))));
    RawValue one = rawValue(HKEY_LOCAL_MACHINE, at("data"), "int.one");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), one.type);
    EXPECT_EQ(std::string("\xf9\xff\xff\xff", 4), one.data);
    RawValue pi = rawValue(HKEY_LOCAL_MACHINE, at("data"), "real.pi");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), pi.type);
    EXPECT_EQ(bytesOf(3.25), pi.data);
    RawValue path = rawValue(HKEY_LOCAL_MACHINE, at("data"), "string.path");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), path.type);
    EXPECT_EQ(std::string("C:\\Program Files\\x", 19), path.data);

    Tree loaded;
    load(loaded);
    EXPECT_EQ(root.ints(), loaded.ints());
    EXPECT_EQ(root.bools(), loaded.bools());
    EXPECT_EQ(root.hexes(), loaded.hexes());
    EXPECT_EQ(root.reals(), loaded.reals());
    EXPECT_EQ(root.strings(), loaded.strings());
    EXPECT_TRUE(loaded.groups().empty());
}

TEST_F(TreeStoreTest, NumberedElementsLoadInIndexOrder)
{
    Tree root;
    std::vector<std::string> folders;
    for (int i = 0; i < 12; ++i) {
        folders.push_back("C:\\folder" + std::to_string(i));
        root.setString("paths", folders.back());
        root.setInt("paths", 100 - i);
    }
    save(root);
    std::vector<std::string> expected = numberedNames("int", 12);
    std::vector<std::string> strings = numberedNames("string", 12);
    expected.insert(expected.end(), strings.begin(), strings.end());
    EXPECT_EQ(sorted(expected), sorted(valueNamesOf(HKEY_LOCAL_MACHINE, at("data\\paths"))));

    Tree loaded;
    load(loaded);
    EXPECT_EQ(folders, loaded.strings().at("paths"));
    EXPECT_EQ(root.ints().at("paths"), loaded.ints().at("paths"));
}

TEST_F(TreeStoreTest, ElementsNotAllNumberedKeepTheRegistryOrder)
{
    // Written as other programs might: names that are not all indexes.
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "string.zeta", "z"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "string.10", "ten"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "string.2", "two"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "noDot", "ignored"));
    std::vector<std::string> expected;
    for (const std::string& name : valueNamesOf(HKEY_LOCAL_MACHINE, at("data\\list")))
        if (name != "noDot")
            expected.push_back(rawValue(HKEY_LOCAL_MACHINE, at("data\\list"), name).data.c_str());

    Tree loaded;
    load(loaded);
    EXPECT_EQ(expected, loaded.strings().at("list"));

    // Only the dot-less value is not an element, so the rest count as numbered.
    ASSERT_TRUE(deleteKey(HKEY_LOCAL_MACHINE, at("data\\list")));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "string.10", "ten"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "string.2", "two"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "string.0", "zero"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\list"), "noDot", "ignored"));
    Tree numbered;
    load(numbered);
    EXPECT_EQ((std::vector<std::string>{"zero", "two", "ten"}), numbered.strings().at("list"));
}

TEST_F(TreeStoreTest, LoadingPassesOverValuesThatDoNotFitTheirTag)
{
    const unsigned char nine[9] = {};
    const double half = 0.5;
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data"), "int.a", "5"));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "int.b", 5));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "bool.c", 7));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, at("data"), "real.d", REG_BINARY, nine, sizeof nine));
    // Shorter than a double: the missing high bytes read as zero (the low half of 0.5 is zero too).
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, at("data"), "real.e", REG_BINARY, &half, 4));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, at("data"), "real.f", REG_BINARY,
                         reinterpret_cast<const char*>(&half) + 4, 4));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "real.g", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "float.h", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "nodot", 1));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "Int.i", 1));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, at("data"), "hex.j", REG_BINARY, nine, 4));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data"), "string.k.l", "dotted"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data"), "string.m", "%PATH%", REG_EXPAND_SZ));
    ASSERT_TRUE(putValue(HKEY_LOCAL_MACHINE, at("data"), "string.n", REG_MULTI_SZ, "a\0b\0", 5));
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data"), "hex.", 9));

    Tree loaded;
    load(loaded);
    EXPECT_EQ((Tree::Table<std::int32_t>{{"b", {5}}}), loaded.ints());
    EXPECT_EQ((Tree::Table<bool>{{"c", {true}}}), loaded.bools());
    ASSERT_EQ(2u, loaded.reals().size());
    EXPECT_EQ(0.0, loaded.reals().at("e").at(0));
    double expectedF = 0;
    std::memcpy(&expectedF, reinterpret_cast<const char*>(&half) + 4, 4);
    EXPECT_EQ(expectedF, loaded.reals().at("f").at(0));
    EXPECT_EQ((Tree::Table<std::uint32_t>{{"", {9}}}), loaded.hexes());
    EXPECT_EQ((Tree::Table<std::string>{{"k.l", {"dotted"}}, {"m", {"%PATH%"}}}), loaded.strings());
}

TEST_F(TreeStoreTest, ValuesInsideAnArrayKeyLoadUnderTheKeysName)
{
    ASSERT_TRUE(putNumber(HKEY_LOCAL_MACHINE, at("data\\mixed"), "int.0", 4));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\mixed"), "string.0", "s"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data\\mixed\\inner"), "string.0", "deeper"));
    ASSERT_TRUE(putText(HKEY_LOCAL_MACHINE, at("data"), "string.mixed", "direct"));

    Tree loaded;
    loaded.setString("mixed", "already");
    load(loaded);  // appends to what the node holds
    EXPECT_EQ((std::vector<std::int32_t>{4}), loaded.ints().at("mixed"));
    const std::vector<std::string>& mixed = loaded.strings().at("mixed");
    ASSERT_EQ(3u, mixed.size());
    EXPECT_EQ("already", mixed[0]);
    EXPECT_EQ("direct", mixed[1]);  // the key's own values come before its subkeys
    EXPECT_EQ("s", mixed[2]);
    EXPECT_EQ((std::vector<std::string>{"deeper"}), loaded.strings().at("inner"));
}

TEST_F(TreeStoreTest, GroupsOfOneAndOfManyChildrenRoundTripInOrder)
{
    Tree root;
    root.setString("name", "root");
    root.addChild("single").setInt("id", 1);
    for (int i = 0; i < 12; ++i)
        root.addChild("many").setInt("id", i);
    Tree& nested = root.addChild("nested");  // one child with groups of its own
    nested.setString("name", "nested");
    nested.addChild("leaves").setInt("id", 100);
    nested.addChild("leaves").setInt("id", 101);
    save(root);

    EXPECT_EQ((std::vector<std::string>{"many", "nested", "single"}), sorted(subkeysOf(HKEY_LOCAL_MACHINE, at("subs"))));
    EXPECT_EQ(std::vector<std::string>{"data"}, subkeysOf(HKEY_LOCAL_MACHINE, at("subs\\single")));
    EXPECT_EQ((std::vector<std::string>{"int.id"}), valueNamesOf(HKEY_LOCAL_MACHINE, at("subs\\single\\data")));
    std::vector<std::string> numbered;
    for (int i = 0; i < 12; ++i)
        numbered.push_back(std::to_string(i));
    EXPECT_EQ(sorted(numbered), sorted(subkeysOf(HKEY_LOCAL_MACHINE, at("subs\\many"))));
    EXPECT_EQ((std::vector<std::string>{"data", "subs"}), sorted(subkeysOf(HKEY_LOCAL_MACHINE, at("subs\\nested"))));

    Tree loaded;
    load(loaded);
    ASSERT_EQ(3u, loaded.groups().size());
    const Tree::Group& single = loaded.groups().at("single");
    ASSERT_EQ(1u, single.size());
    EXPECT_EQ(1, single[0]->ints().at("id").at(0));
    const Tree::Group& many = loaded.groups().at("many");
    ASSERT_EQ(12u, many.size());
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(i, many[i]->ints().at("id").at(0)) << "child " << i;
    const Tree::Group& nestedGroup = loaded.groups().at("nested");
    ASSERT_EQ(1u, nestedGroup.size());
    EXPECT_EQ("nested", nestedGroup[0]->strings().at("name").at(0));
    const Tree::Group& leaves = nestedGroup[0]->groups().at("leaves");
    ASSERT_EQ(2u, leaves.size());
    EXPECT_EQ(100, leaves[0]->ints().at("id").at(0));
    EXPECT_EQ(101, leaves[1]->ints().at("id").at(0));
}

TEST_F(TreeStoreTest, NamesWithBackslashesMakeNestedKeysWithoutMisplacingLaterWrites)
{
    Tree root;
    root.setString("a\\b", "one");
    root.setString("a\\b", "two");
    root.setString("z", "three");
    root.setString("z", "four");
    root.setString("single\\name", "kept as a value name");
    root.addChild("g\\h").setInt("id", 1);
    root.addChild("g\\h").setInt("id", 2);
    root.addChild("k").setInt("id", 3);
    save(root);

    EXPECT_EQ((std::vector<std::string>{"string.0", "string.1"}), sorted(valueNamesOf(HKEY_LOCAL_MACHINE, at("data\\a\\b"))));
    EXPECT_EQ((std::vector<std::string>{"string.0", "string.1"}), sorted(valueNamesOf(HKEY_LOCAL_MACHINE, at("data\\z"))));
    EXPECT_EQ(std::vector<std::string>{"string.single\\name"}, valueNamesOf(HKEY_LOCAL_MACHINE, at("data")));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, at("subs\\g\\h\\1\\data")));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, at("subs\\g\\k")));

    Tree loaded;
    load(loaded);
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), loaded.strings().at("b"));  // named after the last key
    EXPECT_EQ((std::vector<std::string>{"three", "four"}), loaded.strings().at("z"));
    EXPECT_EQ(3, loaded.groups().at("k").at(0)->ints().at("id").at(0));
}

TEST_F(TreeStoreTest, KeysThatCannotBeOpenedArePassedOverWithoutLosingTheirSiblings)
{
    Tree root;
    root.setString("list", "x");
    root.setString("list", "y");
    root.addChild("group").setInt("id", 1);
    root.addChild("group").setInt("id", 2);
    root.addChild("later").setInt("id", 3);
    save(root);
    // Listed first (sorted by name) and unopenable: a broken link in each list the loader walks.
    brokenLink("data\\aaa");
    brokenLink("subs\\aaa");
    brokenLink("subs\\group\\00");

    Tree loaded;
    load(loaded);
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), loaded.strings().at("list"));
    ASSERT_EQ(2u, loaded.groups().size());
    ASSERT_EQ(2u, loaded.groups().at("group").size());
    EXPECT_EQ(1, loaded.groups().at("group")[0]->ints().at("id").at(0));
    EXPECT_EQ(3, loaded.groups().at("later").at(0)->ints().at("id").at(0));

    // Deleting the stored node, as a save over it does, passes over what it cannot delete, and ends.
    RegistryTreeStore store(HKEY_LOCAL_MACHINE, base.c_str(), Vantor::Access::change);
    EXPECT_FALSE(store.reg().deleteSub("data"));
    EXPECT_FALSE(store.reg().deleteSub("subs"));
    EXPECT_EQ((std::vector<std::string>{"aaa"}), subkeysOf(HKEY_LOCAL_MACHINE, at("data")));
    EXPECT_EQ((std::vector<std::string>{"aaa", "group"}), sorted(subkeysOf(HKEY_LOCAL_MACHINE, at("subs"))));
    EXPECT_EQ((std::vector<std::string>{"00"}), subkeysOf(HKEY_LOCAL_MACHINE, at("subs\\group")));
}
