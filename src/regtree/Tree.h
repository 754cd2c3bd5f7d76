// A node of the settings tree: named arrays of typed values in five tables (bool, int, hex, real,
// string) and named groups of owned child nodes. A name may appear in several tables at once; each
// table is independent. All maps order their names byte by byte as unsigned bytes, a prefix first,
// case-sensitive: std::string's own comparison, whose character traits compare unsigned.
//
// Ownership: a node owns the children in its groups and destroys them with itself. Destroying a
// child directly takes it out of its parent's group (the later slots move down one place). A node
// must not outlive the parent it was built with unless it was added to that parent's group.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Tree {
public:
    template <typename Element>
    using Table = std::map<std::string, std::vector<Element>>;
    using Group = std::vector<std::unique_ptr<Tree>>;

    // An empty root.
    Tree() = default;
    // An empty node whose parent is `parent`; it does not enter any of the parent's groups (addChild).
    explicit Tree(Tree* parent) : parentNode(parent) {}
    ~Tree();

    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // Replace the element at `index` when the array `name` has one there; otherwise (name absent,
    // index negative or at or past the end) append, creating the array. -1 is the usual "append".
    void setBool(const std::string& name, bool value, int index = -1);
    void setInt(const std::string& name, std::int32_t value, int index = -1);
    void setHex(const std::string& name, std::uint32_t value, int index = -1);
    void setReal(const std::string& name, double value, int index = -1);
    void setString(const std::string& name, const std::string& value, int index = -1);

    // The element `index` of `name` as text, looked up in the string, int, hex and real tables in
    // that order (the bool table is not consulted): the string itself; the int in decimal; the hex in
    // lower-case base 16 without prefix; the real with 16 significant digits, fixed-point when its
    // decimal exponent is -1..15 and otherwise as "d.ddde+XXX", trailing zeros of the fraction
    // removed but the point kept ("1.", "0.5", "5.e-002"; "inf", "-inf" and "nan" for the
    // non-finite). False, with `out` untouched, when no table has that element.
    bool getText(const std::string& name, std::string& out, int index) const;

    // Appends `child` (a fresh node when null) to `group`, creating the group when absent, and takes
    // ownership; the child's parent becomes this node. Returns the child.
    Tree& addChild(const std::string& group, std::unique_ptr<Tree> child = nullptr);

    Tree* parent() const { return parentNode; }
    const Table<bool>& bools() const { return boolTable; }
    const Table<std::int32_t>& ints() const { return intTable; }
    const Table<std::uint32_t>& hexes() const { return hexTable; }
    const Table<double>& reals() const { return realTable; }
    const Table<std::string>& strings() const { return stringTable; }
    const std::map<std::string, Group>& groups() const { return groupTable; }

private:
    // Destruction runs from the bottom up: the groups (and the children they own) go first, while
    // the tables are still there; each child's parent link is cleared beforehand, so no child
    // reaches back into this node.
    Table<bool> boolTable;
    Table<std::int32_t> intTable;
    Table<std::uint32_t> hexTable;
    Table<double> realTable;
    Table<std::string> stringTable;
    Tree* parentNode = nullptr;
    std::map<std::string, Group> groupTable;
};

// The real format of getText, on its own.
std::string realText(double value);
