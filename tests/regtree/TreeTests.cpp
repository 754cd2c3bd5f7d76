// The settings tree in memory: element replacement and appending, getText's formats and table
// precedence, name order, and how destroying a node keeps its parent's groups consistent.
#include "regtree/Tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <string>
#include <vector>

namespace {

std::string textOf(const Tree& tree, const std::string& name, int index = 0)
{
    std::string out = "<none>";
    tree.getText(name, out, index);
    return out;
}

}  // namespace

TEST(TreeTest, SettersReplaceInsideTheArrayAndAppendOtherwise)
{
    Tree tree;
    tree.setString("paths", "a", -1);
    tree.setString("paths", "b", -1);
    tree.setString("paths", "c", -1);
    tree.setString("paths", "B", 1);
    tree.setString("paths", "d", 7);
    tree.setString("paths", "e", -5);
    EXPECT_EQ((std::vector<std::string>{"a", "B", "c", "d", "e"}), tree.strings().at("paths"));

    tree.setInt("n", 1, 0);  // absent name: appended
    tree.setInt("n", 2, 0);
    EXPECT_EQ(std::vector<std::int32_t>{2}, tree.ints().at("n"));
}

TEST(TreeTest, GetTextPrefersStringThenIntThenHexThenRealAndNeverBool)
{
    Tree tree;
    tree.setInt("both", 12);
    tree.setString("both", "text");
    tree.setInt("both", 13);  // index 1 exists only as int
    tree.setHex("hex", 255);
    tree.setHex("hex", 0);
    tree.setHex("hex", 0xffffffffu);
    tree.setInt("neg", -3);
    tree.setInt("neg", std::numeric_limits<std::int32_t>::min());
    tree.setBool("flag", true);

    EXPECT_EQ("text", textOf(tree, "both", 0));
    EXPECT_EQ("13", textOf(tree, "both", 1));
    EXPECT_EQ("ff", textOf(tree, "hex", 0));
    EXPECT_EQ("0", textOf(tree, "hex", 1));
    EXPECT_EQ("ffffffff", textOf(tree, "hex", 2));
    EXPECT_EQ("-3", textOf(tree, "neg", 0));
    EXPECT_EQ("-2147483648", textOf(tree, "neg", 1));
    EXPECT_EQ("<none>", textOf(tree, "flag"));
    EXPECT_EQ("<none>", textOf(tree, "both", 2));
    EXPECT_EQ("<none>", textOf(tree, "both", -1));
    EXPECT_EQ("<none>", textOf(tree, "missing"));
}

TEST(TreeTest, RealsHaveSixteenSignificantDigitsWithTheDecimalPointKept)
{
    const std::pair<double, const char*> cases[] = {
        {1.0, "1."},
        {0.5, "0.5"},
        {0.05, "5.e-002"},
        {0.0, "0."},
        {-2.25, "-2.25"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.3333333333333333"},
        {2.0 / 3.0, "0.6666666666666666"},
        {123456.789, "123456.789"},
        {1e15, "1000000000000000."},
        {1e16, "1.e+016"},
        {-1.5e-7, "-1.5e-007"},
        {1e300, "1.e+300"},
        {std::nextafter(1.0, 0.0), "0.9999999999999999"},
        {999999999999999.9, "999999999999999.9"},
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    for (const auto& [value, expected] : cases) {
        Tree tree;
        tree.setReal("r", value);
        EXPECT_EQ(expected, textOf(tree, "r")) << "for " << value;
    }
}

TEST(TreeTest, NamesAreOrderedByUnsignedBytesWithPrefixesFirst)
{
    Tree tree;
    for (const char* name : {"b", "\xe9t\xe9", "a", "ab", "B", "z"})
        tree.setInt(name, 1);
    std::vector<std::string> order;
    for (const auto& entry : tree.ints())
        order.push_back(entry.first);
    EXPECT_EQ((std::vector<std::string>{"B", "a", "ab", "b", "z", "\xe9t\xe9"}), order);
}

TEST(TreeTest, DestroyingAChildRemovesItsSlotAndDestroyingAParentReleasesTheChildren)
{
    auto root = std::make_unique<Tree>();
    Tree& first = root->addChild("g", std::make_unique<Tree>(root.get()));
    Tree& second = root->addChild("g");
    Tree& third = root->addChild("g");
    first.setInt("id", 1);
    second.setInt("id", 2);
    third.setInt("id", 3);
    EXPECT_EQ(root.get(), second.parent());
    Tree& grandchild = second.addChild("inner");
    EXPECT_EQ(&second, grandchild.parent());

    delete &second;  // a child deleted directly leaves its group
    const Tree::Group& group = root->groups().at("g");
    ASSERT_EQ(2u, group.size());
    EXPECT_EQ(1, group[0]->ints().at("id")[0]);
    EXPECT_EQ(3, group[1]->ints().at("id")[0]);

    {
        Tree unattached(root.get());  // built with a parent but never added: touches nothing
    }
    EXPECT_EQ(2u, root->groups().at("g").size());

    Tree* moved = new Tree;
    root->addChild("other", std::unique_ptr<Tree>(moved));
    EXPECT_EQ(root.get(), moved->parent());
    root.reset();  // destroys the whole subtree; under a checker, any use of the dead parent shows
}
